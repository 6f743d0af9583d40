// Index tags over the master table's layout: building the master tags and
// single tags, Find, the walk in key order, and key maintenance under Append
// and Replace.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <random>
#include <string>

#include "engine/engine_state.h"
#include "engine/error.h"
#include "engine/index.h"
#include "engine/work_area.h"
#include "bench/bench_support.h"

namespace {

using namespace sv;

constexpr int kSynthetic = 200000;
constexpr int kChanges = 50000;

const std::vector<DbfFieldSpec> kMaster = {
    {"t_company", 'C', 12, 0}, {"t_type", 'C', 12, 0}, {"t_name", 'C', 20, 0},
    {"t_color", 'C', 8, 0},    {"t_red", 'N', 3, 0},   {"t_green", 'N', 3, 0},
    {"t_blue", 'N', 3, 0},
};

const std::vector<TagDefinition> kMasterTags = {
    {"MNCOMP", "t_company", "", false, false},
    {"MNCOCOL", "t_company + t_color", "", false, false},
    {"MNRED", "str(t_red)", "", false, false},
    {"MNCOLOR", "t_color", "", false, false},
    {"MNNAME", "t_name", "", false, false},
    {"MNALL", "t_company + t_type + t_color", "", false, false},
};

const char* kCompanies[] = {"MADEIRA", "ISACORD", "OSTRA", "SULKY", "DMC", "ANCHOR", "GUNOLD",
                            "ROBISON", "MARATHON", "BROTHER", "JANOME", "FLORIANI", "HEMINGWORTH",
                            "EXQUISITE", "METTLER", "COATS", "GUETERMANN", "YENMET", "KINGSTAR", "ARIADNA"};
const char* kTypes[] = {"RAYON", "POLY", "COTTON", "METALLIC"};


// A thread as a chart would list it: the colour numbers of a company repeat
// across its thread types.
void FillRecord(std::mt19937& rng) {
  WorkArea& a = *CurrentArea();
  fv::SetText(a, 1, kCompanies[rng() % 20]);
  fv::SetText(a, 2, kTypes[rng() % 4]);
  fv::SetText(a, 3, "COLOUR " + std::to_string(rng() % 30000));
  fv::SetText(a, 4, std::to_string(rng() % 20000));
  fv::SetInt(a, 5, static_cast<int32_t>(rng() % 256));
  fv::SetInt(a, 6, static_cast<int32_t>(rng() % 256));
  fv::SetInt(a, 7, static_cast<int32_t>(rng() % 256));
}

std::string MakeSynthetic(const std::string& file) {
  svbench::Start();
  std::string name = svbench::BenchDir() + "/" + file;
  CreateDBF(name, kMaster);
  Use(name + " EXCLUSIVE");
  std::mt19937 rng(1);
  for (int i = 0; i < kSynthetic; ++i) {
    FillRecord(rng);
    Append();
  }
  Use("");
  return name;
}

const std::string& SyntheticTable() {
  static std::string name = MakeSynthetic("synthetic.svx");
  return name;
}

std::string MasterTable() {
  std::string name = std::string(SV_SHIPPED_DATA_DIR) + "/mnthread.svx";
  return access(name.c_str(), R_OK) == 0 ? name : std::string();
}

// A private copy of a table, so that changes do not reach the next run.
std::string CopyOf(const std::string& name, const std::string& copy) {
  std::string target = svbench::BenchDir() + "/" + copy;
  std::string command = "cp '" + name + "' '" + target + "'";
  if (std::system(command.c_str()) != 0) return std::string();
  return target;
}

void Build(benchmark::State& state, const std::string& table, const std::vector<TagDefinition>& tags) {
  if (table.empty()) {
    state.SkipWithError("table not built");
    return;
  }
  svbench::Start();
  const std::string name = CopyOf(table, "build.svx");
  Use(name + " EXCLUSIVE");
  for (auto _ : state) {
    if (!MakeIndex(tags, "")) state.SkipWithError("MakeIndex failed");
  }
  state.counters["records"] = static_cast<double>(RecCount());
  Use("");
}

void BM_BuildMasterTagsSynthetic(benchmark::State& state) { Build(state, SyntheticTable(), kMasterTags); }
void BM_BuildMasterTagsShipped(benchmark::State& state) { Build(state, MasterTable(), kMasterTags); }
void BM_BuildCompanyColor(benchmark::State& state) {
  Build(state, SyntheticTable(), {{"MNCOCOL", "t_company + t_color", "", false, false}});
}
void BM_BuildStrRed(benchmark::State& state) {
  Build(state, SyntheticTable(), {{"MNRED", "str(t_red)", "", false, false}});
}

// Opens a copy of the table with the six master tags built.
bool OpenIndexed(benchmark::State& state, const std::string& table, const std::string& copy) {
  if (table.empty()) {
    state.SkipWithError("table not built");
    return false;
  }
  svbench::Start();
  const std::string name = CopyOf(table, copy);
  Use(name + " EXCLUSIVE");
  if (!MakeIndex(kMasterTags, "") || !SetIndexTo("")) {
    state.SkipWithError("index not built");
    return false;
  }
  return true;
}

void BM_Find(benchmark::State& state) {
  if (!OpenIndexed(state, SyntheticTable(), "find.svx")) return;
  SetOrderTo(2);
  // Keys of existing records, company and colour number at full width.
  std::vector<std::string> keys;
  std::mt19937 rng(2);
  for (int i = 0; i < 4096; ++i) {
    Go(static_cast<int32_t>(rng() % kSynthetic) + 1);
    keys.push_back(std::string(fv::Text(*CurrentArea(), 1)) + std::string(fv::Text(*CurrentArea(), 4)));
  }
  size_t i = 0;
  int64_t found = 0;
  for (auto _ : state) {
    found += Find(keys[i++ & 4095]) ? 1 : 0;
  }
  if (found != static_cast<int64_t>(state.iterations())) state.SkipWithError("a key was not found");
  Use("");
}

void Walk(benchmark::State& state, const std::string& table) {
  if (!OpenIndexed(state, table, "walk.svx")) return;
  SetOrderTo(2);
  int64_t records = 0;
  for (auto _ : state) {
    for (GoTop(); !dEOF(); Skip(1)) ++records;
  }
  state.counters["records/s"] = benchmark::Counter(static_cast<double>(records), benchmark::Counter::kIsRate);
  Use("");
}

void BM_WalkKeyOrderSynthetic(benchmark::State& state) { Walk(state, SyntheticTable()); }
void BM_WalkKeyOrderShipped(benchmark::State& state) { Walk(state, MasterTable()); }

void BM_AppendSixTags(benchmark::State& state) {
  std::mt19937 rng(3);
  for (auto _ : state) {
    state.PauseTiming();
    if (!OpenIndexed(state, SyntheticTable(), "append.svx")) return;
    state.ResumeTiming();
    for (int i = 0; i < kChanges; ++i) {
      FillRecord(rng);
      Append();
    }
    state.PauseTiming();
    Use("");
    state.ResumeTiming();
  }
  state.counters["records/s"] = benchmark::Counter(
      static_cast<double>(kChanges) * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_ReplaceChangingAKey(benchmark::State& state) {
  std::mt19937 rng(4);
  for (auto _ : state) {
    state.PauseTiming();
    if (!OpenIndexed(state, SyntheticTable(), "replace.svx")) return;
    SetOrderTo(2);
    state.ResumeTiming();
    for (int i = 0; i < kChanges; ++i) {
      Go(static_cast<int32_t>(rng() % kSynthetic) + 1);
      fv::SetText(*CurrentArea(), 4, std::to_string(rng() % 20000));
      Replace();
    }
    state.PauseTiming();
    Use("");
    state.ResumeTiming();
  }
  state.counters["records/s"] = benchmark::Counter(
      static_cast<double>(kChanges) * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

BENCHMARK(BM_BuildMasterTagsSynthetic)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_BuildMasterTagsShipped)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_BuildCompanyColor)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_BuildStrRed)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Find)->Iterations(kSynthetic);
BENCHMARK(BM_WalkKeyOrderSynthetic)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WalkKeyOrderShipped)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AppendSixTags)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ReplaceChangingAKey)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
