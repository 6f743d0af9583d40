#include "engine/index.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "engine/dates.h"
#include "engine/error.h"
#include "engine/expression.h"
#include "engine/hooks.h"
#include "engine/index_check.h"
#include "engine/work_area.h"
#include "support/codepage.h"
#include "support/files.h"
#include "support/sysfile.h"
#include "support/text.h"

namespace sv {

using namespace mdx;

namespace {

// The index's own reporting step: with error checking off the caller gets
// the exception, so that a failed open can be told from a missing file.
void IndexReport(int code, const std::string& text) {
  ReportError(code, text);
  if (!ErrorChecking()) throw ETableError(FullErrorText(code, text), code);
}

WorkArea* RequireArea(const char* command) {
  ClearLastError();
  WorkArea* a = CurrentArea();
  if (a == nullptr) {
    ReportError(215, std::string("No database in use [") + command + "]  WorkArea = " +
                         std::to_string(CurrentAreaNumber()));
  }
  return a;
}

std::string RightTrimmed(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
  return std::string(s);
}

bool HasSeparator(std::string_view s) {
  return s.find_first_of("/\\:") != std::string_view::npos;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string ReplaceExtension(const std::string& path, std::string_view ext) {
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.find_last_of('.');
  std::string base = path;
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) base.resize(dot);
  return base + std::string(ext);
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  const size_t dot = base.find_last_of('.');
  if (dot != std::string::npos) base.resize(dot);
  return base;
}

std::string UpperAnsi(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(AnsiUpper(static_cast<uint8_t>(c)));
  return out;
}

}  // namespace

KeySource::Result KeyOfBuffers(WorkArea& a, OpenTag& t, uint8_t* out) {
  if (t.for_expr != nullptr) {
    const void* v = EvaluateExpr(t.for_expr);
    if (v == nullptr) return KeySource::kFailed;
    int32_t yes;
    std::memcpy(&yes, v, sizeof yes);
    if (yes == 0) return KeySource::kNoKey;
  }
  const void* v = EvaluateExpr(t.key_expr);
  if (v == nullptr) return KeySource::kFailed;
  const IndexTag& tag = *t.tag;
  const int klen = tag.key_length();
  if (tag.key_type() == kCharKey) {
    const char* text = static_cast<const char*>(v);
    const size_t n = std::min(strnlen(text, 255), static_cast<size_t>(klen));
    std::memcpy(out, text, n);
    // Shorter values (trimmed fields) are padded as the field would be.
    std::memset(out + n, ' ', static_cast<size_t>(klen) - n);
    if (a.translate) AnsiToOemBuffer(out, static_cast<size_t>(klen));
  } else {
    double d;
    std::memcpy(&d, v, sizeof d);
    if (tag.key_type() == kNumericKey) {
      PackNumber(d, t.decimals, out);
    } else {
      PackDate(d, out);
    }
  }
  return KeySource::kKey;
}

namespace {

// Keys of the records on file, read one by one into the area's buffers (for the
// build and for the check).
class RecordKeys : public KeySource {
 public:
  RecordKeys(WorkArea& a, OpenTag& t) : a_(a), t_(t) {}
  Result KeyOf(int32_t record, uint8_t* out) override {
    if (!GetDbfRecord(a_, record)) return kFailed;
    ScatterRecord(a_);
    return KeyOfBuffers(a_, t_, out);
  }

 private:
  WorkArea& a_;
  OpenTag& t_;
};

// Keeps the area's cursor and buffers across work that reads other records.
class SavedCursor {
 public:
  explicit SavedCursor(WorkArea& a)
      : a_(a), record_(a.record), values_(a.values), current_(a.current), eof_(a.eof), bof_(a.bof) {}
  ~SavedCursor() {
    a_.record = record_;
    a_.values = values_;
    a_.current = current_;
    a_.eof = eof_;
    a_.bof = bof_;
  }

