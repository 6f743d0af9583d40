#include "engine/table_component.h"

#include <algorithm>
#include <cstdio>

#include "engine/engine_state.h"
#include "engine/error.h"
#include "engine/expression.h"
#include "engine/search.h"
#include "engine/work_area.h"
#include "support/files.h"
#include "support/numbers.h"
#include "support/text.h"

namespace sv {
namespace {

std::vector<TTzODbf*>& Registry() {
  static std::vector<TTzODbf*> components;
  return components;
}

std::string First10Upper(const std::string& s) { return UpperText(s.substr(0, 10)); }

bool AcceptsCharacter(char type, int) { return type == 'C'; }
bool AcceptsLogical(char type, int) { return type == 'L'; }
bool AcceptsWholeNumber(char type, int decimals) {
  return (type == 'N' || type == 'F') && decimals == 0;
}
bool AcceptsAny(char, int) { return true; }

std::string ActualTypeText(const DbfFieldDef& f) {
  switch (f.type) {
    case 'C':
      return "Character";
    case 'D':
      return "Date";
    case 'N':
    case 'F':
      return "Numeric, width: " + std::to_string(f.length) +
             " decimals: " + std::to_string(f.decimals);
    case 'L':
      return "Logical";
    case 'M':
      return "Memo";
    default:
      return std::string(1, f.type);
  }
}

std::string MemoText(int32_t block) { return block == 0 ? "none" : block < 0 ? "BLOB" : "MEMO"; }

bool IsValidViewFieldChar(char c, bool first) {
  if (c >= 'a' && c <= 'z') return true;
  if (first) return false;
  return (c >= '0' && c <= '9') || c == '_';
}

}  // namespace

const std::vector<TTzODbf*>& TableComponents() { return Registry(); }

std::vector<TagDefinition> TagDefinitionsFrom(const std::vector<std::string>& index_list) {
  std::vector<TagDefinition> definitions;
  for (size_t i = 0; i + 1 < index_list.size(); i += 2) {
    const std::string& line = index_list[i];
    TagDefinition d;
    size_t comma = line.find(',');
    d.name = line.substr(0, std::min(comma, line.size())).substr(0, 10);
    if (comma != std::string::npos) {
      d.descending = comma + 1 < line.size() && line[comma + 1] == 'T';
      d.unique = comma + 3 < line.size() && line[comma + 3] == 'T';
      if (comma + 5 <= line.size()) d.expression = line.substr(comma + 5, 220);
    }
    d.condition = index_list[i + 1].substr(0, 220);
    definitions.push_back(d);
  }
  return definitions;
}

bool SplitFieldLine(const std::string& line, DbfFieldSpec& field_def) {
  if (std::count(line.begin(), line.end(), ',') != 3) return false;
  size_t c1 = line.find(',');
  size_t c2 = line.find(',', c1 + 1);
  size_t c3 = line.find(',', c2 + 1);
  field_def.name = TrimText(line.substr(0, c1)).substr(0, 10);
  std::string type = TrimText(line.substr(c1 + 1, c2 - c1 - 1));
  field_def.type = type.empty() ? ' ' : type[0];
  // Kept as read: cut to 8 bits, a length of 300 would silently become 44
  // and escape the corrections.
  field_def.length = TextToSmallInt(TrimText(line.substr(c2 + 1, c3 - c2 - 1)));
  field_def.decimals = TextToSmallInt(TrimText(line.substr(c3 + 1)));
  return true;
}

// ---------------------------------------------------------------------------
// TTzODbf

TTzODbf::TTzODbf(const std::string& name) : name_(name) { Registry().push_back(this); }

TTzODbf::~TTzODbf() {
  auto& r = Registry();
  r.erase(std::remove(r.begin(), r.end(), this), r.end());
}

void TTzODbf::SelectArea(const char* operation) {
  if (area_ == 0) {
    std::string detail =
        std::string("Database is not open [") + name_ + "." + operation + "]";
    ReportError(1103, detail);
    // Operating on a closed table ends the program whatever the checking.
    HaltProgram(1103, detail);
  }
  if (CurrentAreaNumber() != area_) Select(area_);
  Switches().hide_deleted = HideDeletedRecs;
  Switches().oem_language = TableLanguage == tlOem;
}

bool TTzODbf::OpenArea(const std::string& command, bool fix_record_count) {
  const int previous = CurrentAreaNumber();
  if (!Select(area_)) {
    Select(previous);
    return false;
  }
  const bool was_fixing = Switches().fix_rec_count;
  Switches().fix_rec_count = fix_record_count;
  Switches().oem_language = TableLanguage == tlOem;
  Switches().hide_deleted = HideDeletedRecs;
  bool ok = Use(command) && CurrentArea() != nullptr;
  Switches().fix_rec_count = was_fixing;
  if (!ok) return false;
  area_ = CurrentAreaNumber();
  return true;
}

void TTzODbf::CloseArea() {
  if (area_ == 0) return;
  SelectArea("CloseThisArea");
  Use("");
  area_ = 0;
}

void TTzODbf::BuildWindowFields() {
  DataSet().ClearFieldDefs();
  WorkArea* a = Area(area_);
  if (a == nullptr) return;
  std::vector<TTzField> fields;
  std::vector<std::string> seen;
  for (int n = 1; n <= a->field_count; ++n) {
    const DbfFieldDef& f = a->field(n);
    std::string name = TrimText(LowerText(std::string(f.Name())));
    if (name.empty()) throw ETableError("Field name missing");
    for (char& c : name) {
      if (c == ' ') c = '_';
    }
    if (std::find(seen.begin(), seen.end(), name) != seen.end()) {
      throw ETableError("Duplicate field name '" + name + "'");
    }
    for (size_t i = 0; i < name.size(); ++i) {
      if (!IsValidViewFieldChar(name[i], i == 0)) {
        throw ETableError("Invalid field name '" + name + "'");
      }
    }
    if (std::string("CDFLMN").find(f.type) == std::string::npos) {
      throw ETableError("Invalid field type '" + std::string(1, f.type) + "' for '" + name + "'");
    }
    seen.push_back(name);
    fields.emplace_back(&DataSet(), name, f.type, f.length, f.decimals, n);
  }
  DataSet().DefineFields(std::move(fields));
}

void TTzODbf::ResyncUnlessBof() {
  WorkArea* a = Area(area_);
  if (a != nullptr && a->bof) return;
  Resync();
}

void TTzODbf::Append() {
  SelectArea("Append");
  sv::Append();
  Resync();
}

void TTzODbf::AppendBlank() {
  SelectArea("AppendBlank");
  sv::ClearRecord();
  sv::Append();
  Resync();
}

void TTzODbf::AppendFrom(const std::string& file_name) {
  SelectArea("AppendFrom");
  sv::AppendFrom(file_name);
  Resync();
}

void TTzODbf::ClearRecord() {
  SelectArea("ClearRecord");
  sv::ClearRecord();
  RecordChanged();
}

void TTzODbf::DeleteRec() {
  SelectArea("DeleteRec");
  sv::DeleteRec();
  Resync();
}

void TTzODbf::Flush() {
  SelectArea("Flush");
  sv::FlushDbf();
}

void TTzODbf::Go(int32_t n) {
  SelectArea("Go");
  sv::Go(n);
  Resync();
}

void TTzODbf::GoTop() {
  SelectArea("GoTop");
  sv::GoTop();
  Resync();
}

void TTzODbf::Replace() {
  SelectArea("Replace");
  sv::Replace();
  Resync();
}

void TTzODbf::ReplaceNoUpdate() {
  SelectArea("ReplaceNoUpdate");
  sv::ReplaceNoUpdate();
  Resync();
}

int TTzODbf::Search(const std::string& text, int field, bool from_top) {
  SelectArea("Search");
  int found = sv::Search(text, field, from_top);
  Resync();
  return found;
}

void TTzODbf::SetFilterTo(const std::string& condition) {
  SelectArea("SetFilterTo");
  sv::Set_Filter_To(condition);
  Resync();
}

void TTzODbf::Skip(int32_t n) {
  SelectArea("Skip");
  sv::Skip(n);
  ResyncUnlessBof();
}

bool TTzODbf::Deleted() {
  SelectArea("Deleted");
  return sv::Deleted();
}

std::string TTzODbf::Field(int n) {
  SelectArea("Field");
  return sv::Field(*CurrentArea(), n);
}

uint8_t* TTzODbf::FieldAddress(int n) {
  SelectArea("FieldAddress");
  return sv::FieldAddress(*CurrentArea(), n);
}

int TTzODbf::FieldCount() {
  SelectArea("FieldCount");
  return sv::FieldCount();
}

int TTzODbf::FieldDec(int n) {
  SelectArea("FieldDec");
  return sv::FieldDec(*CurrentArea(), n);
}

int TTzODbf::FieldLen(int n) {
  SelectArea("FieldLen");
  return sv::FieldLen(*CurrentArea(), n);
}

char TTzODbf::FieldType(int n) {
  SelectArea("FieldType");
  return sv::FieldType(*CurrentArea(), n);
}

bool TTzODbf::Pack() {
  SelectArea("Pack");
  bool ok = sv::Pack();
  Resync();
  return ok;
}

int32_t TTzODbf::RecCount() {
  SelectArea("RecCount");
  return sv::RecCount();
}

int32_t TTzODbf::RecNo() {
  SelectArea("RecNo");
  return sv::RecNo();
}

bool TTzODbf::Zap() {
  SelectArea("Zap");
  bool ok = sv::Zap();
  Resync();
  return ok;
}

bool TTzODbf::dEOF() {
  SelectArea("dEOF");
  return sv::dEOF();
}

bool TTzODbf::ALock() {
  SelectArea("ALock");
  return sv::ALock();
}

bool TTzODbf::FLock() {
  SelectArea("FLock");
  return sv::FLock();
}

bool TTzODbf::RLock() {
  SelectArea("RLock");
  return sv::RLock();
}

void TTzODbf::UnLock() {
  SelectArea("UnLock");
  sv::Unlock();
}

int TTzODbf::LookupField(const std::string& name, const char* operation,
                         const char* expected_kind, bool (*accepts)(char, int)) {
  SelectArea(operation);
  WorkArea& a = *CurrentArea();
  int n = sv::FieldNo(a, name);
  if (n == 0) {
    ReportError(220, "Field '" + name + "' not in '" + a.file_name + "' [" + operation + "]");
    return 0;
  }
  const DbfFieldDef& f = a.field(n);
  if (!accepts(f.type, f.decimals)) {
    ReportError(220, std::string("'") + operation + "()' expects field '" + name +
                         "' to be of type:\r\n'" + expected_kind + "'.'" + name +
                         "' actually is: '" + ActualTypeText(f) + "'");
    return 0;
  }
  return n;
}

std::string TTzODbf::GetField(const std::string& name) {
  int n = LookupField(name, "GetField", "", AcceptsAny);
  if (n == 0) return {};
  WorkArea& a = *CurrentArea();
  const DbfFieldDef& f = a.field(n);
  switch (f.type) {
    case 'C':
    case 'D':
      return std::string(fv::Text(a, n));
    case 'N':
    case 'F':
      if (f.decimals > 0) return FloatToTextWidth(f.length, f.decimals, fv::Double(a, n));
      return IntToTextWidth(fv::Int(a, n), f.length);
    case 'L':
      return fv::Bool(a, n) ? "Y" : "N";
    case 'M':
      return MemoText(fv::Int(a, n));
    default:
      return {};
  }
}

bool TTzODbf::Find(const std::string& key) {
  SelectArea("Find");
  bool found = sv::Find(std::string_view(key).substr(0, 100));
  Resync();
  return found;
}

void TTzODbf::SetOrderTo(uint8_t tag) {
  SelectArea("SetOrderTo");
  sv::SetOrderTo(tag);
  Resync();
}

void TTzODbf::SetOrderToTag(const std::string& name) {
  SelectArea("SetOrderToTag");
  sv::SetOrderToTag(name);
  Resync();
}

int TTzODbf::CurrentOrder() {
  SelectArea("CurrentOrder");
  return sv::CurrentOrder();
}

std::string TTzODbf::Evaluate(const std::string& expression) {
  SelectArea("Evaluate");
  return EvaluateInCurrentArea(expression);
}

bool TTzODbf::GetLField(const std::string& name) {
  int n = LookupField(name, "GetLField", "logical", AcceptsLogical);
  return n != 0 && fv::Bool(*CurrentArea(), n);
}

int32_t TTzODbf::GetLongField(const std::string& name) {
  int n = LookupField(name, "GetLongField", "numeric, without decimals", AcceptsWholeNumber);
  return n == 0 ? 0 : fv::Int(*CurrentArea(), n);
}

void TTzODbf::SetCField(const std::string& name, const std::string& text) {
  int n = LookupField(name, "SetCField", "character", AcceptsCharacter);
  if (n == 0) return;
  fv::SetText(*CurrentArea(), n, text);
  RecordChanged();
}

void TTzODbf::SetLField(const std::string& name, bool value) {
  int n = LookupField(name, "SetLField", "logical", AcceptsLogical);
  if (n == 0) return;
  fv::SetBool(*CurrentArea(), n, value);
  RecordChanged();
}

void TTzODbf::SetLongField(const std::string& name, int32_t value) {
  int n = LookupField(name, "SetLongField", "numeric, without decimals", AcceptsWholeNumber);
  if (n == 0) return;
  fv::SetInt(*CurrentArea(), n, value);
  RecordChanged();
}

// View operations.

int TTzODbf::GoToBookmark(int32_t bookmark) {
  SelectArea("SetToBookmark");
  ErrorCheckingOff quiet;
  sv::Go(bookmark);
  return LastErrorCode();
}

void TTzODbf::ClearFields() {
  SelectArea("ClearFields");
  sv::ClearRecord();
}

int TTzODbf::GetBookmark(int32_t& bookmark) {
  SelectArea("GetBookmark");
  bookmark = sv::RecNo();
  if (sv::dEOF()) return 2;
  if (sv::dBOF()) return 1;
  return 0;
}

int32_t TTzODbf::GetRecordCount() {
  SelectArea("GetRecordCount");
  return sv::RecCount();
}

bool TTzODbf::IsDeleted() {
  SelectArea("Deleted");
  return sv::Deleted();
}

bool TTzODbf::LockLoop(bool (*lock)(), const LockFailed& handler, const char* operation) {
  if (lock()) return true;
  if (handler) {
    bool resolved = true;
    handler(this, resolved);
    return resolved;
  }
  ShowWarning(std::string("Lock failed [") + operation + "]");
  return false;
}

bool TTzODbf::DoDelete() {
  SelectArea("_Delete");
  if (!LockLoop(sv::RLock, OnRLockFailedOnDelete, "_Delete")) return false;
  sv::DeleteRec();
  sv::Unlock();
  return true;
}

bool TTzODbf::DoFirst() {
  SelectArea("_First");
  sv::GoTop();
  return !sv::dEOF();
}

bool TTzODbf::DoInsert() {
  SelectArea("_Insert");
  if (!LockLoop(sv::ALock, OnALockFailedOnInsert, "_Insert")) return false;
  sv::Append();
  sv::Unlock();
  return true;
}

bool TTzODbf::DoIsEmpty() {
  SelectArea("_IsEmpty");
  return sv::dEOF() && sv::dBOF();
}

bool TTzODbf::DoLast() {
  SelectArea("_Last");
  sv::GoBottom();
  return !sv::dBOF();
}

bool TTzODbf::DoMoveBy(int distance) {
  SelectArea("_MoveBy");
  sv::Skip(distance);
  return true;
}

bool TTzODbf::DoNext() {
  SelectArea("_Next");
  if (sv::dEOF()) return false;
  sv::Skip(1);
  return !sv::dEOF();
}

bool TTzODbf::DoPost() {
  SelectArea("_Post");
  if (!LockLoop(sv::RLock, OnRLockFailedOnPost, "_Post")) return false;
  sv::Replace();
  sv::Unlock();
  return true;
}

bool TTzODbf::DoPrior() {
  SelectArea("_Prior");
  if (sv::dBOF()) return false;
  sv::Skip(-1);
  return !sv::dBOF();
}

bool TTzODbf::DoRefresh() {
  SelectArea("_Refresh");
  if (sv::RecCount() == 0) return false;
  if (sv::Deleted() && HideDeletedRecs) {
    sv::Skip(1);
    if (sv::dEOF()) sv::GoBottom();
  } else {
    sv::Skip(0);
  }
  return !sv::dEOF();
}

bool TTzODbf::DoRestore() {
  SelectArea("_Restore");
  if (!LockLoop(sv::RLock, OnRLockFailedOnRestore, "_Restore")) return false;
  sv::RecallRec();
  sv::Unlock();
  return true;
}

uint8_t* TTzODbf::ValueBuffer() {
  WorkArea* a = Area(area_);
  return a == nullptr ? nullptr : a->values.data();
}

size_t TTzODbf::ValueBufferSize() {
  WorkArea* a = Area(area_);
  return a == nullptr ? 0 : a->values.size();
}

// ---------------------------------------------------------------------------
// TTzDbf

TTzDbf::TTzDbf(const std::string& name) : TTzODbf(name) {}

TTzDbf::~TTzDbf() { Close(); }

void TTzDbf::SetLoading() { loaded_ = false; }

void TTzDbf::Loaded() {
  loaded_ = true;
  if (active_requested_) {
    active_requested_ = false;
    Open();
  }
}

bool TTzDbf::Active() const { return loaded_ ? IsOpen() : active_remembered_; }

void TTzDbf::SetActive(bool on) {
  if (!loaded_) {
    active_remembered_ = on;
    if (on) active_requested_ = true;
    return;
  }
  if (on == IsOpen()) return;
  if (on) {
    Open();
  } else {
    Close();
  }
}

void TTzDbf::SetExclusive(bool on) {
  if (on == exclusive_) return;
  exclusive_ = on;
  Reopen();
}

void TTzDbf::SetDbfFileName(const std::string& name) {
  std::string trimmed = TrimText(name);
  if (!trimmed.empty() && trimmed.back() != '.') {
    size_t slash = trimmed.find_last_of('/');
    size_t dot = trimmed.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
      trimmed += ".DBF";
    }
  }
  file_name_ = trimmed;
  if (file_name_.empty()) {
    Close();
  } else {
    Reopen();
  }
}

