// The palette list of the main window: the thread lines a user can match
// FROM, in the order the drop-down list shows them. The edition's own line is
// not among them; it is always the target.
#ifndef SV_MATCH_PALETTE_LIST_H_
#define SV_MATCH_PALETTE_LIST_H_

#include <array>
#include <optional>
#include <string_view>

namespace sv {

inline constexpr std::array<std::string_view, 51> kPaletteList = {
    "ABC",         "Admelody",     "AESignature",  "Anchor",        "Angel",
    "ARC Poly",    "ARC Rayon",    "Aurifil",      "Brildor",       "Brother",
    "Coats&Clark", "Colorful",     "DMC",          "Echidna",       "Embroidex",
    "FatKat",      "Floriani",     "FuFu",         "Gunold",        "Gutermann",
    "Hemingworth", "Isacord",      "Isafil",       "Isalon",        "Janome",
    "JP Coats",    "Kingstar",     "Madeira",      "Marathon",      "Megasheen",
    "Mettler",     "Pantone",      "Peacock",      "PolyX",         "Princess",
    "Radiant",     "Rapos",        "Robison-Anton", "Royal Poly",   "Royal/Tajima",
    "Salus",       "Spectrum",     "Sulky",        "Swist",         "ThreadArt",
    "ThreaDelight", "TriStar",     "UltimaPoly",   "Valdani",       "Vyapar",
    "Wonderfil",
};

// The entry spelled exactly so, or, failing that, the one entry equal to it
// ignoring ASCII letter case; nothing when there is none.
std::optional<std::string_view> FindPaletteEntry(std::string_view text);

}  // namespace sv

#endif  // SV_MATCH_PALETTE_LIST_H_
