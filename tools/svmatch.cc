// svmatch: lists the OSTRA threads that match one source colour.
//
//   svmatch [--data DIR] [--tolerance N] [--tsv]
//           (--palette NAME --number NUM | --rgb R,G,B)
//
// Reads "mnthread.svx" (and, without --tolerance, "params.svx") in DIR.
// Exit status: 0 lines listed, 1 no thread within the tolerance, 2 bad
// arguments, 3 source not in the master table, 4 the tables cannot be read.
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/dbf_table.h"
#include "engine/engine_state.h"
#include "engine/error.h"
#include "match/colour.h"
#include "match/master_scan.h"
#include "match/palette_list.h"
#include "match/source_key.h"
#include "match/program_tables.h"
#include "support/codepage.h"
#include "support/numbers.h"
#include "support/text.h"

namespace sv {
namespace {

constexpr int kListed = 0;
constexpr int kZeroMatches = 1;
constexpr int kBadArguments = 2;
constexpr int kNoColorInfo = 3;
constexpr int kTableFailure = 4;
// ParseArguments: the usage was asked for and shown.
constexpr int kHelpShown = -1;

constexpr int kMinTolerance = 5;
constexpr int kMaxTolerance = 30;

// Source company and number of a colour-dialog request.
constexpr std::string_view kCustomCompany = "CUSTOMLIST";

constexpr const char kUsage[] =
    "usage: svmatch [--data DIR] [--tolerance N] [--tsv]\n"
    "               (--palette NAME --number NUM | --rgb R,G,B)\n"
    "\n"
    "Lists the OSTRA threads within the tolerance of a source colour, closest first.\n"
    "  --data DIR      folder of mnthread.svx and params.svx (default: the current folder)\n"
    "  --tolerance N   largest match value listed, 5 to 30 (default: perc_limit of params.svx)\n"
    "  --tsv           lines as match, number, name, type and red,green,blue, tab-separated\n"
    "  --palette NAME  the source's thread line, one of the palette list (below)\n"
    "  --number NUM    the source's colour number in that line\n"
    "  --rgb R,G,B     a source colour of its own, each component 0 to 255\n"
    "Exit status: 0 listed, 1 no match, 2 bad arguments, 3 source not on file, 4 table error.\n"
    "\n"
    "Palette list:\n";

void PrintUsage(FILE* out) {
  std::fputs(kUsage, out);
  size_t column = 0;
  for (size_t i = 0; i < kPaletteList.size(); ++i) {
    const std::string_view entry = kPaletteList[i];
    const bool last = i + 1 == kPaletteList.size();
    if (column > 0 && column + 1 + entry.size() + 1 > 78) {
      std::fputc('\n', out);
      column = 0;
    }
    column += static_cast<size_t>(std::fprintf(out, "%s%.*s%s", column == 0 ? "  " : " ",
                                               static_cast<int>(entry.size()), entry.data(),
                                               last ? "\n" : ","));
  }
}

struct Options {
  std::string data = ".";
  std::optional<int> tolerance;
  bool tsv = false;
  std::optional<std::string> palette;  // the palette-list entry
  std::optional<std::string> number;   // ANSI, upper-cased as the box does
  std::optional<int> red, green, blue;
};

// Whole decimal number of at most `digits` digits; nothing otherwise.
std::optional<int> WholeNumber(std::string_view text, size_t digits) {
  if (text.empty() || text.size() > digits) return std::nullopt;
  int v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + (c - '0');
  }
  return v;
}

bool ParseRgb(std::string_view text, Options* o) {
  std::optional<int> parts[3];
  for (int i = 0; i < 3; ++i) {
    size_t comma = text.find(',');
    if ((i < 2) == (comma == std::string_view::npos)) return false;
    std::string_view part = i < 2 ? text.substr(0, comma) : text;
    parts[i] = WholeNumber(part, 3);
    if (!parts[i] || *parts[i] > 255) return false;
    if (i < 2) text.remove_prefix(comma + 1);
  }
  o->red = parts[0];
  o->green = parts[1];
  o->blue = parts[2];
  return true;
}

int Usage(const std::string& why) {
  std::fprintf(stderr, "svmatch: %s\n", why.c_str());
  PrintUsage(stderr);
  return kBadArguments;
}

// Returns kListed when the arguments make a request, else the exit status.
int ParseArguments(int argc, char** argv, Options* o) {
  bool seen_data = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      PrintUsage(stdout);
      return kHelpShown;
    }
    if (arg == "--tsv") {
      o->tsv = true;
      continue;
    }
    if (arg != "--data" && arg != "--tolerance" && arg != "--palette" && arg != "--number" &&
        arg != "--rgb") {
      return Usage("unknown argument \"" + arg + "\"");
    }
    if (i + 1 >= argc) return Usage(arg + " needs a value");
    const std::string value = argv[++i];
    if (arg == "--data") {
      if (seen_data) return Usage("--data given twice");
      seen_data = true;
      o->data = value;
    } else if (arg == "--tolerance") {
      if (o->tolerance) return Usage("--tolerance given twice");
      std::optional<int> n = WholeNumber(value, 2);
      if (!n || *n < kMinTolerance || *n > kMaxTolerance) {
        return Usage("--tolerance must be a whole number from 5 to 30");
      }
      o->tolerance = n;
    } else if (arg == "--palette") {
      if (o->palette) return Usage("--palette given twice");
      std::optional<std::string_view> entry = FindPaletteEntry(Utf8ToAnsi(value));
      if (!entry) return Usage("\"" + value + "\" is not in the palette list");
      o->palette = std::string(*entry);
    } else if (arg == "--number") {
      if (o->number) return Usage("--number given twice");
      o->number = UpperText(Utf8ToAnsi(value));
    } else {
      if (o->red) return Usage("--rgb given twice");
      if (!ParseRgb(value, o)) return Usage("--rgb takes R,G,B, each a whole number 0 to 255");
    }
  }
  if (o->red && (o->palette || o->number)) {
    return Usage("give either --rgb or --palette with --number, not both");
  }
  if (!o->red && (!o->palette || !o->number)) {
    return Usage("give --palette with --number, or --rgb");
  }
  return kListed;
}

