// Record commands over the master table's layout: the walk with hidden
// deleted records, Append, Replace of every record, and Pack.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "engine/engine_state.h"
#include "engine/work_area.h"
#include "bench/bench_support.h"

namespace {

using namespace sv;

constexpr int kSynthetic = 200000;

const std::vector<DbfFieldSpec> kMaster = {
    {"t_company", 'C', 12, 0}, {"t_type", 'C', 12, 0}, {"t_name", 'C', 20, 0},
    {"t_color", 'C', 8, 0},    {"t_red", 'N', 3, 0},   {"t_green", 'N', 3, 0},
    {"t_blue", 'N', 3, 0},
};


void FillRecord(int i) {
  WorkArea& a = *CurrentArea();
  static const char* kCompanies[] = {"MADEIRA", "ISACORD", "OSTRA", "SULKY", "DMC"};
  fv::SetText(a, 1, kCompanies[i % 5]);
  fv::SetText(a, 2, i % 2 ? "RAYON" : "POLY");
  fv::SetText(a, 3, "COLOUR NAME " + std::to_string(i % 977));
  fv::SetText(a, 4, std::to_string(1000 + i));
  fv::SetInt(a, 5, i % 256);
  fv::SetInt(a, 6, (i * 7) % 256);
  fv::SetInt(a, 7, (i * 13) % 256);
}

std::string MakeSynthetic(const std::string& file, int records) {
  svbench::Start();
  std::string name = svbench::BenchDir() + "/" + file;
  CreateDBF(name, kMaster);
  Use(name);
  for (int i = 0; i < records; ++i) {
    FillRecord(i);
    Append();
  }
  Use("");
  return name;
}

const std::string& SyntheticTable() {
  static std::string name = MakeSynthetic("synthetic.svx", kSynthetic);
  return name;
}

std::string MasterTable() {
  std::string name = std::string(SV_SHIPPED_DATA_DIR) + "/mnthread.svx";
  return access(name.c_str(), R_OK) == 0 ? name : std::string();
}

void Walk(benchmark::State& state, const std::string& name) {
  if (name.empty()) {
    state.SkipWithError("table not built");
    return;
  }
  svbench::Start();
  Use(name);
  int64_t records = 0;
  for (auto _ : state) {
    for (GoTop(); !dEOF(); Skip(1)) ++records;
  }
  state.counters["records/s"] = benchmark::Counter(static_cast<double>(records),
                                                   benchmark::Counter::kIsRate);
  Use("");
}

void BM_WalkSynthetic(benchmark::State& state) { Walk(state, SyntheticTable()); }
void BM_WalkMaster(benchmark::State& state) { Walk(state, MasterTable()); }

void BM_Append(benchmark::State& state) {
  svbench::Start();
  std::string name = svbench::BenchDir() + "/append.svx";
  for (auto _ : state) {
    state.PauseTiming();
    CreateDBF(name, kMaster);
    Use(name);
    state.ResumeTiming();
    for (int i = 0; i < kSynthetic; ++i) {
      FillRecord(i);
      Append();
    }
    Use("");
  }
  state.counters["records/s"] = benchmark::Counter(
      static_cast<double>(kSynthetic) * static_cast<double>(state.iterations()),
      benchmark::Counter::kIsRate);
}

void BM_ReplaceAll(benchmark::State& state) {
  svbench::Start();
  Use(SyntheticTable());
  int64_t records = 0;
  for (auto _ : state) {
    for (GoTop(); !dEOF(); Skip(1)) {
      fv::SetInt(*CurrentArea(), 5, static_cast<int32_t>(records % 256));
      Replace();
      ++records;
    }
  }
  state.counters["records/s"] = benchmark::Counter(static_cast<double>(records),
                                                   benchmark::Counter::kIsRate);
  Use("");
}

void BM_PackEverySecondDeleted(benchmark::State& state) {
  svbench::Start();
  for (auto _ : state) {
    state.PauseTiming();
    std::string name = MakeSynthetic("pack.svx", kSynthetic);
    Use(name);
    for (int32_t n = 1; n <= kSynthetic; n += 2) {
      Go(n);
      DeleteRec();
    }
    state.ResumeTiming();
    Pack();
    state.PauseTiming();
    Use("");
    state.ResumeTiming();
  }
}

BENCHMARK(BM_WalkSynthetic)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WalkMaster)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Append)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ReplaceAll)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PackEverySecondDeleted)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
