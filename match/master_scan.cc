#include "match/master_scan.h"

#include <algorithm>

#include "engine/dbf_format.h"
#include "match/source_key.h"
#include "support/numbers.h"

namespace sv {
namespace {

bool IsLive(const DbfTable& t) { return t.record[0] != dbf::kDeletedFlag; }

// The colour number padded or cut to its 8 characters, the width the
// result-table tag compares.
std::string ColorKey(std::string_view color) {
  std::string key(color.substr(0, kColorWidth));
  key.resize(kColorWidth, ' ');
  return key;
}

}  // namespace

bool FindMasterFields(const DbfTable& t, MasterFields* f, std::string* missing) {
  struct Want {
    const char* name;
    int* number;
  } wants[] = {
      {"T_COMPANY", &f->company}, {"T_TYPE", &f->type}, {"T_NAME", &f->name},
      {"T_COLOR", &f->color},     {"T_RED", &f->red},   {"T_GREEN", &f->green},
      {"T_BLUE", &f->blue},
  };
  for (const Want& w : wants) {
    *w.number = FieldNo(t, w.name);
    if (*w.number == 0) {
      *missing = w.name;
      return false;
    }
  }
  return true;
}

std::string_view RecordFieldText(const DbfTable& t, int n) {
  const DbfFieldDef& d = t.field(n);
  return {reinterpret_cast<const char*>(t.record.data()) + d.offset, d.length};
}

bool FindSourceThread(DbfTable& t, const MasterFields& f, std::string_view key, bool with_type,
                      SourceThread* source) {
  *source = SourceThread();
  std::string joined;
  for (int32_t n = 1; n <= t.record_count; ++n) {
    if (!GetDbfRecord(t, n)) return false;
    if (!IsLive(t)) continue;
    joined.assign(RecordFieldText(t, f.company));
    if (with_type) joined += RecordFieldText(t, f.type);
    joined += RecordFieldText(t, f.color);
    if (joined.size() < key.size() || joined.compare(0, key.size(), key) != 0) continue;
    source->found = true;
    source->company = RecordFieldText(t, f.company);
    source->type = RecordFieldText(t, f.type);
    source->name = RecordFieldText(t, f.name);
    source->color = RecordFieldText(t, f.color);
    const std::string_view red = RecordFieldText(t, f.red);
    const std::string_view green = RecordFieldText(t, f.green);
    const std::string_view blue = RecordFieldText(t, f.blue);
    source->colour = ColourOfFieldTexts(red, green, blue);
    source->red = TextToSmallInt(red);
    source->green = TextToSmallInt(green);
    source->blue = TextToSmallInt(blue);
    return true;
  }
  return true;
}

bool ScanMasterTable(DbfTable& t, const MasterFields& f, const Lab& source, int tolerance,
                     std::vector<MatchLine>* lines, int32_t* scanned) {
  int32_t count = 0;
  for (int32_t n = 1; n <= t.record_count; ++n) {
    if (!GetDbfRecord(t, n)) return false;
    if (!IsLive(t)) continue;
    ++count;
    const std::string_view red = RecordFieldText(t, f.red);
    const std::string_view green = RecordFieldText(t, f.green);
    const std::string_view blue = RecordFieldText(t, f.blue);
    const ThreadColour colour = ColourOfFieldTexts(red, green, blue);
    const int match = MatchValue(Difference(source, ToLab(colour)));
    const std::string_view company = RecordFieldText(t, f.company);
    if (!IsAccepted(match, tolerance, company)) continue;
    MatchLine line;
    line.match = match;
    line.company = company;
    line.type = RecordFieldText(t, f.type);
    line.name = RecordFieldText(t, f.name);
    line.color = RecordFieldText(t, f.color);
    line.red = TextToSmallInt(red);
    line.green = TextToSmallInt(green);
    line.blue = TextToSmallInt(blue);
    line.packed = colour.packed;
    lines->push_back(std::move(line));
  }
  if (scanned != nullptr) *scanned = count;
  SortMatchLines(lines);
  return true;
}

void SortMatchLines(std::vector<MatchLine>* lines) {
  std::stable_sort(lines->begin(), lines->end(), [](const MatchLine& x, const MatchLine& y) {
    if (x.match != y.match) return x.match < y.match;
    // std::string compares its bytes as unsigned, as the index does.
    return ColorKey(x.color) < ColorKey(y.color);
  });
}

}  // namespace sv
