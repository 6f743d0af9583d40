#include "support/codepage.h"

#include <gtest/gtest.h>

#include <string>

namespace sv {
namespace {

TEST(CodePageTest, OemAndAnsiAreOneBijection) {
  bool oem_seen[256] = {};
  for (int a = 0; a < 256; ++a) {
    uint8_t o = AnsiToOemByte(static_cast<uint8_t>(a));
    EXPECT_FALSE(oem_seen[o]) << "two ANSI bytes map to OEM " << int(o);
    oem_seen[o] = true;
    EXPECT_EQ(OemToAnsiByte(o), a) << "ANSI " << a;
  }
  for (int c = 0; c < 128; ++c) EXPECT_EQ(AnsiToOemByte(static_cast<uint8_t>(c)), c);
}

TEST(CodePageTest, SharedCharactersKeepTheirMeaning) {
  struct Case {
    uint8_t ansi, oem;
  };
  // e acute, C cedilla, u umlaut, n tilde, pound, sharp s, no-break space.
  const Case cases[] = {{0xE9, 0x82}, {0xC7, 0x80}, {0xFC, 0x81}, {0xF1, 0xA4},
                        {0xA3, 0x9C}, {0xDF, 0xE1}, {0xA0, 0xFF}};
  for (const Case& c : cases) {
    EXPECT_EQ(AnsiToOemByte(c.ansi), c.oem) << int(c.ansi);
    EXPECT_EQ(OemToAnsiByte(c.oem), c.ansi) << int(c.oem);
  }
  std::string ansi = "Cr\xe8me br\xfbl\xe9" "e";
  EXPECT_EQ(AnsiToOem(ansi), "Cr\x8a" "me br\x96l\x82" "e");
  EXPECT_EQ(OemToAnsi(AnsiToOem(ansi)), ansi);

  uint8_t buffer[] = {' ', 0xE9, 'A', 0x00};
  AnsiToOemBuffer(buffer + 1, 2);
  EXPECT_EQ(buffer[0], ' ');
  EXPECT_EQ(buffer[1], 0x82);
  EXPECT_EQ(buffer[3], 0x00);
  OemToAnsiBuffer(buffer + 1, 2);
  EXPECT_EQ(buffer[1], 0xE9);
}

TEST(CodePageTest, Utf8BothWays) {
  struct Case {
    std::string ansi, utf8;
  };
  const Case cases[] = {
      {"caf\xe9", "caf\xc3\xa9"},
      {"\x80", "\xe2\x82\xac"},      // euro sign
      {"\x9f", "\xc5\xb8"},          // Y diaeresis
      {"\x81", "\xc2\x81"},          // undefined byte as its C1 control
      {"\xff\xa0", "\xc3\xbf\xc2\xa0"},
      {"plain", "plain"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(AnsiToUtf8(c.ansi), c.utf8);
    EXPECT_EQ(Utf8ToAnsi(c.utf8), c.ansi);
  }
}

TEST(CodePageTest, InvalidOrForeignUtf8BecomesQuestionMarks) {
  const std::pair<std::string, std::string> cases[] = {
      {"\xce\xa9", "?"},                   // Greek omega: not in the code page
      {"\xf0\x9f\x98\x80", "?"},           // emoji
      {"a\x80" "b", "a?b"},                // stray continuation byte
      {"\xe2\x82" "x", "?x"},              // cut short
      {"\xc3", "?"},                       // cut short at the end
      {"\xc0\xaf", "?"},                   // overlong '/'
      {std::string("\xc0\x80", 2), "?"},   // overlong NUL
      {"\xe0\x81\x81", "?"},               // overlong 'A'
      {"\xed\xa0\x80", "?"},               // surrogate
      {"\xf4\x90\x80\x80", "?"},           // beyond Unicode
      {"\xff\xfe", "??"},
      {"\xc3\xc3\xa9", "?\xe9"},
  };
  for (const auto& [utf8, ansi] : cases) EXPECT_EQ(Utf8ToAnsi(utf8), ansi);
}

TEST(CodePageTest, CaseAndLettersOfTheAnsiPage) {
  struct Case {
    uint8_t lower, upper;
  };
  const Case pairs[] = {{'a', 'A'}, {'z', 'Z'}, {0xE9, 0xC9}, {0xE0, 0xC0}, {0xFE, 0xDE},
                        {0x9A, 0x8A}, {0x9C, 0x8C}, {0x9E, 0x8E}, {0xFF, 0x9F}};
  for (const Case& c : pairs) {
    EXPECT_EQ(AnsiUpper(c.lower), c.upper) << int(c.lower);
    EXPECT_EQ(AnsiLower(c.upper), c.lower) << int(c.upper);
    EXPECT_TRUE(AnsiIsAlpha(c.lower));
    EXPECT_TRUE(AnsiIsAlpha(c.upper));
  }
  for (uint8_t c : {uint8_t{0xDF}, uint8_t{0xB5}, uint8_t{0xAA}}) {
    EXPECT_TRUE(AnsiIsAlpha(c));
    EXPECT_EQ(AnsiUpper(c), c);
  }
  for (uint8_t c : {uint8_t{'1'}, uint8_t{'_'}, uint8_t{0xD7}, uint8_t{0xF7}, uint8_t{0x80}}) {
    EXPECT_FALSE(AnsiIsAlpha(c)) << int(c);
    EXPECT_EQ(AnsiUpper(c), c);
    EXPECT_EQ(AnsiLower(c), c);
  }
}

}  // namespace
}  // namespace sv
