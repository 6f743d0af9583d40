#include "engine/expr_functions.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <system_error>

#include "engine/dates.h"
#include "support/codepage.h"

namespace sv::xfn {
namespace {

// Counts, positions and widths: far beyond any text length, yet safe to cast.
constexpr double kCountLimit = 1e15;

long long ToCount(double v) {
  if (std::isnan(v)) return 0;
  v = std::trunc(v);
  if (v > kCountLimit) v = kCountLimit;
  if (v < -kCountLimit) v = -kCountLimit;
  return static_cast<long long>(v);
}

int64_t ToInt64(double v) {
  if (std::isnan(v)) return 0;
  v = std::trunc(v);
  // 2^63 is exact as a double; anything at or beyond it saturates.
  constexpr double kTwo63 = 9223372036854775808.0;
  if (v >= kTwo63) return std::numeric_limits<int64_t>::max();
  if (v < -kTwo63) return std::numeric_limits<int64_t>::min();
  return static_cast<int64_t>(v);
}

size_t Clip(size_t len) { return len > kMaxText ? kMaxText : len; }

size_t Finish(char* out, size_t len) {
  out[len] = '\0';
  return len;
}

// Copies a result that may overlap its source.
size_t Put(const char* src, size_t len, char* out) {
  len = Clip(len);
  if (len > 0 && src != out) std::memmove(out, src, len);
  return Finish(out, len);
}

size_t PutText(const std::string& s, char* out) { return Put(s.data(), s.size(), out); }

// True when n lies exactly half-way between two neighbours at `decimals`
// places: then n * 2^(decimals + 1) is an odd whole number, because the 5^d
// part of 10^d is odd.
bool IsDecimalTie(double n, int decimals) {
  double scaled = std::ldexp(n, decimals + 1);
  if (!std::isfinite(scaled) || std::trunc(scaled) != scaled) return false;
  return std::fabs(std::fmod(scaled, 2.0)) == 1.0;
}

}  // namespace

// Numbers.

double Abs(double n) { return std::fabs(n); }

double Int(double n) { return std::trunc(n); }

double Mod(double a, double b) {
  int64_t x = ToInt64(a);
  int64_t y = ToInt64(b);
  // No divisor: the dividend is all that remains.
  if (y == 0) return static_cast<double>(x);
  // The one quotient that does not fit in 64 bits has no remainder.
  if (y == -1) return 0;
  return static_cast<double>(x % y);
}

double Max(double a, double b) { return a > b ? a : b; }

double Min(double a, double b) { return a < b ? a : b; }

double Round(double n, double decimals) {
  if (!std::isfinite(n)) return n;
  double whole = std::trunc(n);
  long long d = ToCount(decimals);
  if (d <= 0) return whole;
  // A fraction below 1 times 10^308 still fits in a double.
  if (d > 308) d = 308;
  double fraction = n - whole;
  for (long long i = 0; i < d; ++i) fraction *= 10;
  fraction = std::trunc(fraction);
  for (long long i = 0; i < d; ++i) fraction /= 10;
  return whole + fraction;
}

size_t Str(double n, double width, double decimals, char* out) {
  long long w = ToCount(width);
  if (w < 0) w = 0;
  if (w > static_cast<long long>(kMaxText)) w = static_cast<long long>(kMaxText);
  long long d = ToCount(decimals);
  if (d < 0) d = 0;
  if (d > static_cast<long long>(kMaxText)) d = static_cast<long long>(kMaxText);
  size_t width_n = static_cast<size_t>(w);

  // Largest fixed text: 309 digits, sign, point and kMaxText decimals.
  char buf[640];
  size_t len = sizeof buf;  // too wide unless formatted below
  if (d == 0 && n == std::trunc(n) && std::fabs(n) < 1e15) {
    // Whole numbers, the keys' common case, need no rounding.
    len = static_cast<size_t>(std::to_chars(buf, buf + sizeof buf, static_cast<long long>(n)).ptr - buf);
  } else if (std::isfinite(n)) {
    int dec = static_cast<int>(d);
    // Halves round away from zero; the formatter alone would round them to even.
    double v = IsDecimalTie(n, dec)
                   ? std::nextafter(n, std::copysign(std::numeric_limits<double>::infinity(), n))
                   : n;
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, dec);
    if (r.ec == std::errc()) {
      len = static_cast<size_t>(r.ptr - buf);
      // A negative number that rounds to zero prints without its sign.
      if (buf[0] == '-') {
        size_t i = 1;
        while (i < len && (buf[i] == '0' || buf[i] == '.')) ++i;
        if (i == len) {
          std::memmove(buf, buf + 1, len - 1);
          --len;
        }
      }
    }
  }
  if (len > width_n) {
    std::memset(out, '*', width_n);
    return Finish(out, width_n);
  }
  size_t pad = width_n - len;
  std::memset(out, ' ', pad);
  std::memcpy(out + pad, buf, len);
  return Finish(out, width_n);
}

