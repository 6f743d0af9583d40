#include "support/codepage.h"

#include <array>
#include <cstring>

namespace sv {
namespace {

// Unicode of bytes 0x80..0xFF. 0 marks a byte Windows-1252 leaves undefined.
constexpr uint16_t kAnsiHigh[128] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178, 0x00A0,
    0x00A1, 0x00A2, 0x00A3, 0x00A4, 0x00A5, 0x00A6, 0x00A7, 0x00A8, 0x00A9, 0x00AA, 0x00AB,
    0x00AC, 0x00AD, 0x00AE, 0x00AF, 0x00B0, 0x00B1, 0x00B2, 0x00B3, 0x00B4, 0x00B5, 0x00B6,
    0x00B7, 0x00B8, 0x00B9, 0x00BA, 0x00BB, 0x00BC, 0x00BD, 0x00BE, 0x00BF, 0x00C0, 0x00C1,
    0x00C2, 0x00C3, 0x00C4, 0x00C5, 0x00C6, 0x00C7, 0x00C8, 0x00C9, 0x00CA, 0x00CB, 0x00CC,
    0x00CD, 0x00CE, 0x00CF, 0x00D0, 0x00D1, 0x00D2, 0x00D3, 0x00D4, 0x00D5, 0x00D6, 0x00D7,
    0x00D8, 0x00D9, 0x00DA, 0x00DB, 0x00DC, 0x00DD, 0x00DE, 0x00DF, 0x00E0, 0x00E1, 0x00E2,
    0x00E3, 0x00E4, 0x00E5, 0x00E6, 0x00E7, 0x00E8, 0x00E9, 0x00EA, 0x00EB, 0x00EC, 0x00ED,
    0x00EE, 0x00EF, 0x00F0, 0x00F1, 0x00F2, 0x00F3, 0x00F4, 0x00F5, 0x00F6, 0x00F7, 0x00F8,
    0x00F9, 0x00FA, 0x00FB, 0x00FC, 0x00FD, 0x00FE, 0x00FF,
};

constexpr uint16_t kOemHigh[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8,
    0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2,
    0x00FB, 0x00F9, 0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1,
    0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD,
    0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562,
    0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534,
    0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560,
    0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF, 0x0393,
    0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6,
    0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248, 0x00B0,
    0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

struct Tables {
  std::array<uint8_t, 256> oem_to_ansi{};
  std::array<uint8_t, 256> ansi_to_oem{};
  std::array<uint8_t, 256> upper{};
  std::array<uint8_t, 256> lower{};
  std::array<bool, 256> alpha{};
};

Tables BuildTables() {
  Tables t;
  for (int i = 0; i < 128; ++i) {
    t.oem_to_ansi[i] = static_cast<uint8_t>(i);
    t.ansi_to_oem[i] = static_cast<uint8_t>(i);
  }
  bool ansi_paired[128] = {};
  bool oem_paired[128] = {};
  for (int a = 0; a < 128; ++a) {
    if (kAnsiHigh[a] == 0) continue;
    for (int o = 0; o < 128; ++o) {
      if (!oem_paired[o] && kOemHigh[o] == kAnsiHigh[a]) {
        t.ansi_to_oem[0x80 + a] = static_cast<uint8_t>(0x80 + o);
        t.oem_to_ansi[0x80 + o] = static_cast<uint8_t>(0x80 + a);
        ansi_paired[a] = oem_paired[o] = true;
        break;
      }
    }
  }
  int o = 0;
  for (int a = 0; a < 128; ++a) {
    if (ansi_paired[a]) continue;
    while (oem_paired[o]) ++o;
    t.ansi_to_oem[0x80 + a] = static_cast<uint8_t>(0x80 + o);
    t.oem_to_ansi[0x80 + o] = static_cast<uint8_t>(0x80 + a);
    oem_paired[o] = true;
  }

  for (int c = 0; c < 256; ++c) {
    t.upper[c] = t.lower[c] = static_cast<uint8_t>(c);
  }
  auto pair = [&t](int lo, int up) {
    t.upper[lo] = static_cast<uint8_t>(up);
    t.lower[up] = static_cast<uint8_t>(lo);
    t.alpha[lo] = t.alpha[up] = true;
  };
  for (int c = 'a'; c <= 'z'; ++c) pair(c, c - 32);
  for (int c = 0xE0; c <= 0xFE; ++c) {
    if (c != 0xF7) pair(c, c - 32);
  }
  pair(0x9A, 0x8A);  // s caron
  pair(0x9C, 0x8C);  // oe
  pair(0x9E, 0x8E);  // z caron
  pair(0xFF, 0x9F);  // y diaeresis
  // Letters without a single-byte partner.
  for (int c : {0x83, 0xAA, 0xB5, 0xBA, 0xDF}) t.alpha[c] = true;
  return t;
}

const Tables& T() {
  static const Tables tables = BuildTables();
  return tables;
}

uint32_t AnsiToUnicode(uint8_t c) {
  if (c < 0x80) return c;
  uint16_t u = kAnsiHigh[c - 0x80];
  return u == 0 ? c : u;
}

void AppendUtf8(std::string& out, uint32_t u) {
  if (u < 0x80) {
    out += static_cast<char>(u);
  } else if (u < 0x800) {
    out += static_cast<char>(0xC0 | (u >> 6));
    out += static_cast<char>(0x80 | (u & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (u >> 12));
    out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (u & 0x3F));
  }
}

}  // namespace

uint8_t OemToAnsiByte(uint8_t c) { return T().oem_to_ansi[c]; }
uint8_t AnsiToOemByte(uint8_t c) { return T().ansi_to_oem[c]; }

namespace {

// Both code pages agree on ASCII, so only runs with a byte above 0x7F change.
void Translate(const std::array<uint8_t, 256>& table, uint8_t* buffer, size_t n) {
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t w;
    std::memcpy(&w, buffer + i, 8);
    if ((w & 0x8080808080808080ULL) == 0) continue;
    for (size_t k = i; k < i + 8; ++k) buffer[k] = table[buffer[k]];
  }
  for (; i < n; ++i) buffer[i] = table[buffer[i]];
}

}  // namespace

