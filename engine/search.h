// Free-text search through the raw records of the table in the current work
// area, in physical order, ignoring the index order.
#ifndef SV_ENGINE_SEARCH_H_
#define SV_ENGINE_SEARCH_H_

#include <string_view>

namespace sv {

// Looks for `text` (letter case ignored, trailing blanks dropped) inside one
// non-memo field of a visible record, from the first record when `from_top`
// is set, otherwise from the record after the current one. `field` above the
// field count means any field. On a hit the record becomes current and the
// answer is the field's number; otherwise the table returns to the record it
// was on and the answer is 0.
int Search(std::string_view text, int field, bool from_top);

}  // namespace sv

#endif  // SV_ENGINE_SEARCH_H_
