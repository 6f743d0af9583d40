#include "match/thread_chart.h"

#include <gtest/gtest.h>

namespace sv {
namespace {

TEST(ThreadChartTest, ReadsColoursNamesAndNumbers) {
  const char* text =
      "GIMP Palette\r\n"
      "Name: Ink/Stitch: Test\r\n"
      "Columns: 4\r\n"
      "# RGB Value\t\t   Color Name Number\r\n"
      "236\t244\t251\t                 White     10\r\n"
      "  5   4   6          Bright   Blue  P101\r\n"
      "\r\n"
      "255\t255\t255\t   n/a\r\n";
  ThreadChart chart;
  std::string error;
  ASSERT_TRUE(ParseThreadChart(text, &chart, &error)) << error;
  EXPECT_EQ(chart.title, "Ink/Stitch: Test");
  ASSERT_EQ(chart.colours.size(), 3u);
  EXPECT_EQ(chart.colours[0].red, 236);
  EXPECT_EQ(chart.colours[0].blue, 251);
  EXPECT_EQ(chart.colours[0].name, "White");
  EXPECT_EQ(chart.colours[0].number, "10");
  EXPECT_EQ(chart.colours[1].green, 4);
  EXPECT_EQ(chart.colours[1].name, "Bright Blue");
  EXPECT_EQ(chart.colours[1].number, "P101");
  EXPECT_EQ(chart.colours[2].name, "");
  EXPECT_EQ(chart.colours[2].number, "n/a");
  EXPECT_EQ(chart.colours[2].line, 8);
}

TEST(ThreadChartTest, RefusesMalformedCharts) {
  struct Case {
    const char* text;
    const char* error;
  };
  const Case cases[] = {
      {"", "line 1: not a GIMP palette"},
      {"Palette\n1 2 3 x 1\n", "line 1: not a GIMP palette"},
      {"GIMP Palette\n256 0 0 Red 1\n", "line 2: expected red, green and blue"},
      {"GIMP Palette\n# c\n10 20 Red 1\n", "line 3: expected red, green and blue"},
      {"GIMP Palette\n-1 0 0 Red 1\n", "line 2: expected red, green and blue"},
      {"GIMP Palette\n1 2 3\n", "line 2: the colour has no number"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    ThreadChart chart;
    std::string error;
    EXPECT_FALSE(ParseThreadChart(c.text, &chart, &error));
    EXPECT_EQ(error.rfind(c.error, 0), 0u) << error;
  }
}

TEST(ChartMapTest, MapsChartsToCompaniesAndTypes) {
  const char* text =
      "# comment\n"
      "\n"
      "InkStitch Madeira Rayon.gpl | Madeira | rayon\n"
      "ARC Polyester.gpl|ARC Poly|POLY\n"
      "  Robison-Anton Rayon.gpl  |  Robison-Anton  |  RAYON  \n"
      "OSTRA Polyester.gpl | OSTRA | POLY\n";
  std::vector<ChartMapping> maps;
  std::string error;
  ASSERT_TRUE(ParseChartMap(text, &maps, &error)) << error;
  ASSERT_EQ(maps.size(), 4u);
  EXPECT_EQ(maps[0].chart, "InkStitch Madeira Rayon.gpl");
  EXPECT_EQ(maps[0].company, "MADEIRA");
  EXPECT_EQ(maps[0].type, "RAYON");
  EXPECT_EQ(maps[0].line, 3);
  EXPECT_EQ(maps[1].company, "ARC");
  EXPECT_EQ(maps[1].type, "POLY");
  EXPECT_EQ(maps[2].chart, "Robison-Anton Rayon.gpl");
  EXPECT_EQ(maps[2].company, "ROBISON-ANTO");
  EXPECT_EQ(maps[3].company, "OSTRA");
}

TEST(ChartMapTest, RefusesMalformedLines) {
  struct Case {
    const char* text;
    const char* error;
  };
  const Case cases[] = {
      {"a.gpl | Madeira\n", "line 1: expected <chart file> | <palette entry> | <type>"},
      {"a.gpl | Madeira | POLY | x\n", "line 1: expected <chart file>"},
      {"# x\na.gpl | Madera | POLY\n", "line 2: \"Madera\" is not an entry of the palette list"},
      {"a.gpl | madeira | POLY\n", "line 1: \"madeira\" is not an entry"},
      {"a.gpl | Madeira | \n", "line 1: the type word must have 1 to 12 characters"},
      {"a.gpl | Madeira | THIRTEEN CHAR\n", "line 1: the type word must have 1 to 12"},
      {"a.gpl | ARC Rayon | POLY\n", "line 1: \"ARC Rayon\" needs the type RAYON"},
      {" | Madeira | POLY\n", "line 1: the chart must be a file name"},
      {"../a.gpl | Madeira | POLY\n", "line 1: the chart must be a file name"},
      {"a.gpl | Madeira | POLY\na.gpl | Sulky | POLY\n", "line 2: a.gpl is mapped twice"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::vector<ChartMapping> maps;
    std::string error;
    EXPECT_FALSE(ParseChartMap(c.text, &maps, &error));
    EXPECT_EQ(error.rfind(c.error, 0), 0u) << error;
  }
}

}  // namespace
}  // namespace sv
