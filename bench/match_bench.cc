// The match over the shipped master table, and what reading its records
// through the table-file layer costs against reading the file's bytes raw.
//
// Targets: a whole request under 5 ms; records read at no less than a third
// of the raw byte-reading speed (compare the bytes_per_second counters).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "engine/dbf_table.h"
#include "engine/engine_state.h"
#include "engine/error.h"
#include "match/colour.h"
#include "match/master_scan.h"
#include "match/source_key.h"

namespace sv {
namespace {

const std::string kMaster = std::string(SV_SHIPPED_DATA_DIR) + "/mnthread.svx";

void OpenMaster(DbfTable& t, MasterFields& f, benchmark::State& state) {
  EngineStartup();
  std::string missing;
  if (!OpenDbf(t, kMaster, true) || !FindMasterFields(t, &f, &missing)) {
    state.SkipWithError("cannot open the shipped master table");
  }
}

// The scan of one request: every record read, converted and tested.
void BM_MatchScan(benchmark::State& state) {
  DbfTable t;
  MasterFields f;
  OpenMaster(t, f, state);
  const Lab source = ToLab(40, 41, 42);
  std::vector<MatchLine> lines;
  int32_t scanned = 0;
  for (auto _ : state) {
    lines.clear();
    ScanMasterTable(t, f, source, 10, &lines, &scanned);
    benchmark::DoNotOptimize(lines.data());
  }
  state.SetItemsProcessed(state.iterations() * scanned);
  state.counters["records"] = scanned;
  state.counters["lines"] = static_cast<double>(lines.size());
}
BENCHMARK(BM_MatchScan)->Unit(benchmark::kMillisecond);

// A whole svmatch request: open, find the source by key, scan, close.
void BM_MatchRequest(benchmark::State& state) {
  EngineStartup();
  const std::string key = SourceKey("Madeira", "1000");
  int32_t scanned = 0;
  for (auto _ : state) {
    DbfTable t;
    MasterFields f;
    std::string missing;
    if (!OpenDbf(t, kMaster, true) || !FindMasterFields(t, &f, &missing)) {
      state.SkipWithError("cannot open the shipped master table");
      break;
    }
    SourceThread source;
    FindSourceThread(t, f, key, false, &source);
    std::vector<MatchLine> lines;
    ScanMasterTable(t, f, ToLab(source.colour), 10, &lines, &scanned);
    benchmark::DoNotOptimize(lines.data());
    CloseDbf(t);
  }
  state.SetItemsProcessed(state.iterations() * scanned);
}
BENCHMARK(BM_MatchRequest)->Unit(benchmark::kMillisecond);

void BM_GetDbfRecord(benchmark::State& state) {
  DbfTable t;
  MasterFields f;
  OpenMaster(t, f, state);
  for (auto _ : state) {
    for (int32_t n = 1; n <= t.record_count; ++n) GetDbfRecord(t, n);
    benchmark::DoNotOptimize(t.record.data());
  }
  state.SetItemsProcessed(state.iterations() * t.record_count);
  state.SetBytesProcessed(state.iterations() * t.record_count * t.record_length);
}
BENCHMARK(BM_GetDbfRecord)->Unit(benchmark::kMicrosecond);

void BM_GetDbfRecordAndScatter(benchmark::State& state) {
  DbfTable t;
  MasterFields f;
  OpenMaster(t, f, state);
  for (auto _ : state) {
    for (int32_t n = 1; n <= t.record_count; ++n) {
      GetDbfRecord(t, n);
      ScatterRecord(t);
    }
    benchmark::DoNotOptimize(t.values.data());
  }
  state.SetItemsProcessed(state.iterations() * t.record_count);
  state.SetBytesProcessed(state.iterations() * t.record_count * t.record_length);
}
BENCHMARK(BM_GetDbfRecordAndScatter)->Unit(benchmark::kMicrosecond);

// The floor: the file's bytes read in 64 KB blocks, each byte looked at.
void BM_RawRead(benchmark::State& state) {
  int fd = open(kMaster.c_str(), O_RDONLY);
  if (fd < 0) {
    state.SkipWithError("cannot open the shipped master table");
    return;
  }
  std::vector<unsigned char> block(64 * 1024);
  int64_t bytes = 0;
  for (auto _ : state) {
    bytes = 0;
    unsigned sum = 0;
    lseek(fd, 0, SEEK_SET);
    for (ssize_t got; (got = read(fd, block.data(), block.size())) > 0;) {
      for (ssize_t i = 0; i < got; ++i) sum += block[static_cast<size_t>(i)];
      bytes += got;
    }
    benchmark::DoNotOptimize(sum);
  }
  close(fd);
  state.SetBytesProcessed(state.iterations() * bytes);
}
BENCHMARK(BM_RawRead)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace sv
