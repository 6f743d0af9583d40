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

}  // namespace

int MdxFile::Create(const std::string& path, std::string_view table_base_name,
                    const uint8_t date[3]) {
  file_.Close();
  nodes_.clear();
  dirty_.clear();
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
  nodes_.clear();
  dirty_.clear();
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
  if (code == 0) size_ = std::max(size_, BlockOffset(block) + n);
  return code;
}

MdxFile::CachedNode* MdxFile::Load(uint32_t block, NodeFault* fault) {
  *fault = NodeFault::kNone;
  if (block == 0) {
    *fault = NodeFault::kZero;
    return nullptr;
  }
  if (block < kFirstFreeBlock || BlockOffset(block) + kBlockSize > size_) {
    *fault = NodeFault::kOutsideFile;
    return nullptr;
  }
  if (block < nodes_.size() && nodes_[block]) return nodes_[block].get();
  auto node = std::make_unique<CachedNode>();
  size_t got = 0;
  node_error_ = file_.ReadAt(static_cast<int64_t>(BlockOffset(block)), node->data, kBlockSize, &got);
  if (node_error_ != 0) {
    *fault = NodeFault::kReadError;
    return nullptr;
  }
  // Blocks allocated but not yet written read as zeros.
  if (got < kBlockSize) std::memset(node->data + got, 0, kBlockSize - got);
  if (block >= nodes_.size()) nodes_.resize(std::max<size_t>(block + 1, nodes_.size() * 2));
  nodes_[block] = std::move(node);
  return nodes_[block].get();
}

const uint8_t* MdxFile::Node(uint32_t block, NodeFault* fault) {
  CachedNode* n = Load(block, fault);
  return n ? n->data : nullptr;
}

uint8_t* MdxFile::MutableNode(uint32_t block, NodeFault* fault) {
  CachedNode* n = Load(block, fault);
  if (!n) return nullptr;
  if (!n->dirty) {
    n->dirty = true;
    dirty_.push_back(block);
  }
  return n->data;
}

uint8_t* MdxFile::NewNode(uint32_t* block) {
  *block = AllocateBlock();
  SetLastBlock(*block + 1);
  if (*block >= nodes_.size()) nodes_.resize(std::max<size_t>(*block + 1, nodes_.size() * 2));
  auto node = std::make_unique<CachedNode>();
  std::memset(node->data, 0, kBlockSize);
  node->dirty = true;
  dirty_.push_back(*block);
  nodes_[*block] = std::move(node);
  return nodes_[*block]->data;
}

int MdxFile::Flush() {
  if (!file_.is_open()) return 0;
  std::sort(dirty_.begin(), dirty_.end());
  for (uint32_t block : dirty_) {
    CachedNode* n = nodes_[block].get();
    const int code = file_.WriteAt(static_cast<int64_t>(BlockOffset(block)), n->data, kBlockSize);
    if (code != 0) return code;
    n->dirty = false;
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
  nodes_.clear();
  dirty_.clear();
  return code;
}

}  // namespace sv