std::string Trimmed(std::string_view field) { return TrimRightText(field); }

// Pads ANSI text to a column width; the terminal sees one column per byte of
// the ANSI code page, whatever UTF-8 makes of it.
std::string Column(std::string_view text, size_t width) {
  std::string s(text);
  if (s.size() < width) s.append(width - s.size(), ' ');
  return s;
}

void PrintLine(const std::string& ansi) { std::printf("%s\n", AnsiToUtf8(ansi).c_str()); }

std::string RgbText(int red, int green, int blue) {
  return std::to_string(red) + "," + std::to_string(green) + "," + std::to_string(blue);
}

void PrintTable(const std::string& source, const std::vector<MatchLine>& lines) {
  PrintLine(source);
  PrintLine("");
  PrintLine("  %  " + Column("#", 8) + "  " +
            Column("NAME", 20) + "  " + Column("TYPE", 12) + "  RGB");
  for (const MatchLine& l : lines) {
    PrintLine(IntToTextWidth(l.match, 3) + "  " + Column(Trimmed(l.color), 8) + "  " +
              Column(Trimmed(l.name), 20) + "  " + Column(Trimmed(l.type), 12) + "  " +
              RgbText(l.red, l.green, l.blue));
  }
}

void PrintTsv(const std::vector<MatchLine>& lines) {
  for (const MatchLine& l : lines) {
    PrintLine(std::to_string(l.match) + "\t" + Trimmed(l.color) + "\t" + Trimmed(l.name) + "\t" +
              Trimmed(l.type) + "\t" + RgbText(l.red, l.green, l.blue));
  }
}

bool OpenTable(DbfTable& t, const std::string& path) {
  // The program's tables repair a stale record count when they open.
  const bool previous = Switches().fix_rec_count;
  Switches().fix_rec_count = true;
  bool ok = OpenDbf(t, path, true);
  Switches().fix_rec_count = previous;
  return ok;
}

