// svbuild: builds the shipped tables from the thread charts.
//
//   svbuild --charts DIR --map FILE --out DIR
//
// Writes "mnthread.svx" (every colour of every mapped chart), "inthread.svx"
// (the OSTRA threads) and "params.svx" (one settings record) into the output
// folder. Repeated colour numbers within one company and type keep their
// first record and are listed on standard error. Exit status 0 on success,
// 1 when a chart, the map or a table cannot be read or written, 2 for bad
// arguments.
#include <algorithm>
#include <cstdio>
#include <set>
#include <string>
#include <tuple>
#include <unistd.h>
#include <vector>

#include "engine/dbf_table.h"
#include "engine/engine_state.h"
#include "engine/error.h"
#include "match/source_key.h"
#include "match/program_tables.h"
#include "match/thread_chart.h"
#include "support/codepage.h"
#include "support/text.h"

namespace sv {
namespace {

constexpr const char kUsage[] = "usage: svbuild --charts DIR --map FILE --out DIR\n";

// Tolerance the shipped settings start with.
constexpr int kShippedTolerance = 10;

// One master record, texts in the ANSI code page, cut to their field widths.
struct ThreadRecord {
  std::string company;
  std::string type;
  std::string name;
  std::string color;
  int red = 0;
  int green = 0;
  int blue = 0;
};

std::string FieldText(std::string_view utf8, int width) {
  return UpperText(Utf8ToAnsi(utf8)).substr(0, static_cast<size_t>(width));
}

int FieldOf(const DbfTable& t, std::string_view name) {
  int n = FieldNo(t, name);
  if (n == 0) throw ETableError("field " + std::string(name) + " missing in " + t.file_name);
  return n;
}

void SetThreadFields(DbfTable& t, const ThreadRecord& r) {
  fv::SetText(t, FieldOf(t, "t_company"), r.company);
  fv::SetText(t, FieldOf(t, "t_type"), r.type);
  fv::SetText(t, FieldOf(t, "t_name"), r.name);
  fv::SetText(t, FieldOf(t, "t_color"), r.color);
  fv::SetInt(t, FieldOf(t, "t_red"), r.red);
  fv::SetInt(t, FieldOf(t, "t_green"), r.green);
  fv::SetInt(t, FieldOf(t, "t_blue"), r.blue);
}

// Creates the table, then appends one record per call of `fill` (which
// returns false when there are no more). Engine errors raise ETableError.
template <typename Fill>
void WriteTable(const std::string& path, const std::vector<DbfFieldSpec>& fields, Fill fill) {
  CreateDBF(path, fields);
  DbfTable t;
  // Every table of the program holds OEM text.
  OpenDbf(t, path, true);
  for (size_t i = 0;; ++i) {
    std::fill(t.values.begin(), t.values.end(), 0);
    if (!fill(t, i)) break;
    GatherRecord(t);
    PutDbfRecord(t, t.record_count + 1);
  }
  CloseDbf(t);
}

struct Options {
  std::string charts;
  std::string map;
  std::string out;
};

bool ParseArguments(int argc, char** argv, Options* o) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    std::string* target = nullptr;
    if (arg == "--charts") target = &o->charts;
    if (arg == "--map") target = &o->map;
    if (arg == "--out") target = &o->out;
    if (target == nullptr || i + 1 >= argc) return false;
    *target = argv[++i];
  }
  return !o->charts.empty() && !o->map.empty() && !o->out.empty();
}

std::string ListOf(const std::vector<std::string>& numbers) {
  constexpr size_t kShown = 12;
  std::string list;
  for (size_t i = 0; i < numbers.size() && i < kShown; ++i) {
    if (i > 0) list += ", ";
    list += AnsiToUtf8(TrimRightText(numbers[i]));
  }
  if (numbers.size() > kShown) list += ", ...";
  return list;
}

