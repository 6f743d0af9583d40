#include "engine/index_tag.h"

#include <algorithm>
#include <cstring>

#include "engine/error.h"

namespace sv {

using namespace mdx;

namespace {

// Deeper than any tree a real table can give (a node holds at least 2 keys).
constexpr size_t kMaxDepth = 40;

// Asks for a whole node at once. The binary search and the insertion touch
// lines all over a node that is seldom in the cache; one miss after the other
// costs several times more than all of them together.
inline void PrefetchNode(const uint8_t* node) {
#if defined(__GNUC__)
  for (size_t i = 0; i < kBlockSize; i += 64) __builtin_prefetch(node + i);
#else
  (void)node;
#endif
}

inline int Count(const uint8_t* node) { return Get16(node + kNodeCountOffset); }
inline void SetCount(uint8_t* node, int n) {
  Put16(node + kNodeCountOffset, static_cast<uint16_t>(n));
}

struct NodeView {
  int elen;
  uint8_t* Entry(uint8_t* node, int i) const { return node + kNodeEntriesOffset + i * elen; }
  const uint8_t* Entry(const uint8_t* node, int i) const {
    return node + kNodeEntriesOffset + i * elen;
  }
  uint32_t Number(const uint8_t* node, int i) const { return Get32(Entry(node, i)); }
  const uint8_t* Key(const uint8_t* node, int i) const { return Entry(node, i) + kEntryNumberSize; }
  bool IsLeaf(const uint8_t* node) const { return Number(node, Count(node)) == 0; }
};

void PutEntry(uint8_t* entry, uint32_t number, const uint8_t* key, int key_length, int elen) {
  Put32(entry, number);
  std::memcpy(entry + kEntryNumberSize, key, static_cast<size_t>(key_length));
  std::memset(entry + kEntryNumberSize + key_length, 0,
              static_cast<size_t>(elen - kEntryNumberSize - key_length));
}

// One entry of a build: the sortable key, then the record number big-endian,
// so that plain byte order is key order and then record order.
void RadixSort(uint32_t* a, uint32_t* tmp, size_t n, const uint8_t* data, size_t stride,
               size_t depth, size_t width) {
  while (n > 1 && depth < width) {
    if (n <= 32) {
      std::sort(a, a + n, [&](uint32_t x, uint32_t y) {
        return std::memcmp(data + x * stride + depth, data + y * stride + depth, width - depth) < 0;
      });
      return;
    }
    size_t count[256] = {};
    for (size_t i = 0; i < n; ++i) ++count[data[a[i] * stride + depth]];
    bool single = false;
    for (size_t c = 0; c < 256; ++c) {
      if (count[c] == n) single = true;
      if (count[c] != 0) break;
    }
    if (single) {
      ++depth;
      continue;
    }
    size_t start[256];
    size_t sum = 0;
    for (size_t c = 0; c < 256; ++c) {
      start[c] = sum;
      sum += count[c];
    }
    size_t fill[256];
    std::memcpy(fill, start, sizeof fill);
    for (size_t i = 0; i < n; ++i) tmp[fill[data[a[i] * stride + depth]]++] = a[i];
    std::memcpy(a, tmp, n * sizeof(uint32_t));
    for (size_t c = 0; c < 256; ++c) {
      if (count[c] > 1) RadixSort(a + start[c], tmp + start[c], count[c], data, stride, depth + 1, width);
    }
    return;
  }
}

// Writes the nodes of a build in order at the end of the file, in large
// writes.
class NodeWriter {
 public:
  NodeWriter(MdxFile& file, const std::string& index_name) : file_(file), index_name_(index_name) {}

  // Returns the node's block, 0 after a reported error.
  uint32_t Emit(const uint8_t* node) {
    if (failed_) return 0;
    const uint32_t block = file_.AllocateBlock();
    if (buffer_.empty()) first_ = block;
    buffer_.insert(buffer_.end(), node, node + kBlockSize);
    last_ = block;
    if (buffer_.size() >= kFlushBytes && !Drain()) return 0;
    return block;
  }
  bool Drain() {
    if (failed_) return false;
    if (buffer_.empty()) return true;
    const int code = file_.WriteBlocks(first_, buffer_.data(), buffer_.size());
    buffer_.clear();
    if (code != 0) {
      ReportError(code, " [MakeIndex]");
      failed_ = true;
      return false;
    }
    file_.SetLastBlock(last_ + 1);
    return true;
  }

