#include "match/thread_chart.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

#include "match/palette_list.h"
#include "match/source_key.h"

namespace sv {
namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  return s;
}

std::vector<std::string_view> Words(std::string_view s) {
  std::vector<std::string_view> words;
  size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && IsSpace(s[i])) ++i;
    size_t start = i;
    while (i < s.size() && !IsSpace(s[i])) ++i;
    if (i > start) words.push_back(s.substr(start, i - start));
  }
  return words;
}

// Splits into lines without their line breaks (LF or CR LF).
std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

bool ParseComponent(std::string_view word, int* value) {
  if (word.empty() || word.size() > 3) return false;
  int v = 0;
  for (char c : word) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  if (v > 255) return false;
  *value = v;
  return true;
}

std::string AtLine(int line, const std::string& what) {
  return "line " + std::to_string(line) + ": " + what;
}

std::string UpperAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

}  // namespace

bool ParseThreadChart(std::string_view text, ThreadChart* chart, std::string* error) {
  *chart = ThreadChart();
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::vector<std::string_view> lines = Lines(text);
  if (lines.empty() || Trim(lines[0]) != "GIMP Palette") {
    *error = AtLine(1, "not a GIMP palette (no \"GIMP Palette\" line)");
    return false;
  }
  for (size_t i = 1; i < lines.size(); ++i) {
    const int line_no = static_cast<int>(i) + 1;
    std::string_view line = Trim(lines[i]);
    if (line.empty() || line[0] == '#') continue;
    if (line.substr(0, 5) == "Name:") {
      chart->title = std::string(Trim(line.substr(5)));
      continue;
    }
    if (line.substr(0, 8) == "Columns:") continue;
    std::vector<std::string_view> words = Words(line);
    ChartColour c;
    c.line = line_no;
    if (words.size() < 3 || !ParseComponent(words[0], &c.red) ||
        !ParseComponent(words[1], &c.green) || !ParseComponent(words[2], &c.blue)) {
      *error = AtLine(line_no, "expected red, green and blue from 0 to 255");
      return false;
    }
    if (words.size() < 4) {
      *error = AtLine(line_no, "the colour has no number");
      return false;
    }
    c.number = std::string(words.back());
    for (size_t w = 3; w + 1 < words.size(); ++w) {
      if (!c.name.empty()) c.name += ' ';
      c.name += words[w];
    }
    chart->colours.push_back(std::move(c));
  }
  return true;
}

bool ReadTextFile(const std::string& path, std::string* text, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = path + ": " + std::strerror(errno);
    return false;
  }
  std::ostringstream buffer;
  buffer << in.rdbuf();
  if (in.bad()) {
    *error = path + ": read error";
    return false;
  }
  *text = buffer.str();
  return true;
}

bool ReadThreadChart(const std::string& path, ThreadChart* chart, std::string* error) {
  std::string text;
  if (!ReadTextFile(path, &text, error)) return false;
  if (!ParseThreadChart(text, chart, error)) {
    *error = path + " " + *error;
    return false;
  }
  return true;
}

bool ParseChartMap(std::string_view text, std::vector<ChartMapping>* mappings,
                   std::string* error) {
  mappings->clear();
  std::vector<std::string_view> lines = Lines(text);
  std::set<std::string, std::less<>> charts;
  for (size_t i = 0; i < lines.size(); ++i) {
    const int line_no = static_cast<int>(i) + 1;
    std::string_view line = Trim(lines[i]);
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string_view> fields;
    size_t start = 0;
    while (true) {
      size_t bar = line.find('|', start);
      fields.push_back(Trim(line.substr(start, bar == std::string_view::npos ? bar : bar - start)));
      if (bar == std::string_view::npos) break;
      start = bar + 1;
    }
    if (fields.size() != 3) {
      *error = AtLine(line_no, "expected <chart file> | <palette entry> | <type>");
      return false;
    }
    ChartMapping m;
    m.line = line_no;
    m.chart = std::string(fields[0]);
    m.entry = std::string(fields[1]);
    m.type = UpperAscii(fields[2]);
    if (m.chart.empty() || m.chart.find('/') != std::string::npos) {
      *error = AtLine(line_no, "the chart must be a file name in the charts folder");
      return false;
    }
    if (m.entry == kOwnLineEntry) {
      m.company = std::string(kOwnLineEntry);
    } else {
      auto entry = FindPaletteEntry(m.entry);
      if (!entry || *entry != m.entry) {
        *error = AtLine(line_no, "\"" + m.entry + "\" is not an entry of the palette list");
        return false;
      }
      m.company = CompanyOfPaletteEntry(m.entry);
    }
    if (m.type.empty() || m.type.size() > static_cast<size_t>(kTypeWidth)) {
      *error = AtLine(line_no, "the type word must have 1 to 12 characters");
      return false;
    }
    if (IsArcRequest(m.entry) && m.type != ArcTypeWord(m.entry)) {
      *error = AtLine(line_no, "\"" + m.entry + "\" needs the type " + ArcTypeWord(m.entry));
      return false;
    }
    if (!charts.insert(m.chart).second) {
      *error = AtLine(line_no, m.chart + " is mapped twice");
      return false;
    }
    mappings->push_back(std::move(m));
  }
  return true;
}

bool ReadChartMap(const std::string& path, std::vector<ChartMapping>* mappings,
                  std::string* error) {
  std::string text;
  if (!ReadTextFile(path, &text, error)) return false;
  if (!ParseChartMap(text, mappings, error)) {
    *error = path + " " + *error;
    return false;
  }
  return true;
}

}  // namespace sv