// Reads every mapped chart into master records, in map order.
bool CollectThreads(const Options& o, const std::vector<ChartMapping>& mappings,
                    std::vector<ThreadRecord>* threads) {
  std::set<std::tuple<std::string, std::string, std::string>> seen;
  for (const ChartMapping& m : mappings) {
    ThreadChart chart;
    std::string error;
    if (!ReadThreadChart(o.charts + "/" + m.chart, &chart, &error)) {
      std::fprintf(stderr, "svbuild: chart of %s line %d: %s\n", o.map.c_str(), m.line,
                   error.c_str());
      return false;
    }
    std::vector<std::string> dropped;
    for (const ChartColour& c : chart.colours) {
      ThreadRecord r;
      r.company = FieldText(m.company, kCompanyWidth);
      r.type = FieldText(m.type, kTypeWidth);
      r.name = FieldText(c.name, kNameWidth);
      r.color = FieldText(c.number, kColorWidth);
      r.red = c.red;
      r.green = c.green;
      r.blue = c.blue;
      if (!seen.emplace(r.company, r.type, r.color).second) {
        dropped.push_back(r.color);
        continue;
      }
      threads->push_back(std::move(r));
    }
    if (!dropped.empty()) {
      std::fprintf(stderr,
                   "svbuild: %s: dropped %zu repeated colour number%s of company %s, type %s "
                   "(the first of each kept): %s\n",
                   m.chart.c_str(), dropped.size(), dropped.size() == 1 ? "" : "s",
                   m.company.c_str(), m.type.c_str(), ListOf(dropped).c_str());
    }
  }
  return true;
}

void WriteShippedTables(const std::string& out, const std::vector<ThreadRecord>& threads) {
  const std::string master = out + "/" + std::string(kManthreadFile);
  WriteTable(master, FieldSpecsOf(kManthreadFile), [&](DbfTable& t, size_t i) {
    if (i >= threads.size()) return false;
    SetThreadFields(t, threads[i]);
    return true;
  });

  std::vector<const ThreadRecord*> own;
  for (const ThreadRecord& r : threads) {
    if (TrimRightText(r.company) == kOwnLineEntry) own.push_back(&r);
  }
  const std::string selection = out + "/" + std::string(kInthreadFile);
  WriteTable(selection, FieldSpecsOf(kInthreadFile), [&](DbfTable& t, size_t i) {
    if (i >= own.size()) return false;
    SetThreadFields(t, *own[i]);
    fv::SetBool(t, FieldOf(t, "instash"), false);
    fv::SetBool(t, FieldOf(t, "add_qty"), false);
    return true;
  });

  // One record: the tolerance set, everything else blank, 0 or false.
  const std::string params = out + "/" + std::string(kParamsFile);
  WriteTable(params, FieldSpecsOf(kParamsFile), [&](DbfTable& t, size_t i) {
    if (i > 0) return false;
    fv::SetInt(t, FieldOf(t, "perc_limit"), kShippedTolerance);
    fv::SetInt(t, FieldOf(t, "clearkeep"), 0);
    fv::SetBool(t, FieldOf(t, "stashonly"), false);
    return true;
  });
}

int Run(int argc, char** argv) {
  EngineStartup();
  Options o;
  if (!ParseArguments(argc, argv, &o)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  std::vector<ChartMapping> mappings;
  std::string error;
  if (!ReadChartMap(o.map, &mappings, &error)) {
    std::fprintf(stderr, "svbuild: %s\n", error.c_str());
    return 1;
  }
  bool has_own_line = false;
  for (const ChartMapping& m : mappings) has_own_line |= m.company == kOwnLineEntry;
  if (!has_own_line) {
    std::fprintf(stderr, "svbuild: %s maps no chart to %s\n", o.map.c_str(),
                 std::string(kOwnLineEntry).c_str());
    return 1;
  }
  std::vector<ThreadRecord> threads;
  if (!CollectThreads(o, mappings, &threads)) return 1;

  SetRaiseErrors(true);
  try {
    WriteShippedTables(o.out, threads);
  } catch (const ETableError& e) {
    std::fprintf(stderr, "svbuild: %s\n", AnsiToUtf8(e.what()).c_str());
    // No half-built tables left behind for the next build to trust.
    for (std::string_view name : {kManthreadFile, kInthreadFile, kParamsFile}) {
      unlink((o.out + "/" + std::string(name)).c_str());
    }
    return 1;
  }
  return 0;
}

}  // namespace
}  // namespace sv

int main(int argc, char** argv) { return sv::Run(argc, argv); }
