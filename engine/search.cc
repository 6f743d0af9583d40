#include "engine/search.h"

#include <string>

#include "engine/error.h"
#include "engine/work_area.h"
#include "support/codepage.h"
#include "support/text.h"

namespace sv {
namespace {

// The field that holds bytes [begin, end) of a record entirely, or 0.
int FieldHolding(const WorkArea& a, size_t begin, size_t end) {
  for (int n = 1; n <= a.field_count; ++n) {
    const DbfFieldDef& f = a.field(n);
    if (begin >= f.offset && end <= static_cast<size_t>(f.offset) + f.length) return n;
  }
  return 0;
}

}  // namespace

int Search(std::string_view text, int field, bool from_top) {
  ClearLastError();
  WorkArea* ap = CurrentArea();
  if (ap == nullptr) {
    ReportError(215, "No database in use [Search]  WorkArea = " +
                         std::to_string(CurrentAreaNumber()));
    return 0;
  }
  WorkArea& a = *ap;
  std::string needle = UpperText(TrimRightText(text));
  if (needle.empty()) return 0;
  const bool any_field = field > a.field_count;
  const int32_t start_record = a.current;
  const bool start_eof = a.eof;
  std::string upper;
  for (int32_t n = from_top ? 1 : a.current + 1; n >= 1 && n <= a.record_count; ++n) {
    if (!GetDbfRecord(a, n)) return 0;
    upper.assign(reinterpret_cast<const char*>(a.record.data()), a.record.size());
    for (char& c : upper) c = static_cast<char>(AnsiUpper(static_cast<uint8_t>(c)));
    for (size_t pos = upper.find(needle, 1); pos != std::string::npos;
         pos = upper.find(needle, pos + 1)) {
      int holder = FieldHolding(a, pos, pos + needle.size());
      if (holder == 0 || a.field(holder).type == 'M') continue;
      if (!any_field && holder != field) continue;
      ScatterRecord(a);
      if (!RecordVisible(a)) break;  // the next record may hold a visible match
      Go(n);
      return holder;
    }
  }
  // Nothing counts: back where the search began.
  if (start_eof || start_record < 1 || start_record > a.record_count) {
    if (a.record_count > 0) GoPastEnd(a);
  } else {
    Go(start_record);
  }
  return 0;
}

}  // namespace sv