 private:
  WorkArea& a_;
  std::vector<uint8_t> record_;
  std::vector<uint8_t> values_;
  int32_t current_;
  bool eof_, bof_;
};

void ReleaseTag(OpenTag& t) {
  if (t.key_expr != nullptr) ReleaseExpr(t.key_expr);
  if (t.for_expr != nullptr) ReleaseExpr(t.for_expr);
}

// A key's text for messages.
std::string KeyText(OpenTag& t) {
  return TrimRightText(SEvaluate(t.key_expr));
}

// Puts one tag on the current record, as SyncIndex does.
void SyncTag(WorkArea& a, AreaIndex& ix, OpenTag& t) {
  IndexTag& tag = *t.tag;
  if (a.current < 1 || a.current > a.record_count) {
    tag.Unposition();
    tag.set_at_end(true);
    return;
  }
  uint8_t key[kMaxKeyLength];
  const KeySource::Result r = KeyOfBuffers(a, t, key);
  if (r == KeySource::kFailed) return;
  if (r == KeySource::kNoKey) {
    tag.Unposition();
    tag.set_at_end(true);
    return;
  }
  bool found = false;
  bool key_found = false;
  if (tag.SeekRecord(key, a.current, &found, &key_found) == Step::kError) return;
  if (!key_found) {
    ReportError(212, "Key: \"" + KeyText(t) + "\" not in index: " + tag.index_name() +
                         ". [SyncIndex-1] Record: " + std::to_string(a.current));
  } else if (!found) {
    ReportError(212, "Record with key: \"" + KeyText(t) + "\" not in index: " + tag.index_name() +
                         ". [SyncIndex-2]");
  }
  if (found) {
    tag.set_at_end(false);
    tag.set_at_start(false);
  } else {
    tag.set_at_end(true);
  }
  (void)ix;
}

// Opens the file's tags; raises or reports as the open step does.
std::unique_ptr<AreaIndex> OpenIndexFile(WorkArea& a, const std::string& path, const std::string& name) {
  const std::string unable = "Unable to open index: " + name + " [OpenIndex/Set_Index_To]";
  const std::string invalid =
      "Invalid dBASE key expression or corrupted index file " + name + " [OpenIndex/Set_Index_To]";
  std::unique_ptr<AreaIndex> ix;
  try {
    ix = std::make_unique<AreaIndex>();
  } catch (const std::bad_alloc&) {
    ReportError(217, " to allocate index header buffer [ [OpenIndex/Set_Index_To]]");
    return nullptr;
  }
  ix->file_name = name;
  const int code = ix->file.Open(path);
  if (code != 0) {
    IndexReport(code, unable);
    return nullptr;
  }
  for (int i = 1; i <= ix->file.TagsInUse(); ++i) {
    const TagEntry e = ix->file.Entry(i);
    uint8_t header[kTagHeaderUsed];
    size_t got = 0;
    if (e.header_block < kFirstFreeBlock) {
      IndexReport(kCorruptIndex, unable);
      return nullptr;
    }
    const int rc = ix->file.ReadBlocks(e.header_block, header, sizeof header, &got);
    if (rc != 0 || got != sizeof header) {
      IndexReport(rc != 0 ? rc : kCorruptIndex, unable);
      return nullptr;
    }
    OpenTag t;
    t.tag = std::make_unique<IndexTag>(ix->file, i, e.header_block, header, e.name, name, a.number);
    // The tag goes into the list now so that a failure below releases it.
    ix->tags.push_back(std::move(t));
    OpenTag& ot = ix->tags.back();
    IndexTag& tag = *ot.tag;
    if (!tag.Valid()) {
      IndexReport(kCorruptIndex, invalid);
      return nullptr;
    }
    const std::string key_text = NormaliseKeyExpression(tag.expression());
    const std::string for_text = NormaliseKeyExpression(tag.condition());
    {
      ErrorCheckingOff quiet;
      if (key_text.empty() || CheckExpr(key_text, true) != 0 ||
          (!for_text.empty() && CheckExpr(for_text, false) != 0)) {
        ot.key_expr = nullptr;
      } else {
        ot.key_expr = AssignExpr(key_text);
        if (!for_text.empty()) ot.for_expr = AssignExpr(for_text);
      }
    }
    ClearLastError();
    if (ot.key_expr == nullptr || (!for_text.empty() && ot.for_expr == nullptr) ||
        ExprType(ot.key_expr) != tag.key_type()) {
      IndexReport(kCorruptIndex, invalid);
      return nullptr;
    }
    ot.decimals = ExprDecimals(ot.key_expr);
    if (tag.key_type() == kCharKey) {
      // The key of a blank record must have the stored length: a tag whose
      // expression no longer fits the table's fields cannot be used.
      SavedCursor keep(a);
      BlankBuffers(a);
      const void* v = EvaluateExpr(ot.key_expr);
      const size_t len = v ? strnlen(static_cast<const char*>(v), 255) : 0;
      if (len != static_cast<size_t>(tag.key_length())) {
        IndexReport(266, "Incorrect key length: Must be 1 to 100. " + name + " [OpenIndex/Set_Index_To]");
        return nullptr;
      }
    }
    ot.old_key.assign(static_cast<size_t>(tag.key_length()), 0);
  }
  return ix;
}

int32_t Navigate(WorkArea& a, Step (IndexTag::*step)()) {
  if (a.index == nullptr) return 0;
  IndexTag* tag = a.index->controlling();
  if (tag == nullptr) return 0;
  try {
    ClearLastError();
    const Step s = (tag->*step)();
    if (s == Step::kError) return 0;
    if (s == Step::kEnd) {
      if (step == &IndexTag::First || step == &IndexTag::Last) return a.record_count + 1;
      return a.current;
    }
    return tag->record();
  } catch (const ETableError&) {
    return 0;
  }
}

bool HookOrdered(const WorkArea& a) { return a.index != nullptr && a.index->order > 0; }
int32_t HookFirst(WorkArea& a) { return Navigate(a, &IndexTag::First); }
int32_t HookLast(WorkArea& a) { return Navigate(a, &IndexTag::Last); }
int32_t HookNext(WorkArea& a) { return Navigate(a, &IndexTag::Next); }
int32_t HookPrior(WorkArea& a) { return Navigate(a, &IndexTag::Prior); }
bool HookAtEnd(const WorkArea& a) {
  return a.index != nullptr && a.index->order > 0 && a.index->tags[static_cast<size_t>(a.index->order - 1)].tag->at_end();
}
bool HookAtStart(const WorkArea& a) {
  return a.index != nullptr && a.index->order > 0 && a.index->tags[static_cast<size_t>(a.index->order - 1)].tag->at_start();
}

void NoteOldKeys(WorkArea& a) {
  if (a.index == nullptr) return;
  for (OpenTag& t : a.index->tags) {
    const KeySource::Result r = KeyOfBuffers(a, t, t.old_key.data());
    t.old_has_key = r == KeySource::kKey;
  }
  a.index->old_keys_noted = true;
}

void HookSync(WorkArea& a) { SyncIndex(a); }
bool HookReindex(WorkArea& a) {
  (void)a;
  try {
    return Reindex();
  } catch (const ETableError&) {
    return false;
  }
}

}  // namespace

AreaIndex::~AreaIndex() {
  for (OpenTag& t : tags) ReleaseTag(t);
}

std::string IndexFileName(const WorkArea& area, std::string_view file_name) {
  std::string name = TrimText(file_name);
  if (name.empty()) return ReplaceExtension(area.path.empty() ? area.file_name : area.path, ".MDX");
  const size_t slash = name.find_last_of("/\\:");
  const size_t dot = name.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) name += ".MDX";
  if (!HasSeparator(name)) name = FolderOf(area.path.empty() ? area.file_name : area.path) + name;
  return name;
}

