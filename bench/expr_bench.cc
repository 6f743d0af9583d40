// Evaluation speed of the program's key expressions and filter on the master
// thread table (the shipped one when it has been built, else a synthetic
// table of the same layout), and the heap allocations per evaluation, which
// should be none.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include "engine/dbf_table.h"
#include "engine/engine_state.h"
#include "engine/expression.h"
#include "engine/work_area.h"
#include "support/locale.h"

#include "tests/testlib/counting_new.h"

using svtest::g_allocations;

namespace {

constexpr int kSyntheticRecords = 8000;

std::string g_folder;

void RemoveFolder() {
  std::error_code ec;
  if (!g_folder.empty()) std::filesystem::remove_all(g_folder, ec);
}

std::string SyntheticTable() {
  char tmpl[] = "/tmp/svexprbench.XXXXXX";
  if (mkdtemp(tmpl) == nullptr) std::abort();
  g_folder = tmpl;
  std::atexit(RemoveFolder);
  std::string path = g_folder + "/mnthread.svx";
  const std::vector<sv::DbfFieldSpec> fields = {
      {"t_company", 'C', 12, 0}, {"t_type", 'C', 12, 0}, {"t_name", 'C', 20, 0},
      {"t_color", 'C', 8, 0},    {"t_red", 'N', 3, 0},   {"t_green", 'N', 3, 0},
      {"t_blue", 'N', 3, 0},
  };
  if (!sv::CreateDBF(path, fields)) std::abort();
  sv::DbfTable t;
  if (!sv::OpenDbf(t, path, true)) std::abort();
  static const char* const kCompanies[] = {"OSTRA", "MADEIRA", "ISACORD", "SULKY", "GUNOLD",
                                           "ROBISON-ANTO"};
  static const char* const kTypes[] = {"POLY", "RAYON", "COTTON"};
  for (int i = 0; i < kSyntheticRecords; ++i) {
    sv::fv::SetText(t, 1, kCompanies[i % 6]);
    sv::fv::SetText(t, 2, kTypes[i % 3]);
    sv::fv::SetText(t, 3, "Colour " + std::to_string(i));
    sv::fv::SetText(t, 4, std::to_string(1000 + i));
    sv::fv::SetInt(t, 5, i % 256);
    sv::fv::SetInt(t, 6, (i * 7) % 256);
    sv::fv::SetInt(t, 7, (i * 13) % 256);
    sv::GatherRecord(t);
    if (!sv::PutDbfRecord(t, t.record_count + 1)) std::abort();
  }
  sv::CloseDbf(t);
  return path;
}

// Opens the master table once and keeps the field values of every record,
// so an evaluation can be run on each record without reading the file.
struct Master {
  Master() {
    sv::SetLocaleOverride(sv::LocaleFacts{});
    sv::EngineStartup();
    std::string shipped = std::string(SV_SHIPPED_DATA_DIR) + "/mnthread.svx";
    path = std::filesystem::exists(shipped) ? shipped : SyntheticTable();
    synthetic = path != shipped;
    sv::Select(1);
    if (!sv::Use(path)) std::abort();
    for (sv::GoTop(); !sv::dEOF(); sv::Skip(1)) values.push_back(sv::CurrentArea()->values);
  }
  std::string path;
  bool synthetic = false;
  std::vector<std::vector<uint8_t>> values;
};

Master& TheMaster() {
  static Master master;
  return master;
}

void BM_Evaluate(benchmark::State& state, const char* text) {
  Master& m = TheMaster();
  sv::Select(1);
  sv::CompiledExpr* e = sv::AssignExpr(text);
  if (!e) {
    state.SkipWithError("does not compile");
    return;
  }
  std::vector<uint8_t>& current = sv::CurrentArea()->values;
  size_t n = m.values.size();
  size_t i = 0;
  long before = g_allocations;
  for (auto _ : state) {
    std::memcpy(current.data(), m.values[i].data(), current.size());
    if (++i == n) i = 0;
    benchmark::DoNotOptimize(sv::EvaluateExpr(e));
  }
  long allocations = g_allocations - before;
  state.SetItemsProcessed(state.iterations());
  state.counters["allocs_per_eval"] =
      static_cast<double>(allocations) / static_cast<double>(state.iterations());
  state.counters["records"] = static_cast<double>(n);
  state.SetLabel(m.synthetic ? "synthetic table" : "shipped table");
  sv::ReleaseExpr(e);
}

BENCHMARK_CAPTURE(BM_Evaluate, t_company, "t_company");
BENCHMARK_CAPTURE(BM_Evaluate, t_company_t_color, "t_company + t_color");
BENCHMARK_CAPTURE(BM_Evaluate, str_t_red, "str(t_red)");
BENCHMARK_CAPTURE(BM_Evaluate, t_color, "t_color");
BENCHMARK_CAPTURE(BM_Evaluate, t_name, "t_name");
BENCHMARK_CAPTURE(BM_Evaluate, t_company_t_type_t_color, "t_company + t_type + t_color");
BENCHMARK_CAPTURE(BM_Evaluate, filter_t_company_OSTRA, "t_company = \"OSTRA\"");

// A filtered walk over the whole table, reading every record: the cost a
// filter adds to GoTop and Skip, against the same walk without it.
void BM_Walk(benchmark::State& state, const char* filter) {
  Master& m = TheMaster();
  sv::Select(1);
  sv::Set_Filter_To(filter);
  long records = 0;
  for (auto _ : state) {
    for (sv::GoTop(); !sv::dEOF(); sv::Skip(1)) ++records;
  }
  sv::Set_Filter_To("");
  state.SetItemsProcessed(state.iterations() * static_cast<long>(m.values.size()));
  state.counters["visible"] = static_cast<double>(records) / static_cast<double>(state.iterations());
}

BENCHMARK_CAPTURE(BM_Walk, no_filter, "")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Walk, t_company_OSTRA, "t_company = \"OSTRA\"")->Unit(benchmark::kMillisecond);

}  // namespace
