// Colour science of the match: sRGB to CIELAB (D65), the CIE 1976 colour
// difference, the whole-number match value shown under "%", and which
// candidate threads a request accepts.
//
// The constants are the program's own (a 0.03928 linear threshold, a cube-root
// exponent of 0.3333, a white point rounded to three decimals, powers taken
// as exp(e * ln b)); stored match values depend on them, so they are kept
// exactly even where they differ from the textbook figures.
#ifndef SV_MATCH_COLOUR_H_
#define SV_MATCH_COLOUR_H_

#include <cstdint>
#include <string_view>

namespace sv {

struct Lab {
  double L = 0;
  double a = 0;
  double b = 0;
};

// A thread colour: its components as reals (what ToLab takes) and its packed
// form red + 256 green + 65536 blue (what a colour chip takes).
struct ThreadColour {
  double red = 0;
  double green = 0;
  double blue = 0;
  // 64-bit: a damaged record's components may lie far outside 0..255.
  int64_t packed = 0;
};

// Components are nominally 0..255; other values are converted all the same.
Lab ToLab(double red, double green, double blue);
inline Lab ToLab(const ThreadColour& c) { return ToLab(c.red, c.green, c.blue); }

double Difference(const Lab& lab1, const Lab& lab2);

// The difference rounded half up through the program's number texts, as the
// N(3,0) field r_match holds it. Differences beyond the 16-bit range, and
// non-finite ones, give 32767.
int MatchValue(double difference);
// The same value computed through the number texts themselves; MatchValue
// takes a shorter road to it.
int MatchValueByText(double difference);

// From the field texts of t_red, t_green, t_blue of a master record: the reals
// by TextToFloat, the packed colour by TextToSmallInt.
ThreadColour ColourOfFieldTexts(std::string_view red, std::string_view green,
                                std::string_view blue);

// From a packed colour (the colour dialog): its low three bytes.
ThreadColour ColourOfPacked(int32_t packed);

int32_t PackColour(int red, int green, int blue);

// The edition's own line.
inline constexpr std::string_view kTargetCompany = "OSTRA";

// True when the record's t_company, trimmed on the right, is exactly "OSTRA".
bool hit_result(std::string_view t_company);

// A candidate is accepted when its match value is within the tolerance and it
// belongs to the edition's own line.
bool IsAccepted(int match_value, int tolerance, std::string_view t_company);

}  // namespace sv

#endif  // SV_MATCH_COLOUR_H_