std::string IndexSemaphoreName(std::string_view table_file_name) {
  return ReplaceExtension(std::string(table_file_name), ".@S@");
}

std::string NormaliseKeyExpression(std::string_view text) {
  std::string out;
  char quote = 0;
  for (char c : text) {
    if (quote != 0) {
      if (c == quote) {
        out += '"';
        quote = 0;
      } else {
        out += c;
      }
      continue;
    }
    if (c == '"' || c == '\'') {
      quote = c;
      out += '"';
    } else if (c != ' ') {
      out += static_cast<char>(AnsiUpper(static_cast<uint8_t>(c)));
    }
  }
  return TrimText(out);
}

namespace {

bool AddIndexTag(WorkArea& a, AreaIndex& ix, const TagDefinition& def) {
  const std::string name = def.name.substr(0, std::min(def.name.size(), kMaxTagName));
  const std::string condition = RightTrimmed(def.condition);
  if (!condition.empty()) {
    const int code = CheckExpr(condition, false);
    if (code != 0) {
      ReportError(code, "Invalid FOR expression for " + name + " [AddIndexTag()]");
      return false;
    }
  }
  if (def.expression.size() > kMaxExpr) {
    ReportError(300, "Expression length exceeds 100 bytes [AddIndexTag()]");
    return false;
  }
  OpenTag t;
  t.key_expr = AssignExpr(def.expression);
  if (t.key_expr == nullptr) return false;
  struct Release {
    OpenTag& t;
    ~Release() { ReleaseTag(t); }
  } release{t};
  const char type = ExprType(t.key_expr);
  if (type != kCharKey && type != kNumericKey && type != kDateKey) {
    ReportError(254, "Wrong parser return type [AddIndexTag()]");
    return false;
  }
  if (!condition.empty()) {
    t.for_expr = AssignExpr(condition);
    if (t.for_expr == nullptr) return false;
  }
  int key_length = type == kNumericKey ? kNumericKeyLength : kDateKeyLength;
  if (type == kCharKey) {
    const void* v = EvaluateExpr(t.key_expr);
    key_length = v ? static_cast<int>(strnlen(static_cast<const char*>(v), 255)) : 0;
  }
  if (key_length < 1 || key_length > kMaxKeyLength) {
    ReportError(266, "Incorrect key length: Must be 1 to 100. [AddIndexTag()]");
    return false;
  }
  TagLayout layout;
  layout.key_type = type;
  layout.key_length = key_length;
  layout.descending = def.descending;
  layout.unique = def.unique;
  layout.expression = def.expression;
  layout.condition = condition;
  t.decimals = ExprDecimals(t.key_expr);
  uint8_t header[kBlockSize];
  FormatTagHeader(layout, 0, header);
  const std::string index_name = ix.file_name + " [tag: " + UpperAnsi(name) + "]";
  t.tag = std::make_unique<IndexTag>(ix.file, 0, 0, header, UpperAnsi(name), ix.file_name, a.number);

  bool any = false;
  uint32_t root = 0;
  {
    SavedCursor keep(a);
    RecordKeys keys(a, t);
    try {
      root = BuildTagTree(ix.file, t.tag->order(), def.unique, keys, a.record_count, &any, index_name);
    } catch (const std::bad_alloc&) {
      ReportError(217, "Additional " + std::to_string(static_cast<int64_t>(a.record_count) * (key_length + 8)) +
                           " bytes of memory are needed. [MakeIndex]");
      return false;
    }
  }
  if (root == 0) return false;
  layout.condition_met = any;
  FormatTagHeader(layout, root, header);
  const uint32_t header_block = ix.file.AllocateBlock();
  const int code = ix.file.WriteBlocks(header_block, header, kBlockSize);
  if (code != 0) {
    ReportError(code, " [MakeIndex]");
    return false;
  }
  ix.file.AddEntry(name, header_block, type);
  ix.file.SetLastBlock(header_block);
  return true;
}

}  // namespace