 private:
  static constexpr size_t kFlushBytes = 256 * 1024;
  MdxFile& file_;
  const std::string& index_name_;
  std::vector<uint8_t> buffer_;
  uint32_t first_ = 0;
  uint32_t last_ = 0;
  bool failed_ = false;
};

}  // namespace

void FormatTagHeader(const TagLayout& layout, uint32_t root, uint8_t* h) {
  std::memset(h, 0, kBlockSize);
  Put32(h + kTagRootOffset, root);
  uint8_t format = kKeyFormatBase;
  if (layout.descending) format |= kKeyFormatDescending;
  if (layout.unique) format |= kKeyFormatUnique;
  h[kTagKeyFormatOffset] = format;
  h[kTagKeyTypeOffset] = static_cast<uint8_t>(layout.key_type);
  Put16(h + kTagKeyLengthOffset, static_cast<uint16_t>(layout.key_length));
  const int elen = EntryLength(layout.key_length);
  Put16(h + kTagMaxKeysOffset, static_cast<uint16_t>(MaxKeysPerNode(elen)));
  Put16(h + kTagSecondaryTypeOffset, layout.key_type == kDateKey ? 1 : 0);
  Put16(h + kTagEntryLengthOffset, static_cast<uint16_t>(elen));
  h[kTagUniqueOffset] = layout.unique ? 1 : 0;
  std::memcpy(h + kTagExprOffset, layout.expression.data(),
              std::min(layout.expression.size(), kMaxExpr));
  if (!layout.condition.empty()) {
    h[kTagHasForOffset] = 1;
    std::memcpy(h + kTagForOffset, layout.condition.data(),
                std::min(layout.condition.size(), kMaxExpr));
  }
  h[kTagForMetOffset] = layout.condition_met ? 1 : 0;
}

uint32_t BuildTagTree(MdxFile& file, const KeyOrder& order, bool unique, KeySource& source,
                      int32_t record_count, bool* any_key, const std::string& index_name) {
  *any_key = false;
  const int klen = order.length;
  const int elen = EntryLength(klen);
  const int max_keys = MaxKeysPerNode(elen);
  const size_t sort_width = static_cast<size_t>(SortableLength(order.type, klen)) + 4;
  const size_t stride = sort_width;

  // A character key sorts as its own bytes (their complement when
  // descending), so its sort row gives the key back; numbers and dates keep
  // their stored form beside the rows. Every row ends with its record.
  const bool rows_hold_keys = order.type == kCharKey;
  std::vector<uint8_t> keys;
  std::vector<uint8_t> sortable;
  const size_t expected = record_count > 0 ? static_cast<size_t>(record_count) : 0;
  if (!rows_hold_keys) keys.reserve(expected * static_cast<size_t>(klen));
  sortable.reserve(expected * stride);
  uint8_t key[kMaxKeyLength];
  for (int32_t r = 1; r <= record_count; ++r) {
    const KeySource::Result result = source.KeyOf(r, key);
    if (result == KeySource::kFailed) return 0;
    if (result == KeySource::kNoKey) continue;
    if (!rows_hold_keys) keys.insert(keys.end(), key, key + klen);
    const size_t at = sortable.size();
    sortable.resize(at + stride);
    SortableKey(order, key, sortable.data() + at);
    uint8_t* rn = sortable.data() + at + stride - 4;
    for (int i = 0; i < 4; ++i) rn[i] = static_cast<uint8_t>(static_cast<uint32_t>(r) >> (8 * (3 - i)));
  }
  const size_t n = sortable.size() / stride;
  *any_key = n > 0;

  std::vector<uint32_t> idx(n);
  for (size_t i = 0; i < n; ++i) idx[i] = static_cast<uint32_t>(i);
  {
    std::vector<uint32_t> tmp(n);
    RadixSort(idx.data(), tmp.data(), n, sortable.data(), stride, 0, sort_width);
  }

  // Bottom-up: one node buffer per level; a full node goes to its parent as
  // an entry carrying its last key.
  struct LevelBuf {
    std::vector<uint8_t> node = std::vector<uint8_t>(kBlockSize, 0);
    int count = 0;
    int written = 0;
    std::vector<uint8_t> last_key;
  };
  std::vector<LevelBuf> levels(1);
  NodeWriter writer(file, index_name);
  NodeView view{elen};
  bool failed = false;

  auto emit = [&](LevelBuf& lv) -> uint32_t {
    const uint32_t block = writer.Emit(lv.node.data());
    if (block == 0) failed = true;
    std::fill(lv.node.begin(), lv.node.end(), 0);
    lv.count = 0;
    ++lv.written;
    return block;
  };
  // Adds a child to branch level L.
  auto add_child = [&](auto& self, size_t L, uint32_t child, const uint8_t* child_max) -> void {
    if (failed) return;
    if (levels.size() <= L) levels.resize(L + 1);
    LevelBuf& lv = levels[L];
    if (lv.count == max_keys) {
      // Full: this child is the rightmost pointer, and the node is done.
      Put32(view.Entry(lv.node.data(), lv.count), child);
      SetCount(lv.node.data(), lv.count);
      std::vector<uint8_t> max_key(child_max, child_max + klen);
      const uint32_t block = emit(lv);
      self(self, L + 1, block, max_key.data());
      return;
    }
    PutEntry(view.Entry(lv.node.data(), lv.count), child, child_max, klen, elen);
    ++lv.count;
    SetCount(lv.node.data(), lv.count);
    lv.last_key.assign(child_max, child_max + klen);
  };

  const uint8_t* prev_row = nullptr;
  uint8_t flipped[kMaxKeyLength];
  for (size_t i = 0; i < n && !failed; ++i) {
    const uint32_t item = idx[i];
    const uint8_t* row = sortable.data() + static_cast<size_t>(item) * stride;
    if (unique && prev_row != nullptr && std::memcmp(prev_row, row, sort_width - 4) == 0) continue;
    prev_row = row;
    const uint8_t* k = row;
    if (!rows_hold_keys) {
      k = keys.data() + static_cast<size_t>(item) * static_cast<size_t>(klen);
    } else if (order.descending) {
      for (int b = 0; b < klen; ++b) flipped[b] = static_cast<uint8_t>(~row[b]);
      k = flipped;
    }
    const uint8_t* rn = row + stride - 4;
    const uint32_t record = (static_cast<uint32_t>(rn[0]) << 24) |
                            (static_cast<uint32_t>(rn[1]) << 16) |
                            (static_cast<uint32_t>(rn[2]) << 8) | rn[3];
    LevelBuf& leaf = levels[0];
    PutEntry(view.Entry(leaf.node.data(), leaf.count), record, k, klen, elen);
    ++leaf.count;
    SetCount(leaf.node.data(), leaf.count);
    if (leaf.count == max_keys) {
      std::vector<uint8_t> max_key(k, k + klen);
      const uint32_t block = emit(levels[0]);
      add_child(add_child, 1, block, max_key.data());
    } else {
      levels[0].last_key.assign(k, k + klen);
    }
  }
  if (failed) return 0;

  uint32_t root = 0;
  // The leaf level: the pending leaf, or an empty root leaf for no keys.
  {
    LevelBuf& leaf = levels[0];
    if (leaf.written == 0) {
      root = emit(leaf);
    } else if (leaf.count > 0) {
      std::vector<uint8_t> max_key = leaf.last_key;
      const uint32_t block = emit(leaf);
      add_child(add_child, 1, block, max_key.data());
    }
  }
  for (size_t L = 1; root == 0 && !failed && L < levels.size(); ++L) {
    LevelBuf& lv = levels[L];
    if (lv.written == 0 && lv.count == 1) {
      root = view.Number(lv.node.data(), 0);
      break;
    }
    if (lv.count > 0) {
      // The last child becomes the rightmost pointer.
      --lv.count;
      SetCount(lv.node.data(), lv.count);
      std::memset(view.Entry(lv.node.data(), lv.count) + kEntryNumberSize, 0,
                  static_cast<size_t>(elen - kEntryNumberSize));
      std::vector<uint8_t> max_key = lv.last_key;
      const bool top = lv.written == 0;
      const uint32_t block = emit(lv);
      if (top) {
        root = block;
        break;
      }
      add_child(add_child, L + 1, block, max_key.data());
    }
  }
  if (failed || !writer.Drain()) return 0;
  return root;
}

IndexTag::IndexTag(MdxFile& file, int order_number, uint32_t header_block, const uint8_t* header,
                   std::string name, std::string file_name, int area)
    : file_(file),
      order_number_(order_number),
      header_block_(header_block),
      name_(std::move(name)),
      index_name_(std::move(file_name) + " [tag: " + name_ + "]"),
      area_(area) {
  std::memcpy(header_, header, kTagHeaderUsed);
  order_.type = static_cast<char>(header_[kTagKeyTypeOffset]);
  order_.length = Get16(header_ + kTagKeyLengthOffset);
  order_.descending = (header_[kTagKeyFormatOffset] & kKeyFormatDescending) != 0;
  unique_ = (header_[kTagKeyFormatOffset] & kKeyFormatUnique) != 0 || header_[kTagUniqueOffset] == 1;
  entry_length_ = Get16(header_ + kTagEntryLengthOffset);
  max_keys_ = Get16(header_ + kTagMaxKeysOffset);
  const int klen = order_.length;
  bool ok = klen >= 1 && klen <= kMaxKeyLength;
  if (order_.type == kNumericKey) {
    ok = ok && klen == kNumericKeyLength;
  } else if (order_.type == kDateKey) {
    ok = ok && klen == kDateKeyLength;
  } else {
    ok = ok && order_.type == kCharKey;
  }
  ok = ok && entry_length_ >= klen + static_cast<int>(kEntryNumberSize) &&
       max_keys_ >= 2 && max_keys_ * entry_length_ <= static_cast<int>(kNodeEntrySpace);
  valid_ = ok;
  key_.assign(static_cast<size_t>(std::max(klen, 1)), 0);
}

uint32_t IndexTag::root() const { return Get32(header_ + kTagRootOffset); }

std::string IndexTag::expression() const {
  const char* p = reinterpret_cast<const char*>(header_ + kTagExprOffset);
  return std::string(p, strnlen(p, kMaxExpr));
}

std::string IndexTag::condition() const {
  if (header_[kTagHasForOffset] == 0) return {};
  const char* p = reinterpret_cast<const char*>(header_ + kTagForOffset);
  return std::string(p, strnlen(p, kMaxExpr));
}

int IndexTag::WriteHeader() {
  if (!header_changed_) return 0;
  const int code = file_.WriteBlocks(header_block_, header_, kTagHeaderUsed);
  if (code == 0) header_changed_ = false;
  return code;
}

uint8_t* IndexTag::Scratch() {
  if (scratch_.empty()) scratch_.assign(2 * kBlockSize, 0);
  std::fill(scratch_.begin(), scratch_.end(), 0);
  return scratch_.data();
}

void IndexTag::SetRoot(uint32_t block) {
  Put32(header_ + kTagRootOffset, block);
  header_changed_ = true;
}

void IndexTag::set_step_names(std::string next, std::string prior) {
  next_name_ = std::move(next);
  prior_name_ = std::move(prior);
}

void IndexTag::Corrupted(std::string_view where) {
  failed_ = true;
  ReportError(kCorruptIndex, "Invalid dBASE key expression or corrupted index file " + index_name_ +
                                 std::string(where));
}

const uint8_t* IndexTag::GetNode(uint32_t block) {
  NodeFault fault;
  const uint8_t* node = file_.Node(block, &fault);
  if (node != nullptr && Count(node) <= max_keys_) return node;
  NodeFailed(node, fault);
  return nullptr;
}

void IndexTag::NodeFailed(const uint8_t* node, NodeFault fault) {
  if (node == nullptr) {
    failed_ = true;
    if (fault == NodeFault::kZero) {
      ReportError(254, "Invalid Node Number (0) in DBF Area " + std::to_string(area_) + ", Order " +
                           std::to_string(order_number_) + " " + index_name_ + " [GetNode]");
    } else if (fault == NodeFault::kReadError) {
      ReportError(file_.NodeError(), "Error reading index file: " + index_name_ + " [SeekAndRead]");
    } else {
      Corrupted(" [GetNode]");
    }
    return;
  }
  Corrupted(" [GetNode]");
}

uint8_t* IndexTag::GetMutableNode(uint32_t block) {
  if (GetNode(block) == nullptr) return nullptr;
  NodeFault fault;
  return file_.MutableNode(block, &fault);
}

bool IndexTag::CheckChild(const std::vector<Level>& path, uint32_t child) {
  if (path.size() >= kMaxDepth) {
    Corrupted(" [GetNode]");
    return false;
  }
  for (const Level& l : path) {
    if (l.block == child) {
      Corrupted(" [GetNode]");
      return false;
    }
  }
  return true;
}

namespace {

template <typename Before>
int BinarySearch(const uint8_t* node, int count, int elen, Before before) {
  const uint8_t* keys = node + kNodeEntriesOffset + kEntryNumberSize;
  int lo = 0;
  int hi = count;
  while (lo < hi) {
    const int mid = (lo + hi) / 2;
    if (before(keys + mid * elen)) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return lo;
}

}  // namespace

int IndexTag::LowerBound(const uint8_t* node, int count, const uint8_t* key, int n) const {
  if (order_.type == kCharKey) {
    // Character keys are plain bytes: one comparison over the search key's
    // length, with the rule chosen once per node rather than per entry.
    const size_t len = static_cast<size_t>(std::min(n, order_.length));
    if (order_.descending) {
      return BinarySearch(node, count, entry_length_,
                          [&](const uint8_t* k) { return CompareCharBytes(k, key, len) > 0; });
    }
    return BinarySearch(node, count, entry_length_,
                        [&](const uint8_t* k) { return CompareCharBytes(k, key, len) < 0; });
  }
  return BinarySearch(node, count, entry_length_,
                      [&](const uint8_t* k) { return order_.KeyBefore(k, key, n); });
}

// Extends the path from `block` down its leftmost or rightmost edge to a
// leaf. A leaf position past its entries (an empty leaf) is left for the
// caller to step over.
bool IndexTag::DescendEdge(uint32_t block, bool leftmost) {
  NodeView view{entry_length_};
  for (;;) {
    const uint8_t* node = GetNode(block);
    if (node == nullptr) return false;
    const int count = Count(node);
    if (view.IsLeaf(node)) {
      path_.push_back({block, leftmost ? 0 : count - 1});
      return true;
    }
    const int pos = leftmost ? 0 : count;
    const uint32_t child = view.Number(node, pos);
    path_.push_back({block, pos});
    if (!CheckChild(path_, child)) return false;
    block = child;
  }
}

Step IndexTag::StepForward() {
  NodeView view{entry_length_};
  bool saved = false;
  // The last key seen: a leaf further on must not start below it, or the
  // tree leads back (a damaged file) and the walk would not end.
  const uint8_t* previous = nullptr;
  for (;;) {
    Level& leaf = path_.back();
    const uint8_t* node = GetNode(leaf.block);
    if (node == nullptr) return Step::kError;
    if (leaf.pos + 1 < Count(node)) {
      ++leaf.pos;
      if (previous != nullptr && leaf.pos == 0 && order_.Compare(view.Key(node, 0), previous) < 0) {
        Corrupted(" [GetNode]");
        return Step::kError;
      }
      return Step::kOk;
    }
    if (Count(node) > 0) previous = view.Key(node, Count(node) - 1);
    if (!saved) {
      saved_path_ = path_;
      saved = true;
    }
    // Climb to the first branch with a child to the right.
    size_t d = path_.size() - 1;
    bool moved = false;
    while (d > 0) {
      --d;
      const uint8_t* branch = GetNode(path_[d].block);
      if (branch == nullptr) return Step::kError;
      if (path_[d].pos < Count(branch)) {
        ++path_[d].pos;
        const uint32_t child = view.Number(branch, path_[d].pos);
        path_.resize(d + 1);
        if (!CheckChild(path_, child) || !DescendEdge(child, true)) return Step::kError;
        // Landing at position 0 of an empty leaf makes the loop step on.
        path_.back().pos = -1;
        moved = true;
        break;
      }
    }
    if (!moved) {
      path_ = saved_path_;
      return Step::kEnd;
    }
  }
}

Step IndexTag::StepBackward() {
  NodeView view{entry_length_};
  bool saved = false;
  const uint8_t* previous = nullptr;
  bool moved_leaf = false;
  for (;;) {
    Level& leaf = path_.back();
    if (leaf.pos > 0) {
      --leaf.pos;
      if (moved_leaf && previous != nullptr) {
        const uint8_t* node = GetNode(leaf.block);
        if (node == nullptr) return Step::kError;
        if (order_.Compare(view.Key(node, leaf.pos), previous) > 0) {
          Corrupted(" [GetNode]");
          return Step::kError;
        }
      }
      return Step::kOk;
    }
    {
      const uint8_t* node = GetNode(leaf.block);
      if (node == nullptr) return Step::kError;
      if (Count(node) > 0) previous = view.Key(node, 0);
    }
    moved_leaf = true;
    if (!saved) {
      saved_path_ = path_;
      saved = true;
    }
    size_t d = path_.size() - 1;
    bool moved = false;
    while (d > 0) {
      --d;
      if (path_[d].pos > 0) {
        const uint8_t* branch = GetNode(path_[d].block);
        if (branch == nullptr) return Step::kError;
        --path_[d].pos;
        const uint32_t child = view.Number(branch, path_[d].pos);
        path_.resize(d + 1);
        if (!CheckChild(path_, child) || !DescendEdge(child, false)) return Step::kError;
        // DescendEdge left the leaf at count - 1; one more step lands there.
        ++path_.back().pos;
        moved = true;
        break;
      }
    }
    if (!moved) {
      path_ = saved_path_;
      return Step::kEnd;
    }
  }
}

void IndexTag::Unposition() {
  state_ = kNone;
  path_valid_ = false;
  path_.clear();
}

int32_t IndexTag::record() const {
  if (state_ != kOn) return 0;
  if (!path_valid_) return record_;
  NodeView view{entry_length_};
  NodeFault fault;
  const uint8_t* node = file_.Node(path_.back().block, &fault);
  return node ? static_cast<int32_t>(view.Number(node, path_.back().pos)) : 0;
}

const uint8_t* IndexTag::key() const {
  if (state_ != kOn || !path_valid_) return key_.data();
  NodeView view{entry_length_};
  NodeFault fault;
  const uint8_t* node = file_.Node(path_.back().block, &fault);
  return node ? view.Key(node, path_.back().pos) : key_.data();
}

bool IndexTag::EnsurePath(const std::string& where) {
  if (state_ != kOn || path_valid_) return true;
  std::vector<uint8_t> k = key_;
  const int32_t r = record_;
  bool found = false;
  if (SeekRecord(k.data(), r, &found) == Step::kError) return false;
  if (!found) {
    state_ = kOn;  // keep the remembered entry for a later attempt
    key_ = k;
    record_ = r;
    ReportError(254, "Record number " + std::to_string(r) + " not found in index. " + index_name_ + where);
    return false;
  }
  return true;
}

Step IndexTag::First() {
  failed_ = false;
  path_.clear();
  path_valid_ = false;
  state_ = kNone;
  if (!DescendEdge(root(), true)) return Step::kError;
  state_ = kOn;
  path_valid_ = true;
  path_.back().pos = -1;
  const Step s = StepForward();
  if (s != Step::kOk) {
    Unposition();
    at_end_ = at_start_ = true;
    return s;
  }
  at_end_ = at_start_ = false;
  return Step::kOk;
}

Step IndexTag::Last() {
  failed_ = false;
  path_.clear();
  path_valid_ = false;
  state_ = kNone;
  if (!DescendEdge(root(), false)) return Step::kError;
  state_ = kOn;
  path_valid_ = true;
  ++path_.back().pos;
  const Step s = StepBackward();
  if (s != Step::kOk) {
    Unposition();
    at_end_ = at_start_ = true;
    return s;
  }
  at_end_ = at_start_ = false;
  return Step::kOk;
}

Step IndexTag::Next() {
  failed_ = false;
  if (state_ != kOn) {
    at_end_ = true;
    return Step::kEnd;
  }
  if (!EnsurePath(next_name_)) return Step::kError;
  const Step s = StepForward();
  if (s == Step::kEnd) {
    at_end_ = true;
  } else if (s == Step::kOk) {
    at_end_ = at_start_ = false;
  }
  return s;
}

Step IndexTag::Prior() {
  failed_ = false;
  if (state_ != kOn) return Last();
  if (!EnsurePath(prior_name_)) return Step::kError;
  const Step s = StepBackward();
  if (s == Step::kEnd) {
    at_start_ = true;
  } else if (s == Step::kOk) {
    at_end_ = at_start_ = false;
  }
  return s;
}

Step IndexTag::SeekPath(const uint8_t* key, int n) {
  NodeView view{entry_length_};
  path_.clear();
  path_valid_ = false;
  state_ = kNone;
  uint32_t block = root();
  for (;;) {
    const uint8_t* node = GetNode(block);
    if (node == nullptr) return Step::kError;
    const int count = Count(node);
    const int pos = LowerBound(node, count, key, n);
    path_.push_back({block, pos});
    if (view.IsLeaf(node)) break;
    const uint32_t child = view.Number(node, pos);
    if (const uint8_t* next = file_.Peek(child)) PrefetchNode(next);
    if (!CheckChild(path_, child)) return Step::kError;
    block = child;
  }
  state_ = kOn;
  path_valid_ = true;
  return Step::kOk;
}

Step IndexTag::Seek(const uint8_t* key, int n) {
  failed_ = false;
  if (SeekPath(key, n) == Step::kError) {
    Unposition();
    return Step::kError;
  }
  NodeFault fault;
  const uint8_t* leaf = file_.Node(path_.back().block, &fault);
  const int count = Count(leaf);
  if (path_.back().pos < count) {
    at_end_ = at_start_ = false;
    return Step::kOk;
  }
  // Nothing here is not less: step on, or fall back to the last key.
  path_.back().pos = count - 1;
  const Step s = StepForward();
  if (s == Step::kError) return s;
  if (s == Step::kOk) {
    at_end_ = at_start_ = false;
    return Step::kOk;
  }
  if (count == 0) {
    // An empty leaf: the last key, if any, lies behind it.
    const Step l = Last();
    if (l == Step::kError) return l;
  }
  return Step::kEnd;
}

Step IndexTag::SeekRecord(const uint8_t* key, int32_t record, bool* found, bool* key_found) {
  *found = false;
  if (key_found) *key_found = false;
  const Step s = Seek(key, order_.length);
  if (s == Step::kError) return s;
  if (s == Step::kEnd) {
    Unposition();
    return Step::kOk;
  }
  for (;;) {
    if (order_.Compare(this->key(), key) != 0) break;
    if (key_found) *key_found = true;
    if (unique_ || this->record() == record) {
      *found = true;
      return Step::kOk;
    }
    const Step n = StepForward();
    if (n == Step::kError) return n;
    if (n == Step::kEnd) break;
  }
  Unposition();
  return Step::kOk;
}

Step IndexTag::Insert(const uint8_t* key, int32_t record, bool* inserted) {
  failed_ = false;
  *inserted = false;
  // The search below replaces the cursor, so there is nothing to keep.
  NodeView view{entry_length_};
  const int klen = order_.length;
  if (SeekPath(key, klen) == Step::kError) {
    Unposition();
    return Step::kError;
  }
  Level& at = path_.back();
  uint8_t* leaf = GetMutableNode(at.block);
  if (leaf == nullptr) return Step::kError;
  const int count = Count(leaf);
  if (unique_ && at.pos < count && order_.Compare(view.Key(leaf, at.pos), key) == 0) {
    // The cursor rests on the key that is already there.
    state_ = kOn;
    path_valid_ = true;
    return Step::kOk;
  }
  const int pos = path_.back().pos;
  *inserted = true;
  if (count < max_keys_) {
    uint8_t* e = view.Entry(leaf, pos);
    // Entries from pos on, and the 4-byte number after them, move up one.
    std::memmove(e + entry_length_, e, static_cast<size_t>((count - pos) * entry_length_ + 4));
    PutEntry(e, static_cast<uint32_t>(record), key, klen, entry_length_);
    SetCount(leaf, count + 1);
    state_ = kOn;
    path_valid_ = true;
    return Step::kOk;
  }

  // Split: the upper half of the entries moves to a new node.
  uint8_t* temp = Scratch();
  std::memcpy(temp, leaf, kBlockSize);
  uint8_t* te = view.Entry(temp, pos);
  std::memmove(te + entry_length_, te, static_cast<size_t>((count - pos) * entry_length_ + 4));
  PutEntry(te, static_cast<uint32_t>(record), key, klen, entry_length_);
  const int lower_keep = count - count / 2;
  const int split = pos < lower_keep ? lower_keep + 1 : lower_keep;
  const int total = count + 1;
  uint32_t upper_block;
  uint8_t* upper = file_.NewNode(&upper_block);
  std::memcpy(view.Entry(upper, 0), view.Entry(temp, split),
              static_cast<size_t>((total - split) * entry_length_));
  SetCount(upper, total - split);
  std::memset(leaf, 0, kBlockSize);
  std::memcpy(view.Entry(leaf, 0), view.Entry(temp, 0), static_cast<size_t>(split * entry_length_));
  SetCount(leaf, split);
  uint8_t lower_max[kMaxKeyLength];
  std::memcpy(lower_max, view.Key(leaf, split - 1), static_cast<size_t>(klen));
  const uint32_t lower_block = path_.back().block;
  InsertInParent(static_cast<int>(path_.size()) - 2, lower_block, lower_max, upper_block);
  if (failed_) return Step::kError;
  // The path changed shape; the cursor finds the new entry when next used.
  std::memcpy(key_.data(), key, static_cast<size_t>(klen));
  record_ = record;
  state_ = kOn;
  path_valid_ = false;
  return Step::kOk;
}

void IndexTag::InsertInParent(int level, uint32_t lower, const uint8_t* lower_max, uint32_t upper) {
  NodeView view{entry_length_};
  const int klen = order_.length;
  if (level < 0) {
    uint32_t block;
    uint8_t* root_node = file_.NewNode(&block);
    PutEntry(view.Entry(root_node, 0), lower, lower_max, klen, entry_length_);
    Put32(view.Entry(root_node, 1), upper);
    SetCount(root_node, 1);
    SetRoot(block);
    return;
  }
  const uint32_t block = path_[static_cast<size_t>(level)].block;
  const int cpos = path_[static_cast<size_t>(level)].pos;
  uint8_t* node = GetMutableNode(block);
  if (node == nullptr) return;
  const int count = Count(node);
  if (count < max_keys_) {
    uint8_t* e = view.Entry(node, cpos);
    std::memmove(e + entry_length_, e, static_cast<size_t>((count - cpos) * entry_length_ + 4));
    PutEntry(e, lower, lower_max, klen, entry_length_);
    Put32(view.Entry(node, cpos + 1), upper);
    SetCount(node, count + 1);
    return;
  }
  uint8_t* temp = Scratch();
  std::memcpy(temp, node, kBlockSize);
  uint8_t* te = view.Entry(temp, cpos);
  std::memmove(te + entry_length_, te, static_cast<size_t>((count - cpos) * entry_length_ + 4));
  PutEntry(te, lower, lower_max, klen, entry_length_);
  Put32(view.Entry(temp, cpos + 1), upper);
  const int total = count + 1;  // keyed entries, plus the rightmost pointer
  const int lower_keep = count - count / 2;
  const int split = cpos < lower_keep ? lower_keep + 1 : lower_keep;
  // Lower: entries 0..split-2 keyed, entry split-1's child as its rightmost;
  // that entry's key goes up as the separator.
  uint32_t upper_block;
  uint8_t* up = file_.NewNode(&upper_block);
  std::memcpy(view.Entry(up, 0), view.Entry(temp, split),
              static_cast<size_t>((total - split) * entry_length_ + 4));
  SetCount(up, total - split);
  // The scratch node is reused above; the separator goes up in a copy.
  uint8_t sep[kMaxKeyLength];
  std::memcpy(sep, view.Key(temp, split - 1), static_cast<size_t>(klen));
  std::memset(node, 0, kBlockSize);
  std::memcpy(view.Entry(node, 0), view.Entry(temp, 0),
              static_cast<size_t>((split - 1) * entry_length_ + 4));
  SetCount(node, split - 1);
  InsertInParent(level - 1, block, sep, upper_block);
}

Step IndexTag::Remove(const uint8_t* key, int32_t record, bool* found) {
  failed_ = false;
  *found = false;
  // The search below replaces the cursor, so there is nothing to keep.
  bool hit = false;
  const bool was_unique = unique_;
  // A unique tag holds one entry per key, but only the record's own goes.
  unique_ = false;
  const Step s = SeekRecord(key, record, &hit);
  unique_ = was_unique;
  if (s == Step::kError) return s;
  if (!hit) return Step::kOk;
  *found = true;
  NodeView view{entry_length_};
  const int klen = order_.length;
  const int depth = static_cast<int>(path_.size()) - 1;
  const uint32_t block = path_.back().block;
  const int pos = path_.back().pos;
  uint8_t* leaf = GetMutableNode(block);
  if (leaf == nullptr) return Step::kError;
  const int count = Count(leaf);
  uint8_t* e = view.Entry(leaf, pos);
  std::memmove(e, e + entry_length_, static_cast<size_t>((count - pos - 1) * entry_length_ + 4));
  std::memset(view.Entry(leaf, count - 1) + 4, 0, static_cast<size_t>(entry_length_));
  SetCount(leaf, count - 1);
  if (count - 1 == 0 && depth > 0) {
    std::memset(leaf, 0, kBlockSize);
    RemoveChild(depth - 1);
  } else if (pos == count - 1 && count - 1 > 0 && depth > 0) {
    uint8_t max_key[kMaxKeyLength];
    std::memcpy(max_key, view.Key(leaf, count - 2), static_cast<size_t>(klen));
    UpdateMax(depth - 1, max_key);
  }
  Unposition();
  return failed_ ? Step::kError : Step::kOk;
}

void IndexTag::RemoveChild(int level) {
  NodeView view{entry_length_};
  const int klen = order_.length;
  const uint32_t block = path_[static_cast<size_t>(level)].block;
  const int cpos = path_[static_cast<size_t>(level)].pos;
  uint8_t* node = GetMutableNode(block);
  if (node == nullptr) return;
  const int count = Count(node);
  if (cpos < count) {
    uint8_t* e = view.Entry(node, cpos);
    std::memmove(e, e + entry_length_, static_cast<size_t>((count - cpos - 1) * entry_length_ + 4));
    SetCount(node, count - 1);
    // The rightmost pointer moved down one entry; clear what it left.
    std::memset(view.Entry(node, count - 1) + 4, 0, static_cast<size_t>(entry_length_));
    return;
  }
  if (count == 0) {
    // The branch lost its only child.
    std::memset(node, 0, kBlockSize);
    if (level > 0) RemoveChild(level - 1);
    return;
  }
  // The rightmost child goes: the last keyed child takes its place.
  uint8_t max_key[kMaxKeyLength];
  std::memcpy(max_key, view.Key(node, count - 1), static_cast<size_t>(klen));
  std::memset(view.Entry(node, count - 1) + 4, 0, static_cast<size_t>(entry_length_));
  SetCount(node, count - 1);
  if (level > 0) UpdateMax(level - 1, max_key);
}

void IndexTag::UpdateMax(int level, const uint8_t* max_key) {
  NodeView view{entry_length_};
  for (; level >= 0; --level) {
    const uint32_t block = path_[static_cast<size_t>(level)].block;
    const int cpos = path_[static_cast<size_t>(level)].pos;
    uint8_t* node = GetMutableNode(block);
    if (node == nullptr) return;
    if (cpos < Count(node)) {
      std::memcpy(view.Entry(node, cpos) + 4, max_key, static_cast<size_t>(order_.length));
      return;
    }
  }
}

}  // namespace sv
