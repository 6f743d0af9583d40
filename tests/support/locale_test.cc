#include "support/locale.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace sv {
namespace {

TEST(PatternFromStrftimeTest, TranslatesDateFormats) {
  const std::pair<std::string, std::string> cases[] = {
      {"%m/%d/%y", "MM/dd/yy"},
      {"%d.%m.%Y", "dd.MM.yyyy"},
      {"%F", "yyyy-MM-dd"},
      {"%Y-%m-%d", "yyyy-MM-dd"},
      {"%e/%m/%Y", "dd/MM/yyyy"},
      {"%D", "MM/dd/yy"},
      {"%-d.%-m.%Y", "dd.MM.yyyy"},
      {"%d/%m/%C%y", "dd/MM/yyyy"},
      {"%Y%%F", "yyyy%F"},  // a literal percent sign is not a directive
      {"", ""},
      {"%", "%"},
  };
  for (const auto& [format, pattern] : cases) EXPECT_EQ(PatternFromStrftime(format), pattern) << format;
}

class LocaleFactsTest : public ::testing::Test {
 protected:
  void TearDown() override { SetLocaleOverride(LocaleFacts{}); }
};

TEST_F(LocaleFactsTest, OverrideWinsOverTheEnvironment) {
  LocaleFacts german;
  german.decimal_separator = ',';
  german.thousands_separator = '.';
  german.short_date_format = "dd.MM.yyyy";
  german.date_separator = '.';
  SetLocaleOverride(german);
  LocaleFacts got = CurrentLocaleFacts();
  EXPECT_EQ(got.decimal_separator, ',');
  EXPECT_EQ(got.thousands_separator, '.');
  EXPECT_EQ(got.short_date_format, "dd.MM.yyyy");
  EXPECT_EQ(got.date_separator, '.');
}

TEST_F(LocaleFactsTest, WithoutOverrideTheEnvironmentLocaleIsRead) {
  const char* old = std::getenv("LC_ALL");
  std::optional<std::string> saved = old ? std::optional<std::string>(old) : std::nullopt;
  setenv("LC_ALL", "C", 1);
  SetLocaleOverride(std::nullopt);
  LocaleFacts got = CurrentLocaleFacts();
  if (saved) {
    setenv("LC_ALL", saved->c_str(), 1);
  } else {
    unsetenv("LC_ALL");
  }
  EXPECT_EQ(got.decimal_separator, '.');
  EXPECT_EQ(got.thousands_separator, ',');  // the C locale has none
  EXPECT_EQ(got.short_date_format, "MM/dd/yy");
  EXPECT_EQ(got.date_separator, '/');
}

TEST(SeparatorSettingTest, HoldsWhatWasSet) {
  const char decimal = DecimalSeparator();
  const char thousands = ThousandsSeparator();
  SetDecimalSeparator(',');
  SetThousandsSeparator('.');
  EXPECT_EQ(DecimalSeparator(), ',');
  EXPECT_EQ(ThousandsSeparator(), '.');
  SetDecimalSeparator(decimal);
  SetThousandsSeparator(thousands);
}

}  // namespace
}  // namespace sv
