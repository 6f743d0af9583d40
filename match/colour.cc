#include "match/colour.h"

#include <cmath>
#include <limits>

#include "support/numbers.h"
#include "support/text.h"

namespace sv {
namespace {

// std::pow may differ from this in the last bit, which can move a difference
// that lies at a half across the rounding of the match value.
double Power(double base, double exponent) { return std::exp(exponent * std::log(base)); }

double Linearise(double component) {
  double v = component / 255.0;
  if (v <= 0.03928) {
    v = v / 12.92;
  } else {
    v = Power((v + 0.055) / 1.055, 2.4);
  }
  return v * 100.0;
}

// Blanks, at most four digits, blanks: the text of an N(3,0) field as the
// table layer writes it. TextToFloat and TextToSmallInt both read it as the
// plain number, whatever the separator setting, so it needs no texts built.
bool PlainComponent(std::string_view text, int* value) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  int v = 0;
  size_t digits = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits) {
    v = v * 10 + (text[i] - '0');
  }
  if (digits > 4) return false;
  for (; i < text.size(); ++i) {
    if (text[i] != ' ') return false;
  }
  *value = v;
  return true;
}

double LabCurve(double t) {
  if (t <= 0.008856) return 7.787 * t + 0.13793103448275862;
  return Power(t, 0.3333);
}

}  // namespace

Lab ToLab(double red, double green, double blue) {
  const double r = Linearise(red);
  const double g = Linearise(green);
  const double b = Linearise(blue);

  const double X = 0.4124 * r + 0.3576 * g + 0.1805 * b;
  const double Y = 0.2126 * r + 0.7152 * g + 0.0722 * b;
  const double Z = 0.0193 * r + 0.1192 * g + 0.9505 * b;

  const double x = LabCurve(X / 95.047);
  const double y = LabCurve(Y / 100.0);
  const double z = LabCurve(Z / 108.883);

  Lab lab;
  lab.L = 116.0 * y - 16.0;
  lab.a = 500.0 * (x - y);
  lab.b = 200.0 * (y - z);
  return lab;
}

double Difference(const Lab& lab1, const Lab& lab2) {
  const double dL = lab1.L - lab2.L;
  const double da = lab1.a - lab2.a;
  const double db = lab1.b - lab2.b;
  return std::fabs(std::sqrt(dL * dL + da * da + db * db));
}

int MatchValue(double difference) {
  // The number texts read "NAN" and "INF" as 0, a perfect match; a colour
  // that cannot be measured is as far away as the field allows instead.
  if (!std::isfinite(difference)) return std::numeric_limits<int16_t>::max();
  if (difference < 0) return MatchValueByText(difference);
  // The scan runs this for every thread of every line, and the texts cost
  // most of a request. For d >= 0 the text rounds half up on an 18-digit
  // expansion, finer than any double's spacing, so it never moves a value
  // across a half; reading it back clamps to 16 bits.
  if (difference >= std::numeric_limits<int16_t>::max()) {
    return std::numeric_limits<int16_t>::max();
  }
  const double whole = std::floor(difference);
  return static_cast<int>(whole) + (difference - whole >= 0.5 ? 1 : 0);
}

int MatchValueByText(double difference) {
  return TextToSmallInt(FloatToTextWidth(3, 0, difference));
}

ThreadColour ColourOfFieldTexts(std::string_view red, std::string_view green,
                                std::string_view blue) {
  ThreadColour c;
  int r, g, b;
  if (PlainComponent(red, &r) && PlainComponent(green, &g) && PlainComponent(blue, &b)) {
    c.red = r;
    c.green = g;
    c.blue = b;
    c.packed = static_cast<int64_t>(r) + 256 * static_cast<int64_t>(g) +
               65536 * static_cast<int64_t>(b);
    return c;
  }
  c.red = TextToFloat(red);
  c.green = TextToFloat(green);
  c.blue = TextToFloat(blue);
  c.packed = static_cast<int64_t>(TextToSmallInt(red)) +
             256 * static_cast<int64_t>(TextToSmallInt(green)) +
             65536 * static_cast<int64_t>(TextToSmallInt(blue));
  return c;
}

ThreadColour ColourOfPacked(int32_t packed) {
  const uint32_t p = static_cast<uint32_t>(packed);
  ThreadColour c;
  c.red = p & 0xFF;
  c.green = (p >> 8) & 0xFF;
  c.blue = (p >> 16) & 0xFF;
  c.packed = packed;
  return c;
}

int32_t PackColour(int red, int green, int blue) { return red + 256 * green + 65536 * blue; }

bool hit_result(std::string_view t_company) { return TrimRightText(t_company) == kTargetCompany; }

bool IsAccepted(int match_value, int tolerance, std::string_view t_company) {
  return match_value <= tolerance && hit_result(t_company);
}

}  // namespace sv
