#include "engine/engine_state.h"

#include <gtest/gtest.h>

#include "engine/dates.h"
#include "support/locale.h"

namespace sv {
namespace {

TEST(EngineStartupTest, TheLocaleChoosesTheDateFormAndTheProgramsDateFormat) {
  struct Case {
    const char* pattern;
    char separator;
    int code;
    bool century;
    const char* program_format;
    char program_separator;
  };
  const Case cases[] = {
      {"MM/dd/yy", '/', 0, false, "MM/dd/yy", '/'},
      {"M/d/yyyy", '/', 0, true, "MM/dd/yyyy", '/'},
      {"yyyy-MM-dd", '-', 1, true, "yyyy.MM.dd", '.'},
      {"dd/MM/yyyy", '/', 2, true, "dd/MM/yyyy", '/'},
      {"dd-MM-yy", '-', 3, false, "dd-MM-yy", '-'},
      {"dd.MM.yyyy", '.', 5, true, "dd.MM.yyyy", '.'},
  };
  for (const Case& c : cases) {
    LocaleFacts facts;
    facts.short_date_format = c.pattern;
    facts.date_separator = c.separator;
    facts.decimal_separator = ',';
    SetLocaleOverride(facts);
    EngineStartup();
    EXPECT_EQ(CurrentDateForm().code, c.code) << c.pattern;
    EXPECT_EQ(CurrentDateForm().century, c.century) << c.pattern;
    EXPECT_EQ(ShortDateFormat(), c.program_format) << c.pattern;
    EXPECT_EQ(DateSeparator(), c.program_separator) << c.pattern;
    EXPECT_EQ(DecimalSeparator(), ',');
  }
  SetLocaleOverride(LocaleFacts{});
  EngineStartup();
  EXPECT_EQ(DecimalSeparator(), '.');
}

}  // namespace
}  // namespace sv
