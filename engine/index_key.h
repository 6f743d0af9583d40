// Index keys: the three stored encodings (C bytes, N packed decimal, D
// double) and the order on them.
//
// A packed-decimal key is 12 bytes: byte 0 the exponent (0x34 for a number
// below 1, plus one per digit before the decimal point), byte 1 the sign in
// bit 7, bit 0 always set and the significant-digit count in bits 2..6, then
// up to 20 digits as nibbles, high nibble first.
#ifndef SV_ENGINE_INDEX_KEY_H_
#define SV_ENGINE_INDEX_KEY_H_

#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace sv {

// Key types as stored in the tag header and the tag-table entry.
constexpr char kCharKey = 'C';
constexpr char kNumericKey = 'N';
constexpr char kDateKey = 'D';

// Encodes a number's text; `decimals` only decides the digit count kept in
// byte 1. out receives 12 bytes.
void PackNumericText(std::string_view text, int decimals, uint8_t* out);
// The value formatted with `decimals` and no padding, then packed.
void PackNumber(double value, int decimals, uint8_t* out);
// The day number as the 8-byte little-endian double.
void PackDate(double day_number, uint8_t* out);
double UnpackDate(const uint8_t* key);

namespace key_detail {

// Big-endian loads, so that comparing the numbers compares the bytes in order.
inline uint64_t Word64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, sizeof v);
  if constexpr (std::endian::native == std::endian::little) {
    v = (v >> 56) | ((v >> 40) & 0xFF00) | ((v >> 24) & 0xFF0000) | ((v >> 8) & 0xFF000000) |
        ((v << 8) & 0xFF00000000) | ((v << 24) & 0xFF0000000000) | ((v << 40) & 0xFF000000000000) |
        (v << 56);
  }
  return v;
}

}  // namespace key_detail

// Unsigned byte order over n bytes, as memcmp gives it. Inline, a word at a
// time: index keys are short, and a library call per comparison costs more
// than the comparison itself.
inline int CompareCharBytes(const uint8_t* a, const uint8_t* b, size_t n) {
  for (; n >= 8; a += 8, b += 8, n -= 8) {
    const uint64_t x = key_detail::Word64(a);
    const uint64_t y = key_detail::Word64(b);
    if (x != y) return x < y ? -1 : 1;
  }
  for (; n > 0; ++a, ++b, --n) {
    if (*a != *b) return *a < *b ? -1 : 1;
  }
  return 0;
}

// The order of two packed-decimal keys, and of two date keys.
int CompareNumericKey(const uint8_t* a, const uint8_t* b);
int CompareDateKey(const uint8_t* a, const uint8_t* b);

// Order of two keys of one type, ascending: <0, 0, >0.
inline int CompareKeyBytes(char type, const uint8_t* a, const uint8_t* b, int length) {
  switch (type) {
    case kNumericKey:
      return CompareNumericKey(a, b);
    case kDateKey:
      return CompareDateKey(a, b);
    default:
      return CompareCharBytes(a, b, static_cast<size_t>(length));
  }
}

// The comparison rule of one tag.
struct KeyOrder {
  char type = kCharKey;
  int length = 0;
  bool descending = false;

  int Compare(const uint8_t* a, const uint8_t* b) const {
    return descending ? CompareKeyBytes(type, b, a, length) : CompareKeyBytes(type, a, b, length);
  }
  // Whether the stored key sorts before a search key of `n` bytes. A C search
  // key shorter than the key compares as its prefix, so every key that begins
  // with it is not less.
  bool KeyBefore(const uint8_t* key, const uint8_t* search, int n) const {
    if (type == kCharKey) {
      const int r = CompareCharBytes(key, search, static_cast<size_t>(n < length ? n : length));
      return descending ? r > 0 : r < 0;
    }
    return Compare(key, search) < 0;
  }
};

// Bytes whose plain byte order (memcmp) equals the tag's key order, for
// sorting during a build. Writes SortableLength(type, length) bytes.
int SortableLength(char type, int length);
void SortableKey(const KeyOrder& order, const uint8_t* key, uint8_t* out);

}  // namespace sv

#endif  // SV_ENGINE_INDEX_KEY_H_
