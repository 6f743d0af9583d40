#include "engine/index_check.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <set>

namespace sv {

using namespace mdx;

namespace {

class TreeWalk {
 public:
  TreeWalk(MdxFile& file, const IndexTag& tag, std::vector<std::string>* problems,
           std::vector<LeafEntry>* entries)
      : file_(file), tag_(tag), problems_(problems), entries_(entries) {}

  bool Run() {
    std::vector<uint8_t> max_key;
    Visit(tag_.root(), 0, &max_key);
    return ok_;
  }

 private:
  void Problem(const std::string& text) {
    ok_ = false;
    if (problems_) problems_->push_back(tag_.name() + ": " + text);
  }

  // Answers false when the subtree holds no key; *max_key gets its last key.
  bool Visit(uint32_t block, int depth, std::vector<uint8_t>* max_key) {
    const std::string where = "node " + std::to_string(block);
    if (depth > 40) {
      Problem(where + " lies deeper than any real tree");
      return false;
    }
    if (!visited_.insert(block).second) {
      Problem(where + " is reached twice");
      return false;
    }
    NodeFault fault;
    const uint8_t* node = file_.Node(block, &fault);
    if (node == nullptr) {
      Problem(where + " is not inside the file");
      return false;
    }
    // The node stays in the store, but copy it: the walk reads others first.
    std::vector<uint8_t> copy(node, node + kBlockSize);
    node = copy.data();
    const int elen = tag_.entry_length();
    const int klen = tag_.key_length();
    const int count = Get16(node);
    if (count > tag_.max_keys()) {
      Problem(where + " holds " + std::to_string(count) + " entries, more than " +
              std::to_string(tag_.max_keys()));
      return false;
    }
    auto entry = [&](int i) { return node + kNodeEntriesOffset + i * elen; };
    const bool leaf = Get32(entry(count)) == 0;
    for (int i = 1; i < count; ++i) {
      if (tag_.order().Compare(entry(i - 1) + 4, entry(i) + 4) > 0) {
        Problem(where + " has its keys out of order at entry " + std::to_string(i));
      }
    }
    if (leaf) {
      if (leaf_depth_ < 0) leaf_depth_ = depth;
      if (depth != leaf_depth_) Problem(where + " is a leaf at another depth");
      if (count == 0 && depth > 0) Problem(where + " is an empty leaf below the root");
      for (int i = 0; i < count; ++i) {
        const uint8_t* k = entry(i) + 4;
        if (have_last_ && tag_.order().Compare(last_.data(), k) > 0) {
          Problem(where + " starts below the previous leaf's keys");
        }
        last_.assign(k, k + klen);
        have_last_ = true;
        if (entries_) entries_->push_back({std::vector<uint8_t>(k, k + klen), static_cast<int32_t>(Get32(entry(i)))});
      }
      if (count == 0) return false;
      max_key->assign(entry(count - 1) + 4, entry(count - 1) + 4 + klen);
      return true;
    }
    bool any = false;
    for (int i = 0; i <= count; ++i) {
      std::vector<uint8_t> child_max;
      const bool has = Visit(Get32(entry(i)), depth + 1, &child_max);
      if (!has) {
        Problem(where + " has an empty child at " + std::to_string(i));
        continue;
      }
      any = true;
      if (i < count && std::memcmp(child_max.data(), entry(i) + 4, static_cast<size_t>(klen)) != 0) {
        Problem(where + " entry " + std::to_string(i) + " does not carry its child's last key");
      }
      *max_key = child_max;
    }
    return any;
  }

  MdxFile& file_;
  const IndexTag& tag_;
  std::vector<std::string>* problems_;
  std::vector<LeafEntry>* entries_;
  std::set<uint32_t> visited_;
  std::vector<uint8_t> last_;
  bool have_last_ = false;
  int leaf_depth_ = -1;
  bool ok_ = true;
};

}  // namespace

bool CheckTagTree(MdxFile& file, const IndexTag& tag, std::vector<std::string>* problems,
                  std::vector<LeafEntry>* entries) {
  return TreeWalk(file, tag, problems, entries).Run();
}

bool CheckTagKeys(const IndexTag& tag, const std::vector<LeafEntry>& entries, KeySource& source,
                  int32_t record_count, std::vector<std::string>* problems) {
  bool ok = true;
  auto problem = [&](const std::string& text) {
    ok = false;
    if (problems) problems->push_back(tag.name() + ": " + text);
  };
  const int klen = tag.key_length();
  std::map<int32_t, int> seen;
  std::vector<uint8_t> key(static_cast<size_t>(klen));
  for (const LeafEntry& e : entries) {
    if (e.record < 1 || e.record > record_count) {
      problem("record " + std::to_string(e.record) + " does not exist");
      continue;
    }
    if (++seen[e.record] > 1) problem("record " + std::to_string(e.record) + " appears twice");
    const KeySource::Result r = source.KeyOf(e.record, key.data());
    if (r == KeySource::kFailed) return false;
    if (r == KeySource::kNoKey) {
      problem("record " + std::to_string(e.record) + " fails the FOR condition but has a key");
    } else if (std::memcmp(key.data(), e.key.data(), static_cast<size_t>(klen)) != 0) {
      problem("record " + std::to_string(e.record) + " is filed under another key");
    }
  }
  if (tag.unique()) {
    for (size_t i = 1; i < entries.size(); ++i) {
      if (tag.order().Compare(entries[i - 1].key.data(), entries[i].key.data()) == 0) {
        problem("a unique key appears twice");
      }
    }
    return ok;
  }
  for (int32_t r = 1; r <= record_count; ++r) {
    if (seen.count(r)) continue;
    const KeySource::Result res = source.KeyOf(r, key.data());
    if (res == KeySource::kFailed) return false;
    if (res == KeySource::kKey) problem("record " + std::to_string(r) + " is missing");
  }
  return ok;
}

}  // namespace sv
