#include "support/numbers.h"

#include <algorithm>
#include <charconv>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "support/locale.h"
#include "support/text.h"

namespace sv {
namespace {

constexpr int kMaxWidth = 255;
constexpr size_t kMaxFloatText = 30;
constexpr int kSignificantDigits = 18;

bool CommaDecimals() { return DecimalSeparator() != '.'; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

void EraseAll(std::string& text, char c) { std::erase(text, c); }

// Adds one unit in the last place of a run of decimal digits; true when the
// carry runs out of the front ("99" + 1).
bool IncrementDigits(std::string& digits) {
  for (size_t i = digits.size(); i > 0; --i) {
    if (digits[i - 1] != '9') {
      ++digits[i - 1];
      return false;
    }
    digits[i - 1] = '0';
  }
  return true;
}

// |value| with exactly `decimals` digits after a '.', rounded half away from
// zero on its 18-digit decimal expansion, so 0.125 reads as written.
std::string FixedDecimal(double magnitude, int decimals) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*e", kSignificantDigits - 1, magnitude);
  // buf is "d.ddddddddddddddddde[+-]xx".
  std::string digits;
  const char* p = buf;
  for (; *p != 'e' && *p != '\0'; ++p) {
    if (IsDigit(*p)) digits += *p;
  }
  int exponent = *p == 'e' ? std::atoi(p + 1) : 0;
  int point = exponent + 1;  // digits before the decimal point

  std::string whole;
  std::string fraction;
  if (point <= 0) {
    whole = "0";
    fraction.assign(static_cast<size_t>(-point), '0');
    fraction += digits;
  } else if (static_cast<size_t>(point) >= digits.size()) {
    whole = digits + std::string(static_cast<size_t>(point) - digits.size(), '0');
  } else {
    whole = digits.substr(0, static_cast<size_t>(point));
    fraction = digits.substr(static_cast<size_t>(point));
  }

  size_t keep = static_cast<size_t>(decimals);
  bool round_up = fraction.size() > keep && fraction[keep] >= '5';
  fraction.resize(keep, '0');
  if (round_up && IncrementDigits(fraction) && IncrementDigits(whole)) whole.insert(0, "1");

  size_t lead = whole.find_first_not_of('0');
  whole = lead == std::string::npos ? "0" : whole.substr(lead);
  return decimals > 0 ? whole + "." + fraction : whole;
}

// Reads "-?digits" at the front of `text`, saturating at the given bounds.
// A '-' later in the text ends the number.
template <typename Int>
Int ReadLeadingInteger(const std::string& text) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && text[i] == '-') {
    negative = true;
    ++i;
  }
  constexpr int64_t kMax = std::numeric_limits<Int>::max();
  constexpr int64_t kMin = std::numeric_limits<Int>::min();
  int64_t value = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    if (value <= kMax + 1) value = value * 10 + (text[i] - '0');
  }
  if (negative) value = -value;
  if (value > kMax) return static_cast<Int>(kMax);
  if (value < kMin) return static_cast<Int>(kMin);
  return static_cast<Int>(value);
}

}  // namespace

std::string IntToTextWidth(int32_t value, int width) {
  std::string digits = std::to_string(value);
  if (width > kMaxWidth) width = kMaxWidth;
  if (width > 0 && digits.size() < static_cast<size_t>(width)) {
    digits.insert(0, static_cast<size_t>(width) - digits.size(), ' ');
  }
  return digits;
}