bool MakeIndex(const std::vector<TagDefinition>& definitions, std::string_view file_name) {
  WorkArea* ap = RequireArea("MakeIndex");
  if (ap == nullptr) return false;
  WorkArea& a = *ap;
  if (a.index != nullptr) CloseIndex(a);
  const std::string name = IndexFileName(a, file_name);
  const std::string path = ResolvePathNoCase(name);
  AreaIndex ix;
  ix.file_name = name;
  const Ymd today = Today();
  const uint8_t date[3] = {static_cast<uint8_t>(today.year - 1900), static_cast<uint8_t>(today.month),
                           static_cast<uint8_t>(today.day)};
  int code = ix.file.Create(path, BaseName(a.path.empty() ? a.file_name : a.path), date);
  if (code != 0) {
    ReportError(code, " [MakeIndex]");
    return false;
  }
  bool all = true;
  for (const TagDefinition& def : definitions) {
    if (def.name.empty()) break;
    if (ix.file.TagsInUse() >= kMaxTags) {
      ReportError(220, "Too many tags for " + name + " [MakeIndex]");
      all = false;
      break;
    }
    if (!AddIndexTag(a, ix, def)) all = false;
  }
  code = ix.file.Close();
  if (code != 0) {
    ReportError(code, "Error closing index file:  " + name);
    return false;
  }
  return all;
}

