// The table component: how the program uses every table. One instance per
// table binds a table file to a work area, creates the file from a textual
// field list when it is missing, keeps the production index in step with a
// textual tag list, and offers the record commands under its own names, each
// preceded by the selection of its own work area and followed by the
// notification of the views that show the table.
#ifndef SV_ENGINE_TABLE_COMPONENT_H_
#define SV_ENGINE_TABLE_COMPONENT_H_

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/data_source.h"
#include "engine/dbf_table.h"
#include "engine/index.h"

namespace sv {

enum TTableLanguage { tlOem, tlAnsi };
enum TCreateIndex { ciNotFound, ciAlways, ciVerifyHeader, ciNever };

// The operations of a table; the base of TTzDbf.
class TTzODbf : public TTzDataSource {
 public:
  using LockFailed = std::function<void(TTzODbf* sender, bool& resolved)>;

  explicit TTzODbf(const std::string& name = std::string());
  ~TTzODbf() override;

  TTableLanguage TableLanguage = tlOem;
  LockFailed OnALockFailedOnInsert, OnRLockFailedOnDelete, OnRLockFailedOnPost,
      OnRLockFailedOnRestore;

  const std::string& Name() const { return name_; }
  int WorkAreaNumber() const { return area_; }
  bool IsOpen() const { return area_ != 0; }

  void Append();
  void AppendBlank();
  void AppendRec() { Append(); }
  void AppendFrom(const std::string& file_name);
  void ClearRecord();
  void DeleteRec();
  void Flush();
  void Go(int32_t n);
  void GoTop();
  void Replace();
  void ReplaceNoUpdate();
  // Free-text search through the raw records (see engine/search.h); answers
  // the field number the text was found in, 0 when not found.
  int Search(const std::string& text, int field, bool from_top);
  void SetFilterTo(const std::string& condition);
  void Skip(int32_t n);
  bool Deleted();
  std::string Field(int n);
  uint8_t* FieldAddress(int n);
  int FieldCount();
  int FieldDec(int n);
  int FieldLen(int n);
  char FieldType(int n);
  bool Pack();
  int32_t RecCount();
  int32_t RecNo();
  bool Zap();
  bool dEOF();
  bool ALock();
  bool FLock();
  bool RLock();
  void UnLock();
  // Seek in the active order; answers whether the key was found, whatever
  // the resync that follows does to the cursor.
  bool Find(const std::string& key);
  // Tag number in IndexList order, 0 for record order.
  void SetOrderTo(uint8_t tag);
  void SetOrderToTag(const std::string& name);
  int CurrentOrder();
  std::string GetField(const std::string& name);
  // The expression's value as text on the current record; empty when it
  // does not compile.
  std::string Evaluate(const std::string& expression);
  bool GetLField(const std::string& name);
  int32_t GetLongField(const std::string& name);
  void SetCField(const std::string& name, const std::string& text);
  void SetLField(const std::string& name, bool value);
  void SetLongField(const std::string& name, int32_t value);

  // View operations of the record window.
  int GoToBookmark(int32_t bookmark) override;
  void ClearFields() override;
  int GetBookmark(int32_t& bookmark) override;
  int32_t GetRecordCount() override;
  bool IsDeleted() override;
  bool DoDelete() override;
  bool DoFirst() override;
  bool DoInsert() override;
  bool DoIsEmpty() override;
  bool DoLast() override;
  bool DoMoveBy(int distance) override;
  bool DoNext() override;
  bool DoPost() override;
  bool DoPrior() override;
  bool DoRefresh() override;
  bool DoRestore() override;
  uint8_t* ValueBuffer() override;
  size_t ValueBufferSize() override;

  // The deleted-records switch the component applies when it selects its
  // area; TTzDbf publishes it.
  bool HideDeletedRecs = false;

 protected:
  // Selects the component's work area, or ends the program with code 1103
  // when the table is not open (even with error checking off).
  void SelectArea(const char* operation);
  // Opens `command` in the component's area (or the lowest free one) with the
  // record-count repair switch set as given. False leaves it closed.
  bool OpenArea(const std::string& command, bool fix_record_count);
  void CloseArea();
  // Rebuilds the record window's fields from the table's fields; raises
  // ETableError for names that cannot serve as view field names.
  void BuildWindowFields();

  std::string name_;

 private:
  // Typed field lookup: the field number, or 0 after the 220 report.
  int LookupField(const std::string& name, const char* operation, const char* expected_kind,
                  bool (*accepts)(char type, int decimals));
  bool LockLoop(bool (*lock)(), const LockFailed& handler, const char* operation);
  void ResyncUnlessBof();

  int area_ = 0;
};

// The component the program declares, one per table.
class TTzDbf : public TTzODbf {
 public:
  explicit TTzDbf(const std::string& name = std::string());
  ~TTzDbf() override;

  bool AutoFixRecCount = false;
  TCreateIndex CreateIndex = ciNotFound;
  bool CreateIfNotFound = true;
  std::vector<std::string> DbfFields;
  std::function<void(TTzDbf* sender, const std::string& name, bool& can_make)> OnBeforeMakeIndex;
  std::function<void(TTzDbf* sender, const std::string& name)> OnAfterMakeIndex;

  // A component made in code is loaded from the start; one read from a form
  // description is loaded by Loaded().
  void SetLoading();
  void Loaded();
  bool IsLoaded() const { return loaded_; }

  bool Active() const;
  void SetActive(bool on);

  bool Exclusive() const { return exclusive_; }
  void SetExclusive(bool on);

  const std::string& DbfFileName() const { return file_name_; }
  void SetDbfFileName(const std::string& name);

  const std::vector<std::string>& IndexList() const { return index_list_; }
  void SetIndexList(const std::vector<std::string>& lines) { index_list_ = lines; }

  // An empty name, or one whose first 10 characters equal another table
  // component's, is refused with a warning.
  void SetName(const std::string& name);

 private:
  bool Open();
  void Close();
  void Reopen();
  bool CreateTableFile();
  void OpenProductionIndex();

  bool loaded_ = true;
  bool active_requested_ = false;
  bool active_remembered_ = false;
  bool exclusive_ = false;
  std::string file_name_;
  std::vector<std::string> index_list_;
};

// One DbfFields line, "name, T, length, decimals", split as the component
// reads it: each item trimmed, the name cut to 10 characters, the type its
// first character as written, the numbers read leniently. False when the
// line does not hold exactly three commas.
bool SplitFieldLine(const std::string& line, DbfFieldSpec& field_def);

// Tag definitions from IndexList lines taken in pairs: "NAME,D,U,key" and
// the FOR condition.
std::vector<TagDefinition> TagDefinitionsFrom(const std::vector<std::string>& index_list);

// Every table component, from construction to destruction.
const std::vector<TTzODbf*>& TableComponents();

}  // namespace sv

#endif  // SV_ENGINE_TABLE_COMPONENT_H_
