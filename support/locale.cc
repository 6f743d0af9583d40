#include "support/locale.h"

#include <langinfo.h>
#include <locale.h>

namespace sv {
namespace {

std::optional<LocaleFacts>& Override() {
  static std::optional<LocaleFacts> facts;
  return facts;
}

char g_decimal_separator = '.';
std::string g_short_date_format = "MM/dd/yy";
char g_date_separator = '/';
char g_thousands_separator = ',';

std::string ExpandComposite(const std::string& format) {
  std::string out;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] == '%' && i + 1 < format.size()) {
      char c = format[i + 1];
      if (c == '%') {  // a literal '%': what follows is not a directive
        out += "%%";
        ++i;
        continue;
      }
      if (c == 'D') {
        out += "%m/%d/%y";
        ++i;
        continue;
      }
      if (c == 'F') {
        out += "%Y-%m-%d";
        ++i;
        continue;
      }
    }
    out += format[i];
  }
  return out;
}

}  // namespace

std::string PatternFromStrftime(const std::string& format) {
  std::string f = ExpandComposite(format);
  std::string out;
  for (size_t i = 0; i < f.size(); ++i) {
    if (f[i] != '%' || i + 1 >= f.size()) {
      out += f[i];
      continue;
    }
    char c = f[++i];
    // Flags and widths of GNU strftime ("%-d", "%0e", "%Ey").
    while ((c == '-' || c == '_' || c == '0' || c == '^' || c == '#' || c == 'E' || c == 'O') &&
           i + 1 < f.size()) {
      c = f[++i];
    }
    switch (c) {
      case 'd':
      case 'e':
        out += "dd";
        break;
      case 'm':
        out += "MM";
        break;
      case 'y':
        out += "yy";
        break;
      case 'Y':
        out += "yyyy";
        break;
      case 'C':  // century digits: "%C%y" is a four-digit year
        out += "yy";
        break;
      case 'b':
      case 'h':
        out += "MMM";
        break;
      case 'B':
        out += "MMMM";
        break;
      case 'a':
        out += "ddd";
        break;
      case 'A':
        out += "dddd";
        break;
      case '%':
        out += '%';
        break;
      default:
        break;
    }
  }
  return out;
}

LocaleFacts CurrentLocaleFacts() {
  if (Override()) return *Override();
  LocaleFacts facts;
  locale_t loc = newlocale(LC_NUMERIC_MASK | LC_TIME_MASK, "", static_cast<locale_t>(0));
  if (loc == static_cast<locale_t>(0)) return facts;
  const char* radix = nl_langinfo_l(RADIXCHAR, loc);
  if (radix != nullptr && radix[0] != '\0' && radix[1] == '\0') facts.decimal_separator = radix[0];
  const char* thousands = nl_langinfo_l(THOUSEP, loc);
  if (thousands != nullptr && thousands[0] != '\0' && thousands[1] == '\0') {
    facts.thousands_separator = thousands[0];
  } else {
    facts.thousands_separator = facts.decimal_separator == ',' ? '.' : ',';
  }
  const char* d_fmt = nl_langinfo_l(D_FMT, loc);
  if (d_fmt != nullptr && d_fmt[0] != '\0') {
    std::string pattern = PatternFromStrftime(d_fmt);
    if (!pattern.empty()) facts.short_date_format = pattern;
  }
  facts.date_separator = '/';
  for (char c : facts.short_date_format) {
    if (c != 'd' && c != 'M' && c != 'y') {
      facts.date_separator = c;
      break;
    }
  }
  freelocale(loc);
  return facts;
}

void SetLocaleOverride(std::optional<LocaleFacts> facts) { Override() = std::move(facts); }

char DecimalSeparator() { return g_decimal_separator; }
void SetDecimalSeparator(char c) { g_decimal_separator = c; }
char ThousandsSeparator() { return g_thousands_separator; }
void SetThousandsSeparator(char c) { g_thousands_separator = c; }

const std::string& ShortDateFormat() { return g_short_date_format; }
char DateSeparator() { return g_date_separator; }
void SetShortDateFormat(const std::string& pattern, char separator) {
  g_short_date_format = pattern;
  g_date_separator = separator;
}

}  // namespace sv
