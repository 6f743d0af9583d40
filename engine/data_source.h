// The link between a table and the data-aware views that show it.
//
// A data source (the base of every table component) owns a record window:
// copies of the records a view shows around the table's current record, in
// the table's own value layout, with window fields that convert values to and
// from display text. Views attach through data links and are told what
// changed by event codes. The window moves the table's cursor only through
// the data source's view operations, so everything a view shows or edits goes
// through the same record commands as the program's own code.
#ifndef SV_ENGINE_DATA_SOURCE_H_
#define SV_ENGINE_DATA_SOURCE_H_

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace sv {

class TTzDataSet;
class TTzDataSource;

// Event codes from the window to the links.
enum DataEvent : int {
  kFieldChanged = 0,
  kRecordChanged = 1,
  kDataSetChanged = 2,
  kDataSetScrolled = 3,
  kLayoutChanged = 4,
  kUpdateRecord = 5,
  kStateChanged = 6,
  kCheckBrowseMode = 7,
  kFocusControl = 10,
};

enum class DataSetState { kInactive, kBrowse, kEdit, kInsert, kCalculating };

// Bookmark flag byte of a window row.
enum BookmarkFlag : uint8_t { kBookmarkRecord = 0, kBookmarkBof = 1, kBookmarkEof = 2 };

// Texts the views show for logical values; loaded once at start-up.
struct BooleanTexts {
  std::string true_text = "true";
  std::string false_text = "false";
  std::string yes_text = "yes";
  std::string no_text = "no";
};
const BooleanTexts& LogicalTexts();

// One window field: a table field as the views see it.
class TTzField {
 public:
  TTzField(TTzDataSet* owner, std::string name, char type, int length, int decimals,
           int field_number);

  const std::string& name() const { return name_; }
  char type() const { return type_; }
  int length() const { return length_; }
  int decimals() const { return decimals_; }
  // Size of the value in a row: C length + 1, D 11, N/F 8 or 4, L 1, M 4.
  size_t size() const { return size_; }
  size_t offset() const { return offset_; }
  int field_number() const { return field_number_; }

  // The active row's value as the views show it.
  std::string DisplayText() const;
  // Stores typed text into the active row and the table's current values.
  void SetText(const std::string& text);
  // The value in the active row (native form).
  const uint8_t* Value() const;

 private:
  friend class TTzDataSet;
  TTzDataSet* owner_;
  std::string name_;
  char type_;
  int length_;
  int decimals_;
  int field_number_;
  size_t size_;
  size_t offset_ = 0;
};

// A view's connection to a data source.
class TTzDataLink {
 public:
  TTzDataLink() = default;
  virtual ~TTzDataLink();
  TTzDataLink(const TTzDataLink&) = delete;
  TTzDataLink& operator=(const TTzDataLink&) = delete;

  void SetDataSource(TTzDataSource* source);
  TTzDataSource* DataSource() const { return source_; }
  TTzDataSet* DataSet() const;
  bool Active() const { return active_; }
  bool Editing() const { return editing_; }
  bool ReadOnly() const { return read_only_; }
  void SetReadOnly(bool on);
  // Rows the view shows (default 1).
  int BufferCount() const { return buffer_count_; }
  void SetBufferCount(int rows);
  // The window row in the view's first line, and the active row's line.
  int FirstRow() const { return first_row_; }
  int ActiveRecord() const;

  // Called from the window's events.
  virtual void ActiveChanged() {}
  virtual void CheckBrowseMode() {}
  virtual void DataSetChanged() {}
  virtual void DataSetScrolled(int /*distance*/) {}
  virtual void EditingChanged() {}
  virtual void FocusControl(TTzField* /*field*/) {}
  virtual void LayoutChanged() { DataSetChanged(); }
  virtual void RecordChanged(TTzField* /*field*/) {}
  virtual void UpdateData() {}

  // While set, the link's own writes do not come back as record changes.
  void SetUpdating(bool on) { updating_ = on; }

 private:
  friend class TTzDataSet;
  friend class TTzDataSource;
  void DataEvent(int event, intptr_t info);
  void UpdateState();
  void KeepActiveRowInView();

  TTzDataSource* source_ = nullptr;
  bool active_ = false;
  bool editing_ = false;
  bool read_only_ = false;
  bool updating_ = false;
  int buffer_count_ = 1;
  int first_row_ = 0;
};

// The record window.
class TTzDataSet {
 public:
  using Notify = std::function<void(TTzDataSet&)>;
  using Allow = std::function<void(TTzDataSet&, bool& allowed)>;

  explicit TTzDataSet(TTzDataSource* source);
  TTzDataSet(const TTzDataSet&) = delete;
  TTzDataSet& operator=(const TTzDataSet&) = delete;

  DataSetState State() const { return state_; }
  bool Active() const { return state_ != DataSetState::kInactive; }
  bool Modified() const { return modified_; }
  bool Bof() const { return bof_; }
  bool Eof() const { return eof_; }
  bool CanModify() const { return can_modify_; }
  void SetCanModify(bool on) { can_modify_ = on; }

  const std::vector<TTzField>& Fields() const { return fields_; }
  // Letter case ignored; unknown names raise ETableError "Field '%s' not found".
  TTzField& FieldByName(const std::string& name);

  // Window contents.
  int RowCount() const { return static_cast<int>(rows_.size()); }
  int FilledRows() const { return filled_; }
  int ActiveRow() const { return active_; }
  const std::vector<uint8_t>& Row(int i) const { return rows_[static_cast<size_t>(i)]; }
  int32_t RowBookmark(int i) const;
  uint8_t RowBookmarkFlag(int i) const;
  bool RowDeleted(int i) const { return rows_[static_cast<size_t>(i)][0] == '*'; }
  size_t RowSize() const { return row_size_; }

  // Operations used by the views.
  void First();
  void Last();
  bool MoveBy(int distance);
  void Next() { MoveBy(1); }
  void Prior() { MoveBy(-1); }
  void Refresh();
  void Insert();
  void Append();
  void Edit();
  void Post();
  void Cancel();
  void Delete();
  void Restore();
  void CheckBrowseMode();

  // Events; each "Before" event may forbid the action.
  Notify BeforeOpen, AfterOpen, BeforeClose, AfterClose;
  Allow BeforeInsert, BeforeEdit, BeforePost, BeforeCancel, BeforeDelete, BeforeRestore;
  Notify AfterInsert, AfterEdit, AfterPost, AfterCancel, AfterDelete, AfterRestore;
  Notify OnNewRecord, OnCalcFields;
  bool AutoCalcFields = true;

  // Used by the data source and the table component.
  void DefineFields(std::vector<TTzField> fields);
  void ClearFieldDefs() { fields_.clear(); }
  void Open();
  void Close();
  void Resync();
  void RecordChangedByTable();
  void DisableControls();
  void EnableControls();
  bool ControlsDisabled() const { return disable_count_ > 0; }
  void SendEvent(int event, intptr_t info = 0);
  void UpdateRowCount();

 private:
  friend class TTzField;
  uint8_t* ActiveRowData() { return rows_[static_cast<size_t>(active_)].data(); }
  const uint8_t* ActiveRowData() const { return rows_[static_cast<size_t>(active_)].data(); }
  // Copies the table's current values and position into row i.
  void LoadRow(int i);
  // Copies a row's values into the table's field value buffer.
  void StoreRowToTable(int i);
  void ClearWindow();
  // Puts the table cursor on the active row's record; 0 or the error code.
  int CursorToActiveRow();
  // Fills the window around the table's current record, keeping the active
  // row on `line` when there are records enough before it.
  void FillAround(int line);
  void StartInsert(bool blank_values);
  void LeaveEditState();
  bool Ask(const Allow& event);
  void Call(const Notify& event);
  void SetState(DataSetState state);

  TTzDataSource* source_;
  DataSetState state_ = DataSetState::kInactive;
  std::vector<TTzField> fields_;
  size_t row_size_ = 0;
  size_t flag_offset_ = 0;
  std::vector<std::vector<uint8_t>> rows_;
  int filled_ = 0;
  int active_ = 0;
  int cursor_row_ = -1;  // none after any direct table movement
  bool bof_ = true;
  bool eof_ = true;
  bool modified_ = false;
  bool can_modify_ = true;
  int disable_count_ = 0;
  int pending_event_ = kDataSetChanged;
  bool active_at_disable_ = false;
};

// The base of every table component.
class TTzDataSource {
 public:
  TTzDataSource();
  virtual ~TTzDataSource();
  TTzDataSource(const TTzDataSource&) = delete;
  TTzDataSource& operator=(const TTzDataSource&) = delete;

  TTzDataSet& DataSet() { return dataset_; }
  const TTzDataSet& DataSet() const { return dataset_; }
  const std::vector<TTzDataLink*>& Links() const { return links_; }

  // Nesting count of view updates: while above 0 no view is refreshed; the
  // matching EnableControls refreshes once. Unbalanced calls do nothing.
  void DisableControls() { dataset_.DisableControls(); }
  void EnableControls() { dataset_.EnableControls(); }

  // Notifications after table operations (resync) and field setters (record
  // changed).
  void Resync();
  void RecordChanged() { dataset_.RecordChangedByTable(); }

  std::function<void(TTzDataSource*, TTzField*)> OnDataChange;
  std::function<void(TTzDataSource*)> OnUpdateData;

  // The window's events under their data-source names.
  TTzDataSet::Notify& DSAfterCancel() { return dataset_.AfterCancel; }
  TTzDataSet::Notify& DSAfterDelete() { return dataset_.AfterDelete; }
  TTzDataSet::Notify& DSAfterRestore() { return dataset_.AfterRestore; }
  TTzDataSet::Notify& DSAfterEdit() { return dataset_.AfterEdit; }
  TTzDataSet::Notify& DSAfterInsert() { return dataset_.AfterInsert; }
  TTzDataSet::Notify& DSAfterPost() { return dataset_.AfterPost; }
  TTzDataSet::Allow& DSBeforeCancel() { return dataset_.BeforeCancel; }
  TTzDataSet::Allow& DSBeforeDelete() { return dataset_.BeforeDelete; }
  TTzDataSet::Allow& DSBeforeRestore() { return dataset_.BeforeRestore; }
  TTzDataSet::Allow& DSBeforeEdit() { return dataset_.BeforeEdit; }
  TTzDataSet::Allow& DSBeforeInsert() { return dataset_.BeforeInsert; }
  TTzDataSet::Allow& DSBeforePost() { return dataset_.BeforePost; }

  // View operations, in slot order; the defaults are those of a source
  // without a table.
  virtual int BookmarkSize() { return 4; }
  virtual void SetMemoField(TTzField* /*field*/, const std::vector<std::string>& /*lines*/) {}
  virtual int GoToBookmark(int32_t /*bookmark*/) { return 0; }
  virtual void ClearFields() {}
  virtual int GetBookmark(int32_t& /*bookmark*/) { return 1; }
  virtual std::vector<std::string> GetMemo(TTzField* /*field*/) { return {"Not linked"}; }
  virtual int32_t GetRecordCount() { return 0; }
  virtual bool IsDeleted() { return false; }
  virtual bool DoDelete() { return true; }
  virtual bool DoFirst() { return true; }
  virtual bool DoInsert() { return true; }
  virtual bool DoIsEmpty() { return true; }
  virtual bool DoLast() { return true; }
  virtual bool DoMoveBy(int /*distance*/) { return true; }
  virtual bool DoNext() { return false; }
  virtual bool DoPost() { return true; }
  virtual bool DoPrior() { return false; }
  virtual bool DoRefresh() { return true; }
  virtual bool DoRestore() { return true; }

  // The table's field value buffer, which the window fields write through,
  // and its size; nullptr without a table.
  virtual uint8_t* ValueBuffer() { return nullptr; }
  virtual size_t ValueBufferSize() { return 0; }
  // True in design mode, where nothing is resynchronised.
  virtual bool DesignMode() const { return false; }

 private:
  friend class TTzDataLink;
  friend class TTzDataSet;
  void AddLink(TTzDataLink* link);
  void RemoveLink(TTzDataLink* link);

  TTzDataSet dataset_;
  std::vector<TTzDataLink*> links_;
  bool resyncing_ = false;
  int32_t saved_bookmark_ = 0;
};

}  // namespace sv

#endif  // SV_ENGINE_DATA_SOURCE_H_