bool SetIndexTo(std::string_view file_name) {
  WorkArea* ap = RequireArea("SetIndexTo");
  if (ap == nullptr) return false;
  WorkArea& a = *ap;
  if (a.index != nullptr) CloseIndex(a);
  const std::string name = IndexFileName(a, file_name);
  const std::string path = ResolvePathNoCase(name);
  if (!FileExistsName(path)) {
    ReportError(2, "SetIndexTo(" + name + ")");
    return false;
  }
  std::unique_ptr<AreaIndex> ix = OpenIndexFile(a, path, name);
  if (!ix) return false;
  ix->order = ix->tags.empty() ? 0 : 1;
  a.index = ix.release();
  if (a.index->order > 0) {
    GoTop();
    if (LastErrorCode() != 0 || a.index == nullptr) {
      // A tree that cannot be walked is as good as none.
      const int code = LastErrorCode();
      if (a.index != nullptr) {
        delete a.index;
        a.index = nullptr;
      }
      SetLastErrorCode(code);
      return false;
    }
  }
  return true;
}

bool ReadIndexTagList(std::string_view file_name, std::vector<std::string>* lines) {
  WorkArea* ap = RequireArea("SetIndexTo");
  if (ap == nullptr) return false;
  WorkArea& a = *ap;
  lines->clear();
  const std::string name = IndexFileName(a, file_name);
  const std::string path = ResolvePathNoCase(name);
  auto emit = [&](const IndexTag& tag) {
    lines->push_back(tag.name() + (tag.descending() ? ",T," : ",F,") + (tag.unique() ? "T," : "F,") +
                     TrimText(tag.expression()));
    lines->push_back(TrimText(tag.condition()));
  };
  if (a.index != nullptr && a.index->file.path() == path) {
    for (const OpenTag& t : a.index->tags) emit(*t.tag);
    return true;
  }
  if (!FileExistsName(path)) {
    ReportError(2, "SetIndexTo(" + name + ")");
    return false;
  }
  const std::string unable = "Unable to open index: " + name + " [OpenIndex/Set_Index_To]";
  MdxFile file;
  const int code = file.Open(path);
  if (code != 0) {
    IndexReport(code, unable);
    return false;
  }
  for (int i = 1; i <= file.TagsInUse(); ++i) {
    const TagEntry e = file.Entry(i);
    uint8_t header[kTagHeaderUsed];
    size_t got = 0;
    const int rc = e.header_block < kFirstFreeBlock
                       ? kCorruptIndex
                       : file.ReadBlocks(e.header_block, header, sizeof header, &got);
    if (rc != 0 || got != sizeof header) {
      IndexReport(rc != 0 ? rc : kCorruptIndex, unable);
      return false;
    }
    IndexTag tag(file, i, e.header_block, header, e.name, name, a.number);
    emit(tag);
  }
  return true;
}