std::string FloatToTextWidth(int width, int decimals, double value) {
  if (width > kMaxWidth) width = kMaxWidth;
  if (decimals < 0) decimals = 0;
  if (decimals > kMaxWidth) decimals = kMaxWidth;

  std::string text;
  if (std::isnan(value)) {
    text = "NAN";
  } else if (std::isinf(value)) {
    text = value < 0 ? "-INF" : "INF";
  } else {
    text = FixedDecimal(std::fabs(value), decimals);
    // A value that rounds to zero prints without a sign.
    if (value < 0 && text.find_first_not_of("0.") != std::string::npos) text.insert(0, "-");
  }

  // Padding never pushes the number out of the 30 characters kept.
  size_t pad_to = std::min(static_cast<size_t>(std::max(width, 0)), kMaxFloatText);
  if (text.size() < pad_to) text.insert(0, pad_to - text.size(), ' ');
  if (text.size() > kMaxFloatText) text.resize(kMaxFloatText);

  if (CommaDecimals() && decimals > 0) {
    size_t dot = text.find('.');
    if (dot != std::string::npos) text[dot] = DecimalSeparator();
  }
  return text;
}

int16_t TextToSmallInt(std::string_view input) {
  if (input.empty()) return 0;
  std::string text = TrimLeftText(input);
  if (!text.empty() && text[0] == '+') text = TrimLeftText(std::string_view(text).substr(1));

  EraseAll(text, CommaDecimals() ? '.' : ',');
  size_t dollar = text.find('$');
  if (dollar != std::string::npos) text.erase(dollar, 1);
  size_t blank = text.find(' ');
  if (blank != std::string::npos) text.resize(blank);

  size_t end = 0;
  while (end < text.size() && (text[end] == '-' || IsDigit(text[end]))) ++end;
  text.resize(end);
  return ReadLeadingInteger<int16_t>(text);
}

void CleanNumberText(std::string& text) {
  if (text.empty()) return;
  const bool comma = CommaDecimals();
  const char separator = comma ? ',' : '.';

  EraseAll(text, '$');

  size_t start = 0;
  while (start < text.size() && (static_cast<uint8_t>(text[start]) <= 32 || text[start] == '+')) {
    ++start;
  }
  text.erase(0, start);

  if (!text.empty() && text[0] == '-') {
    size_t run = 0;
    while (run < text.size() && (static_cast<uint8_t>(text[run]) <= 32 || text[run] == '+' ||
                                 text[run] == '-')) {
      ++run;
    }
    text.erase(0, run);
    if (text.empty()) return;
    if (text[0] == separator) text.insert(0, "0");
    text.insert(0, "-");
  }

  if (comma) {
    EraseAll(text, '.');
    size_t first = text.find(',');
    if (first != std::string::npos) text[first] = '.';
  } else {
    EraseAll(text, ',');
  }

  if (!text.empty() && text[0] == '.') text.insert(0, "0");

  size_t blank = text.find(' ');
  if (blank != std::string::npos) text.resize(blank);

  size_t end = 0;
  while (end < text.size() &&
         (IsDigit(text[end]) || text[end] == '.' || (end == 0 && text[end] == '-'))) {
    ++end;
  }
  text.resize(end);

  if (!text.empty() && text.back() == '.') text.pop_back();
}

double TextToFloat(std::string_view input) {
  std::string text(input);
  CleanNumberText(text);
  if (text.empty()) return 0.0;
  // A second decimal point ends the number: "1.2.3" reads as 1.2.
  double value = 0.0;
  const char* first = text.data();
  const char* last = text.data() + text.size();
  std::errc ec = std::from_chars(first, last, value, std::chars_format::fixed).ec;
  if (ec == std::errc::result_out_of_range) {
    // Only a huge digit run overflows; a long run of zeros underflows.
    size_t digit = text.find_first_of("123456789");
    size_t dot = text.find('.');
    bool huge = digit != std::string::npos && (dot == std::string::npos || digit < dot);
    bool negative = text[0] == '-';
    if (!huge) return 0.0;
    return negative ? -DBL_MAX : DBL_MAX;
  }
  if (ec != std::errc()) return 0.0;
  return value;
}

int32_t TextToLong(std::string_view input) {
  std::string text(input);
  CleanNumberText(text);
  if (text.empty()) return 0;
  return ReadLeadingInteger<int32_t>(text);
}

}  // namespace sv
