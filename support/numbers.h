// Number routines. They follow the engine-wide decimal separator setting
// (support/locale.h): '.' or anything else, which behaves as ','.
#ifndef SV_SUPPORT_NUMBERS_H_
#define SV_SUPPORT_NUMBERS_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace sv {

// Digits with '-' in front of a negative value, blank-padded on the left to
// `width` (at most 255); never cut.
std::string IntToTextWidth(int32_t value, int width);

// Fixed-point text with `decimals` digits after the point, rounded half away
// from zero on the value's 18-digit decimal expansion, padded on the left to
// `width` and kept to at most 30 characters (padding is dropped before digits
// are). The decimal mark is the separator setting. A value that rounds to
// zero has no sign; NaN and infinities give "NAN", "INF", "-INF".
std::string FloatToTextWidth(int width, int decimals, double value);

// Lenient reading of a whole number from field or typed text, clamped to the
// 16-bit range; text that is not a number gives 0. A '-' after the first
// character ends the number.
int16_t TextToSmallInt(std::string_view text);

// Normalises typed number text in place to "-?digits[.digits]" with '.' as the
// decimal point: currency signs, '+' and thousands marks go, the text is cut
// at the first character that cannot belong to the number.
void CleanNumberText(std::string& text);

// The value of the cleaned text; 0 when it is empty. A second decimal point
// ends the number; digit runs beyond the double range give +-DBL_MAX.
double TextToFloat(std::string_view text);

// The whole-number part of the cleaned text, clamped to the 32-bit range.
int32_t TextToLong(std::string_view text);

}  // namespace sv

#endif  // SV_SUPPORT_NUMBERS_H_
