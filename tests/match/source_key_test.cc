#include "match/source_key.h"

#include <gtest/gtest.h>

#include "match/palette_list.h"

namespace sv {
namespace {

TEST(SourceKeyTest, JoinsCompanyAndNumberAtFullWidth) {
  struct Case {
    const char* palette;
    const char* number;
    const char* key;
  };
  const Case cases[] = {
      {"Madeira", "1000", "MADEIRA     1000    "},
      {"Robison-Anton", "2200", "ROBISON-ANTO2200    "},
      {"Madeira", "   1000", "MADEIRA     1000    "},
      {"Madeira", "123456789", "MADEIRA     12345678"},
      {"ARC Rayon", "1234", "ARC RAYON   1234    "},
      {"", "", "                    "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.palette);
    EXPECT_EQ(SourceKey(c.palette, c.number), c.key);
  }
}

TEST(SourceKeyTest, ArcRequestsKeyOnCompanyTypeAndNumber) {
  EXPECT_TRUE(IsArcRequest("ARC Rayon"));
  EXPECT_FALSE(IsArcRequest("Arc Rayon"));
  EXPECT_FALSE(IsArcRequest("Anchor"));
  EXPECT_EQ(ArcTypeWord("ARC Poly"), "POLY");
  EXPECT_EQ(ArcTypeWord("ARC Rayon"), "RAYON");
  EXPECT_EQ(ArcTypeWord("ARC"), "");
  EXPECT_EQ(ArcKey("ARC Rayon", "1234"), "ARC" + std::string(9, ' ') + "RAYON" +
                                            std::string(7, ' ') + "1234" + std::string(4, ' '));
  EXPECT_EQ(ArcKey("ARC Poly", " 10").size(), 32u);
}

TEST(SourceKeyTest, PaletteEntriesNameMasterCompanies) {
  EXPECT_EQ(CompanyOfPaletteEntry("ARC Poly"), "ARC");
  EXPECT_EQ(CompanyOfPaletteEntry("ARC Rayon"), "ARC");
  EXPECT_EQ(CompanyOfPaletteEntry("Robison-Anton"), "ROBISON-ANTO");
  EXPECT_EQ(CompanyOfPaletteEntry("Royal/Tajima"), "ROYAL/TAJIMA");
  EXPECT_EQ(CompanyOfPaletteEntry("JP Coats"), "JP COATS");
}

TEST(PaletteListTest, FindsEntriesExactlyOrIgnoringCase) {
  EXPECT_EQ(kPaletteList.front(), "ABC");
  EXPECT_EQ(kPaletteList.back(), "Wonderfil");
  EXPECT_EQ(FindPaletteEntry("ARC Rayon").value_or(""), "ARC Rayon");
  EXPECT_EQ(FindPaletteEntry("arc rayon").value_or(""), "ARC Rayon");
  EXPECT_EQ(FindPaletteEntry("THREADELIGHT").value_or(""), "ThreaDelight");
  EXPECT_FALSE(FindPaletteEntry("OSTRA"));
  EXPECT_FALSE(FindPaletteEntry("Madeira "));
  EXPECT_FALSE(FindPaletteEntry(""));
}

}  // namespace
}  // namespace sv