void TTzDbf::SetName(const std::string& name) {
  if (TrimText(name).empty()) {
    ShowWarning("This field cannot be left empty!");
    return;
  }
  for (TTzODbf* other : TableComponents()) {
    if (other != this && First10Upper(other->Name()) == First10Upper(name)) {
      ShowWarning(
          "The first 10 characters of Name property\r\nmust be unique, since this part\r\nof "
          "the name is used as an ALIAS.");
      return;
    }
  }
  name_ = name;
}

void TTzDbf::Reopen() {
  if (!IsOpen()) return;
  SetActive(false);
  SetActive(true);
}

bool TTzDbf::Open() {
  if (!loaded_ || IsOpen() || file_name_.empty()) return IsOpen();
  if (CreateIfNotFound && !FileExistsName(file_name_)) {
    if (!CreateTableFile()) ShowWarning("Could not create '" + file_name_ + "'");
  }
  std::string command = file_name_;
  if (exclusive_) command += " EXCLUSIVE";
  if (!TrimText(name_).empty()) command += " ALIAS " + name_.substr(0, 10);
  if (!OpenArea(command, AutoFixRecCount)) return false;
  OpenProductionIndex();
  DataSet().ClearFieldDefs();
  try {
    BuildWindowFields();
  } catch (const ETableError&) {
    // The window that owns the table is not created; neither is the table left open.
    CloseArea();
    throw;
  }
  DataSet().Open();
  return true;
}