double Val(const char* s, size_t len) {
  len = Clip(len);
  const char* p = s;
  const char* end = s + len;
  while (p < end && *p == ' ') ++p;
  bool negative = false;
  if (p < end && (*p == '+' || *p == '-')) {
    negative = *p == '-';
    ++p;
  }
  if (p == end || *p < '0' || *p > '9') return 0;
  // The number is the longest prefix of the form digits [. digits] [E [sign] digits];
  // whatever follows it is ignored.
  const char* q = p;
  while (q < end && *q >= '0' && *q <= '9') ++q;
  if (q < end && *q == '.') {
    ++q;
    while (q < end && *q >= '0' && *q <= '9') ++q;
  }
  const char* mantissa_end = q;
  long long exponent = 0;
  if (q < end && (*q == 'E' || *q == 'e')) {
    const char* e = q + 1;
    bool negative_exponent = false;
    if (e < end && (*e == '+' || *e == '-')) {
      negative_exponent = *e == '-';
      ++e;
    }
    if (e < end && *e >= '0' && *e <= '9') {
      for (; e < end && *e >= '0' && *e <= '9'; ++e) {
        if (exponent < 100000) exponent = exponent * 10 + (*e - '0');
      }
      if (negative_exponent) exponent = -exponent;
      q = e;
    }
  }
  double v = 0;
  auto r = std::from_chars(p, q, v, std::chars_format::general);
  if (r.ec == std::errc::result_out_of_range) {
    // Beyond a double: infinite when it is too large, else too small to be
    // anything but 0. The mantissa alone (at most kMaxText digits) fits.
    double m = 0;
    std::from_chars(p, mantissa_end, m, std::chars_format::fixed);
    v = std::log10(m) + static_cast<double>(exponent) > 0 ? std::numeric_limits<double>::infinity()
                                                          : 0.0;
  }
  return negative ? -v : v;
}

double Asc(const char* s, size_t len) {
  // An empty text has no first character; 0 is the code nothing else gives.
  return len == 0 ? 0 : static_cast<unsigned char>(s[0]);
}

double At(const char* needle, size_t needle_len, const char* text, size_t text_len) {
  if (needle_len == 0) return 0;
  size_t pos = std::string_view(text, text_len).find(std::string_view(needle, needle_len));
  return pos == std::string_view::npos ? 0 : static_cast<double>(pos + 1);
}

// Characters.

size_t Chr(double code, char* out) {
  // The low 8 bits of the whole number, in two's complement for negative ones;
  // fmod is exact for every finite double.
  double low = std::isfinite(code) ? std::fmod(std::trunc(code), 256.0) : 0.0;
  if (low < 0) low += 256.0;
  auto c = static_cast<unsigned char>(low);
  if (c == 0) return Finish(out, 0);
  out[0] = static_cast<char>(c);
  return Finish(out, 1);
}

size_t Upper(char* s, size_t len) {
  len = Clip(len);
  for (size_t i = 0; i < len; ++i) {
    s[i] = static_cast<char>(AnsiUpper(static_cast<uint8_t>(s[i])));
  }
  return Finish(s, len);
}

size_t Lower(char* s, size_t len) {
  len = Clip(len);
  for (size_t i = 0; i < len; ++i) {
    s[i] = static_cast<char>(AnsiLower(static_cast<uint8_t>(s[i])));
  }
  return Finish(s, len);
}

size_t LTrim(char* s, size_t len) {
  len = Clip(len);
  size_t b = 0;
  while (b < len && s[b] == ' ') ++b;
  if (b > 0) std::memmove(s, s + b, len - b);
  return Finish(s, len - b);
}

size_t RTrim(char* s, size_t len) {
  len = Clip(len);
  while (len > 0 && s[len - 1] == ' ') --len;
  return Finish(s, len);
}

size_t Left(char* s, size_t len, double n) {
  len = Clip(len);
  long long count = ToCount(n);
  // A negative count keeps nothing, as a count of 0 does.
  if (count <= 0) return Finish(s, 0);
  if (static_cast<unsigned long long>(count) < len) len = static_cast<size_t>(count);
  return Finish(s, len);
}

size_t Right(char* s, size_t len, double n) {
  len = Clip(len);
  long long count = ToCount(n);
  if (count == 0) return Finish(s, 0);
  if (count < 0 || static_cast<unsigned long long>(count) >= len) return Finish(s, len);
  auto keep = static_cast<size_t>(count);
  std::memmove(s, s + len - keep, keep);
  return Finish(s, keep);
}

size_t Substr(const char* s, size_t len, double start, double count, char* out) {
  len = Clip(len);
  long long from = ToCount(start);
  long long n = ToCount(count);
  if (from < 1) from = 1;
  if (n < 1 || static_cast<unsigned long long>(from) > len) return Finish(out, 0);
  size_t offset = static_cast<size_t>(from - 1);
  size_t take = len - offset;
  if (static_cast<unsigned long long>(n) < take) take = static_cast<size_t>(n);
  return Put(s + offset, take, out);
}

