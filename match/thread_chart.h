// The shipped thread charts and the file that maps them to thread lines.
//
// A chart is a GIMP palette (".gpl", UTF-8): a first line "GIMP Palette",
// optional "Name:" and "Columns:" lines, '#' comments, then one colour per
// line: red, green and blue (0..255) and a text whose last word is the colour
// number and whose other words are the colour name.
//
// The chart map (data/chart_map.txt) has one line per chart used:
//   <chart file> | <palette-list entry or OSTRA> | <type word>
// with '#' comments and blank lines. Its documentation is at its top.
#ifndef SV_MATCH_THREAD_CHART_H_
#define SV_MATCH_THREAD_CHART_H_

#include <string>
#include <string_view>
#include <vector>

namespace sv {

struct ChartColour {
  int red = 0;
  int green = 0;
  int blue = 0;
  std::string name;    // as written in the chart, words joined by one blank
  std::string number;  // the last word
  int line = 0;        // 1-based line of the chart
};

struct ThreadChart {
  std::string title;  // the "Name:" line, empty when there is none
  std::vector<ChartColour> colours;
};

// Each returns false and puts a message naming the line into *error when the
// text is not a chart of this form.
bool ParseThreadChart(std::string_view text, ThreadChart* chart, std::string* error);
bool ReadThreadChart(const std::string& path, ThreadChart* chart, std::string* error);

struct ChartMapping {
  std::string chart;    // file name inside the charts folder
  std::string entry;    // a palette-list entry, or OSTRA
  std::string company;  // the master table's company for it
  std::string type;     // the type word, upper case
  int line = 0;
};

// The entry names the edition's own line in the map.
inline constexpr std::string_view kOwnLineEntry = "OSTRA";

// Checks every line: three fields, a known entry, a type word of 1 to 12
// characters (for the ARC entries the one the entry names), no chart twice.
bool ParseChartMap(std::string_view text, std::vector<ChartMapping>* mappings,
                   std::string* error);
bool ReadChartMap(const std::string& path, std::vector<ChartMapping>* mappings,
                  std::string* error);

// Whole file into *text; false with a message when it cannot be read.
bool ReadTextFile(const std::string& path, std::string* text, std::string* error);

}  // namespace sv

#endif  // SV_MATCH_THREAD_CHART_H_
