// The locale facts the engine reads when it starts: decimal and thousands
// separators and the short date format. They come from the user's POSIX
// locale (queried without changing the process locale, so number parsing
// stays independent of it) unless an override is set, as tests do.
#ifndef SV_SUPPORT_LOCALE_H_
#define SV_SUPPORT_LOCALE_H_

#include <optional>
#include <string>

namespace sv {

struct LocaleFacts {
  char decimal_separator = '.';
  char thousands_separator = ',';
  // Windows-style pattern: "MM/dd/yy", "dd.MM.yyyy", "yyyy-MM-dd", ...
  std::string short_date_format = "MM/dd/yy";
  char date_separator = '/';
};

// Converts a strftime date format ("%m/%d/%y", "%d.%m.%Y", "%F", ...) into the
// pattern form above.
std::string PatternFromStrftime(const std::string& format);

// The facts of the user's locale (LC_NUMERIC and LC_TIME as the environment
// sets them), or of the override when one is set.
LocaleFacts CurrentLocaleFacts();
void SetLocaleOverride(std::optional<LocaleFacts> facts);

// The engine-wide decimal separator setting (set once at engine start) and the
// thousands mark.
char DecimalSeparator();
void SetDecimalSeparator(char c);
char ThousandsSeparator();
void SetThousandsSeparator(char c);

// The running program's short date format and date separator. The engine
// sets them to the pattern of its date form when it starts, so that every
// date text of the program follows the engine's.
const std::string& ShortDateFormat();
char DateSeparator();
void SetShortDateFormat(const std::string& pattern, char separator);

}  // namespace sv

#endif  // SV_SUPPORT_LOCALE_H_
