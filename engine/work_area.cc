#include "engine/work_area.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "engine/dates.h"
#include "engine/engine_state.h"
#include "engine/error.h"
#include "engine/hooks.h"
#include "support/numbers.h"
#include "support/sysfile.h"
#include "support/text.h"

namespace sv {
namespace {

std::unique_ptr<WorkArea> g_areas[kAppendFromArea + 1];
int g_current = 1;

bool ValidSlot(int n) { return (n >= 1 && n <= kWorkAreaCount) || n == kAppendFromArea; }

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

// Every command starts here: clears the last error and finds the current
// area, or reports that there is none.
WorkArea* Require(const char* command) {
  ClearLastError();
  WorkArea* a = CurrentArea();
  if (a == nullptr) {
    ReportError(215, std::string("No database in use [") + command + "]  WorkArea = " +
                         std::to_string(g_current));
  }
  return a;
}

bool Ordered(const WorkArea& a) {
  return a.index != nullptr && IdxHooks().ordered != nullptr && IdxHooks().ordered(a);
}

bool ReadAndScatter(WorkArea& a, int32_t n) {
  if (!GetDbfRecord(a, n)) return false;
  ScatterRecord(a);
  return true;
}

// Folds ASCII letters only: file names are bytes of the file system.
std::string UpperAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}


// Deletes every occurrence of an option word (" EXCLUSIVE") that is not
// followed by a letter, digit, '\' or '_'.
bool RemoveOptionWord(const std::string& word, std::string& text) {
  bool removed = false;
  size_t pos = 0;
  while ((pos = text.find(word, pos)) != std::string::npos) {
    size_t end = pos + word.size();
    unsigned char next = end < text.size() ? static_cast<unsigned char>(text[end]) : ' ';
    if (std::isalnum(next) || next == '\\' || next == '_') {
      pos = end;
      continue;
    }
    text.erase(pos, word.size());
    removed = true;
  }
  return removed;
}

std::string WithDefaultExtension(std::string name) {
  size_t slash = name.find_last_of('/');
  size_t dot = name.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) name += ".DBF";
  return name;
}

std::string BaseNameUpper(const std::string& path) {
  size_t slash = path.find_last_of('/');
  std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  size_t dot = base.find_last_of('.');
  if (dot != std::string::npos) base.resize(dot);
  return UpperAscii(base);
}

// The engine's full form of a table name: upper case, full path, extension.
std::string TableNameOf(std::string_view name) {
  return WithDefaultExtension(FullPathOf(UpperAscii(TrimText(name))));
}

void CloseArea(int n) {
  std::unique_ptr<WorkArea>& slot = g_areas[n];
  if (!slot) return;
  WorkArea& a = *slot;
  if (a.index != nullptr && IdxHooks().close != nullptr) IdxHooks().close(a);
  a.lock_state = kNoLock;
  a.locked_records.clear();
  a.swap.clear();
  if (a.filter != nullptr && ExprHooks().release != nullptr) {
    ExprHooks().release(a.filter);
    a.filter = nullptr;
  }
  CloseDbf(a);
  slot.reset();
}

// Steps from the current record one visible record forward (direction +1)
// or backward (-1) in the active order. False when an end was hit.
bool StepOnce(WorkArea& a, int direction) {
  if (Ordered(a)) {
    int32_t was = a.current;
    int32_t r;
    if (direction > 0) {
      r = IdxHooks().next(a);
      if (r == 0 || r == was || IdxHooks().at_end(a)) return false;
    } else {
      // Past the end the order still stands on its last key, which is the
      // record before the end.
      r = was > a.record_count ? IdxHooks().last(a) : IdxHooks().prior(a);
      if (r == 0 || (r == was && was <= a.record_count) || r > a.record_count ||
          (was <= a.record_count && IdxHooks().at_start(a))) {
        return false;
      }
    }
    if (r < 1 || r > a.record_count) return false;
    return ReadAndScatter(a, r);
  }
  int32_t r = a.current + direction;
  if (r < 1 || r > a.record_count) return false;
  return ReadAndScatter(a, r);
}

}  // namespace

