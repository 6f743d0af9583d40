#include "engine/dbf_table.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "engine/dates.h"
#include "engine/engine_state.h"
#include "engine/error.h"
#include "support/codepage.h"

namespace sv {
namespace {

using namespace dbf;


int64_t RecordOffset(const DbfTable& t, int32_t n) {
  return static_cast<int64_t>(t.header_length) +
         static_cast<int64_t>(n - 1) * static_cast<int64_t>(t.record_length);
}

bool IsBlank(uint8_t c) { return c == ' ' || c == '\t' || c == 0; }

// Whether any of the bytes has bit 7 set; ASCII text needs no translation.
bool HasHighBytes(const uint8_t* p, size_t n) {
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t w;
    std::memcpy(&w, p + i, 8);
    if (w & 0x8080808080808080ULL) return true;
  }
  for (; i < n; ++i) {
    if (p[i] & 0x80) return true;
  }
  return false;
}

std::string NotDbase(const DbfTable& t, const char* open, const char* why, const char* close) {
  return t.file_name + " is not a dBASE database." + open + why + close;
}

// Leading number of a field text (blanks already removed); 0 when none.
double ParseNumber(std::string_view s) {
  if (!s.empty() && s[0] == '+') s.remove_prefix(1);
  double v = 0;
  auto r = std::from_chars(s.data(), s.data() + s.size(), v, std::chars_format::general);
  if (r.ec != std::errc() || !std::isfinite(v)) return 0;
  return v;
}

// The common case of a whole-number field: blanks, an optional '-', at most
// nine digits, blanks. False for anything else, which takes the general road.
bool ParseBlankPaddedInt(const uint8_t* p, size_t n, int32_t& out) {
  size_t i = 0;
  while (i < n && p[i] == ' ') ++i;
  bool negative = i < n && p[i] == '-';
  if (negative) ++i;
  size_t digits = 0;
  int32_t v = 0;
  while (i < n && p[i] >= '0' && p[i] <= '9') {
    if (++digits > 9) return false;
    v = v * 10 + (p[i] - '0');
    ++i;
  }
  while (i < n && p[i] == ' ') ++i;
  if (i != n || (negative && digits == 0)) return false;
  out = negative ? -v : v;
  return true;
}

int32_t ToInt32(double v) {
  if (!(v == v)) return 0;
  if (v >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (v <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(v);
}

std::string_view TrimmedField(const DbfTable& t, const DbfFieldDef& f) {
  const uint8_t* p = t.record.data() + f.offset;
  size_t b = 0, e = f.length;
  while (b < e && IsBlank(p[b])) ++b;
  while (e > b && IsBlank(p[e - 1])) --e;
  return {reinterpret_cast<const char*>(p + b), e - b};
}

// Field bytes are few and of a length the compiler cannot know, so a plain
// memcpy or memset becomes a string instruction whose start-up costs more
// than the copy. Whole words instead, the last one overlapping.
void CopyFieldBytes(uint8_t* out, const uint8_t* in, size_t n) {
  if (n < 8) {
    for (size_t i = 0; i < n; ++i) out[i] = in[i];
    return;
  }
  uint64_t w;
  for (size_t i = 0; i + 8 < n; i += 8) {
    std::memcpy(&w, in + i, 8);
    std::memcpy(out + i, &w, 8);
  }
  std::memcpy(&w, in + n - 8, 8);
  std::memcpy(out + n - 8, &w, 8);
}

void FillBlanks(uint8_t* out, size_t n) {
  if (n < 8) {
    for (size_t i = 0; i < n; ++i) out[i] = ' ';
    return;
  }
  const uint64_t w = 0x2020202020202020ULL;
  for (size_t i = 0; i + 8 < n; i += 8) std::memcpy(out + i, &w, 8);
  std::memcpy(out + n - 8, &w, 8);
}

// Right-aligns `text` in the field, or fills it with '*' when it is wider.
void PutRightAligned(uint8_t* p, size_t width, const char* text, size_t len) {
  if (len > width) {
    std::memset(p, '*', width);
    return;
  }
  FillBlanks(p, width - len);
  CopyFieldBytes(p + width - len, reinterpret_cast<const uint8_t*>(text), len);
}

void BuildValueLayout(DbfTable& t) {
  t.values_offset.assign(static_cast<size_t>(t.field_count) + 1, 0);
  size_t pos = 1;
  for (int n = 1; n <= t.field_count; ++n) {
    t.values_offset[static_cast<size_t>(n)] = static_cast<uint32_t>(pos);
    pos += FieldValueSize(t.field(n));
  }
  t.values.assign(pos, 0);
}

void ResetTable(DbfTable& t) {
  t.file.Close();
  t.state = kDbfClosed;
  t.record.clear();
  t.record.shrink_to_fit();
  t.fields.clear();
  t.values.clear();
  t.values_offset.clear();
  t.cache.Clear();
  t.field_count = 0;
  t.record_count = 0;
  t.current = 0;
  t.eof = t.bof = true;
}

bool TypeIsMemoLike(char c) { return c == 'M' || c == 'B' || c == 'G' || c == 'P'; }

std::string DefaultExtension(std::string name, const char* ext) {
  size_t slash = name.find_last_of('/');
  size_t dot = name.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
    name += '.';
    name += ext;
  }
  return name;
}

std::string TrimBlanks(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return std::string(s.substr(b, e - b));
}

std::string BaseName(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

void DbfFieldDef::SetName(std::string_view n) {
  name_length = static_cast<uint8_t>(std::min(n.size(), sizeof name));
  std::memset(name, 0, sizeof name);
  std::memcpy(name, n.data(), name_length);
}

DbfTable::~DbfTable() {
  if (is_open()) {
    ErrorCheckingOff quiet;
    CloseDbf(*this);
  }
}

size_t FieldValueSize(const DbfFieldDef& f) {
  switch (f.type) {
    case 'C':
      return static_cast<size_t>(f.length) + 1;
    case 'D':
      return 11;  // the formatted date, "MM/DD/YYYY" at most, whatever the file says
    case 'N':
    case 'F':
      return f.decimals > 0 ? 8 : 4;
    case 'M':
      return 4;
    case 'L':
      return 1;
    default:
      return 0;
  }
}

bool OpenDbf(DbfTable& t, const std::string& name, bool translate) {
  if (t.is_open()) CloseDbf(t);
  ResetTable(t);
  t.file_name = name;
  t.path = ResolvePathNoCase(name);
  t.short_name = BaseName(t.path).substr(0, 12);
  if (translate) t.short_name = AnsiToOem(t.short_name);
  t.translate = translate;
  t.exclusive = true;

  int code = t.file.Open(t.path, SysFile::Mode::kOpenExisting, true);
  if (code != 0) {
    ReportError(code, "Failure to open " + name + " [USE/OpenDbf]");
    return false;
  }
  auto fail = [&t](int c, const std::string& text) {
    ResetTable(t);
    ReportError(c, text);
    return false;
  };

  int64_t size = 0;
  t.file.Size(&size);
  size_t got = 0;
  code = t.file.ReadAt(0, t.header, kHeaderSize, &got);
  if (code != 0 || got < kHeaderSize) {
    return fail(210, NotDbase(t, " (", "Prolog is less than 32 bytes", ") [USE/OpenDBF]"));
  }
  uint8_t version = t.header[kVersionOffset];
  // The dBase II (0x02) and level-7 (0x04, 0x8C) layouts are refused.
  if (version != 0x03 && version != 0x83 && version != 0x8B && version != 0xF5) {
    return fail(210, NotDbase(t, "(", "Invalid version byte", ")+ [USE/OpenDBF]"));
  }
  t.header_length = Get16(t.header + kHeaderLengthOffset);
  t.record_length = Get16(t.header + kRecordLengthOffset);
  int count = (static_cast<int>(t.header_length) - static_cast<int>(kHeaderSize)) /
              static_cast<int>(kDescriptorSize);
  if (t.header_length < kHeaderSize || count < 1 || count > kMaxFields) {
    return fail(210, NotDbase(t, " (", "Number of fields is out of range", ") [Use/OpenDbf]"));
  }
  t.has_memo = (version & kVersionMemoBit) != 0;
  int32_t header_count = static_cast<int32_t>(Get32(t.header + kRecordCountOffset));
  char date[32];
  std::snprintf(date, sizeof date, "%04d%02d%02d", 1900 + t.header[kDateOffset],
                t.header[kDateOffset + 1] % 100, t.header[kDateOffset + 2] % 100);
  t.date_text = date;
  t.state = kDbfClean;

  std::vector<uint8_t> descriptors(t.header_length - kHeaderSize);
  code = t.file.ReadAt(kHeaderSize, descriptors.data(), descriptors.size(), &got);
  if (code != 0 || got < descriptors.size()) {
    return fail(100, "Error reading " + name + " [Use/OpenDbf]");
  }

  int offset = 1;
  for (int i = 1; i <= count; ++i) {
    const uint8_t* d = descriptors.data() + static_cast<size_t>(i - 1) * kDescriptorSize;
    if (d[0] == kHeaderTerminator) {
      if (i == 1) return fail(222, "Error reading " + name + " [Use/OpenDbf]");
      count = i - 1;
      break;
    }
    DbfFieldDef f;
    size_t len = 0;
    while (len < kFieldNameSize && d[kFieldNameOffset + len] != 0) ++len;
    std::string fname(reinterpret_cast<const char*>(d + kFieldNameOffset), len);
    for (char& c : fname) c = static_cast<char>(AnsiUpper(static_cast<uint8_t>(c)));
    f.SetName(fname);
    char type = static_cast<char>(d[kFieldTypeOffset]);
    char upper = static_cast<char>(AnsiUpper(static_cast<uint8_t>(type)));
    if (upper == 'B' || upper == 'G' || upper == 'P') type = 'M';
    if (type != 'C' && type != 'D' && type != 'F' && type != 'L' && type != 'M' &&
        type != 'N') {
      std::string shown_type = type == 0 ? std::string() : std::string(1, type);
      return fail(211, "Field: " + fname + " [" + shown_type + "] in " + name +
                           " is not a valid field type");
    }
    f.type = type;
    f.length = d[kFieldLengthOffset];
    f.decimals = d[kFieldDecimalsOffset];
    f.offset = static_cast<uint16_t>(std::min(offset, 0xFFFF));
    offset += f.length;
    t.fields.push_back(f);
  }
  t.field_count = count;

  // Headers this layer cannot work with safely are refused rather than read
  // past their buffers.
  if (static_cast<size_t>(t.header_length) < kHeaderSize + kDescriptorSize * t.fields.size() + 1) {
    return fail(210, NotDbase(t, " (", "Header length does not cover the field descriptors",
                              ") [USE/OpenDBF]"));
  }
  if (t.record_length < 1 || static_cast<int>(t.record_length) < offset) {
    return fail(210, NotDbase(t, " (", "Record length is smaller than its fields",
                              ") [USE/OpenDBF]"));
  }

  if (Switches().fix_rec_count) {
    int64_t body = size - t.header_length;
    t.record_count = body > 0 ? static_cast<int32_t>(std::min<int64_t>(
                                    body / t.record_length, std::numeric_limits<int32_t>::max()))
                              : 0;
  } else {
    if (header_count < 0) {
      return fail(210, NotDbase(t, " (", "Record count is out of range", ") [USE/OpenDBF]"));
    }
    t.record_count = header_count;
  }
  t.record.assign(t.record_length, ' ');
  BuildValueLayout(t);
  if (t.record_count > 0) {
    t.current = 1;
    t.eof = t.bof = false;
  } else {
    t.current = 0;
    t.eof = t.bof = true;
  }
  return true;
}

bool CreateDBF(const std::string& name, const std::vector<DbfFieldSpec>& field_defs) {
  const std::string bad = "Invalid dBASE field definition [CreateDBF]";
  if (field_defs.empty() || field_defs.size() > static_cast<size_t>(kMaxFields)) {
    ReportError(211, bad);
    return false;
  }
  size_t header_length = kHeaderSize + kDescriptorSize * field_defs.size() + 1;
  std::vector<uint8_t> head(header_length, 0);
  head.back() = kHeaderTerminator;
  Put16(head.data() + kHeaderLengthOffset, static_cast<uint16_t>(header_length));
  bool memo = false;
  size_t record_length = 1;
  for (size_t i = 0; i < field_defs.size(); ++i) {
    const DbfFieldSpec& s = field_defs[i];
    char type = static_cast<char>(AnsiUpper(static_cast<uint8_t>(s.type)));
    if (type != 'C' && type != 'D' && type != 'F' && type != 'L' && type != 'N' &&
        !TypeIsMemoLike(type)) {
      ReportError(211, bad);
      return false;
    }
    if (TypeIsMemoLike(type)) memo = true;
    std::string fname = TrimBlanks(s.name).substr(0, kMaxFieldName);
    for (char& c : fname) c = static_cast<char>(AnsiUpper(static_cast<uint8_t>(c)));
    if (fname.empty()) {
      ReportError(211, bad);
      return false;
    }
    int length;
    int decimals = 0;
    if (type == 'C' || type == 'F' || type == 'N') {
      length = s.length;
      if (type != 'C') decimals = s.decimals;
    } else if (type == 'D') {
      length = 8;
    } else if (type == 'L') {
      length = 1;
    } else {
      length = 10;
    }
    // A length or decimal count that does not fit its descriptor byte would
    // silently become another field.
    if (length < 1 || length > 255 || decimals < 0 || decimals > 255) {
      ReportError(211, bad);
      return false;
    }
    uint8_t* d = head.data() + kHeaderSize + i * kDescriptorSize;
    std::memcpy(d + kFieldNameOffset, fname.data(), fname.size());
    d[kFieldTypeOffset] = static_cast<uint8_t>(type);
    d[kFieldLengthOffset] = static_cast<uint8_t>(length);
    d[kFieldDecimalsOffset] = static_cast<uint8_t>(decimals);
    record_length += static_cast<size_t>(length);
  }
  if (record_length > 0xFFFF) {
    ReportError(211, bad);
    return false;
  }
  head[kVersionOffset] = memo ? kVersionMemo : kVersionPlain;
  Put16(head.data() + kRecordLengthOffset, static_cast<uint16_t>(record_length));

  std::string file_name = DefaultExtension(TrimBlanks(name), "DBF");
  DbfTable t;
  t.file_name = file_name;
  t.path = file_name;
  int code = t.file.Open(file_name, SysFile::Mode::kCreateOrTruncate, true);
  if (code == 0) code = t.file.WriteAt(0, head.data(), head.size());
  if (code != 0) {
    t.file.Close();
    ReportError(code, "Error writing " + file_name + ". [CreateDbf]");
    return false;
  }
  std::memcpy(t.header, head.data(), kHeaderSize);
  t.header_length = static_cast<uint16_t>(header_length);
  t.record_length = static_cast<uint16_t>(record_length);
  t.has_memo = memo;
  t.state = kDbfAppended;
  t.record_count = 0;
  if (!CloseDbf(t)) return false;
  if (memo) {
    SysFile memo_file;
    std::string memo_name = file_name.substr(0, file_name.find_last_of('.')) + ".DBT";
    code = memo_file.Open(memo_name, SysFile::Mode::kCreateOrTruncate, true);
    if (code == 0) {
      // An empty memo file: the next free block is 1.
      uint8_t block[512] = {1};
      code = memo_file.WriteAt(0, block, sizeof block);
    }
    if (code != 0) {
      ReportError(code, "Error writing " + memo_name + ". [CreateDbf]");
      return false;
    }
  }
  return true;
}

bool GetDbfRecord(DbfTable& t, int32_t n) {
  if (n < 1 || n > t.record_count) {
    ReportError(212, "Invalid record number = " + std::to_string(n) + " (" + t.file_name +
                         ")  [GetDbfRecord]");
    return false;
  }
  t.eof = t.bof = false;
  const int64_t offset = RecordOffset(t, n);
  const size_t len = t.record_length;
  size_t got = 0;
  int code = t.cache.Read(t.file, offset, t.record.data(), len, &got);
  if (code != 0 || got < len) {
    ReportError(code != 0 ? code : 213, "File:  " + t.file_name + "  [GetDbfRecord]");
    return false;
  }
  t.current = n;
  if (t.translate && len > 1) OemToAnsiBuffer(t.record.data() + 1, len - 1);
  return true;
}

bool PutDbfRecord(DbfTable& t, int32_t n) {
  bool append = n > t.record_count;
  if (append) n = t.record_count + 1;
  if (n < 1) {
    ReportError(212, "Invalid record number = " + std::to_string(n) + " (" + t.file_name +
                         ")  [GetDbfRecord]");
    return false;
  }
  const size_t len = t.record_length;
  const uint8_t* out = t.record.data();
  std::vector<uint8_t> oem;
  if (t.translate && len > 1 && HasHighBytes(t.record.data() + 1, len - 1)) {
    oem = t.record;
    AnsiToOemBuffer(oem.data() + 1, len - 1);
    out = oem.data();
  }
  const int64_t offset = RecordOffset(t, n);
  int code = t.file.WriteAt(offset, out, len);
  if (code != 0) {
    ReportError(code, "File:  " + t.file_name + " [Replace/Append/PutDbfRecord]");
    return false;
  }
  t.cache.Patch(offset, out, len);
  // The count grows only once the record is on file.
  if (append) t.record_count = n;
  t.current = n;
  t.state = (append || t.state == kDbfAppended) ? kDbfAppended : kDbfHeaderDirty;
  return true;
}

bool PutDbfDeletionFlag(DbfTable& t, int32_t n) {
  bool append = n > t.record_count;
  if (append) n = t.record_count + 1;
  const int64_t offset = RecordOffset(t, n);
  int code = t.file.WriteAt(offset, t.record.data(), 1);
  if (code != 0) {
    ReportError(code, "File:  " + t.file_name + " [DeleteRec/RecallRec]");
    return false;
  }
  t.cache.Patch(offset, t.record.data(), 1);
  if (append) t.record_count = n;
  t.state = (append || t.state == kDbfAppended) ? kDbfAppended : kDbfHeaderDirty;
  return true;
}

bool RewriteDbfHeader(DbfTable& t, std::string_view where) {
  if (t.state != kDbfHeaderDirty && t.state != kDbfAppended) return true;
  auto fail = [&t, where](int code) {
    ReportError(code, "File:  " + t.file_name + " [" + std::string(where) + "]");
    return false;
  };
  size_t got = 0;
  uint8_t preserved[kPreservedSize];
  int code = t.file.ReadAt(kPreservedOffset, preserved, kPreservedSize, &got);
  if (code != 0) return fail(code);
  if (got == kPreservedSize) std::memcpy(t.header + kPreservedOffset, preserved, kPreservedSize);
  Ymd today = Today();
  t.header[kDateOffset] = static_cast<uint8_t>(today.year - 1900);
  t.header[kDateOffset + 1] = static_cast<uint8_t>(today.month);
  t.header[kDateOffset + 2] = static_cast<uint8_t>(today.day);
  Put32(t.header + kRecordCountOffset, static_cast<uint32_t>(t.record_count));
  code = t.file.WriteAt(0, t.header, kHeaderSize);
  if (code != 0) return fail(code);
  char date[32];
  std::snprintf(date, sizeof date, "%04d%02d%02d", today.year, today.month % 100,
                today.day % 100);
  t.date_text = date;
  if (t.state == kDbfAppended) {
    const int64_t end = RecordOffset(t, t.record_count + 1);
    const uint8_t eof_byte = kEndOfFile;
    code = t.file.WriteAt(end, &eof_byte, 1);
    if (code != 0) return fail(code);
    t.cache.Patch(end, &eof_byte, 1);
  }
  t.state = kDbfClean;
  return true;
}

bool TruncateDbfRecords(DbfTable& t, int32_t count, std::string_view where) {
  const int64_t end = RecordOffset(t, count + 1);
  int code = t.file.Truncate(end);
  const uint8_t eof_byte = kEndOfFile;
  if (code == 0) code = t.file.WriteAt(end, &eof_byte, 1);
  t.cache.Clear();
  if (code != 0) {
    ReportError(code, std::string(where));
    return false;
  }
  t.record_count = count;
  t.state = kDbfAppended;
  return true;
}

bool FlushDbf(DbfTable& t) {
  if (t.state != kDbfHeaderDirty && t.state != kDbfAppended) return true;
  if (!RewriteDbfHeader(t, "FlushDbf")) return false;
  int code = t.file.Sync();
  if (code != 0) {
    ReportError(code, "Unable to flush file [FlushFile]");
    return false;
  }
  return true;
}

bool CloseDbf(DbfTable& t) {
  if (!t.is_open()) {
    ResetTable(t);
    return true;
  }
  std::string where = "CloseDbf(" + t.file_name + ")";
  bool ok = RewriteDbfHeader(t, where);
  int code = t.file.Close();
  ResetTable(t);
  if (ok && code != 0) {
    ReportError(code, "File:  " + t.file_name + " [" + where + "]");
    return false;
  }
  return ok;
}

void SetProductionIndexFlag(DbfTable& t, bool on) {
  uint8_t v = on ? 1 : 0;
  if (t.header[kProductionIndexOffset] == v) return;
  t.header[kProductionIndexOffset] = v;
  if (t.state == kDbfClean) t.state = kDbfHeaderDirty;
}

bool ProductionIndexFlag(const DbfTable& t) { return t.header[kProductionIndexOffset] != 0; }

void ScatterRecord(DbfTable& t) {
  const uint8_t* rec = t.record.data();
  t.values[0] = rec[0] == kDeletedFlag ? 1 : 0;
  for (int n = 1; n <= t.field_count; ++n) {
    const DbfFieldDef& f = t.field(n);
    uint8_t* v = fv::At(t, n);
    const uint8_t* p = rec + f.offset;
    switch (f.type) {
      case 'C':
        v[0] = f.length;
        CopyFieldBytes(v + 1, p, f.length);
        break;
      case 'N':
      case 'F': {
        int32_t whole;
        if (f.decimals == 0 && ParseBlankPaddedInt(p, f.length, whole)) {
          std::memcpy(v, &whole, sizeof whole);
          break;
        }
        double d = ParseNumber(TrimmedField(t, f));
        if (f.decimals > 0) {
          std::memcpy(v, &d, sizeof d);
        } else {
          int32_t i = ToInt32(d);
          std::memcpy(v, &i, sizeof i);
        }
        break;
      }
      case 'L': {
        uint8_t c = f.length > 0 ? p[0] : ' ';
        v[0] = (c == 'T' || c == 't' || c == 'Y' || c == 'y') ? 1 : 0;
        break;
      }
      case 'D': {
        char stored[8];
        size_t n8 = std::min<size_t>(f.length, 8);
        std::memset(stored, ' ', 8);
        std::memcpy(stored, p, n8);
        std::string text = StoredDateToText(std::string_view(stored, 8));
        v[0] = static_cast<uint8_t>(std::min<size_t>(text.size(), 10));
        std::memcpy(v + 1, text.data(), v[0]);
        break;
      }
      case 'M': {
        int32_t i = ToInt32(ParseNumber(TrimmedField(t, f)));
        std::memcpy(v, &i, sizeof i);
        break;
      }
      default:
        break;
    }
  }
}

void FormatFieldNumber(double value, int width, int decimals, char* out) {
  char buf[1024];
  size_t len = sizeof buf;
  if (std::isfinite(value)) {
    auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    if (r.ec == std::errc()) len = static_cast<size_t>(r.ptr - buf);
  }
  PutRightAligned(reinterpret_cast<uint8_t*>(out), static_cast<size_t>(width), buf, len);
}

void GatherRecord(DbfTable& t) {
  uint8_t* rec = t.record.data();
  rec[0] = t.values[0] ? kDeletedFlag : kLiveFlag;
  char buf[512];
  for (int n = 1; n <= t.field_count; ++n) {
    const DbfFieldDef& f = t.field(n);
    const uint8_t* v = fv::At(t, n);
    uint8_t* p = rec + f.offset;
    switch (f.type) {
      case 'C': {
        size_t len = std::min<size_t>(v[0], f.length);
        CopyFieldBytes(p, v + 1, len);
        FillBlanks(p + len, f.length - len);
        break;
      }
      case 'N':
      case 'F': {
        if (f.decimals > 0) {
          double d;
          std::memcpy(&d, v, sizeof d);
          FormatFieldNumber(d, f.length, f.decimals, reinterpret_cast<char*>(p));
        } else {
          int32_t i;
          std::memcpy(&i, v, sizeof i);
          auto r = std::to_chars(buf, buf + sizeof buf, i);
          PutRightAligned(p, f.length, buf, static_cast<size_t>(r.ptr - buf));
        }
        break;
      }
      case 'L':
        if (f.length > 0) {
          p[0] = v[0] ? 'T' : 'F';
          std::memset(p + 1, ' ', f.length - 1);
        }
        break;
      case 'D': {
        size_t len = std::min<size_t>(f.length, 8);
        std::string stored =
            TextToStoredDate(fv::Text(t, n), std::string_view(reinterpret_cast<char*>(p), len));
        std::memcpy(p, stored.data(), len);
        std::memset(p + len, ' ', f.length - len);
        break;
      }
      case 'M': {
        int32_t i;
        std::memcpy(&i, v, sizeof i);
        if (i == 0) {
          std::memset(p, ' ', f.length);
        } else {
          int len = std::snprintf(buf, sizeof buf, "%d", i);
          PutRightAligned(p, f.length, buf, static_cast<size_t>(len));
        }
        break;
      }
      default:
        break;
    }
  }
}

namespace {

bool CheckFieldNumber(const DbfTable& t, int n, const char* query, bool allow_zero) {
  if ((n == 0 && allow_zero) || (n >= 1 && n <= t.field_count)) return true;
  ReportError(220, std::string("Invalid field number. [") + query + "(" + std::to_string(n) +
                       ")]");
  return false;
}

}  // namespace

std::string Field(const DbfTable& t, int n) {
  if (!CheckFieldNumber(t, n, "Field", false)) return {};
  return std::string(t.field(n).Name());
}

char FieldType(const DbfTable& t, int n) {
  if (!CheckFieldNumber(t, n, "FieldType", false)) return ' ';
  return t.field(n).type;
}

int FieldLen(const DbfTable& t, int n) {
  if (!CheckFieldNumber(t, n, "FieldLen", false)) return 0;
  const DbfFieldDef& f = t.field(n);
  if (f.type == 'D') return CurrentDateForm().century ? 10 : 8;
  return f.length;
}

int FieldDec(const DbfTable& t, int n) {
  if (!CheckFieldNumber(t, n, "FieldDec", false)) return 0;
  return t.field(n).decimals;
}

uint8_t* FieldAddress(DbfTable& t, int n) {
  if (!CheckFieldNumber(t, n, "FieldAddress", true)) return nullptr;
  return fv::At(t, n);
}

int FieldNo(const DbfTable& t, std::string_view name) {
  name = name.substr(0, dbf::kMaxFieldName);
  while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
  char upper[dbf::kMaxFieldName];
  for (size_t i = 0; i < name.size(); ++i) {
    upper[i] = static_cast<char>(AnsiUpper(static_cast<uint8_t>(name[i])));
  }
  std::string_view key(upper, name.size());
  for (int n = 1; n <= t.field_count; ++n) {
    if (t.field(n).Name() == key) return n;
  }
  return 0;
}

namespace fv {

size_t TextCapacity(const DbfFieldDef& f) {
  if (f.type == 'C') return f.length;
  if (f.type == 'D') return 10;
  return 0;
}

void SetText(DbfTable& t, int n, std::string_view text) {
  size_t len = std::min(text.size(), TextCapacity(t.field(n)));
  uint8_t* p = At(t, n);
  p[0] = static_cast<uint8_t>(len);
  std::memcpy(p + 1, text.data(), len);
}

double Number(const DbfTable& t, int n) {
  const DbfFieldDef& f = t.field(n);
  if ((f.type == 'N' || f.type == 'F') && f.decimals > 0) return Double(t, n);
  return Int(t, n);
}

void SetNumber(DbfTable& t, int n, double v) {
  const DbfFieldDef& f = t.field(n);
  if ((f.type == 'N' || f.type == 'F') && f.decimals > 0) {
    SetDouble(t, n, v);
  } else {
    SetInt(t, n, ToInt32(std::trunc(v)));
  }
}

}  // namespace fv

}  // namespace sv
