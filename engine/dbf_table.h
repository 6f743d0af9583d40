// One open dBase table file: validation at open, creation, reading and
// writing single records, the header rewrite, and the conversion between a
// record's bytes and the field value buffer in which the upper layers read and
// write native values in place.
//
// Every failure is reported through the engine error reporter with the codes
// and texts of the table-file layer; after a failed open or create there is no
// open table.
#ifndef SV_ENGINE_DBF_TABLE_H_
#define SV_ENGINE_DBF_TABLE_H_

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "engine/block_cache.h"
#include "engine/dbf_format.h"
#include "support/sysfile.h"

namespace sv {

// One field as the engine holds it: 16 bytes, a layout shared with the
// expression and index layers, which read it.
struct DbfFieldDef {
  uint8_t name_length = 0;
  char name[dbf::kMaxFieldName] = {};
  char type = ' ';
  uint8_t length = 0;
  uint8_t decimals = 0;
  uint16_t offset = 0;  // inside the record; the first field is at 1

  std::string_view Name() const { return {name, name_length}; }
  void SetName(std::string_view n);
};
static_assert(sizeof(DbfFieldDef) == 16, "DbfFieldDef is 16 bytes");

// A field definition for CreateDBF: name, type letter, length, decimals.
struct DbfFieldSpec {
  std::string name;
  char type = 'C';
  int length = 0;
  int decimals = 0;
};

// File states.
enum DbfFileState : int {
  kDbfClosed = 0,
  kDbfClean = 1,
  kDbfHeaderDirty = 2,  // a record or deletion flag was rewritten
  kDbfAppended = 3,     // records appended, or created, zapped or packed
};

class DbfTable {
 public:
  DbfTable() = default;
  // Closes the file like CloseDbf when it is still open.
  virtual ~DbfTable();
  DbfTable(const DbfTable&) = delete;
  DbfTable& operator=(const DbfTable&) = delete;

  bool is_open() const { return file.is_open(); }

  std::string file_name;   // as the engine holds it (full path)
  std::string path;        // the file system path in use
  std::string short_name;  // base name, at most 12 characters
  uint8_t header[dbf::kHeaderSize] = {};
  bool has_memo = false;
  uint16_t header_length = 0;
  uint16_t record_length = 0;
  int field_count = 0;
  std::vector<DbfFieldDef> fields;  // fields[0] is field 1
  int state = kDbfClosed;
  std::string date_text;            // YYYYMMDD of the last update
  std::vector<uint8_t> record;      // the current record, ANSI when translated
  int32_t record_count = 0;
  int32_t current = 0;
  bool eof = true;
  bool bof = true;
  bool exclusive = true;
  bool translate = false;
  SysFile file;

  // Field value buffer: byte 0 the deleted flag, then each field's native
  // value at values_offset[n] (n from 1; values_offset[0] is 0).
  std::vector<uint8_t> values;
  std::vector<uint32_t> values_offset;

  // The file's blocks as last read or written.
  BlockCache cache;

  const DbfFieldDef& field(int n) const { return fields[static_cast<size_t>(n - 1)]; }
};

// Size of a field's value in the field value buffer.
size_t FieldValueSize(const DbfFieldDef& f);

// Opens and validates an existing table file for exclusive use. With
// translate set, record text is OEM in the file and ANSI in the buffers.
bool OpenDbf(DbfTable& t, const std::string& name, bool translate);
// Writes a new empty table (and an empty memo file when a memo field is
// declared). The name gets the extension "DBF" when it has none.
bool CreateDBF(const std::string& name, const std::vector<DbfFieldSpec>& fields);
bool GetDbfRecord(DbfTable& t, int32_t n);
// A number above the record count appends.
bool PutDbfRecord(DbfTable& t, int32_t n);
// Writes byte 0 of the record buffer only (DeleteRec, RecallRec).
bool PutDbfDeletionFlag(DbfTable& t, int32_t n);
bool FlushDbf(DbfTable& t);
bool CloseDbf(DbfTable& t);

// Header rewrite of flush and close, also used by pack and zap: when the file
// state asks for it, date and record count, and the end-of-file byte after
// appends. `where` names the operation in an error text.
bool RewriteDbfHeader(DbfTable& t, std::string_view where);
// Cuts the file after `count` records, writes the end-of-file byte and makes
// `count` the record count (state 3; the header is not rewritten here).
bool TruncateDbfRecords(DbfTable& t, int32_t count, std::string_view where);
// The production-index flag of the header; a change moves state 1 to 2.
void SetProductionIndexFlag(DbfTable& t, bool on);
bool ProductionIndexFlag(const DbfTable& t);

// A number as a numeric field stores it: right-aligned in `width` with
// `decimals` digits after a '.', whatever the process locale; all '*' when it
// does not fit (or is not finite).
void FormatFieldNumber(double value, int width, int decimals, char* out);

// Record buffer <-> field value buffer.
void ScatterRecord(DbfTable& t);
void GatherRecord(DbfTable& t);

// Field queries. Numbers 0 or above the field count report code 220
// ("FieldAddress" accepts 0, the deleted flag).
std::string Field(const DbfTable& t, int n);
char FieldType(const DbfTable& t, int n);
int FieldLen(const DbfTable& t, int n);
int FieldDec(const DbfTable& t, int n);
uint8_t* FieldAddress(DbfTable& t, int n);
// Cut to 10 characters, trailing blanks removed, upper-cased, compared
// exactly; 0 when there is no such field.
int FieldNo(const DbfTable& t, std::string_view name);

// In-place access to the field value buffer, without checks.
namespace fv {

inline uint8_t* At(DbfTable& t, int n) { return t.values.data() + t.values_offset[n]; }
inline const uint8_t* At(const DbfTable& t, int n) {
  return t.values.data() + t.values_offset[n];
}
inline bool Deleted(const DbfTable& t) { return t.values[0] != 0; }
inline void SetDeleted(DbfTable& t, bool on) { t.values[0] = on ? 1 : 0; }

// C and D values: a length-prefixed text.
inline std::string_view Text(const DbfTable& t, int n) {
  const uint8_t* p = At(t, n);
  return {reinterpret_cast<const char*>(p + 1), p[0]};
}
size_t TextCapacity(const DbfFieldDef& f);
void SetText(DbfTable& t, int n, std::string_view text);

inline double Double(const DbfTable& t, int n) {
  double v;
  std::memcpy(&v, At(t, n), sizeof v);
  return v;
}
inline void SetDouble(DbfTable& t, int n, double v) { std::memcpy(At(t, n), &v, sizeof v); }
inline int32_t Int(const DbfTable& t, int n) {
  int32_t v;
  std::memcpy(&v, At(t, n), sizeof v);
  return v;
}
inline void SetInt(DbfTable& t, int n, int32_t v) { std::memcpy(At(t, n), &v, sizeof v); }
inline bool Bool(const DbfTable& t, int n) { return *At(t, n) != 0; }
inline void SetBool(DbfTable& t, int n, bool v) { *At(t, n) = v ? 1 : 0; }

// A numeric value as a double, whichever form the field keeps.
double Number(const DbfTable& t, int n);
void SetNumber(DbfTable& t, int n, double v);

}  // namespace fv

}  // namespace sv

#endif  // SV_ENGINE_DBF_TABLE_H_