WorkArea::~WorkArea() {
  if (index != nullptr && IdxHooks().close != nullptr) IdxHooks().close(*this);
  if (filter != nullptr && ExprHooks().release != nullptr) ExprHooks().release(filter);
  filter = nullptr;
}

WorkArea* Area(int n) { return ValidSlot(n) ? g_areas[n].get() : nullptr; }
int CurrentAreaNumber() { return g_current; }
WorkArea* CurrentArea() { return Area(g_current); }

bool RecordVisible(WorkArea& a) {
  if (Switches().hide_deleted && !a.record.empty() && a.record[0] == dbf::kDeletedFlag) {
    return false;
  }
  if (a.filter != nullptr && ExprHooks().admits != nullptr) return ExprHooks().admits(a.filter);
  return true;
}

void BlankBuffers(WorkArea& a) {
  std::fill(a.record.begin(), a.record.end(), static_cast<uint8_t>(' '));
  ScatterRecord(a);
}

void GoPastEnd(WorkArea& a) {
  BlankBuffers(a);
  a.current = a.record_count + 1;
  a.eof = a.bof = true;
}

bool Select(int n) {
  ClearLastError();
  if (n == 0) {
    for (int i = 1; i <= kWorkAreaCount; ++i) {
      if (!g_areas[i]) {
        g_current = i;
        return true;
      }
    }
    ReportError(220, "No free workarea available [Select(0)]");
    return false;
  }
  if (n < 1 || n > kWorkAreaCount) {
    ReportError(220, "Invalid workarea selected = [Select(" + std::to_string(n) + ")]");
    return false;
  }
  g_current = n;
  return true;
}

bool Use(std::string_view command) {
  ClearLastError();
  CloseArea(g_current);
  std::string text = TrimText(command);
  if (text.empty()) return true;
  text = UpperAscii(text) + " ";
  RemoveOptionWord(" EXCLUSIVE", text);
  std::string alias;
  size_t alias_pos = text.find(" ALIAS ");
  if (alias_pos != std::string::npos) {
    std::string rest = TrimText(text.substr(alias_pos + 7));
    alias = rest.substr(0, std::min(rest.find(' '), rest.size()));
    if (alias.size() > 64) alias.resize(64);
    text.resize(alias_pos);
  }
  std::string name = TableNameOf(text);
  if (alias.empty()) alias = BaseNameUpper(name);

  auto area = std::make_unique<WorkArea>();
  area->number = g_current;
  // Shared use is never offered: every table is opened for exclusive use.
  area->exclusive_use = true;
  if (!OpenDbf(*area, name, Switches().oem_language)) return false;
  area->alias = alias;
  WorkArea& a = *area;
  g_areas[g_current] = std::move(area);

  for (int i = 1; i <= kWorkAreaCount; ++i) {
    if (i != g_current && g_areas[i] && g_areas[i]->alias == alias) {
      ReportError(220, "Alias name " + Quoted(alias) + " already in use. [USE]");
      break;
    }
  }
  if (a.record_count < 1) {
    std::fill(a.values.begin(), a.values.end(), static_cast<uint8_t>(0));
    BlankBuffers(a);
    a.eof = a.bof = true;
  } else {
    GoTop();
  }
  a.swap.assign(a.values.size(), 0);
  return true;
}

void GoTop() {
  WorkArea* ap = Require("GoTop");
  if (ap == nullptr) return;
  WorkArea& a = *ap;
  if (a.record_count == 0) return;
  int32_t first = 1;
  if (Ordered(a)) {
    first = IdxHooks().first(a);
    if (first < 1 || first > a.record_count) {
      GoPastEnd(a);
      return;
    }
  }
  if (!ReadAndScatter(a, first)) return;
  while (!RecordVisible(a) && !a.eof && LastErrorCode() == 0) {
    if (!StepOnce(a, +1)) {
      if (LastErrorCode() == 0) GoPastEnd(a);
      return;
    }
  }
}