// perc_limit of the first live settings record; kListed or an exit status.
int ReadTolerance(const std::string& dir, int* tolerance) {
  DbfTable t;
  const std::string path = dir + "/" + std::string(kParamsFile);
  if (!OpenTable(t, path)) return kTableFailure;
  const int field = FieldNo(t, "perc_limit");
  if (field == 0) {
    std::fprintf(stderr, "svmatch: %s has no field PERC_LIMIT; give --tolerance\n", path.c_str());
    return kBadArguments;
  }
  for (int32_t n = 1; n <= t.record_count; ++n) {
    if (!GetDbfRecord(t, n)) return kTableFailure;
    if (t.record[0] == '*') continue;
    ScatterRecord(t);
    const double value = fv::Number(t, field);
    if (value < kMinTolerance || value > kMaxTolerance || value != static_cast<int>(value)) {
      std::fprintf(stderr,
                   "svmatch: perc_limit of %s is %s, not a tolerance from 5 to 30; give "
                   "--tolerance\n",
                   path.c_str(), AnsiToUtf8(TrimText(RecordFieldText(t, field))).c_str());
      return kBadArguments;
    }
    *tolerance = static_cast<int>(value);
    return kListed;
  }
  std::fprintf(stderr, "svmatch: %s holds no settings record; give --tolerance\n", path.c_str());
  return kBadArguments;
}

int Match(const Options& o) {
  int tolerance = 0;
  if (o.tolerance) {
    tolerance = *o.tolerance;
  } else if (int status = ReadTolerance(o.data, &tolerance); status != kListed) {
    return status;
  }

  DbfTable t;
  const std::string path = o.data + "/" + std::string(kManthreadFile);
  if (!OpenTable(t, path)) return kTableFailure;
  MasterFields fields;
  std::string missing;
  if (!FindMasterFields(t, &fields, &missing)) {
    std::fprintf(stderr, "svmatch: %s has no field %s\n", path.c_str(), missing.c_str());
    return kTableFailure;
  }

  ThreadColour colour;
  std::string source_text;
  if (o.red) {
    colour = ColourOfPacked(PackColour(*o.red, *o.green, *o.blue));
    source_text = "Source: " + std::string(kCustomCompany) + " " +
                  TrimLeftText(IntToTextWidth(static_cast<int32_t>(colour.packed), 8)) + ", RGB " +
                  RgbText(*o.red, *o.green, *o.blue);
  } else {
    const bool arc = IsArcRequest(*o.palette);
    const std::string key = arc ? ArcKey(*o.palette, *o.number) : SourceKey(*o.palette, *o.number);
    SourceThread source;
    if (!FindSourceThread(t, fields, key, arc, &source)) return kTableFailure;
    if (!source.found) {
      std::fputs("No Color Info on File\n", stderr);
      return kNoColorInfo;
    }
    colour = source.colour;
    // An ARC source keeps the palette text as its company, as result lines show it.
    source_text = "Source: " + Trimmed(SourceCompany(*o.palette)) + " " +
                  Trimmed(TrimLeftText(SourceNumber(*o.number))) + " (" +
                  Trimmed(source.type) + ", " + Trimmed(source.name) + "), RGB " +
                  RgbText(source.red, source.green, source.blue);
  }
  source_text += "; tolerance " + std::to_string(tolerance);

  std::vector<MatchLine> lines;
  if (!ScanMasterTable(t, fields, ToLab(colour), tolerance, &lines)) return kTableFailure;
  if (lines.empty()) {
    std::fputs("Zero Matches Found at Current Tolerance\n", stderr);
    return kZeroMatches;
  }
  if (o.tsv) {
    PrintTsv(lines);
  } else {
    PrintTable(source_text, lines);
  }
  return kListed;
}

int Run(int argc, char** argv) {
  EngineStartup();
  Options o;
  if (int status = ParseArguments(argc, argv, &o); status != kListed) {
    return status == kHelpShown ? kListed : status;
  }
  // Engine failures arrive as exceptions instead of halting.
  SetRaiseErrors(true);
  try {
    return Match(o);
  } catch (const ETableError& e) {
    std::string text = AnsiToUtf8(e.what());
    for (size_t cr; (cr = text.find('\r')) != std::string::npos;) text.erase(cr, 1);
    std::fprintf(stderr, "svmatch: %s\n", text.c_str());
    return kTableFailure;
  }
}

}  // namespace
}  // namespace sv

int main(int argc, char** argv) { return sv::Run(argc, argv); }