void TTzDbf::Close() {
  if (!IsOpen()) return;
  DataSet().Close();
  DataSet().ClearFieldDefs();
  CloseArea();
}

void TTzDbf::OpenProductionIndex() {
  WorkArea& a = *Area(WorkAreaNumber());
  const size_t tag_count = index_list_.size() / 2;
  if (tag_count == 0) {
    if (ProductionIndexFlag(a)) SetIndexTo("");
    return;
  }
  SetProductionIndexFlag(a, true);
  TCreateIndex mode = CreateIndex;
  size_t slash = file_name_.find_last_of('/');
  size_t dot = file_name_.find_last_of('.');
  std::string index_file =
      (dot == std::string::npos || (slash != std::string::npos && dot < slash))
          ? file_name_ + ".MDX"
          : file_name_.substr(0, dot) + ".MDX";
  if (mode == ciNever) {
    SetIndexTo(index_file);
    return;
  }
  {
    ErrorCheckingOff quiet;
    if (FileExistsName(IndexFileName(a, index_file))) {
      std::string semaphore = IndexSemaphoreName(a.path);
      if ((mode == ciAlways || mode == ciVerifyHeader) && FileExistsName(semaphore)) {
        if (FileDatedToday(semaphore)) {
          mode = ciNotFound;
        } else {
          EraseOneFile(semaphore);
        }
      }
      ClearLastError();
    } else {
      mode = ciAlways;
    }
    if (mode == ciVerifyHeader) {
      std::vector<std::string> stored;
      try {
        ReadIndexTagList(index_file, &stored);
      } catch (const ETableError&) {
        stored.clear();
      }
      mode = ciNotFound;
      if (index_list_.empty()) {
        index_list_ = stored;
      } else if (stored != index_list_) {
        mode = ciAlways;
      }
    }
    if (mode == ciNotFound) {
      try {
        SetIndexTo(index_file);
      } catch (const ETableError&) {
      }
      int code = LastErrorCode();
      // Missing, damaged or of another version: built again below.
      if (code == 2 || code == 222 || code == 223) {
        ClearLastError();
        mode = ciAlways;
      }
    }
  }
  if (mode != ciAlways) return;
  std::vector<TagDefinition> definitions = TagDefinitionsFrom(index_list_);
  bool can_make = true;
  if (OnBeforeMakeIndex) OnBeforeMakeIndex(this, index_file, can_make);
  if (!can_make) {
    SetProductionIndexFlag(a, false);
    return;
  }
  MakeIndex(definitions, index_file);
  if (OnAfterMakeIndex) OnAfterMakeIndex(this, index_file);
  if (LastErrorCode() == 0) SetIndexTo(index_file);
}