void GoBottom() {
  WorkArea* ap = Require("GoBottom");
  if (ap == nullptr) return;
  WorkArea& a = *ap;
  if (a.record_count == 0) return;
  int32_t last = a.record_count;
  if (Ordered(a)) {
    last = IdxHooks().last(a);
    if (last < 1 || last > a.record_count) {
      GoPastEnd(a);
      return;
    }
  }
  if (!ReadAndScatter(a, last)) return;
  while (!RecordVisible(a) && !a.eof && LastErrorCode() == 0) {
    if (!StepOnce(a, -1)) {
      if (LastErrorCode() == 0) GoPastEnd(a);
      return;
    }
  }
}

void Skip(int32_t n) {
  WorkArea* ap = Require("SKIP()");
  if (ap == nullptr) return;
  WorkArea& a = *ap;
  if (n == 0) {
    if (a.eof || a.record_count == 0) {
      BlankBuffers(a);
    } else {
      ReadAndScatter(a, a.current);
    }
    return;
  }
  if (n > 0 && a.eof) {
    ReportError(212, "Database " + Quoted(a.file_name) + " is past EOF. [SKIP]");
    return;
  }
  if (a.record_count == 0) {
    a.eof = a.bof = true;
    ReportError(212, "Database " + Quoted(a.file_name) + " is empty. [SKIP]");
    return;
  }
  if (n < 0 && a.bof) return;
  a.eof = a.bof = false;
  const int direction = n > 0 ? 1 : -1;
  int64_t remaining = n > 0 ? static_cast<int64_t>(n) : -static_cast<int64_t>(n);
  bool hit_end = false;
  while (remaining > 0) {
    if (!StepOnce(a, direction)) {
      if (LastErrorCode() != 0) return;
      hit_end = true;
      break;
    }
    if (LastErrorCode() != 0) return;
    if (RecordVisible(a)) --remaining;
  }
  if (!hit_end) return;
  if (direction > 0) {
    BlankBuffers(a);
    a.current = a.record_count + 1;
    a.eof = true;
    a.bof = false;
  } else {
    GoTop();
    a.bof = true;
  }
}

void Go(int32_t n) {
  WorkArea* ap = Require("GO()");
  if (ap == nullptr) return;
  WorkArea& a = *ap;
  auto report = [&a, n] {
    ReportError(212, "Invalid record number = " + std::to_string(n) + " Database " +
                         Quoted(a.file_name) + " [GO]");
  };
  if (a.record_count == 0) {
    a.eof = a.bof = true;
    BlankBuffers(a);
    report();
    return;
  }
  if (n >= 1 && n <= a.record_count) {
    a.eof = a.bof = false;
    if (!ReadAndScatter(a, n)) return;
    if (a.index != nullptr && IdxHooks().sync != nullptr) IdxHooks().sync(a);
    return;
  }
  a.current = a.record_count + 1;
  a.eof = true;
  report();
}

bool dEOF() {
  WorkArea* ap = Require("dEOF");
  if (ap == nullptr) return true;
  WorkArea& a = *ap;
  if (a.current > a.record_count) a.eof = true;
  return a.eof || (Ordered(a) && IdxHooks().at_end(a));
}

bool dBOF() {
  WorkArea* ap = Require("dBOF");
  if (ap == nullptr) return true;
  WorkArea& a = *ap;
  return a.bof || (Ordered(a) && IdxHooks().at_start(a));
}

int32_t RecNo() {
  WorkArea* a = Require("RecNo");
  return a == nullptr ? 0 : a->current;
}

int32_t RecCount() {
  WorkArea* a = Require("RecCount");
  return a == nullptr ? 0 : a->record_count;
}

bool Deleted() {
  WorkArea* a = Require("Deleted");
  return a != nullptr && fv::Deleted(*a);
}

void ClearRecord() {
  WorkArea* a = Require("ClearRecord");
  if (a != nullptr) BlankBuffers(*a);
}

