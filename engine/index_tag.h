// One open index tag: its header, the B-tree over its nodes, and a cursor
// with the descent path from the root.
//
// Entries are ordered by key; equal keys keep the order in which they came: a
// build lays them out by record number, an insertion goes before the equal
// keys already present. The cursor remembers its key and record number, so
// that after the tree changed under it the path is found again by searching.
//
// Node faults (a count over the node maximum, a block outside the file, a
// child that leads back up the path, a tree deeper than any real one) are
// reported as a corrupted index file and the operation fails.
#ifndef SV_ENGINE_INDEX_TAG_H_
#define SV_ENGINE_INDEX_TAG_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/index_key.h"
#include "engine/mdx_file.h"

namespace sv {

// Where the keys of a build come from.
class KeySource {
 public:
  enum Result { kKey, kNoKey, kFailed };
  virtual ~KeySource() = default;
  // Writes the key of record n (key length bytes). kNoKey when the record
  // fails the FOR condition; kFailed after a reported error.
  virtual Result KeyOf(int32_t record, uint8_t* out) = 0;
};

// The fields of a new tag header.
struct TagLayout {
  char key_type = kCharKey;
  int key_length = 0;
  bool descending = false;
  bool unique = false;
  std::string expression;
  std::string condition;  // empty for none
  bool condition_met = false;
};

// Fills the 1024-byte tag header of a new tag.
void FormatTagHeader(const TagLayout& layout, uint32_t root, uint8_t* header);

// Reads the tree of a new tag from the keys of records 1..record_count and
// appends its nodes at the end of the file. Answers the root block, 0 after a
// reported error; *any_key tells whether some record had a key.
uint32_t BuildTagTree(MdxFile& file, const KeyOrder& order, bool unique, KeySource& source,
                      int32_t record_count, bool* any_key, const std::string& index_name);

// Outcome of a cursor step.
enum class Step { kOk, kEnd, kError };

class IndexTag {
 public:
  // `header` holds the tag header's first 983 bytes; call Valid() before use.
  IndexTag(MdxFile& file, int order_number, uint32_t header_block, const uint8_t* header,
           std::string name, std::string file_name, int area);
  IndexTag(const IndexTag&) = delete;
  IndexTag& operator=(const IndexTag&) = delete;

  // Key length 1..100, a known key type with its fixed length, an entry length
  // and node maximum that fit a node.
  bool Valid() const { return valid_; }

  int order_number() const { return order_number_; }
  const std::string& name() const { return name_; }
  // The file name followed by " [tag: NAME]", as messages name a tag.
  const std::string& index_name() const { return index_name_; }
  const KeyOrder& order() const { return order_; }
  char key_type() const { return order_.type; }
  int key_length() const { return order_.length; }
  bool descending() const { return order_.descending; }
  bool unique() const { return unique_; }
  int max_keys() const { return max_keys_; }
  int entry_length() const { return entry_length_; }
  uint32_t root() const;
  std::string expression() const;
  std::string condition() const;
  const uint8_t* header() const { return header_; }

  // Writes the header back when it changed (983 bytes). 0 or the system code.
  int WriteHeader();

  // Cursor. Positioning steps clear both flags; running off an end sets one.
  Step First();
  Step Last();
  Step Next();
  Step Prior();
  // The first entry whose key is not less than the search key of n bytes (a C
  // key may be shorter than the key length: a prefix). kEnd when every key is
  // less; the cursor then stays on the last key.
  Step Seek(const uint8_t* key, int n);
  // The entry of a record: its key, then equal keys stepped through to the
  // record number (a unique tag stops at its key). *found is false when the key
  // or the record is not in the tag; the cursor is then not positioned.
  Step SeekRecord(const uint8_t* key, int32_t record, bool* found, bool* key_found = nullptr);
  bool positioned() const { return state_ == kOn; }
  // The record and key under the cursor (positioned only).
  int32_t record() const;
  const uint8_t* key() const;
  void Unposition();
  bool at_end() const { return at_end_; }
  bool at_start() const { return at_start_; }
  void set_at_end(bool on) { at_end_ = on; }
  void set_at_start(bool on) { at_start_ = on; }

  // Key maintenance. Insert puts the entry before equal keys; a unique tag
  // with the key present gets nothing (*inserted false). The cursor ends on
  // the new entry. Remove takes out the entry of (key, record) and leaves the
  // cursor unpositioned; *found false when there is none.
  Step Insert(const uint8_t* key, int32_t record, bool* inserted);
  Step Remove(const uint8_t* key, int32_t record, bool* found);

  // For messages: the procedure that a lost path is reported under.
  void set_step_names(std::string next, std::string prior);

 private:
  struct Level {
    uint32_t block;
    int pos;  // entry in a leaf, child (0..count) in a branch
  };
  enum State { kNone, kOn };

  const uint8_t* GetNode(uint32_t block);
  void NodeFailed(const uint8_t* node, NodeFault fault);
  uint8_t* GetMutableNode(uint32_t block);
  bool CheckChild(const std::vector<Level>& path, uint32_t child);
  void Corrupted(std::string_view where);
  int LowerBound(const uint8_t* node, int count, const uint8_t* key, int n) const;
  bool DescendEdge(uint32_t block, bool leftmost);
  Step StepForward();
  Step StepBackward();
  Step SeekPath(const uint8_t* key, int n);
  // Finds the path of a detached cursor again.
  bool EnsurePath(const std::string& where);
  void InsertInParent(int level, uint32_t lower, const uint8_t* lower_max, uint32_t upper);
  void RemoveChild(int level);
  void UpdateMax(int level, const uint8_t* max_key);
  void SetRoot(uint32_t block);
  // A zeroed two-node buffer for splitting a node.
  uint8_t* Scratch();

  MdxFile& file_;
  int order_number_;
  uint32_t header_block_;
  uint8_t header_[mdx::kTagHeaderUsed];
  bool header_changed_ = false;
  bool valid_ = false;
  std::string name_;
  std::string index_name_;
  int area_;
  KeyOrder order_;
  bool unique_ = false;
  int entry_length_ = 0;
  int max_keys_ = 0;

  State state_ = kNone;
  bool path_valid_ = false;
  std::vector<Level> path_;
  std::vector<uint8_t> key_;  // the detached cursor's key
  int32_t record_ = 0;
  bool at_end_ = false;
  bool at_start_ = false;
  bool failed_ = false;  // a fault was reported during the current step
  std::vector<uint8_t> scratch_;
  std::vector<Level> saved_path_;  // a step's way back when it runs off the end
  std::string next_name_ = " [_FindNextRec]";
  std::string prior_name_ = " [_FindPriorRec]";
};

}  // namespace sv

#endif  // SV_ENGINE_INDEX_TAG_H_