size_t Stuff(const char* s, size_t len, double start, double count, const char* r, size_t r_len,
             char* out) {
  len = Clip(len);
  r_len = Clip(r_len);
  long long at = ToCount(start);
  long long n = ToCount(count);
  // Built aside: r may lie where the result goes.
  char buf[2 * kMaxText];
  size_t head = 0;  // characters of s before the insertion point
  size_t tail = 0;  // offset in s where the kept rest begins
  if (at >= 1 && static_cast<unsigned long long>(at) <= len) {
    head = static_cast<size_t>(at - 1);
    tail = head;
    if (n > 0) {
      size_t rest = len - head;
      tail += static_cast<unsigned long long>(n) < rest ? static_cast<size_t>(n) : rest;
    }
  } else if (at > 0) {
    head = tail = len;  // beyond the end: r is appended
  }
  size_t total = 0;
  std::memcpy(buf, s, head);
  total += head;
  std::memcpy(buf + total, r, r_len);
  total += r_len;
  std::memcpy(buf + total, s + tail, len - tail);
  total += len - tail;
  return Put(buf, total, out);
}

size_t Replicate(const char* s, size_t len, double n, char* out) {
  len = Clip(len);
  long long copies = ToCount(n);
  if (copies < 1 || len == 0) return Finish(out, 0);
  // The first copy is moved into place; the others are taken from it, so the
  // argument may share its address with out.
  std::memmove(out, s, len);
  size_t total = len;
  for (long long i = 1; i < copies && total < kMaxText; ++i) {
    size_t piece = len < kMaxText - total ? len : kMaxText - total;
    std::memcpy(out + total, out, piece);
    total += piece;
  }
  return Finish(out, total);
}

size_t Space(double n, char* out) {
  long long count = ToCount(n);
  if (count < 1) return Finish(out, 0);
  size_t len = Clip(static_cast<size_t>(count));
  std::memset(out, ' ', len);
  return Finish(out, len);
}

size_t Iif(bool condition, const char* a, size_t a_len, const char* b, size_t b_len, char* out) {
  return condition ? Put(a, a_len, out) : Put(b, b_len, out);
}

size_t Soundex(const char* s, size_t len, char* out) {
  if (len > 100) len = 100;
  // An empty text still gives a code of four characters.
  if (len == 0) return PutText("0000", out);
  auto digit_of = [](uint8_t c) -> char {
    //                        ABCDEFGHIJKLMNOPQRSTUVWXYZ
    static const char kDigits[] = "01230120022455012623010202";
    return c >= 'A' && c <= 'Z' ? kDigits[c - 'A'] : '\0';
  };
  char code[5] = {0, '0', '0', '0', '\0'};
  auto first = AnsiUpper(static_cast<uint8_t>(s[0]));
  code[0] = static_cast<char>(first);
  char previous = digit_of(first);
  if (previous == '\0') previous = '0';
  size_t digits = 0;
  for (size_t i = 1; i < len && digits < 3; ++i) {
    char d = digit_of(AnsiUpper(static_cast<uint8_t>(s[i])));
    if (d == '\0' || d == previous) continue;  // not a letter, or the same sound again
    if (d != '0') code[1 + digits++] = d;
    previous = d;
  }
  return Put(code, 4, out);
}

// Dates.

double Date() { return TodayDayNumber(); }

size_t Dtoc(double day, char* out) { return PutText(DtoC(day), out); }

size_t Dtos(double day, char* out) { return PutText(DtoS(day), out); }

double Ctod(const char* s, size_t len) { return CtoD(std::string_view(s, len)); }

double Day(double day) {
  Ymd d;
  return ReadBackDateText(DtoC(day), d) ? d.day : 0;
}

double Month(double day) {
  Ymd d;
  return ReadBackDateText(DtoC(day), d) ? d.month : 0;
}

double Year(double day) {
  Ymd d;
  return ReadBackDateText(DtoC(day), d) ? d.year : 0;
}

double Dow(double day) { return DayOfWeek(day); }

size_t Cdow(double day, char* out) {
  const DateNames& names = NamesOfForm(CurrentDateForm());
  int weekday = DayOfWeek(day);
  if (weekday == 0) return Space(static_cast<double>(names.day_width), out);
  return Put(names.days[weekday - 1], names.day_width, out);
}

size_t Cmonth(double day, char* out) {
  const DateNames& names = NamesOfForm(CurrentDateForm());
  Ymd d;
  if (!ReadBackDateText(DtoC(day), d) || d.month < 1 || d.month > 12) {
    return Space(static_cast<double>(names.month_width), out);
  }
  return Put(names.months[d.month - 1], names.month_width, out);
}

}  // namespace sv::xfn