bool TTzDbf::CreateTableFile() {
  if (DbfFields.empty()) {
    ShowWarning("FieldList.Count is <= 0 trying to create a database");
    return false;
  }
  std::vector<DbfFieldSpec> field_defs;
  for (const std::string& line : DbfFields) {
    DbfFieldSpec written;
    // Nothing is written until every line has been read.
    if (!SplitFieldLine(line, written)) return false;
    const std::string& name = written.name;
    const char type = written.type;
    const int length = written.length;
    const int decimals = written.decimals;
    if (type == 'X') continue;

    char new_type = type;
    int new_length = length;
    int new_decimals = decimals;
    if (std::string("CDFLMN").find(type) == std::string::npos || type == ' ') new_type = 'C';
    if (type == 'N') {
      if (length > 20) new_length = 20;
      if (decimals > 18) new_decimals = 18;
      if (decimals != 0 && length - decimals < 2) new_decimals = std::max(0, length - 2);
    }
    if (type == 'C' && length > 254) {
      new_length = 254;
      new_decimals = 0;
    }
    if (new_type != type || new_length != length || new_decimals != decimals) {
      char text[512];
      std::snprintf(text, sizeof text,
                    "Invalid field definition for %s: %s,%s,%d,%d. Will use corrected "
                    "definition: %s,%s,%d,%d",
                    name_.c_str(), name.c_str(), std::string(1, type).c_str(), length, decimals,
                    name.c_str(), std::string(1, new_type).c_str(), new_length, new_decimals);
      ShowWarning(text);
    }
    field_defs.push_back({name, new_type, new_length, new_decimals});
  }
  ErrorCheckingOff quiet;
  ClearLastError();
  CreateDBF(file_name_, field_defs);
  return LastErrorCode() == 0;
}

}  // namespace sv
