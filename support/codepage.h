// The two code pages of the program: table files hold text in the OEM code
// page (437), the program works in the ANSI code page (Windows-1252).
//
// The conversion is one bijection over all 256 byte values: characters that
// both code pages have map to each other, and the remaining bytes of each side
// are paired in ascending order. So every byte stored reads back unchanged.
#ifndef SV_SUPPORT_CODEPAGE_H_
#define SV_SUPPORT_CODEPAGE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace sv {

uint8_t OemToAnsiByte(uint8_t c);
uint8_t AnsiToOemByte(uint8_t c);

// In place, over n bytes.
void OemToAnsiBuffer(uint8_t* buffer, size_t n);
void AnsiToOemBuffer(uint8_t* buffer, size_t n);

std::string OemToAnsi(std::string_view oem);
std::string AnsiToOem(std::string_view ansi);

// For text that leaves or enters the program (terminal, command line).
// The five bytes Windows-1252 leaves undefined map to the C1 controls of the
// same value; characters Windows-1252 lacks become '?'.
std::string AnsiToUtf8(std::string_view ansi);
std::string Utf8ToAnsi(std::string_view utf8);

// Single-byte case mapping and letter test of the ANSI code page, accented
// letters included.
uint8_t AnsiUpper(uint8_t c);
uint8_t AnsiLower(uint8_t c);
bool AnsiIsAlpha(uint8_t c);

}  // namespace sv

#endif  // SV_SUPPORT_CODEPAGE_H_
