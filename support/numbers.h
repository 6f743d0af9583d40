// Number routines. They follow the engine-wide decimal separator setting
// (support/locale.h): '.' or anything else, which behaves as ','.
#ifndef SV_SUPPORT_NUMBERS_H_
#define SV_SUPPORT_NUMBERS_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace sv {

std::string IntToTextWidth(int32_t value, int width);
std::string FloatToTextWidth(int width, int decimals, double value);
int16_t TextToSmallInt(std::string_view text);
void CleanNumberText(std::string& text);
double TextToFloat(std::string_view text);
int32_t TextToLong(std::string_view text);

}  // namespace sv

#endif  // SV_SUPPORT_NUMBERS_H_