void Append() {
  WorkArea* ap = Require("Append");
  if (ap == nullptr) return;
  WorkArea& a = *ap;
  GatherRecord(a);
  if (!PutDbfRecord(a, a.record_count + 1)) return;
  ScatterRecord(a);
  if (a.index != nullptr && IdxHooks().append_key != nullptr) IdxHooks().append_key(a);
  a.eof = a.bof = false;
}

namespace {

void ReplaceRecord(const char* command) {
  WorkArea* ap = Require(command);
  if (ap == nullptr) return;
  WorkArea& a = *ap;
  if (a.current <= 0) {
    ReportError(212, "Database " + Quoted(a.file_name) + " is empty. [REPLACE]");
    return;
  }
  if (a.current > a.record_count) {
    ReportError(212, "Database " + Quoted(a.file_name) + " is at EOF. [REPLACE]");
    return;
  }
  const bool maintain = Switches().index_maintenance && a.index != nullptr;
  if (maintain) {
    // The tags need the keys of the record as it is on file.
    a.swap = a.values;
    if (!ReadAndScatter(a, a.current)) return;
    if (IdxHooks().note_old_keys != nullptr) IdxHooks().note_old_keys(a);
    a.values = a.swap;
  }
  GatherRecord(a);
  if (!PutDbfRecord(a, a.current)) return;
  ScatterRecord(a);
  if (maintain && IdxHooks().compare_keys != nullptr) IdxHooks().compare_keys(a);
}

}  // namespace

void Replace() { ReplaceRecord("Replace"); }

void ReplaceNoUpdate() {
  bool was = Switches().index_maintenance;
  Switches().index_maintenance = false;
  ReplaceRecord("Replace");
  Switches().index_maintenance = was;
}

void DeleteRec() {
  WorkArea* ap = Require("DeleteRec");
  if (ap == nullptr) return;
  WorkArea& a = *ap;
  if (a.current < 1 || a.current > a.record_count) return;
  fv::SetDeleted(a, true);
  a.record[0] = dbf::kDeletedFlag;
  PutDbfDeletionFlag(a, a.current);
}

void RecallRec() {
  WorkArea* ap = Require("RecallRec");
  if (ap == nullptr) return;
  WorkArea& a = *ap;
  if (a.current < 1 || a.current > a.record_count) {
    ReportError(1103, a.file_name + " at EOF [RecallRec]");
    return;
  }
  fv::SetDeleted(a, false);
  a.record[0] = dbf::kLiveFlag;
  PutDbfDeletionFlag(a, a.current);
}

void FlushDbf() {
  WorkArea* a = Require("FlushDbf");
  if (a != nullptr) FlushDbf(static_cast<DbfTable&>(*a));
}

bool Pack() {
  WorkArea* ap = Require("Pack");
  if (ap == nullptr) return false;
  WorkArea& a = *ap;
  if (a.record_count == 0) return true;
  int32_t kept = 0;
  bool seen_deleted = false;
  const bool translate = a.translate;
  // The records move as they are stored; no translation is needed for that.
  a.translate = false;
  for (int32_t n = 1; n <= a.record_count; ++n) {
    if (!GetDbfRecord(a, n)) {
      a.translate = translate;
      return false;
    }
    if (a.record[0] == dbf::kDeletedFlag) {
      seen_deleted = true;
      continue;
    }
    ++kept;
    if (seen_deleted && !PutDbfRecord(a, kept)) {
      a.translate = translate;
      return false;
    }
  }
  a.translate = translate;
  if (!TruncateDbfRecords(a, kept, "File:  " + a.file_name + " [Pack]")) return false;
  if (!RewriteDbfHeader(a, "Pack")) return false;
  if (kept == 0) {
    BlankBuffers(a);
    a.eof = a.bof = true;
    a.current = 0;
  } else {
    if (!ReadAndScatter(a, 1)) return false;
    a.current = 1;
    a.eof = a.bof = false;
  }
  if (a.index != nullptr && IdxHooks().reindex != nullptr) IdxHooks().reindex(a);
  return LastErrorCode() == 0;
}

