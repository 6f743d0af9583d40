#include "engine/data_source.h"

#include <algorithm>
#include <cstring>

#include "engine/dates.h"
#include "engine/error.h"
#include "support/numbers.h"
#include "support/text.h"

namespace sv {
namespace {

size_t ValueSizeOf(char type, int length, int decimals) {
  switch (type) {
    case 'C':
      return static_cast<size_t>(length) + 1;
    case 'D':
      return 11;
    case 'N':
    case 'F':
      return decimals > 0 ? 8 : 4;
    case 'L':
      return 1;
    case 'M':
      return 4;
    default:
      return 0;
  }
}

double ReadDouble(const uint8_t* p) {
  double v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

int32_t ReadInt(const uint8_t* p) {
  int32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

}  // namespace

const BooleanTexts& LogicalTexts() {
  static const BooleanTexts texts;
  return texts;
}

// ---------------------------------------------------------------------------
// TTzField

TTzField::TTzField(TTzDataSet* owner, std::string name, char type, int length, int decimals,
                   int field_number)
    : owner_(owner),
      name_(std::move(name)),
      type_(type),
      length_(length),
      decimals_(decimals),
      field_number_(field_number),
      size_(ValueSizeOf(type, length, decimals)) {}

const uint8_t* TTzField::Value() const { return owner_->ActiveRowData() + offset_; }

std::string TTzField::DisplayText() const {
  if (owner_->rows_.empty()) return {};
  const uint8_t* v = Value();
  switch (type_) {
    case 'C':
      return TrimRightText(std::string(reinterpret_cast<const char*>(v + 1), v[0]));
    case 'D':
      return std::string(reinterpret_cast<const char*>(v + 1), v[0]);
    case 'N':
    case 'F': {
      double d = decimals_ > 0 ? ReadDouble(v) : ReadInt(v);
      return TrimText(FloatToTextWidth(0, decimals_, d));
    }
    case 'L':
      return v[0] ? LogicalTexts().true_text : LogicalTexts().false_text;
    case 'M': {
      int32_t block = ReadInt(v);
      return block == 0 ? "none" : block < 0 ? "BLOB" : "MEMO";
    }
    default:
      return {};
  }
}

void TTzField::SetText(const std::string& text) {
  if (owner_->rows_.empty()) return;
  uint8_t value[256] = {};
  size_t n = size_;
  switch (type_) {
    case 'C': {
      size_t len = std::min<size_t>(text.size(), static_cast<size_t>(length_));
      value[0] = static_cast<uint8_t>(len);
      std::memcpy(value + 1, text.data(), len);
      break;
    }
    case 'D': {
      double day = CtoD(text);
      if (day == kBlankDate && !TrimText(text).empty()) {
        ShowWarning("Invalid Date '" + text + "' specified (Field: " + name_ + ")");
        return;
      }
      std::string shown = day == kBlankDate ? BlankDateText() : DtoC(day);
      value[0] = static_cast<uint8_t>(std::min<size_t>(shown.size(), 10));
      std::memcpy(value + 1, shown.data(), value[0]);
      break;
    }
    case 'N':
    case 'F':
      if (decimals_ > 0) {
        double d = TextToFloat(text);
        std::memcpy(value, &d, sizeof d);
      } else {
        int32_t i = TextToLong(text);
        std::memcpy(value, &i, sizeof i);
      }
      break;
    case 'L': {
      std::string lower = LowerText(text);
      value[0] = (lower.find("true") != std::string::npos ||
                  lower.find("yes") != std::string::npos ||
                  lower.find(".t.") != std::string::npos)
                     ? 1
                     : 0;
      break;
    }
    case 'M': {
      int32_t i = TextToLong(text);
      std::memcpy(value, &i, sizeof i);
      break;
    }
    default:
      return;
  }
  std::memcpy(owner_->ActiveRowData() + offset_, value, n);
  if (uint8_t* table = owner_->source_->ValueBuffer()) {
    if (offset_ + n <= owner_->source_->ValueBufferSize()) std::memcpy(table + offset_, value, n);
  }
  if (owner_->state_ != DataSetState::kCalculating) {
    owner_->SendEvent(kFieldChanged, reinterpret_cast<intptr_t>(this));
  }
}

// ---------------------------------------------------------------------------
// TTzDataLink

TTzDataLink::~TTzDataLink() { SetDataSource(nullptr); }

void TTzDataLink::SetDataSource(TTzDataSource* source) {
  if (source == source_) return;
  if (source_ != nullptr) source_->RemoveLink(this);
  source_ = source;
  if (source_ != nullptr) source_->AddLink(this);
  UpdateState();
}

TTzDataSet* TTzDataLink::DataSet() const {
  return source_ == nullptr ? nullptr : &source_->DataSet();
}

void TTzDataLink::SetReadOnly(bool on) {
  read_only_ = on;
  UpdateState();
}

void TTzDataLink::SetBufferCount(int rows) {
  buffer_count_ = std::max(1, rows);
  if (source_ != nullptr) source_->DataSet().UpdateRowCount();
}

int TTzDataLink::ActiveRecord() const {
  return source_ == nullptr ? 0 : source_->DataSet().ActiveRow() - first_row_;
}

void TTzDataLink::UpdateState() {
  bool active = source_ != nullptr && source_->DataSet().Active();
  DataSetState s = active ? source_->DataSet().State() : DataSetState::kInactive;
  bool editing = active && !read_only_ && (s == DataSetState::kEdit || s == DataSetState::kInsert);
  if (active != active_) {
    active_ = active;
    if (!active_) first_row_ = 0;
    ActiveChanged();
  }
  if (editing != editing_) {
    editing_ = editing;
    EditingChanged();
  }
}

void TTzDataLink::KeepActiveRowInView() {
  int active = source_->DataSet().ActiveRow();
  if (active < first_row_) first_row_ = active;
  if (active >= first_row_ + buffer_count_) first_row_ = active - buffer_count_ + 1;
  if (first_row_ < 0) first_row_ = 0;
}

void TTzDataLink::DataEvent(int event, intptr_t info) {
  if (event == kStateChanged) {
    UpdateState();
    return;
  }
  if (!active_) return;
  switch (event) {
    case kFieldChanged:
    case kRecordChanged:
      if (!updating_) RecordChanged(reinterpret_cast<TTzField*>(info));
      break;
    case kDataSetChanged:
      KeepActiveRowInView();
      DataSetChanged();
      break;
    case kDataSetScrolled:
      KeepActiveRowInView();
      DataSetScrolled(static_cast<int>(info));
      break;
    case kLayoutChanged:
      KeepActiveRowInView();
      LayoutChanged();
      break;
    case kUpdateRecord:
      updating_ = true;
      UpdateData();
      updating_ = false;
      break;
    case kCheckBrowseMode:
      CheckBrowseMode();
      break;
    case kFocusControl:
      FocusControl(reinterpret_cast<TTzField*>(info));
      break;
    default:
      break;
  }
}

// ---------------------------------------------------------------------------
// TTzDataSet

TTzDataSet::TTzDataSet(TTzDataSource* source) : source_(source) {}

TTzField& TTzDataSet::FieldByName(const std::string& name) {
  std::string wanted = LowerText(name);
  for (TTzField& f : fields_) {
    if (f.name_ == wanted) return f;
  }
  throw ETableError("Field '" + name + "' not found");
}

int32_t TTzDataSet::RowBookmark(int i) const {
  int32_t v;
  std::memcpy(&v, rows_[static_cast<size_t>(i)].data() + flag_offset_ + 1, sizeof v);
  return v;
}

uint8_t TTzDataSet::RowBookmarkFlag(int i) const {
  return rows_[static_cast<size_t>(i)][flag_offset_];
}

void TTzDataSet::DefineFields(std::vector<TTzField> fields) {
  fields_ = std::move(fields);
  size_t offset = 1;
  for (TTzField& f : fields_) {
    f.owner_ = this;
    f.offset_ = offset;
    offset += f.size_;
  }
  flag_offset_ = offset;
  row_size_ = offset + 1 + sizeof(int32_t);
}

void TTzDataSet::UpdateRowCount() {
  int wanted = 1;
  for (TTzDataLink* link : source_->Links()) wanted = std::max(wanted, link->BufferCount());
  if (!Active()) return;
  if (wanted == RowCount()) return;
  rows_.resize(static_cast<size_t>(wanted), std::vector<uint8_t>(row_size_, ' '));
  if (filled_ > wanted) filled_ = wanted;
  if (active_ >= wanted) active_ = wanted - 1;
  if (state_ == DataSetState::kBrowse) source_->Resync();
}

void TTzDataSet::LoadRow(int i) {
  std::vector<uint8_t>& row = rows_[static_cast<size_t>(i)];
  const uint8_t* values = source_->ValueBuffer();
  size_t n = std::min(source_->ValueBufferSize(), flag_offset_);
  if (values != nullptr && n > 0) {
    row[0] = values[0] ? '*' : ' ';
    std::memcpy(row.data() + 1, values + 1, n - 1);
  }
  int32_t bookmark = 0;
  int flag = source_->GetBookmark(bookmark);
  row[flag_offset_] = static_cast<uint8_t>(flag == 2 ? kBookmarkEof : flag == 1 ? kBookmarkBof
                                                                                 : kBookmarkRecord);
  std::memcpy(row.data() + flag_offset_ + 1, &bookmark, sizeof bookmark);
}

void TTzDataSet::StoreRowToTable(int i) {
  const std::vector<uint8_t>& row = rows_[static_cast<size_t>(i)];
  uint8_t* values = source_->ValueBuffer();
  size_t n = std::min(source_->ValueBufferSize(), flag_offset_);
  if (values == nullptr || n == 0) return;
  values[0] = row[0] == '*' ? 1 : 0;
  std::memcpy(values + 1, row.data() + 1, n - 1);
}

void TTzDataSet::ClearWindow() {
  for (std::vector<uint8_t>& row : rows_) std::fill(row.begin(), row.end(), ' ');
  filled_ = 0;
  active_ = 0;
  cursor_row_ = -1;
  bof_ = eof_ = true;
}

int TTzDataSet::CursorToActiveRow() {
  if (filled_ == 0) return 0;
  if (cursor_row_ == active_) return 0;
  int code = source_->GoToBookmark(RowBookmark(active_));
  cursor_row_ = active_;
  return code;
}

void TTzDataSet::FillAround(int line) {
  const int n = RowCount();
  line = std::clamp(line, 0, n - 1);
  int32_t current = 0;
  source_->GetBookmark(current);

  std::vector<std::vector<uint8_t>> earlier;
  bof_ = false;
  for (int k = 0; k <= line; ++k) {
    if (!source_->DoPrior()) {
      bof_ = true;
      break;
    }
    if (k == line) break;  // only a probe for the window's BOF
    std::vector<uint8_t> row(row_size_, ' ');
    rows_[0].swap(row);
    LoadRow(0);
    rows_[0].swap(row);
    earlier.push_back(std::move(row));
  }
  source_->GoToBookmark(current);
  int e = static_cast<int>(earlier.size());
  for (int k = 0; k < e; ++k) rows_[static_cast<size_t>(k)] = std::move(earlier[static_cast<size_t>(e - 1 - k)]);
  LoadRow(e);
  filled_ = e + 1;
  eof_ = false;
  while (true) {
    if (!source_->DoNext()) {
      eof_ = true;
      break;
    }
    if (filled_ == n) break;  // probe for the window's EOF
    LoadRow(filled_);
    ++filled_;
  }
  active_ = e;
  source_->GoToBookmark(current);
  cursor_row_ = active_;
}

void TTzDataSet::SetState(DataSetState state) {
  if (state_ == state) return;
  state_ = state;
  SendEvent(kStateChanged);
}

bool TTzDataSet::Ask(const Allow& event) {
  bool allowed = true;
  if (event) event(*this, allowed);
  return allowed;
}

void TTzDataSet::Call(const Notify& event) {
  if (event) event(*this);
}

void TTzDataSet::StartInsert(bool blank_values) {
  if (rows_.empty()) return;
  if (blank_values) source_->ClearFields();
  filled_ = std::max(filled_, 1);
  LoadRow(active_);
  rows_[static_cast<size_t>(active_)][flag_offset_] = kBookmarkEof;
  modified_ = false;
  SetState(DataSetState::kInsert);
  Call(OnNewRecord);
  Call(AfterInsert);
}

void TTzDataSet::LeaveEditState() {
  modified_ = false;
  SetState(DataSetState::kBrowse);
}

void TTzDataSet::Open() {
  if (Active()) return;
  Call(BeforeOpen);
  int wanted = 1;
  for (TTzDataLink* link : source_->Links()) wanted = std::max(wanted, link->BufferCount());
  rows_.assign(static_cast<size_t>(wanted), std::vector<uint8_t>(row_size_, ' '));
  ClearWindow();
  modified_ = false;
  state_ = DataSetState::kBrowse;
  if (source_->DoFirst()) FillAround(0);
  bof_ = true;
  SendEvent(kStateChanged);
  Call(AfterOpen);
}

void TTzDataSet::Close() {
  if (!Active()) return;
  Call(BeforeClose);
  state_ = DataSetState::kInactive;
  rows_.clear();
  filled_ = active_ = 0;
  cursor_row_ = -1;
  modified_ = false;
  SendEvent(kStateChanged);
  Call(AfterClose);
}

void TTzDataSet::Resync() {
  if (LastErrorCode() != 0 || source_->DesignMode() || !Active() || disable_count_ > 0) return;
  if (rows_.empty()) return;
  if (source_->DoIsEmpty()) {
    ClearWindow();
    SendEvent(kDataSetChanged);
  } else if (!source_->DoRefresh()) {
    ClearWindow();
    SendEvent(kDataSetChanged);
  } else {
    FillAround(active_);
    SendEvent(kDataSetChanged);
  }
  if (filled_ == 0) {
    StartInsert(true);
  } else if (state_ == DataSetState::kEdit || state_ == DataSetState::kInsert) {
    LeaveEditState();
  }
}

void TTzDataSet::RecordChangedByTable() {
  if (source_->Links().empty() || disable_count_ > 0 || rows_.empty()) return;
  if (filled_ == 0) {
    filled_ = 1;
    active_ = 0;
    SetState(DataSetState::kInsert);
  } else if (state_ == DataSetState::kBrowse) {
    SetState(DataSetState::kEdit);
  }
  const uint8_t* values = source_->ValueBuffer();
  size_t n = std::min(source_->ValueBufferSize(), flag_offset_);
  uint8_t* row = ActiveRowData();
  if (values != nullptr && n > 0) {
    row[0] = values[0] ? '*' : ' ';
    std::memcpy(row + 1, values + 1, n - 1);
  }
  modified_ = true;
  SendEvent(kLayoutChanged);
}

void TTzDataSet::DisableControls() {
  if (disable_count_++ == 0) {
    active_at_disable_ = Active();
    pending_event_ = kDataSetChanged;
  }
}

void TTzDataSet::EnableControls() {
  if (disable_count_ == 0) return;
  if (--disable_count_ > 0) return;
  if (Active() != active_at_disable_) SendEvent(kStateChanged);
  if (active_at_disable_ && Active()) SendEvent(pending_event_);
  source_->Resync();
}

void TTzDataSet::SendEvent(int event, intptr_t info) {
  if (disable_count_ > 0) {
    if ((event == kStateChanged && !Active()) || event == kLayoutChanged) {
      pending_event_ = kLayoutChanged;
    }
    return;
  }
  if (event == kFieldChanged) {
    modified_ = true;
    if (AutoCalcFields && OnCalcFields) {
      DataSetState was = state_;
      state_ = DataSetState::kCalculating;
      OnCalcFields(*this);
      state_ = was;
    }
  }
  // A link may detach itself while handling the event.
  std::vector<TTzDataLink*> links = source_->Links();
  for (TTzDataLink* link : links) link->DataEvent(event, info);
  if (event >= kFieldChanged && event <= kLayoutChanged) {
    if (source_->OnDataChange) {
      source_->OnDataChange(source_, event == kFieldChanged ? reinterpret_cast<TTzField*>(info)
                                                             : nullptr);
    }
  } else if (event == kUpdateRecord) {
    if (source_->OnUpdateData) source_->OnUpdateData(source_);
  }
}

void TTzDataSet::CheckBrowseMode() {
  if (!Active()) return;
  SendEvent(kCheckBrowseMode);
  if (state_ == DataSetState::kEdit || state_ == DataSetState::kInsert) Post();
}

void TTzDataSet::First() {
  CheckBrowseMode();
  if (!Active()) return;
  if (source_->DoFirst()) {
    FillAround(0);
  } else {
    ClearWindow();
  }
  bof_ = true;
  SendEvent(kDataSetChanged);
  if (filled_ == 0) StartInsert(true);
}

void TTzDataSet::Last() {
  CheckBrowseMode();
  if (!Active()) return;
  if (source_->DoLast()) {
    FillAround(RowCount() - 1);
  } else if (source_->DoIsEmpty()) {
    ClearWindow();
  } else {
    FillAround(RowCount() - 1);
  }
  eof_ = true;
  SendEvent(kDataSetChanged);
  if (filled_ == 0) StartInsert(true);
}

bool TTzDataSet::MoveBy(int distance) {
  CheckBrowseMode();
  if (!Active() || filled_ == 0 || distance == 0) return distance == 0;
  const int n = RowCount();
  const int start = active_;
  int scrolled = 0;
  bool hit_end = false;
  int steps = distance > 0 ? distance : -distance;
  for (int k = 0; k < steps; ++k) {
    if (distance > 0) {
      if (active_ + 1 < filled_) {
        ++active_;
        bof_ = false;
        continue;
      }
      source_->GoToBookmark(RowBookmark(filled_ - 1));
      cursor_row_ = filled_ - 1;
      if (!source_->DoNext()) {
        eof_ = true;
        hit_end = true;
        break;
      }
      if (filled_ < n) {
        LoadRow(filled_);
        ++filled_;
        ++active_;
      } else {
        std::rotate(rows_.begin(), rows_.begin() + 1, rows_.end());
        LoadRow(n - 1);
        ++scrolled;
      }
      cursor_row_ = active_;
      bof_ = false;
    } else {
      if (active_ > 0) {
        --active_;
        eof_ = false;
        continue;
      }
      source_->GoToBookmark(RowBookmark(0));
      cursor_row_ = 0;
      if (!source_->DoPrior()) {
        bof_ = true;
        hit_end = true;
        break;
      }
      std::rotate(rows_.rbegin(), rows_.rbegin() + 1, rows_.rend());
      LoadRow(0);
      if (filled_ < n) ++filled_;
      --scrolled;
      cursor_row_ = 0;
      eof_ = false;
    }
  }
  cursor_row_ = -1;
  CursorToActiveRow();
  SendEvent(kDataSetChanged);
  SendEvent(kDataSetScrolled, (active_ - start) - scrolled);
  return !hit_end;
}

void TTzDataSet::Refresh() {
  CheckBrowseMode();
  if (!Active()) return;
  cursor_row_ = -1;
  CursorToActiveRow();
  if (filled_ > 0 && source_->DoRefresh()) {
    FillAround(active_);
  } else {
    ClearWindow();
  }
  SendEvent(kDataSetChanged);
  if (filled_ == 0) StartInsert(true);
}

void TTzDataSet::Insert() {
  CheckBrowseMode();
  if (!Active()) return;
  if (!can_modify_) throw ETableError("Cannot modify a read-only dataset");
  if (!Ask(BeforeInsert)) return;
  source_->GetBookmark(source_->saved_bookmark_);
  if (filled_ > 0) {
    const int n = RowCount();
    int last = std::min(filled_, n - 1);
    for (int i = last; i > active_; --i) rows_[static_cast<size_t>(i)] = rows_[static_cast<size_t>(i - 1)];
    filled_ = std::min(filled_ + 1, n);
  }
  cursor_row_ = -1;
  StartInsert(true);
  SendEvent(kDataSetChanged);
}

void TTzDataSet::Append() {
  CheckBrowseMode();
  if (!Active()) return;
  if (!can_modify_) throw ETableError("Cannot modify a read-only dataset");
  if (!Ask(BeforeInsert)) return;
  source_->GetBookmark(source_->saved_bookmark_);
  if (!source_->DoIsEmpty() && source_->DoLast()) FillAround(RowCount() - 1);
  const int n = RowCount();
  if (filled_ < n) {
    active_ = filled_;
    ++filled_;
  } else {
    std::rotate(rows_.begin(), rows_.begin() + 1, rows_.end());
    active_ = n - 1;
  }
  cursor_row_ = -1;
  eof_ = true;
  StartInsert(true);
  SendEvent(kDataSetChanged);
}

void TTzDataSet::Edit() {
  if (state_ == DataSetState::kEdit || state_ == DataSetState::kInsert) return;
  if (!Active()) return;
  if (filled_ == 0) {
    Append();
    return;
  }
  CheckBrowseMode();
  if (!can_modify_) throw ETableError("Cannot modify a read-only dataset");
  if (!Ask(BeforeEdit)) return;
  cursor_row_ = -1;
  CursorToActiveRow();
  if (source_->DoRefresh()) LoadRow(active_);
  cursor_row_ = active_;
  modified_ = false;
  SetState(DataSetState::kEdit);
  Call(AfterEdit);
}

void TTzDataSet::Post() {
  if (state_ != DataSetState::kEdit && state_ != DataSetState::kInsert) {
    throw ETableError("Dataset not in edit or insert mode");
  }
  SendEvent(kUpdateRecord);
  if (!modified_) {
    // Nothing to write: leave the state as Cancel does, without events.
    bool inserting = state_ == DataSetState::kInsert;
    LeaveEditState();
    if (inserting) {
      cursor_row_ = -1;
      if (source_->GoToBookmark(source_->saved_bookmark_) == 0 && !source_->DoIsEmpty() &&
          source_->DoRefresh()) {
        FillAround(active_);
      } else {
        ClearWindow();
      }
      SendEvent(kDataSetChanged);
    }
    return;
  }
  SendEvent(kCheckBrowseMode);
  if (!Ask(BeforePost)) {
    LoadRow(active_);
    SendEvent(kDataSetChanged);
    return;
  }
  bool done;
  if (state_ == DataSetState::kEdit) {
    cursor_row_ = -1;
    CursorToActiveRow();
    StoreRowToTable(active_);
    done = source_->DoPost();
  } else {
    StoreRowToTable(active_);
    done = source_->DoInsert();
  }
  if (!done) return;
  int32_t bookmark = 0;
  source_->GetBookmark(bookmark);
  std::memcpy(ActiveRowData() + flag_offset_ + 1, &bookmark, sizeof bookmark);
  ActiveRowData()[flag_offset_] = kBookmarkRecord;
  LeaveEditState();
  cursor_row_ = active_;
  source_->Resync();
  Call(AfterPost);
}

void TTzDataSet::Cancel() {
  if (state_ != DataSetState::kEdit && state_ != DataSetState::kInsert) return;
  SendEvent(kCheckBrowseMode);
  if (!Ask(BeforeCancel)) return;
  bool inserting = state_ == DataSetState::kInsert;
  cursor_row_ = -1;
  if (inserting) {
    source_->GoToBookmark(source_->saved_bookmark_);
  } else {
    CursorToActiveRow();
  }
  modified_ = false;
  SetState(DataSetState::kBrowse);
  if (!source_->DoIsEmpty() && source_->DoRefresh()) {
    FillAround(active_);
  } else {
    ClearWindow();
  }
  SendEvent(kDataSetChanged);
  Call(AfterCancel);
}

void TTzDataSet::Delete() {
  if (!Active()) throw ETableError("Cannot perform this operation on a closed dataset");
  if (state_ == DataSetState::kInsert) {
    Cancel();
    return;
  }
  if (filled_ == 0) throw ETableError("Cannot perform this operation on an empty dataset");
  SendEvent(kCheckBrowseMode);
  if (!Ask(BeforeDelete)) return;
  cursor_row_ = -1;
  CursorToActiveRow();
  if (!source_->DoDelete()) return;
  ActiveRowData()[0] = '*';
  LeaveEditState();
  source_->Resync();
  Call(AfterDelete);
}

void TTzDataSet::Restore() {
  if (!Active()) throw ETableError("Cannot perform this operation on a closed dataset");
  if (state_ == DataSetState::kInsert) {
    Cancel();
    return;
  }
  if (filled_ == 0) throw ETableError("Cannot perform this operation on an empty dataset");
  SendEvent(kCheckBrowseMode);
  if (!Ask(BeforeRestore)) return;
  cursor_row_ = -1;
  CursorToActiveRow();
  if (!source_->DoRestore()) return;
  ActiveRowData()[0] = ' ';
  LeaveEditState();
  source_->Resync();
  Call(AfterRestore);
}

// ---------------------------------------------------------------------------
// TTzDataSource

TTzDataSource::TTzDataSource() : dataset_(this) {}

TTzDataSource::~TTzDataSource() {
  std::vector<TTzDataLink*> links = links_;
  for (TTzDataLink* link : links) link->SetDataSource(nullptr);
}

void TTzDataSource::Resync() {
  if (resyncing_) return;
  resyncing_ = true;
  try {
    dataset_.Resync();
  } catch (...) {
    resyncing_ = false;
    throw;
  }
  resyncing_ = false;
}

void TTzDataSource::AddLink(TTzDataLink* link) {
  links_.push_back(link);
  dataset_.UpdateRowCount();
  if (links_.size() == 1) Resync();
}

void TTzDataSource::RemoveLink(TTzDataLink* link) {
  links_.erase(std::remove(links_.begin(), links_.end(), link), links_.end());
  dataset_.UpdateRowCount();
}

}  // namespace sv