void SetOrderTo(int n) {
  WorkArea* ap = RequireArea("Set_Order_To");
  if (ap == nullptr) return;
  WorkArea& a = *ap;
  try {
    if (a.index == nullptr) {
      IndexReport(221, "Index not open. (DBF=" + a.file_name + ") [Set_Order_To(" + std::to_string(n) + ")]");
      return;
    }
    if (n < 0 || n > static_cast<int>(a.index->tags.size())) {
      IndexReport(220, "Invalid Index Order Specified: SET_ORDER_TO. [Set_Order_To(" + std::to_string(n) +
                           ")] (DBF=" + a.file_name + ")");
      return;
    }
  } catch (const ETableError&) {
    return;
  }
  a.index->order = n;
  if (n > 0) SyncTag(a, *a.index, a.index->tags[static_cast<size_t>(n - 1)]);
}

void SetOrderToTag(std::string_view name) {
  WorkArea* ap = RequireArea("SetOrderToTag");
  if (ap == nullptr) return;
  WorkArea& a = *ap;
  std::string tag_name = TrimText(name);
  if (tag_name.size() > kMaxTagName) tag_name.resize(kMaxTagName);
  if (tag_name.empty()) {
    SetOrderTo(0);
    return;
  }
  if (a.index == nullptr) {
    IndexReport(221, "Index not open. (DBF=" + a.file_name + ") [SetOrderToTag(" + tag_name + ")]");
    return;
  }
  const std::string upper = UpperAnsi(tag_name);
  for (size_t i = 0; i < a.index->tags.size(); ++i) {
    if (a.index->tags[i].tag->name() == upper) {
      SetOrderTo(static_cast<int>(i + 1));
      return;
    }
  }
  IndexReport(220, "Invalid Index Order Specified: SET_ORDER_TO. [SetOrderToTag(" + tag_name +
                       ")] (DBF=" + a.file_name + ")");
}

int CurrentOrder() {
  WorkArea* a = CurrentArea();
  return a != nullptr && a->index != nullptr ? a->index->order : 0;
}

bool Find(std::string_view text) {
  WorkArea* ap = RequireArea("Find");
  if (ap == nullptr) return false;
  WorkArea& a = *ap;
  if (text.size() > 100) text = text.substr(0, 100);
  if (a.index == nullptr) {
    IndexReport(221, "Index not open. (DBF=" + a.file_name + ") [Find]");
    return false;
  }
  if (a.index->order == 0) {
    ReportError(254, "Cannot use Find() with index order 0 (natural order) [Find]");
    return false;
  }
  if (text.empty()) return false;
  IndexTag& tag = *a.index->controlling();
  const int klen = tag.key_length();
  std::vector<uint8_t> key(static_cast<size_t>(std::max(klen, static_cast<int>(text.size()))), 0);
  int n = klen;
  if (tag.key_type() == kCharKey) {
    n = static_cast<int>(std::min(text.size(), static_cast<size_t>(klen)));
    std::memcpy(key.data(), text.data(), static_cast<size_t>(n));
    if (a.translate) AnsiToOemBuffer(key.data(), static_cast<size_t>(n));
  } else if (tag.key_type() == kNumericKey) {
    PackNumericText(text, 0, key.data());
  } else {
    PackDate(CtoD(TrimText(text)), key.data());
  }
  const Step s = tag.Seek(key.data(), n);
  if (s == Step::kError) return false;
  bool found = false;
  if (tag.positioned()) {
    for (;;) {
      const int32_t r = tag.record();
      if (r < 1 || r > a.record_count || !GetDbfRecord(a, r)) break;
      ScatterRecord(a);
      a.eof = a.bof = false;
      if (RecordVisible(a)) {
        const bool match = tag.key_type() == kCharKey
                               ? std::memcmp(tag.key(), key.data(), static_cast<size_t>(n)) == 0
                               : tag.order().Compare(tag.key(), key.data()) == 0;
        found = match;
        break;
      }
      const Step next = tag.Next();
      if (next != Step::kOk) break;
    }
  }
  if (found) {
    tag.set_at_end(false);
    tag.set_at_start(false);
    return true;
  }
  if (LastErrorCode() != 0) return false;
  GoPastEnd(a);
  tag.set_at_end(true);
  return false;
}