bool Zap() {
  WorkArea* ap = Require("Zap");
  if (ap == nullptr) return false;
  WorkArea& a = *ap;
  if (!TruncateDbfRecords(a, 0, "Error zapping " + a.file_name)) return false;
  if (!RewriteDbfHeader(a, "Zap")) return false;
  BlankBuffers(a);
  a.eof = a.bof = true;
  if (a.index != nullptr && IdxHooks().reindex != nullptr) IdxHooks().reindex(a);
  return LastErrorCode() == 0;
}

namespace {


bool IsNumeric(char t) { return t == 'N' || t == 'F'; }

// One mapped field from the source's value buffer into the target's.
void ConvertField(const WorkArea& src, int sn, WorkArea& dst, int dn) {
  const DbfFieldDef& s = src.field(sn);
  const DbfFieldDef& d = dst.field(dn);
  char st = s.type;
  char dt = d.type;
  if (dt == 'C') {
    if (st == 'C' || st == 'D') {
      std::string_view text = fv::Text(src, sn);
      if (st == 'D' && d.length < FieldValueSize(s) - 1 && CurrentDateForm().century) {
        // Without two year digits.
        double day = CtoD(text);
        Ymd ymd;
        std::string shown(text);
        if (YmdFromDay(day, ymd)) {
          DateForm form = CurrentDateForm();
          SetDateForm(DateForm{form.code, false});
          shown = DtoC(day);
          SetDateForm(form);
        }
        fv::SetText(dst, dn, shown);
      } else {
        fv::SetText(dst, dn, text);
      }
    } else if (IsNumeric(st)) {
      std::string text(d.length, ' ');
      FormatFieldNumber(fv::Number(src, sn), d.length, s.decimals, text.data());
      fv::SetText(dst, dn, text);
    } else if (st == 'L') {
      fv::SetText(dst, dn, fv::Bool(src, sn) ? "T" : "F");
    }
  } else if (IsNumeric(dt)) {
    if (st == 'C') {
      std::string text(fv::Text(src, sn));
      fv::SetNumber(dst, dn, d.decimals > 0 ? TextToFloat(text) : TextToLong(text));
    } else if (IsNumeric(st)) {
      fv::SetNumber(dst, dn, fv::Number(src, sn));
    }
  } else if (dt == 'L') {
    fv::SetBool(dst, dn, st == 'L' && fv::Bool(src, sn));
  } else if (dt == 'D') {
    if (st == 'D') {
      // The stored digits go along, so a two-digit date text keeps its century.
      std::memcpy(dst.record.data() + d.offset, src.record.data() + s.offset,
                  std::min<size_t>({8, d.length, s.length}));
      fv::SetText(dst, dn, fv::Text(src, sn));
    } else if (st == 'C') {
      double day = CtoD(fv::Text(src, sn));
      if (day != kBlankDate) fv::SetText(dst, dn, DtoC(day));
    }
  }
}

}  // namespace

