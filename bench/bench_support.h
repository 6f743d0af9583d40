// What the benchmarks share: a scratch folder and a clean engine state with
// the program's table settings.
#ifndef SV_BENCH_BENCH_SUPPORT_H_
#define SV_BENCH_BENCH_SUPPORT_H_

#include <stdlib.h>

#include <string>

#include "engine/engine_state.h"
#include "engine/work_area.h"

namespace svbench {

// One scratch folder per benchmark program.
inline const std::string& BenchDir() {
  static const std::string dir = [] {
    char tmpl[] = "/tmp/svbench.XXXXXX";
    const char* made = mkdtemp(tmpl);
    if (made == nullptr) abort();
    return std::string(made);
  }();
  return dir;
}

// Starts the engine once, closes every area and selects area 1, with OEM
// tables and deleted records hidden, as the program's tables are.
inline void Start() {
  static const bool started = [] {
    sv::EngineStartup();
    return true;
  }();
  (void)started;
  sv::CloseAllAreas();
  sv::Select(1);
  sv::Switches().oem_language = true;
  sv::Switches().hide_deleted = true;
}

}  // namespace svbench

#endif  // SV_BENCH_BENCH_SUPPORT_H_
