// The committed OSTRA sample chart is exactly what the generator makes.
#include <gtest/gtest.h>

#include <filesystem>

#include "match/thread_chart.h"
#include "testlib/run_tool.h"
#include "testlib/temp_dir.h"

namespace {

const std::string kData =
    std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() / "data";

TEST(OstragenTest, ReproducesTheCommittedChart) {
  svtest::TempDir dir;
  const std::string out = dir.File("ostra.gpl");
  svtest::ToolRun run = svtest::RunTool(
      "ostragen", {"--charts", kData + "/palettes", "--map", kData + "/chart_map.txt", "--out", out});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(svtest::ReadBytes(out), svtest::ReadBytes(kData + "/palettes/OSTRA Polyester.gpl"));

  sv::ThreadChart chart;
  std::string error;
  ASSERT_TRUE(sv::ReadThreadChart(out, &chart, &error)) << error;
  ASSERT_EQ(chart.colours.size(), 300u);
  EXPECT_EQ(chart.colours.front().number, "1001");
  EXPECT_EQ(chart.colours.back().number, "1300");
  for (const sv::ChartColour& c : chart.colours) EXPECT_FALSE(c.name.empty()) << c.number;
}

TEST(OstragenTest, RefusesBadArguments) {
  for (std::vector<std::string> args : {std::vector<std::string>{},
                                        {"--charts", "x", "--map", "y"},
                                        {"--charts", "x", "--map", "y", "--out", "z", "--count", "0"},
                                        {"--charts", "x", "--map", "y", "--out", "z", "--seed", "-1"}}) {
    svtest::ToolRun run = svtest::RunTool("ostragen", args);
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("usage: ostragen"), std::string::npos);
  }
}

}  // namespace
