#include "engine/block_cache.h"

#include <algorithm>
#include <cstring>

namespace sv {

int BlockCache::Read(const SysFile& file, int64_t offset, uint8_t* out, size_t n, size_t* got) {
  *got = 0;
  if (offset < 0) return 0;
  while (*got < n) {
    const int64_t at = offset + static_cast<int64_t>(*got);
    const size_t index = static_cast<size_t>(at / static_cast<int64_t>(kBlockSize));
    const size_t within = static_cast<size_t>(at % static_cast<int64_t>(kBlockSize));
    if (index >= blocks_.size()) blocks_.resize(index + 1);
    Block* b = &blocks_[index];
    if (!b->data) {
      if (bytes_ + kBlockSize > kMaxBytes) {
        Clear();
        blocks_.resize(index + 1);
        b = &blocks_[index];
      }
      b->data = std::make_unique<uint8_t[]>(kBlockSize);
      size_t read = 0;
      int code = file.ReadAt(static_cast<int64_t>(index) * static_cast<int64_t>(kBlockSize),
                             b->data.get(), kBlockSize, &read);
      if (code != 0) {
        b->data.reset();
        return code;
      }
      b->fill = read;
      bytes_ += kBlockSize;
    }
    if (within >= b->fill) return 0;
    size_t take = std::min(n - *got, b->fill - within);
    std::memcpy(out + *got, b->data.get() + within, take);
    *got += take;
    if (b->fill < kBlockSize && within + take == b->fill) return 0;
  }
  return 0;
}

void BlockCache::Patch(int64_t offset, const uint8_t* data, size_t n) {
  size_t done = 0;
  while (done < n) {
    const int64_t at = offset + static_cast<int64_t>(done);
    const size_t index = static_cast<size_t>(at / static_cast<int64_t>(kBlockSize));
    const size_t within = static_cast<size_t>(at % static_cast<int64_t>(kBlockSize));
    const size_t take = std::min(n - done, kBlockSize - within);
    if (index < blocks_.size() && blocks_[index].data) {
      Block& b = blocks_[index];
      if (within > b.fill) {
        // A gap would hold bytes the cache never saw: read the block again.
        b.data.reset();
        b.fill = 0;
        bytes_ -= kBlockSize;
      } else {
        std::memcpy(b.data.get() + within, data + done, take);
        b.fill = std::max(b.fill, within + take);
      }
    }
    done += take;
  }
}

void BlockCache::Clear() {
  blocks_.clear();
  bytes_ = 0;
}

}  // namespace sv