void AppendFrom(std::string_view file_name) {
  WorkArea* tp = Require("AppendFrom");
  if (tp == nullptr) return;
  WorkArea& target = *tp;
  const int target_area = g_current;
  std::string name = TableNameOf(file_name);
  int source_area = 0;
  for (int i = 1; i <= kWorkAreaCount; ++i) {
    if (g_areas[i] && g_areas[i]->file_name == name) {
      source_area = i;
      break;
    }
  }
  if (source_area == target_area) {
    ReportError(214, "Attempting to append file to itself. [AppendFrom(" + name + ")]");
    return;
  }
  if (source_area == 0) {
    SysFile probe;
    int probe_code = probe.Open(ResolvePathNoCase(name), SysFile::Mode::kReadOnly, false);
    probe.Close();
    if (probe_code == 2 || probe_code == 3) {
      ReportError(2, "[AppendFrom(" + name + ")]");
      return;
    }
    g_current = kAppendFromArea;
    if (!Use(name + " ALIAS *FROMFILE")) {
      int code = LastErrorCode();
      CloseArea(kAppendFromArea);
      g_current = target_area;
      SetLastErrorCode(code);
      return;
    }
    source_area = kAppendFromArea;
  }
  WorkArea& source = *g_areas[source_area];

  std::vector<int> map(static_cast<size_t>(target.field_count) + 1, 0);
  bool any = false;
  for (int t = 1; t <= target.field_count; ++t) {
    for (int s = 1; s <= source.field_count; ++s) {
      if (source.field(s).Name() == target.field(t).Name()) {
        map[static_cast<size_t>(t)] = s;
        any = true;
        break;
      }
    }
  }
  bool identical = target.field_count == source.field_count;
  for (int t = 1; identical && t <= target.field_count; ++t) {
    const DbfFieldDef& x = target.field(t);
    const DbfFieldDef& y = source.field(t);
    identical = x.Name() == y.Name() && x.type == y.type && x.length == y.length &&
                x.decimals == y.decimals;
  }

  int first_error = 0;
  if (any) {
    g_current = source_area;
    GoTop();
    first_error = LastErrorCode();
    while (first_error == 0 && !dEOF()) {
      g_current = target_area;
      if (identical) {
        target.values = source.values;
        target.record = source.record;
      } else {
        BlankBuffers(target);
        fv::SetDeleted(target, fv::Deleted(source));
        for (int t = 1; t <= target.field_count; ++t) {
          if (map[static_cast<size_t>(t)] != 0) {
            ConvertField(source, map[static_cast<size_t>(t)], target, t);
          }
        }
      }
      Append();
      first_error = LastErrorCode();
      if (first_error != 0) break;
      g_current = source_area;
      Skip(1);
      first_error = LastErrorCode();
    }
  }
  if (source_area == kAppendFromArea) CloseArea(kAppendFromArea);
  g_current = target_area;
  SetLastErrorCode(first_error);
}


bool FLock() {
  WorkArea* a = Require("FLock");
  if (a == nullptr) return false;
  switch (a->lock_state) {
    case kNoLock:
      a->lock_state = kFileLock;
      return true;
    case kFileLock:
      return true;
    default:
      return false;
  }
}

bool ALock() {
  WorkArea* a = Require("ALock");
  if (a == nullptr) return false;
  switch (a->lock_state) {
    case kNoLock:
      a->lock_state = kAppendLock;
      return true;
    case kAppendLock:
      return true;
    default:
      return false;
  }
}

bool RLock() {
  WorkArea* a = Require("RLock");
  if (a == nullptr) return false;
  switch (a->lock_state) {
    case kNoLock:
      a->locked_records.push_back(a->current);
      a->lock_state = kRecordLocks;
      return true;
    case kRecordLocks:
      if (std::find(a->locked_records.begin(), a->locked_records.end(), a->current) ==
          a->locked_records.end()) {
        a->locked_records.push_back(a->current);
      }
      return true;
    default:
      return false;
  }
}

void Unlock() {
  WorkArea* a = Require("Unlock");
  if (a == nullptr) return;
  a->locked_records.clear();
  a->lock_state = kNoLock;
}

void Set_Filter_To(std::string_view condition) {
  WorkArea* ap = Require("Set_Filter_To");
  if (ap == nullptr) return;
  WorkArea& a = *ap;
  if (a.filter != nullptr && ExprHooks().release != nullptr) ExprHooks().release(a.filter);
  a.filter = nullptr;
  while (!condition.empty() && static_cast<unsigned char>(condition.back()) <= ' ') {
    condition.remove_suffix(1);
  }
  if (condition.empty() || ExprHooks().compile == nullptr) return;
  a.filter = ExprHooks().compile(condition);
}

int FieldCount() {
  WorkArea* a = Require("FieldCount()");
  return a == nullptr ? 0 : a->field_count;
}

int FieldNo(std::string_view name) {
  WorkArea* a = Require("FieldNo()");
  return a == nullptr ? 0 : FieldNo(*a, name);
}

void CloseAllAreas() {
  for (int i = 1; i <= kAppendFromArea; ++i) CloseArea(i);
}

}  // namespace sv
