// svx: looks into the program's tables (or any dBase table with a dBASE IV
// production index) through the table component, the way the program sees
// them.
//
//   svx info FILE
//   svx list FILE [--order N|TAG] [--filter EXPR] [--all] [--tsv]
//   svx eval FILE EXPR [--order N|TAG] [--filter EXPR]
//   svx find FILE ORDER KEY
//   svx index FILE (--program | TAGDEF...)
//   svx check FILE
//
// Engine errors print the engine's full error text and end with its code as
// exit status (modulo 256); bad arguments end with 2.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/dbf_table.h"
#include "engine/engine_state.h"
#include "engine/error.h"
#include "engine/index.h"
#include "engine/index_check.h"
#include "engine/table_component.h"
#include "engine/work_area.h"
#include "match/program_tables.h"
#include "support/codepage.h"
#include "support/files.h"
#include "support/text.h"

namespace sv {
namespace {

constexpr int kBadArguments = 2;

constexpr const char kUsage[] =
    "usage: svx info FILE\n"
    "       svx list FILE [--order N|TAG] [--filter EXPR] [--all] [--tsv]\n"
    "       svx eval FILE EXPR [--order N|TAG] [--filter EXPR]\n"
    "       svx find FILE ORDER KEY\n"
    "       svx index FILE (--program | TAGDEF...)\n"
    "       svx check FILE\n"
    "\n"
    "  info   header facts, fields and the tags of the production index\n"
    "  list   the visible records in an order (--all: deleted ones too, marked *)\n"
    "  eval   the value of an expression on each visible record\n"
    "  find   whether the key is found in an order, and the record it stands on\n"
    "  index  builds the production index: the program's own tags of that file\n"
    "         (--program), or tags given as NAME,D,U,key[;FOR condition]\n"
    "  check  verifies every tag against the table; exit status 1 when anything is wrong\n";

struct Options {
  std::string command;
  std::string file;
  std::vector<std::string> positional;
  std::string order;
  std::string filter;
  bool all = false;
  bool tsv = false;
  bool program = false;
};

void Out(const std::string& ansi) { std::fputs(AnsiToUtf8(ansi).c_str(), stdout); }

[[noreturn]] void Fail(const std::string& message, int status) {
  std::fprintf(stderr, "svx: %s\n", AnsiToUtf8(message).c_str());
  std::exit(status);
}

bool ParseArguments(int argc, char** argv, Options& o) {
  if (argc < 3) return false;
  o.command = argv[1];
  o.file = Utf8ToAnsi(argv[2]);
  for (int i = 3; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&](std::string& into) {
      if (i + 1 >= argc) return false;
      into = Utf8ToAnsi(argv[++i]);
      return true;
    };
    if (a == "--order") {
      if (!value(o.order)) return false;
    } else if (a == "--filter") {
      if (!value(o.filter)) return false;
    } else if (a == "--all") {
      o.all = true;
    } else if (a == "--tsv") {
      o.tsv = true;
    } else if (a == "--program") {
      o.program = true;
    } else if (a.rfind("--", 0) == 0) {
      return false;
    } else {
      o.positional.push_back(Utf8ToAnsi(a));
    }
  }
  const size_t n = o.positional.size();
  if (o.command == "info" || o.command == "check") return n == 0 && o.order.empty();
  if (o.command == "list") return n == 0;
  if (o.command == "eval") return n == 1;
  if (o.command == "find") return n == 2;
  if (o.command == "index") return o.program ? n == 0 : n > 0;
  return false;
}

// Opens the table as the program would, its production index as it is. With
// `need_index`, an index that cannot be opened is an error; otherwise the
// table is shown without it and a note says why.
void Open(TTzDbf& t, const Options& o, bool need_index) {
  if (!FileExistsName(o.file)) Fail("no such table: " + o.file, kBadArguments);
  t.TableLanguage = tlOem;
  t.HideDeletedRecs = !o.all;
  t.AutoFixRecCount = true;
  t.CreateIfNotFound = false;
  t.SetExclusive(true);
  {
    ErrorCheckingOff quiet;
    ClearLastError();
    try {
      t.SetDbfFileName(o.file);
      t.SetActive(true);
    } catch (const ETableError&) {
    }
  }
  const int code = LastErrorCode();
  if (!t.IsOpen()) Fail(FullErrorText(code, FetchLastErrorText()), code & 0xFF ? code & 0xFF : 1);
  if (code != 0) {
    std::string text = FullErrorText(code, FetchLastErrorText());
    if (need_index) Fail(text, code & 0xFF ? code & 0xFF : 1);
    std::fprintf(stderr, "svx: the production index was not opened:\n%s\n",
                 AnsiToUtf8(text).c_str());
    ClearLastError();
  }
}

void ApplyOrderAndFilter(TTzDbf& t, const Options& o) {
  if (!o.order.empty()) {
    bool numeric = o.order.find_first_not_of("0123456789") == std::string::npos;
    if (numeric) {
      t.SetOrderTo(static_cast<uint8_t>(std::min(std::atoi(o.order.c_str()), 255)));
    } else {
      t.SetOrderToTag(o.order);
    }
  }
  if (!o.filter.empty()) t.SetFilterTo(o.filter);
}

WorkArea& AreaOf(TTzDbf& t) { return *Area(t.WorkAreaNumber()); }

std::string FieldText(TTzDbf& t, int n) {
  std::string text = t.GetField(t.Field(n));
  char type = t.FieldType(n);
  return type == 'C' || type == 'M' ? TrimRightText(text) : TrimText(text);
}

void PrintTags(TTzDbf& t) {
  WorkArea& a = AreaOf(t);
  if (a.index == nullptr) {
    Out(ProductionIndexFlag(a) ? "Tags: none open\n" : "Tags: none (no production index)\n");
    return;
  }
  Out("Tags (" + a.index->file_name + "):\n");
  Out("  #  NAME        TYPE  LEN  FLAGS  KEY\n");
  for (size_t i = 0; i < a.index->tags.size(); ++i) {
    const IndexTag& tag = *a.index->tags[i].tag;
    char line[64];
    std::snprintf(line, sizeof line, "%3zu  %-10s  %c     %3d  %c%c     ", i + 1, tag.name().c_str(),
                  tag.key_type(), tag.key_length(), tag.descending() ? 'D' : '-',
                  tag.unique() ? 'U' : '-');
    std::string text = line + tag.expression();
    if (!tag.condition().empty()) text += "  FOR " + tag.condition();
    Out(text + "\n");
  }
}

int Info(const Options& o) {
  TTzDbf t("svx");
  Open(t, o, false);
  WorkArea& a = AreaOf(t);
  char line[256];
  Out("File: " + a.path + "\n");
  std::snprintf(line, sizeof line,
                "Version: 0x%02X  Last update: %s-%s-%s  Records: %d  Header: %u bytes  "
                "Record: %u bytes  Fields: %d  Production index: %s\n",
                a.header[dbf::kVersionOffset], a.date_text.substr(0, 4).c_str(),
                a.date_text.substr(4, 2).c_str(), a.date_text.substr(6, 2).c_str(),
                a.record_count, a.header_length, a.record_length, a.field_count,
                ProductionIndexFlag(a) ? "yes" : "no");
  Out(line);
  Out("Fields:\n  #  NAME        TYPE   LEN  DEC  OFFSET\n");
  for (int n = 1; n <= a.field_count; ++n) {
    const DbfFieldDef& f = a.field(n);
    std::snprintf(line, sizeof line, "%3d  %-10s  %c     %4d  %3d  %6u\n", n,
                  std::string(f.Name()).c_str(), f.type, f.length, f.decimals, f.offset);
    Out(line);
  }
  PrintTags(t);
  return 0;
}

int List(const Options& o) {
  TTzDbf t("svx");
  Open(t, o, !o.order.empty());
  ApplyOrderAndFilter(t, o);
  const int fields = t.FieldCount();
  std::vector<std::vector<std::string>> rows;
  t.DisableControls();
  for (t.GoTop(); !t.dEOF(); t.Skip(1)) {
    std::vector<std::string> row{std::to_string(t.RecNo()), t.Deleted() ? "*" : " "};
    for (int n = 1; n <= fields; ++n) row.push_back(FieldText(t, n));
    rows.push_back(std::move(row));
  }
  t.EnableControls();
  if (o.tsv) {
    for (const auto& row : rows) {
      std::string line;
      for (size_t i = 0; i < row.size(); ++i) line += (i ? "\t" : "") + row[i];
      Out(line + "\n");
    }
    return 0;
  }
  std::vector<std::string> titles{"#", ""};
  for (int n = 1; n <= fields; ++n) titles.push_back(LowerText(t.Field(n)));
  std::vector<size_t> width(titles.size());
  for (size_t i = 0; i < titles.size(); ++i) width[i] = titles[i].size();
  for (const auto& row : rows) {
    for (size_t i = 0; i < row.size(); ++i) width[i] = std::max(width[i], row[i].size());
  }
  auto print = [&](const std::vector<std::string>& row) {
    std::string line;
    for (size_t i = 0; i < row.size(); ++i) {
      bool numeric = i == 0 || (i >= 2 && std::string("NF").find(t.FieldType(static_cast<int>(i) - 1)) != std::string::npos);
      std::string pad(width[i] - row[i].size(), ' ');
      line += numeric ? pad + row[i] : row[i] + pad;
      if (i + 1 < row.size()) line += i == 0 ? "" : "  ";
    }
    Out(TrimRightText(line) + "\n");
  };
  print(titles);
  for (const auto& row : rows) print(row);
  Out(std::to_string(rows.size()) + " record" + (rows.size() == 1 ? "" : "s") + "\n");
  return 0;
}

int Eval(const Options& o) {
  TTzDbf t("svx");
  Open(t, o, !o.order.empty());
  ApplyOrderAndFilter(t, o);
  t.DisableControls();
  for (t.GoTop(); !t.dEOF(); t.Skip(1)) Out(t.Evaluate(o.positional[0]) + "\n");
  t.EnableControls();
  return 0;
}

int FindKey(const Options& o) {
  TTzDbf t("svx");
  Open(t, o, true);
  Options with_order = o;
  with_order.order = o.positional[0];
  ApplyOrderAndFilter(t, with_order);
  bool found = t.Find(o.positional[1]);
  if (found) {
    Out("found: record " + std::to_string(t.RecNo()) + "\n");
  } else {
    Out("not found: end of file\n");
  }
  return found ? 0 : 1;
}

int BuildIndex(const Options& o) {
  std::vector<std::string> index_list;
  if (o.program) {
    const TableDeclaration* d = FindTableDeclaration(o.file);
    if (d == nullptr || d->index_list.empty()) {
      Fail("not one of the program's indexed tables: " + o.file, kBadArguments);
    }
    index_list = d->index_list;
  } else {
    for (const std::string& def : o.positional) {
      size_t semicolon = def.find(';');
      std::string head = def.substr(0, semicolon);
      if (std::count(head.begin(), head.end(), ',') < 3) {
        Fail("a tag is NAME,D,U,key[;FOR condition]: " + def, kBadArguments);
      }
      index_list.push_back(head);
      index_list.push_back(semicolon == std::string::npos ? std::string() : def.substr(semicolon + 1));
    }
  }
  if (!FileExistsName(o.file)) Fail("no such table: " + o.file, kBadArguments);
  TTzDbf t("svx");
  t.TableLanguage = tlOem;
  t.HideDeletedRecs = true;
  t.AutoFixRecCount = true;
  t.CreateIfNotFound = false;
  t.CreateIndex = ciAlways;
  t.SetIndexList(index_list);
  t.SetExclusive(true);
  t.SetDbfFileName(o.file);
  t.SetActive(true);
  PrintTags(t);
  return 0;
}

int Check(const Options& o) {
  TTzDbf t("svx");
  Options every = o;
  every.all = true;
  Open(t, every, true);
  WorkArea& a = AreaOf(t);
  if (a.index == nullptr) {
    Out("No production index: nothing to check.\n");
    return 0;
  }
  std::vector<std::string> problems;
  bool ok = CheckIndexStructure(a, &problems);
  for (const std::string& p : problems) Out(p + "\n");
  if (!ok || !problems.empty()) {
    Out("FAILED: " + std::to_string(problems.size()) + " problem" +
        (problems.size() == 1 ? "" : "s") + " in " + a.index->file_name + "\n");
    return 1;
  }
  Out("OK: " + std::to_string(a.index->tags.size()) + " tags agree with " +
      std::to_string(a.record_count) + " records\n");
  return 0;
}

int Run(int argc, char** argv) {
  EngineStartup();
  SetHaltHook([](const std::string&, const std::string& text) {
    std::fprintf(stderr, "svx: %s\n", AnsiToUtf8(text).c_str());
  });
  Options o;
  if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (!ParseArguments(argc, argv, o)) {
    std::fputs(kUsage, stderr);
    return kBadArguments;
  }
  if (o.command == "info") return Info(o);
  if (o.command == "list") return List(o);
  if (o.command == "eval") return Eval(o);
  if (o.command == "find") return FindKey(o);
  if (o.command == "index") return BuildIndex(o);
  return Check(o);
}

}  // namespace
}  // namespace sv

int main(int argc, char** argv) { return sv::Run(argc, argv); }
