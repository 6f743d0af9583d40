// Consistency checks of index tags, for the tests and for the table
// inspector: the tree's own invariants, and whether the tree holds exactly the
// keys the records give.
#ifndef SV_ENGINE_INDEX_CHECK_H_
#define SV_ENGINE_INDEX_CHECK_H_

#include <cstdint>
#include <string>
#include <vector>

#include "engine/index_tag.h"

namespace sv {

struct WorkArea;

struct LeafEntry {
  std::vector<uint8_t> key;
  int32_t record = 0;
};

// Walks the tag's tree without reporting through the engine: every node
// inside the file and visited once, entry counts within the node maximum,
// keys in order inside every node and across leaves, each branch key equal to
// its child's last key, all leaves at one depth. Problems are appended as
// texts; the leaf entries, in key order, go to *entries when given. True when
// nothing was found.
bool CheckTagTree(MdxFile& file, const IndexTag& tag, std::vector<std::string>* problems,
                  std::vector<LeafEntry>* entries = nullptr);

// Compares the leaf entries with the keys of records 1..record_count: every
// entry's key is its record's key, and every record with a key is there once
// (a unique tag holds each key once and only the records it took).
bool CheckTagKeys(const IndexTag& tag, const std::vector<LeafEntry>& entries, KeySource& source,
                  int32_t record_count, std::vector<std::string>* problems);

// Both checks for every tag open in the area. True when the area has no index
// or every tag passed.
bool CheckIndexStructure(WorkArea& area, std::vector<std::string>* problems);

}  // namespace sv

#endif  // SV_ENGINE_INDEX_CHECK_H_