bool Reindex() {
  WorkArea* ap = RequireArea("Reindex");
  if (ap == nullptr) return false;
  WorkArea& a = *ap;
  if (a.index == nullptr) return true;
  std::vector<TagDefinition> defs;
  std::string controlling;
  try {
    for (const OpenTag& t : a.index->tags) {
      TagDefinition d;
      d.name = t.tag->name();
      d.expression = t.tag->expression();
      d.condition = t.tag->condition();
      d.descending = t.tag->descending();
      d.unique = t.tag->unique();
      defs.push_back(std::move(d));
    }
    if (a.index->order > 0) controlling = a.index->controlling()->name();
  } catch (const std::bad_alloc&) {
    ReportError(217, a.file_name + " [Reindex()]");
    return false;
  }
  const std::string name = a.index->file_name;
  const int32_t current = a.current;
  CloseIndex(a);
  if (!MakeIndex(defs, name)) return false;
  if (!SetIndexTo(name)) return false;
  // The record that was current stays current.
  if (current >= 1 && current <= a.record_count) {
    if (GetDbfRecord(a, current)) {
      ScatterRecord(a);
      a.eof = a.bof = false;
    }
  }
  if (controlling.empty()) {
    SetOrderTo(0);
  } else {
    SetOrderToTag(controlling);
  }
  return LastErrorCode() == 0;
}

bool AppendNewKey(WorkArea& a) {
  if (a.index == nullptr) return true;
  bool ok = true;
  uint8_t key[kMaxKeyLength];
  for (size_t i = 0; i < a.index->tags.size(); ++i) {
    OpenTag& t = a.index->tags[i];
    IndexTag& tag = *t.tag;
    const KeySource::Result r = KeyOfBuffers(a, t, key);
    if (r == KeySource::kFailed) {
      ok = false;
      continue;
    }
    if (r == KeySource::kNoKey) {
      tag.Unposition();
      tag.set_at_end(true);
      continue;
    }
    bool inserted = false;
    if (tag.Insert(key, a.current, &inserted) != Step::kOk) {
      ReportError(kCorruptIndex, "Index file corrupted. " + tag.index_name() + " [AppendNewKey]");
      ok = false;
      continue;
    }
    tag.set_at_end(false);
    tag.set_at_start(false);
  }
  return ok;
}

