// The keys a match request builds from the palette text and the colour
// number to find its source thread in the master table. They have the exact
// layouts of the master tags: company + colour number (20 characters, tag
// MNCOCOL) and, for the ARC lines, company + type + colour number (32
// characters, tag MNALL).
#ifndef SV_MATCH_SOURCE_KEY_H_
#define SV_MATCH_SOURCE_KEY_H_

#include <string>
#include <string_view>

namespace sv {

inline constexpr int kCompanyWidth = 12;
inline constexpr int kTypeWidth = 12;
inline constexpr int kNameWidth = 20;
inline constexpr int kColorWidth = 8;

// The upper-cased palette text, blank-padded and cut to 12 characters
// ("Robison-Anton" gives ROBISON-ANTO).
std::string SourceCompany(std::string_view palette_text);
// The number text without leading blanks, blank-padded and cut to 8.
std::string SourceNumber(std::string_view number_text);
// SourceCompany + SourceNumber.
std::string SourceKey(std::string_view palette_text, std::string_view number_text);

// True when the palette text begins with "ARC" (letter case counts).
bool IsArcRequest(std::string_view palette_text);
// Up to 5 characters of the palette text from its 5th, upper-cased: POLY for
// "ARC Poly", RAYON for "ARC Rayon".
std::string ArcTypeWord(std::string_view palette_text);
// "ARC", 9 blanks, the type word padded to 12, SourceNumber.
std::string ArcKey(std::string_view palette_text, std::string_view number_text);

// The company under which the master table keeps the line a palette entry
// names: ARC for the ARC entries, else the entry as SourceCompany makes it,
// without the padding.
std::string CompanyOfPaletteEntry(std::string_view entry);

}  // namespace sv

#endif  // SV_MATCH_SOURCE_KEY_H_
