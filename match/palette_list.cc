#include "match/palette_list.h"

namespace sv {
namespace {

char FoldAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return true;
}

}  // namespace

std::optional<std::string_view> FindPaletteEntry(std::string_view text) {
  for (std::string_view entry : kPaletteList) {
    if (entry == text) return entry;
  }
  for (std::string_view entry : kPaletteList) {
    if (EqualNoCase(entry, text)) return entry;
  }
  return std::nullopt;
}

}  // namespace sv