bool CompareKeys(WorkArea& a) {
  if (a.index == nullptr) return true;
  AreaIndex& ix = *a.index;
  if (!ix.old_keys_noted) {
    SyncIndex(a);
    return LastErrorCode() == 0;
  }
  ix.old_keys_noted = false;
  bool ok = true;
  uint8_t key[kMaxKeyLength];
  for (size_t i = 0; i < ix.tags.size(); ++i) {
    OpenTag& t = ix.tags[i];
    IndexTag& tag = *t.tag;
    const bool controlling = static_cast<int>(i + 1) == ix.order;
    const KeySource::Result r = KeyOfBuffers(a, t, key);
    if (r == KeySource::kFailed) {
      ok = false;
      continue;
    }
    const bool has = r == KeySource::kKey;
    const bool same = has == t.old_has_key &&
                      (!has || std::memcmp(key, t.old_key.data(), t.old_key.size()) == 0);
    if (same) {
      if (controlling && (!tag.positioned() || tag.record() != a.current)) SyncTag(a, ix, t);
      continue;
    }
    if (t.old_has_key) {
      bool found = false;
      if (tag.Remove(t.old_key.data(), a.current, &found) != Step::kOk) {
        ok = false;
        continue;
      }
      if (!found && !tag.unique()) {
        ReportError(254, "Record number " + std::to_string(a.current) + " not found in index. " +
                             tag.index_name() + " [CompareKeys]");
        ok = false;
      }
    }
    if (has) {
      bool inserted = false;
      if (tag.Insert(key, a.current, &inserted) != Step::kOk) {
        ok = false;
        continue;
      }
      tag.set_at_end(false);
      tag.set_at_start(false);
    } else {
      tag.Unposition();
      tag.set_at_end(true);
    }
  }
  return ok;
}

void SyncIndex(WorkArea& a) {
  if (a.index == nullptr || a.index->order == 0) return;
  SyncTag(a, *a.index, a.index->tags[static_cast<size_t>(a.index->order - 1)]);
}

bool FlushIndex(WorkArea& a) {
  if (a.index == nullptr) return true;
  bool ok = true;
  for (OpenTag& t : a.index->tags) {
    const int code = t.tag->WriteHeader();
    if (code != 0) {
      ReportError(code, "Error writing index file: " + t.tag->index_name() + " [SeekAndWrite]");
      ok = false;
    }
  }
  const int code = a.index->file.Flush();
  if (code != 0) {
    ReportError(code, "Error writing index file: " + a.index->file_name + " [SeekAndWrite]");
    ok = false;
  }
  return ok;
}

void CloseIndex(WorkArea& a) {
  if (a.index == nullptr) return;
  AreaIndex* ix = a.index;
  a.index = nullptr;
  for (OpenTag& t : ix->tags) {
    const int code = t.tag->WriteHeader();
    if (code != 0) ReportError(code, "Error writing index file: " + t.tag->index_name() + " [SeekAndWrite]");
  }
  const int code = ix->file.Close();
  if (code != 0) ReportError(code, "Error closing index file:  " + ix->file_name);
  delete ix;
}

namespace {


}  // namespace

bool CheckIndexStructure(WorkArea& area, std::vector<std::string>* problems) {
  if (area.index == nullptr) return true;
  // The check reads every record; the cursor comes back afterwards.
  const std::vector<uint8_t> record = area.record;
  const std::vector<uint8_t> values = area.values;
  const int32_t current = area.current;
  const bool eof = area.eof;
  const bool bof = area.bof;
  bool ok = true;
  for (OpenTag& t : area.index->tags) {
    std::vector<LeafEntry> entries;
    if (!CheckTagTree(area.index->file, *t.tag, problems, &entries)) ok = false;
    RecordKeys keys(area, t);
    if (!CheckTagKeys(*t.tag, entries, keys, area.record_count, problems)) ok = false;
  }
  area.record = record;
  area.values = values;
  area.current = current;
  area.eof = eof;
  area.bof = bof;
  return ok;
}

void InstallIndexHooks() {
  IndexHooks& h = IdxHooks();
  h.close = CloseIndex;
  h.ordered = HookOrdered;
  h.first = HookFirst;
  h.last = HookLast;
  h.next = HookNext;
  h.prior = HookPrior;
  h.at_end = HookAtEnd;
  h.at_start = HookAtStart;
  h.append_key = AppendNewKey;
  h.note_old_keys = NoteOldKeys;
  h.compare_keys = CompareKeys;
  h.sync = HookSync;
  h.reindex = HookReindex;
}

}  // namespace sv
