// The program's start-up cost: every table of the program activated on the
// shipped data, the production indexes rebuilt (ciAlways), as the main window
// does at every start; and the resync of a 20-row view after Skip(1).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "engine/data_source.h"
#include "engine/engine_state.h"
#include "engine/work_area.h"
#include "match/program_tables.h"

namespace {

using namespace sv;

// A working folder holding copies of the shipped tables.
const std::string& WorkingFolder() {
  static std::string dir = [] {
    EngineStartup();
    char tmpl[] = "/tmp/svstart.XXXXXX";
    std::string d = mkdtemp(tmpl);
    for (const char* name : {"mnthread.svx", "inthread.svx", "params.svx"}) {
      std::filesystem::copy_file(std::string(SV_SHIPPED_DATA_DIR) + "/" + name, d + "/" + name);
    }
    return d;
  }();
  return dir;
}

void BM_OpenAllTables(benchmark::State& state) {
  if (chdir(WorkingFolder().c_str()) != 0) {
    state.SkipWithError("no working folder");
    return;
  }
  for (auto _ : state) {
    ProgramTables tables;
    tables.OpenAll();
    benchmark::DoNotOptimize(tables.manthread.RecCount());
    state.PauseTiming();
    tables.CloseAll();
    state.ResumeTiming();
  }
}

class View : public TTzDataLink {};

void BM_ResyncTwentyRowViewAfterSkip(benchmark::State& state) {
  if (chdir(WorkingFolder().c_str()) != 0) {
    state.SkipWithError("no working folder");
    return;
  }
  ProgramTables tables;
  tables.OpenAll();
  View view;
  view.SetBufferCount(20);
  view.SetDataSource(&tables.manthread);
  tables.manthread.SetOrderTo(3);
  tables.manthread.GoTop();
  int64_t steps = 0;
  for (auto _ : state) {
    tables.manthread.Skip(1);
    if (tables.manthread.dEOF()) tables.manthread.GoTop();
    ++steps;
  }
  state.SetItemsProcessed(steps);
  view.SetDataSource(nullptr);
}

BENCHMARK(BM_OpenAllTables)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ResyncTwentyRowViewAfterSkip)->Unit(benchmark::kMicrosecond);

}  // namespace