void OemToAnsiBuffer(uint8_t* buffer, size_t n) { Translate(T().oem_to_ansi, buffer, n); }

void AnsiToOemBuffer(uint8_t* buffer, size_t n) { Translate(T().ansi_to_oem, buffer, n); }

std::string OemToAnsi(std::string_view oem) {
  std::string s(oem);
  OemToAnsiBuffer(reinterpret_cast<uint8_t*>(s.data()), s.size());
  return s;
}

std::string AnsiToOem(std::string_view ansi) {
  std::string s(ansi);
  AnsiToOemBuffer(reinterpret_cast<uint8_t*>(s.data()), s.size());
  return s;
}

std::string AnsiToUtf8(std::string_view ansi) {
  std::string out;
  out.reserve(ansi.size());
  for (char ch : ansi) AppendUtf8(out, AnsiToUnicode(static_cast<uint8_t>(ch)));
  return out;
}

std::string Utf8ToAnsi(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  size_t i = 0;
  while (i < utf8.size()) {
    uint8_t c = static_cast<uint8_t>(utf8[i]);
    uint32_t u;
    size_t len;
    uint32_t least;  // smallest code point of that length: shorter is overlong
    if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      u = c & 0x1F;
      len = 2;
      least = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
      u = c & 0x0F;
      len = 3;
      least = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
      u = c & 0x07;
      len = 4;
      least = 0x10000;
    } else {
      out += '?';
      ++i;
      continue;
    }
    // A broken sequence is one '?' for the lead byte and the continuation
    // bytes that did follow it.
    size_t k = 1;
    while (k < len && i + k < utf8.size() && (static_cast<uint8_t>(utf8[i + k]) & 0xC0) == 0x80) {
      u = (u << 6) | (static_cast<uint8_t>(utf8[i + k]) & 0x3F);
      ++k;
    }
    i += k;
    // Overlong forms would smuggle ASCII ('/', NUL) past a check on the
    // UTF-8 text; surrogates and values beyond Unicode are not characters.
    if (k < len || u < least || (u >= 0xD800 && u <= 0xDFFF) || u > 0x10FFFF) {
      out += '?';
      continue;
    }
    char found = '?';
    for (int a = 0; a < 128; ++a) {
      if (AnsiToUnicode(static_cast<uint8_t>(0x80 + a)) == u) {
        found = static_cast<char>(0x80 + a);
        break;
      }
    }
    out += found;
  }
  return out;
}

uint8_t AnsiUpper(uint8_t c) { return T().upper[c]; }
uint8_t AnsiLower(uint8_t c) { return T().lower[c]; }
bool AnsiIsAlpha(uint8_t c) { return T().alpha[c]; }

}  // namespace sv
