// A fixture that starts every test with no table open, area 1 current, and
// the switches the program's tables use (deleted records hidden, OEM text),
// and leaves the engine that way for the next test.
#ifndef SV_TESTS_TESTLIB_ENGINE_FIXTURE_H_
#define SV_TESTS_TESTLIB_ENGINE_FIXTURE_H_

#include <gtest/gtest.h>

#include "engine/engine_state.h"
#include "engine/work_area.h"

namespace svtest {

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override { Reset(true); }
  void TearDown() override { Reset(false); }

 private:
  static void Reset(bool program_switches) {
    sv::CloseAllAreas();
    sv::Select(1);
    sv::Switches().hide_deleted = program_switches;
    sv::Switches().oem_language = program_switches;
    sv::Switches().fix_rec_count = false;
  }
};

}  // namespace svtest

#endif  // SV_TESTS_TESTLIB_ENGINE_FIXTURE_H_
