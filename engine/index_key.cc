#include "engine/index_key.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "engine/mdx_format.h"

namespace sv {
namespace {

constexpr uint8_t kSignBit = 0x80;
constexpr uint8_t kAlwaysBit = 0x01;
constexpr uint8_t kZeroExponent = 0x34;
constexpr int kDigitBytes = 10;

int DigitCount(const uint8_t* k) { return (k[1] >> 2) & 0x1F; }

}  // namespace

void PackNumericText(std::string_view s, int decimals, uint8_t* out) {
  std::memset(out, 0, mdx::kNumericKeyLength);
  size_t i = 0;
  const size_t n = s.size();
  while (i < n && s[i] == ' ') ++i;
  if (i < n && s[i] == '-') {
    out[1] |= kSignBit;
    ++i;
  } else if (i < n && s[i] == '+') {
    ++i;
  }
  while (i < n && (s[i] == ' ' || s[i] == '0')) ++i;

  int exponent = kZeroExponent;
  bool point = false;
  if (i < n && s[i] == '.') {
    point = true;
    ++i;
    int zeros = 0;
    while (i < n && s[i] == '0') {
      ++zeros;
      ++i;
    }
    if (i < n && s[i] >= '1' && s[i] <= '9') exponent -= zeros;
  }
  int stored = 0;
  int trailing = 0;
  for (; i < n; ++i) {
    const char c = s[i];
    if (c == '.') {
      if (point) break;
      point = true;
      continue;
    }
    if (c < '0' || c > '9') break;
    if (!point) ++exponent;
    if (stored < mdx::kMaxPackedDigits) {
      const int d = c - '0';
      out[2 + stored / 2] |= static_cast<uint8_t>(stored % 2 == 0 ? d << 4 : d);
      ++stored;
      trailing = d == 0 ? trailing + 1 : 0;
    }
  }

  out[1] |= kAlwaysBit;
  int count;
  if (point && trailing < decimals) {
    count = stored;
  } else {
    count = stored - trailing;
    if (count > 0 && count < 10) count = 10;
  }
  count = std::min(count, mdx::kMaxPackedDigits);
  if (count == 0) {
    out[1] &= static_cast<uint8_t>(~kSignBit);
  } else {
    out[1] |= static_cast<uint8_t>(count << 2);
  }
  out[0] = static_cast<uint8_t>(std::clamp(exponent, 0, 255));
}

void PackNumber(double value, int decimals, uint8_t* out) {
  decimals = std::clamp(decimals, 0, 30);
  char buf[400];
  if (!std::isfinite(value)) value = 0;
  const bool whole = decimals == 0 && value == std::trunc(value) && std::fabs(value) < 1e15;
  auto r = whole ? std::to_chars(buf, buf + sizeof buf, static_cast<long long>(value))
                 : std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
  const size_t len = r.ec == std::errc() ? static_cast<size_t>(r.ptr - buf) : 0;
  PackNumericText(std::string_view(buf, len), decimals, out);
}

void PackDate(double day_number, uint8_t* out) {
  uint64_t bits;
  std::memcpy(&bits, &day_number, sizeof bits);
  for (int i = 0; i < 8; ++i) out[i] = static_cast<uint8_t>(bits >> (8 * i));
}

double UnpackDate(const uint8_t* key) {
  uint64_t bits = 0;
  for (int i = 0; i < 8; ++i) bits |= static_cast<uint64_t>(key[i]) << (8 * i);
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

int CompareNumericKey(const uint8_t* a, const uint8_t* b) {
  const bool neg_a = (a[1] & kSignBit) != 0;
  const bool neg_b = (b[1] & kSignBit) != 0;
  if (neg_a != neg_b) return neg_a ? -1 : 1;
  const int count_a = DigitCount(a);
  const int count_b = DigitCount(b);
  const int exp_a = count_a == 0 ? 0 : a[0];
  const int exp_b = count_b == 0 ? 0 : b[0];
  int r;
  if (exp_a != exp_b) {
    r = exp_a < exp_b ? -1 : 1;
  } else {
    // Counts come from the file; a damaged one must not read past the key.
    const int n = std::min((std::max(count_a, count_b) + 1) / 2, kDigitBytes);
    r = std::memcmp(a + 2, b + 2, static_cast<size_t>(n));
  }
  return neg_a ? -r : r;
}

int CompareDateKey(const uint8_t* a, const uint8_t* b) {
  const double x = UnpackDate(a);
  const double y = UnpackDate(b);
  return x < y ? -1 : (x > y ? 1 : 0);
}

int SortableLength(char type, int length) {
  if (type == kNumericKey) return mdx::kNumericKeyLength;
  if (type == kDateKey) return mdx::kDateKeyLength;
  return length;
}

void SortableKey(const KeyOrder& order, const uint8_t* key, uint8_t* out) {
  int n = order.length;
  if (order.type == kNumericKey) {
    // Sign class, then the exponent and digits, all inverted for negatives.
    const bool negative = (key[1] & kSignBit) != 0;
    const int count = DigitCount(key);
    const uint8_t flip = negative ? 0xFF : 0x00;
    out[0] = negative ? 0 : 1;
    out[1] = static_cast<uint8_t>((count == 0 ? 0 : key[0]) ^ flip);
    const int used = std::min((count + 1) / 2, kDigitBytes);
    for (int i = 0; i < kDigitBytes; ++i) {
      out[2 + i] = static_cast<uint8_t>((i < used ? key[2 + i] : 0) ^ flip);
    }
    n = mdx::kNumericKeyLength;
  } else if (order.type == kDateKey) {
    uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) bits |= static_cast<uint64_t>(key[i]) << (8 * i);
    bits = (bits >> 63) ? ~bits : bits | (uint64_t{1} << 63);
    for (int i = 0; i < 8; ++i) out[i] = static_cast<uint8_t>(bits >> (8 * (7 - i)));
    n = mdx::kDateKeyLength;
  } else {
    std::memcpy(out, key, static_cast<size_t>(n));
  }
  if (order.descending) {
    for (int i = 0; i < n; ++i) out[i] = static_cast<uint8_t>(~out[i]);
  }
}

}  // namespace sv
