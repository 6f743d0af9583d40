#include "support/text.h"

#include <gtest/gtest.h>

#include <string>

namespace sv {
namespace {

TEST(TrimTest, RemovesBlanksAndControlsOnTheirSideOnly) {
  struct Case {
    std::string in, right, left, both;
  };
  const Case cases[] = {
      {"  MADEIRA \t  ", "  MADEIRA", "MADEIRA \t  ", "MADEIRA"},
      {"\x01\x1f" "a b" "\r\n", "\x01\x1f" "a b", "a b\r\n", "a b"},
      {"     ", "", "", ""},
      {"", "", "", ""},
      // 0x7F and high bytes are text, not blanks.
      {"\x7f" "x\xa0", "\x7f" "x\xa0", "\x7f" "x\xa0", "\x7f" "x\xa0"},
      {std::string("\0a\0", 3), std::string("\0a", 2), std::string("a\0", 2), "a"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(TrimRightText(c.in), c.right);
    EXPECT_EQ(TrimLeftText(c.in), c.left);
    EXPECT_EQ(TrimText(c.in), c.both);
  }
}

TEST(CaseTest, FollowsTheAnsiCodePageIncludingAccents) {
  EXPECT_EQ(UpperText("ostra r\xe9seau \xff"), "OSTRA R\xc9SEAU \x9f");
  EXPECT_EQ(LowerText("\xc0LA CR\xc8ME \x8a"), "\xe0la cr\xe8me \x9a");
  // Signs that only look like letters stay as they are.
  EXPECT_EQ(UpperText("\xf7\xdf" "1_"), "\xf7\xdf" "1_");
  EXPECT_EQ(UpperText(""), "");
}

TEST(CaseTest, StartsWithLetter) {
  EXPECT_TRUE(StartsWithLetter("abc"));
  EXPECT_TRUE(StartsWithLetter("\xe9t\xe9"));
  EXPECT_TRUE(StartsWithLetter("Z1"));
  EXPECT_FALSE(StartsWithLetter(""));
  EXPECT_FALSE(StartsWithLetter("1abc"));
  EXPECT_FALSE(StartsWithLetter(" abc"));
  EXPECT_FALSE(StartsWithLetter("\xd7"));  // multiplication sign
}

TEST(ProperCaseTest, UpperCasesAfterEachDelimiter) {
  const std::pair<std::string, std::string> cases[] = {
      {"MADEIRA POLYNEON", "Madeira Polyneon"},
      {"o'NEIL-SMITH", "O'neil-Smith"},
      {"a\"b$c(d)e*f,g-h.i/j:k[l\\m]n", "A\"B$C(D)E*F,G-H.I/J:K[L\\M]N"},
      {"x;y_z", "X;y_z"},
      {"\xe9T\xc9 \xe0", "\xc9t\xe9 \xc0"},
      {"  two", "  Two"},
      {"", ""},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(ProperCaseText(in), out) << in;
}

TEST(BlanksTest, CountsAndNonPositiveCounts) {
  EXPECT_EQ(Blanks(0), "");
  EXPECT_EQ(Blanks(-3), "");
  EXPECT_EQ(Blanks(12 - 5), "       ");
  EXPECT_EQ(RepeatChar('*', 4), "****");
  EXPECT_EQ(RepeatChar('*', -1), "");
  EXPECT_EQ(RepeatChar('\0', 2), std::string(2, '\0'));
}

TEST(OccurrenceTest, CountsNonOverlappingFromTheLeft) {
  struct Case {
    const char* needle;
    const char* text;
    int count;
  };
  const Case cases[] = {
      {"ab", "ababab", 3}, {"aa", "aaaa", 2}, {"aa", "aaaaa", 2}, {";", "a;b;c", 2},
      {"", "abc", 0},      {"a", "", 0},      {"abcd", "abc", 0}, {"x", "abc", 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CountOccurrences(c.needle, c.text), c.count) << c.needle << " in " << c.text;
  }
}

TEST(OccurrenceTest, NthPositionFromEitherEnd) {
  struct Case {
    int n;
    const char* needle;
    const char* text;
    int pos;
  };
  const Case cases[] = {
      {1, ";", "a;b;c", 2},   {2, ";", "a;b;c", 4},  {3, ";", "a;b;c", 0},
      {-1, ";", "a;b;c", 4},  {-2, ";", "a;b;c", 2}, {-3, ";", "a;b;c", 0},
      {2, "aa", "aaaa", 3},   {3, "aa", "aaaa", 0},  {-1, "aa", "aaaaa", 4},
      {-2, "aa", "aaaaa", 2}, {-3, "aa", "aaaaa", 0}, {0, "a", "a", 0},
      {1, "", "abc", 0},      {1, "abc", "ab", 0},   {-1, "abc", "abc", 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(NthOccurrencePos(c.n, c.needle, c.text), c.pos)
        << c.n << " " << c.needle << " in " << c.text;
  }
}

TEST(PosNoCaseTest, FindsInUpperCaseWithinTheGivenLengths) {
  const std::string text = "c:\\data\\Params.svx EXCLUSIVE";
  auto pos = [&](const std::string& needle, size_t text_len) {
    return PosNoCase(needle.data(), static_cast<uint16_t>(needle.size()), text.data(),
                     static_cast<uint16_t>(text_len));
  };
  EXPECT_EQ(pos("PARAMS", text.size()), 9);
  EXPECT_EQ(pos("exclusive", text.size()), 20);
  EXPECT_EQ(pos("C:", text.size()), 1);
  // The lengths bound the search; nothing beyond them is read.
  EXPECT_EQ(pos("exclusive", 27), 0);
  EXPECT_EQ(pos("", text.size()), 0);
  EXPECT_EQ(pos("svx", 0), 0);
  const std::string accented = "cr\xe8me";
  EXPECT_EQ(PosNoCase("\xc8ME", 3, accented.data(), 5), 3);
  EXPECT_EQ(PosNoCase(nullptr, 0, nullptr, 0), 0);
}

TEST(RemoveWordTest, DeletesWholeOptionWordsOnly) {
  struct Case {
    std::string in;
    std::string out;
    bool removed;
  };
  const Case cases[] = {
      {"params.svx exclusive", "PARAMS.SVX", true},
      {"a EXCLUSIVE b EXCLUSIVE", "A B", true},
      {"a EXCLUSIVELY", "A EXCLUSIVELY", false},
      {"a EXCLUSIVE1", "A EXCLUSIVE1", false},
      {"a EXCLUSIVE_X", "A EXCLUSIVE_X", false},
      {"a EXCLUSIVE\\dir", "A EXCLUSIVE\\DIR", false},
      {"a EXCLUSIVE.svx", "A.SVX", true},
      {"EXCLUSIVE", "EXCLUSIVE", false},  // no leading blank
      {"  x  ", "X", false},
      {"a EXCLUSIVE EXCLUSIVE", "A", true},
  };
  for (const Case& c : cases) {
    std::string text = c.in;
    EXPECT_EQ(RemoveWord(" EXCLUSIVE", text), c.removed) << c.in;
    EXPECT_EQ(text, c.out) << c.in;
  }
  std::string text = "abc ";
  EXPECT_FALSE(RemoveWord("", text));
  EXPECT_EQ(text, "ABC");
}

}  // namespace
}  // namespace sv
