#include "engine/mdx_file.h"

#include <algorithm>
#include <cstring>

#include "support/codepage.h"

namespace sv {

using namespace mdx;

namespace {

uint8_t* EntryAt(uint8_t* header, int i) { return header + kTagTableOffset + kTagEntrySize * i; }
const uint8_t* EntryAt(const uint8_t* header, int i) {
  return header + kTagTableOffset + kTagEntrySize * i;
}

uint64_t BlockOffset(uint32_t block) { return static_cast<uint64_t>(block) * kBlockUnit; }

// Node memory of closed files, kept for the next one (up to 64 MiB): the
// first touch of fresh memory can cost more than the read that fills it,
// and indexes are closed and opened again by every rebuild.
constexpr size_t kPoolChunks = 1024;
// Never destroyed: a work area closed at program exit still gives its memory
// back here.
std::vector<std::unique_ptr<uint8_t[]>>& ChunkPool() {
  static auto* pool = new std::vector<std::unique_ptr<uint8_t[]>>();
  return *pool;
}

// The bits first .. last - 1 of a chunk's mask.
uint64_t SlotBits(uint32_t first, uint32_t last) {
  const uint64_t below_last = last >= 64 ? ~uint64_t{0} : (uint64_t{1} << last) - 1;
  return below_last & ~((uint64_t{1} << first) - 1);
}

}  // namespace

int MdxFile::Create(const std::string& path, std::string_view table_base_name,
                    const uint8_t date[3]) {
  file_.Close();
  DropNodes();
  path_ = path;
  int code = file_.Open(path, SysFile::Mode::kCreateOrTruncate);
  if (code != 0) return code;
  std::memset(header_, 0, sizeof header_);
  header_[kVersionOffset] = kVersion;
  std::memcpy(header_ + kCreatedOffset, date, 3);
  std::memcpy(header_ + kUpdatedOffset, date, 3);
  const size_t n = std::min(table_base_name.size(), kMaxTableName);
  for (size_t i = 0; i < n; ++i) {
    header_[kTableNameOffset + i] = AnsiUpper(static_cast<uint8_t>(table_base_name[i]));
  }
  Put16(header_ + kBlockUnitsOffset, kUnitsPerBlock);
  Put16(header_ + kBlockBytesOffset, kBlockSize);
  header_[kProductionOffset] = 1;
  header_[kEntryCountOffset] = kEntryCount;
  header_[kEntrySizeOffset] = kTagEntrySize;
  code = file_.WriteAt(0, header_, sizeof header_);
  if (code != 0) return code;
  size_ = kFileHeaderSize;
  header_changed_ = false;
  return 0;
}

int MdxFile::Open(const std::string& path) {
  file_.Close();
  DropNodes();
  path_ = path;
  int code = file_.Open(path, SysFile::Mode::kOpenExisting);
  if (code != 0) return code;
  int64_t size = 0;
  code = file_.Size(&size);
  if (code != 0) return code;
  size_ = static_cast<uint64_t>(size);
  if (size_ < kMinFileSize) return kCorruptIndex;
  size_t got = 0;
  code = file_.ReadAt(0, header_, sizeof header_, &got);
  if (code != 0) return code;
  if (got != sizeof header_) return kCorruptIndex;
  if (Get16(header_ + kBlockBytesOffset) != kBlockSize) return kCorruptIndex;
  if (TagsInUse() > kMaxTags) return kCorruptIndex;
  header_changed_ = false;
  return 0;
}

TagEntry MdxFile::Entry(int i) const {
  TagEntry e;
  if (i < 1 || i > kMaxTags) return e;
  const uint8_t* p = EntryAt(header_, i);
  e.header_block = Get32(p + kEntryHeaderBlock);
  const char* name = reinterpret_cast<const char*>(p + kEntryName);
  e.name.assign(name, strnlen(name, kMaxTagName));
  e.key_type = static_cast<char>(p[kEntryKeyType]);
  return e;
}

int MdxFile::FindEntry(std::string_view upper_name) const {
  for (int i = 1; i <= TagsInUse(); ++i) {
    if (Entry(i).name == upper_name) return i;
  }
  return 0;
}

int MdxFile::AddEntry(std::string_view name, uint32_t header_block, char key_type) {
  std::string upper;
  for (size_t i = 0; i < std::min(name.size(), kMaxTagName); ++i) {
    upper.push_back(static_cast<char>(AnsiUpper(static_cast<uint8_t>(name[i]))));
  }
  int used = TagsInUse();
  if (int old = FindEntry(upper); old != 0) {
    if (old != used) std::memcpy(EntryAt(header_, old), EntryAt(header_, used), kTagEntrySize);
    std::memset(EntryAt(header_, used), 0, kTagEntrySize);
    --used;
  }
  if (used >= kMaxTags) return 0;
  const int i = used + 1;
  uint8_t* p = EntryAt(header_, i);
  std::memset(p, 0, kTagEntrySize);
  Put32(p + kEntryHeaderBlock, header_block);
  std::memcpy(p + kEntryName, upper.data(), upper.size());
  p[kEntryMarker] = kEntryMarkerValue;
  p[kEntryKeyType] = static_cast<uint8_t>(key_type);
  Put16(header_ + kTagsInUseOffset, static_cast<uint16_t>(i));
  RebuildTagTree();
  MarkHeader();
  return i;
}

void MdxFile::RebuildTagTree() {
  const int used = TagsInUse();
  for (int i = 1; i <= used; ++i) {
    uint8_t* p = EntryAt(header_, i);
    p[kEntryLeft] = p[kEntryRight] = p[kEntryParent] = 0;
  }
  uint8_t* anchor = EntryAt(header_, 0);
  anchor[kEntryLeft] = anchor[kEntryParent] = 0;
  anchor[kAnchorRoot] = used > 0 ? 1 : 0;
  for (int i = 2; i <= used; ++i) {
    uint8_t* p = EntryAt(header_, i);
    int at = 1;
    for (;;) {
      uint8_t* q = EntryAt(header_, at);
      const bool left = std::memcmp(p + kEntryName, q + kEntryName, kTreeNameCompare) < 0;
      uint8_t& child = q[left ? kEntryLeft : kEntryRight];
      if (child == 0) {
        child = static_cast<uint8_t>(i);
        p[kEntryParent] = static_cast<uint8_t>(at);
        break;
      }
      at = child;
    }
  }
}

void MdxFile::SetLastBlock(uint32_t block) {
  Put32(header_ + kLastBlockOffset, block);
  MarkHeader();
}

uint32_t MdxFile::AllocateBlock() {
  const uint32_t block = static_cast<uint32_t>((size_ + kBlockUnit - 1) / kBlockUnit);
  size_ = BlockOffset(block) + kBlockSize;
  return block;
}

int MdxFile::ReadBlocks(uint32_t block, uint8_t* out, size_t n, size_t* got) const {
  return file_.ReadAt(static_cast<int64_t>(BlockOffset(block)), out, n, got);
}

int MdxFile::WriteBlocks(uint32_t block, const uint8_t* data, size_t n) {
  const int code = file_.WriteAt(static_cast<int64_t>(BlockOffset(block)), data, n);
  if (code == 0) {
    size_ = std::max(size_, BlockOffset(block) + n);
    Refresh(BlockOffset(block), data, n);
  }
  return code;
}

void MdxFile::Refresh(uint64_t offset, const uint8_t* data, size_t n) {
  if (n == 0) return;
  const uint64_t end = offset + n;
  // Copies the part of [offset, end) that falls on the node at `at`.
  auto copy_into = [&](uint8_t* node, uint64_t at) {
    const uint64_t from = std::max(offset, at);
    const uint64_t to = std::min(end, at + kBlockSize);
    if (from < to) std::memcpy(node + (from - at), data + (from - offset), to - from);
  };
  for (uint64_t slot = offset / kBlockSize; slot * kBlockSize < end; ++slot) {
    const size_t c = slot / kChunkNodes;
    if (c >= chunks_.size()) break;
    Chunk& chunk = chunks_[c];
    const uint64_t bit = SlotBits(slot % kChunkNodes, slot % kChunkNodes + 1);
    if ((chunk.loaded & bit) && !(chunk.dirty & bit)) {
      copy_into(chunk.Node(slot % kChunkNodes), slot * kBlockSize);
    }
  }
  for (auto& [odd_block, node] : odd_) {
    if (!node->dirty) copy_into(node->data, BlockOffset(odd_block));
  }
}

void MdxFile::DropNodes() {
  auto& pool = ChunkPool();
  for (Chunk& chunk : chunks_) {
    if (chunk.data && pool.size() < kPoolChunks) pool.push_back(std::move(chunk.data));
  }
  chunks_.clear();
  odd_.clear();
  dirty_.clear();
}

MdxFile::Chunk& MdxFile::ChunkOf(uint32_t slot) {
  const size_t c = slot / kChunkNodes;
  if (c >= chunks_.size()) chunks_.resize(c + 1);
  if (!chunks_[c].data) {
    // Node bytes are only read once they are loaded or made, so neither
    // memory from the pool nor plain new needs clearing.
    auto& pool = ChunkPool();
    if (!pool.empty()) {
      chunks_[c].data = std::move(pool.back());
      pool.pop_back();
    } else {
      chunks_[c].data.reset(new uint8_t[kChunkNodes * kBlockSize]);
    }
  }
  return chunks_[c];
}

uint8_t* MdxFile::Load(uint32_t block, NodeFault* fault) {
  *fault = NodeFault::kNone;
  if (block == 0) {
    *fault = NodeFault::kZero;
    return nullptr;
  }
  if (block < kFirstFreeBlock || BlockOffset(block) + kBlockSize > size_) {
    *fault = NodeFault::kOutsideFile;
    return nullptr;
  }
  if (block & 1) {
    uint8_t* node = LoadOdd(block);
    if (node == nullptr) *fault = NodeFault::kReadError;
    return node;
  }
  const uint32_t slot = block / 2;
  Chunk& chunk = ChunkOf(slot);
  const uint32_t first = slot % kChunkNodes;
  if (chunk.loaded >> first & 1) return chunk.Node(first);
  // The run goes on over nodes not yet held, inside the chunk and the file.
  const uint64_t base = static_cast<uint64_t>(slot - first) * kBlockSize;
  const uint32_t limit = std::min(kChunkNodes, first + kReadAhead);
  uint32_t last = first + 1;
  while (last < limit && !(chunk.loaded >> last & 1) && base + (last + 1) * kBlockSize <= size_) {
    ++last;
  }
  const size_t n = (last - first) * kBlockSize;
  size_t got = 0;
  node_error_ =
      file_.ReadAt(static_cast<int64_t>(base + first * kBlockSize), chunk.Node(first), n, &got);
  if (node_error_ != 0) {
    *fault = NodeFault::kReadError;
    return nullptr;
  }
  // Blocks allocated but not yet written read as zeros.
  if (got < n) std::memset(chunk.Node(first) + got, 0, n - got);
  chunk.loaded |= SlotBits(first, last);
  return chunk.Node(first);
}

uint8_t* MdxFile::LoadOdd(uint32_t block) {
  auto it = odd_.find(block);
  if (it != odd_.end()) return it->second->data;
  auto node = std::make_unique<OddNode>();
  size_t got = 0;
  node_error_ =
      file_.ReadAt(static_cast<int64_t>(BlockOffset(block)), node->data, kBlockSize, &got);
  if (node_error_ != 0) return nullptr;
  if (got < kBlockSize) std::memset(node->data + got, 0, kBlockSize - got);
  return odd_.emplace(block, std::move(node)).first->second->data;
}

uint8_t* MdxFile::MutableNode(uint32_t block, NodeFault* fault) {
  uint8_t* node = Load(block, fault);
  if (node == nullptr) return nullptr;
  if (block & 1) {
    OddNode& odd = *odd_[block];
    if (!odd.dirty) {
      odd.dirty = true;
      dirty_.push_back(block);
    }
    return node;
  }
  Chunk& chunk = chunks_[block / 2 / kChunkNodes];
  const uint64_t bit = uint64_t{1} << (block / 2 % kChunkNodes);
  if (!(chunk.dirty & bit)) {
    chunk.dirty |= bit;
    dirty_.push_back(block);
  }
  return node;
}

uint8_t* MdxFile::NewNode(uint32_t* block) {
  *block = AllocateBlock();
  SetLastBlock(*block + 1);
  dirty_.push_back(*block);
  if (*block & 1) {
    auto node = std::make_unique<OddNode>();
    std::memset(node->data, 0, kBlockSize);
    node->dirty = true;
    auto& held = odd_[*block];
    held = std::move(node);
    return held->data;
  }
  const uint32_t slot = *block / 2;
  Chunk& chunk = ChunkOf(slot);
  const uint64_t bit = uint64_t{1} << (slot % kChunkNodes);
  chunk.loaded |= bit;
  chunk.dirty |= bit;
  uint8_t* data = chunk.Node(slot % kChunkNodes);
  std::memset(data, 0, kBlockSize);
  return data;
}

int MdxFile::Flush() {
  if (!file_.is_open()) return 0;
  std::sort(dirty_.begin(), dirty_.end());
  // Odd blocks overlap their even neighbours; with any held, every node is
  // written on its own in block order.
  const bool runs = odd_.empty();
  for (size_t k = 0; k < dirty_.size();) {
    const uint32_t block = dirty_[k];
    if (block & 1) {
      OddNode& odd = *odd_[block];
      ++k;
      if (!odd.dirty) continue;
      const int code =
          file_.WriteAt(static_cast<int64_t>(BlockOffset(block)), odd.data, kBlockSize);
      if (code != 0) return code;
      odd.dirty = false;
      continue;
    }
    const uint32_t slot = block / 2;
    Chunk& chunk = chunks_[slot / kChunkNodes];
    const uint32_t first = slot % kChunkNodes;
    uint32_t last = first + 1;
    ++k;
    if (!(chunk.dirty >> first & 1)) continue;
    if (runs) {
      while (k < dirty_.size() && last < kChunkNodes && dirty_[k] == block + 2 * (last - first) &&
             (chunk.dirty >> last & 1)) {
        ++last;
        ++k;
      }
    }
    const int code = file_.WriteAt(static_cast<int64_t>(BlockOffset(block)), chunk.Node(first),
                                   (last - first) * kBlockSize);
    if (code != 0) return code;
    chunk.dirty &= ~SlotBits(first, last);
  }
  dirty_.clear();
  if (header_changed_) {
    const int code = file_.WriteAt(0, header_, sizeof header_);
    if (code != 0) return code;
    header_changed_ = false;
  }
  return 0;
}

int MdxFile::Close() {
  if (!file_.is_open()) return 0;
  int code = Flush();
  const int close_code = file_.Close();
  if (code == 0) code = close_code;
  DropNodes();
  return code;
}

}  // namespace sv
