#include "match/source_key.h"

#include "support/text.h"

namespace sv {

std::string SourceCompany(std::string_view palette_text) {
  std::string company = UpperText(palette_text.substr(0, kCompanyWidth));
  company += Blanks(kCompanyWidth - static_cast<int32_t>(TrimLeftText(palette_text).size()));
  return company.substr(0, kCompanyWidth);
}

std::string SourceNumber(std::string_view number_text) {
  std::string number = TrimLeftText(number_text);
  number += Blanks(kColorWidth - static_cast<int32_t>(number.size()));
  return number.substr(0, kColorWidth);
}

std::string SourceKey(std::string_view palette_text, std::string_view number_text) {
  return SourceCompany(palette_text) + SourceNumber(number_text);
}

bool IsArcRequest(std::string_view palette_text) { return palette_text.substr(0, 3) == "ARC"; }

std::string ArcTypeWord(std::string_view palette_text) {
  if (palette_text.size() <= 4) return {};
  return UpperText(palette_text.substr(4, 5));
}

std::string ArcKey(std::string_view palette_text, std::string_view number_text) {
  std::string type = ArcTypeWord(palette_text);
  return "ARC" + Blanks(9) + type + Blanks(kTypeWidth - static_cast<int32_t>(type.size())) +
         SourceNumber(number_text);
}

std::string CompanyOfPaletteEntry(std::string_view entry) {
  if (IsArcRequest(entry)) return "ARC";
  return TrimRightText(SourceCompany(entry));
}

}  // namespace sv
