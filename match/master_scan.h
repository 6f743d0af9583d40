// A colour match over the master thread table read record by record in file
// order through the table-file layer: the source lookup by key, and the scan
// that converts every thread and keeps the accepted ones, ordered as the
// result table lists them.
//
// Records marked deleted are skipped, as the program's tables hide them.
// Engine failures go through the engine error reporter; the functions then
// return false.
#ifndef SV_MATCH_MASTER_SCAN_H_
#define SV_MATCH_MASTER_SCAN_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/dbf_table.h"
#include "match/colour.h"

namespace sv {

// Field numbers of the master fields in an open table.
struct MasterFields {
  int company = 0;
  int type = 0;
  int name = 0;
  int color = 0;
  int red = 0;
  int green = 0;
  int blue = 0;
};

// False, with the upper-case name of the first missing field in *missing,
// when the table lacks one of them.
bool FindMasterFields(const DbfTable& t, MasterFields* fields, std::string* missing);

// The text of field n of the current record at its full width, as stored.
std::string_view RecordFieldText(const DbfTable& t, int n);

struct SourceThread {
  bool found = false;
  std::string company, type, name, color;  // full-width field texts
  ThreadColour colour;
  int red = 0, green = 0, blue = 0;  // TextToSmallInt of the component texts
};

// The first record, in file order, whose company + colour number (or, with
// `with_type`, company + type + colour number) begins with `key`.
bool FindSourceThread(DbfTable& t, const MasterFields& f, std::string_view key, bool with_type,
                      SourceThread* source);

// One accepted thread. Texts are the full-width field texts.
struct MatchLine {
  int match = 0;
  std::string company, type, name, color;
  int red = 0, green = 0, blue = 0;
  int64_t packed = 0;
};

// Converts every live record, appends the accepted ones to *lines and sorts
// them by match value, then byte-wise by the 8-character colour number.
// *scanned, when given, counts the records converted.
bool ScanMasterTable(DbfTable& t, const MasterFields& f, const Lab& source, int tolerance,
                     std::vector<MatchLine>* lines, int32_t* scanned = nullptr);

// The result table's order: match value, then colour number as the 8-character
// field (a stable sort, so equal lines keep their scan order).
void SortMatchLines(std::vector<MatchLine>* lines);

}  // namespace sv

#endif  // SV_MATCH_MASTER_SCAN_H_
