// The index of a table: its production multiple-index file with up to 47
// tags, the controlling order, Find, key-order navigation for the record
// commands, and key maintenance when records are appended, replaced, packed
// or zapped.
//
// Every public operation acts on the table in the current work area. Order
// numbers are tag-table entry numbers, 1 for the first tag; order 0 is record
// order. Some failures go through the index's own reporting step: reported,
// then, with error checking off, raised as ETableError carrying the full
// error text (opening a file, "Index not open" 221, "Invalid Index Order
// Specified" 220). Find, SetOrderToTag and Reindex let that exception pass;
// SetOrderTo and the navigation steps catch it.
#ifndef SV_ENGINE_INDEX_H_
#define SV_ENGINE_INDEX_H_

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/index_tag.h"
#include "engine/mdx_file.h"

namespace sv {

struct CompiledExpr;
struct WorkArea;

// One tag to build. A list of them ends at the first one whose name is empty.
struct TagDefinition {
  std::string name;        // at most 10 characters
  std::string expression;  // at most 220 characters
  std::string condition;   // FOR condition, empty for none
  bool descending = false;
  bool unique = false;
};

// One open tag with its compiled expressions and the keys Replace noted.
struct OpenTag {
  std::unique_ptr<IndexTag> tag;
  CompiledExpr* key_expr = nullptr;
  CompiledExpr* for_expr = nullptr;
  int decimals = 0;  // of an N key
  std::vector<uint8_t> old_key;
  bool old_has_key = false;
};

// The per-table index (WorkArea::index).
struct AreaIndex {
  AreaIndex() = default;
  ~AreaIndex();
  AreaIndex(const AreaIndex&) = delete;
  AreaIndex& operator=(const AreaIndex&) = delete;

  MdxFile file;
  std::string file_name;    // as messages name it
  std::vector<OpenTag> tags;  // tags[i] is order i + 1
  int order = 0;            // controlling tag, 0 for record order
  bool old_keys_noted = false;

  IndexTag* controlling() { return order > 0 ? tags[static_cast<size_t>(order - 1)].tag.get() : nullptr; }
};

// The index file name for a given name: trimmed; MDX added when it has no
// extension; the table's folder when it names none. Empty: the table's file
// name with its extension replaced by MDX.
std::string IndexFileName(const WorkArea& area, std::string_view file_name);
// The index semaphore of a table: its file name with the extension ".@S@".
std::string IndexSemaphoreName(std::string_view table_file_name);
// Upper case and no blanks outside quotes; both quote characters become
// double quotes. Expressions read back from a file are compiled in this form.
std::string NormaliseKeyExpression(std::string_view text);

// Builds a new file holding every defined tag (any index of the table is
// closed first). True when every tag was built; the file is left closed.
bool MakeIndex(const std::vector<TagDefinition>& definitions, std::string_view file_name);
// Opens the file and all its tags; tag 1 controls and the table goes to its
// first visible record. On failure the table has no index.
bool SetIndexTo(std::string_view file_name);
// The tag list of a file in IndexList form: per tag "NAME,D,U,expression"
// (flags "T" or "F") and the FOR condition. False after a reported error.
bool ReadIndexTagList(std::string_view file_name, std::vector<std::string>* lines);
void SetOrderTo(int n);
void SetOrderToTag(std::string_view name);
int CurrentOrder();
// Seeks the text in the controlling tag: a prefix for character keys, the
// number or date otherwise. A miss leaves the table at end of file.
bool Find(std::string_view text);
// Rebuilds every tag of the open index and selects the same order again.
bool Reindex();

// The key of a tag for the record in the area's buffers (kNoKey when it
// fails the FOR condition).
KeySource::Result KeyOfBuffers(WorkArea& area, OpenTag& tag, uint8_t* out);

// The engine's key maintenance and movement, for the record commands.
bool AppendNewKey(WorkArea& area);
bool CompareKeys(WorkArea& area);
void SyncIndex(WorkArea& area);
// Writes changed nodes and headers without closing.
bool FlushIndex(WorkArea& area);
// Closes every tag and the file; the area then has no index.
void CloseIndex(WorkArea& area);

// Installs the index operations into the engine's hooks.
void InstallIndexHooks();

}  // namespace sv

#endif  // SV_ENGINE_INDEX_H_
