// Test entry point: the engine starts with fixed locale facts (those of the
// POSIX "C" locale), so results do not depend on the machine's settings.
#include <gtest/gtest.h>

#include "engine/engine_state.h"
#include "support/locale.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  sv::SetLocaleOverride(sv::LocaleFacts{});
  sv::EngineStartup();
  return RUN_ALL_TESTS();
}
