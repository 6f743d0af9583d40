#include "engine/dates.h"

#include <cmath>
#include <ctime>
#include <optional>

namespace sv {
namespace {

DateForm g_form;
std::optional<Ymd> g_today_override;

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

long long DaysBeforeYear(long long y) {
  long long p = y - 1;
  return 365 * p + p / 4 - p / 100 + p / 400;
}

std::string Pad2(int v) {
  std::string s = std::to_string(v);
  return s.size() < 2 ? std::string(2 - s.size(), '0') + s : s;
}

std::string Pad4(int v) {
  std::string s = std::to_string(v);
  return s.size() < 4 ? std::string(4 - s.size(), '0') + s : s;
}

char SeparatorOf(int code) {
  switch (code) {
    case 1:
      return '.';
    case 3:
      return '-';
    case 5:
      return '.';
    default:
      return '/';
  }
}

std::string Trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && s[b] == ' ') ++b;
  while (e > b && s[e - 1] == ' ') --e;
  return std::string(s.substr(b, e - b));
}

// Digits only; -1 otherwise.
int ReadDigits(std::string_view s) {
  if (s.empty()) return -1;
  int v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return -1;
    v = v * 10 + (c - '0');
  }
  return v;
}

// Builds text from the three parts in the order of the form.
std::string Arrange(DateForm form, const std::string& y, const std::string& m,
                    const std::string& d) {
  char sep = SeparatorOf(form.code);
  switch (form.code) {
    case 1:
      return y + sep + m + sep + d;
    case 2:
    case 3:
    case 5:
      return d + sep + m + sep + y;
    default:
      return m + sep + d + sep + y;
  }
}

}  // namespace

DateForm CurrentDateForm() { return g_form; }
void SetDateForm(DateForm form) { g_form = form; }

DateForm DateFormFromPattern(const std::string& pattern, char date_separator) {
  DateForm form;
  std::string upper;
  for (char c : pattern) upper += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  form.century = upper.find("YYYY") != std::string::npos;
  char first = pattern.empty() ? ' ' : pattern[0];
  if (first == 'D' || first == 'd') {
    form.code = date_separator == '-' ? 3 : date_separator == '.' ? 5 : 2;
  } else if (first == 'Y' || first == 'y') {
    form.code = 1;
  } else {
    form.code = 0;
  }
  return form;
}

std::string PatternOfForm(DateForm form) {
  return Arrange(form, form.century ? "yyyy" : "yy", "MM", "dd");
}

bool YmdFromDay(double day_number, Ymd& out) {
  if (!(day_number >= kFirstDay && day_number < kLastDay + 1)) return false;
  long long n = static_cast<long long>(std::floor(day_number)) - 1721425;  // 1 = 1 Jan 1
  // Estimate the year, then correct.
  long long y = (n * 400) / 146097 + 1;
  while (DaysBeforeYear(y) >= n) --y;
  while (DaysBeforeYear(y + 1) < n) ++y;
  long long doy = n - DaysBeforeYear(y);
  int m = 1;
  while (doy > DaysInMonth(static_cast<int>(y), m)) {
    doy -= DaysInMonth(static_cast<int>(y), m);
    ++m;
  }
  out.year = static_cast<int>(y);
  out.month = m;
  out.day = static_cast<int>(doy);
  return true;
}

double DayFromYmd(int year, int month, int day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month)) {
    return kBlankDate;
  }
  long long doy = day;
  for (int m = 1; m < month; ++m) doy += DaysInMonth(year, m);
  return static_cast<double>(DaysBeforeYear(year) + doy + 1721425);
}

Ymd Today() {
  if (g_today_override) return *g_today_override;
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return Ymd{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

void SetTodayOverride(const Ymd* today) {
  if (today) {
    g_today_override = *today;
  } else {
    g_today_override.reset();
  }
}

double TodayDayNumber() {
  Ymd t = Today();
  return DayFromYmd(t.year, t.month, t.day);
}

int CenturyWindowYear(int yy) {
  int s = Today().year - 70;
  int base = (s / 100) * 100;
  return yy < s % 100 ? base + 100 + yy : base + yy;
}

std::string BlankDateText() {
  std::string year(g_form.century ? 4 : 2, ' ');
  return Arrange(g_form, year, "  ", "  ");
}

std::string DtoC(double day_number) {
  Ymd d;
  if (!YmdFromDay(day_number, d)) return BlankDateText();
  std::string year = Pad4(d.year);
  if (!g_form.century) year = year.substr(2);
  return Arrange(g_form, year, Pad2(d.month), Pad2(d.day));
}

std::string DtoS(double day_number) {
  Ymd d;
  if (!YmdFromDay(day_number, d)) return std::string(8, ' ');
  return Pad4(d.year) + Pad2(d.month) + Pad2(d.day);
}

bool ReadBackDateText(std::string_view text, Ymd& out) {
  DateParts parts;
  if (!SplitDateText(text, g_form.century, parts)) return false;
  int month = ReadDigits(parts.month);
  int day = ReadDigits(parts.day);
  int year = ReadDigits(parts.year);
  if (month < 0 || day < 0 || year < 0) return false;
  out = Ymd{year, month, day};
  return true;
}

int DayOfWeek(double day_number) {
  Ymd d;
  if (!YmdFromDay(day_number, d)) return 0;
  // Zeller's congruence, January and February counted as months 13 and 14 of
  // the year before; h is 0 for Saturday.
  int m = d.month, y = d.year;
  if (m < 3) {
    m += 12;
    --y;
  }
  int k = y % 100, j = y / 100;
  int h = (d.day + 13 * (m + 1) / 5 + k + k / 4 + j / 4 + 5 * j) % 7;
  return (h + 6) % 7 + 1;
}

const DateNames& NamesOfForm(DateForm form) {
  static const DateNames kEnglish = {
      9,
      9,
      {"Sunday   ", "Monday   ", "Tuesday  ", "Wednesday", "Thursday ", "Friday   ", "Saturday "},
      {"January  ", "February ", "March    ", "April    ", "May      ", "June     ", "July     ",
       "August   ", "September", "October  ", "November ", "December "}};
  static const DateNames kItalian = {
      9,
      9,
      {"Domenica ", "Lunedi   ", "Martedi  ", "Mercoledi", "Giovedi  ", "Venerdi  ", "Sabato   "},
      {"Gennaio  ", "Febbraio ", "Marzo    ", "Aprile   ", "Maggio   ", "Giugno   ", "Luglio   ",
       "Agosto   ", "Settembre", "Ottobre  ", "Novembre ", "Dicembre "}};
  // March keeps the OEM byte of its a-umlaut, as the name has always been stored.
  static const DateNames kGerman = {
      10,
      9,
      {"Sonntag   ", "Montag    ", "Dienstag  ", "Mittwoch  ", "Donnerstag", "Freitag   ",
       "Samstag   "},
      {"Januar   ", "Februar  ", "M\x84rz     ", "April    ", "Mai      ", "Juni     ", "Juli     ",
       "August   ", "September", "Oktober  ", "November ", "Dezember "}};
  switch (form.code) {
    case 3:
      return kItalian;
    case 5:
      return kGerman;
    default:
      return kEnglish;
  }
}

bool SplitDateText(std::string_view text, bool four_digit_year, DateParts& out) {
  text = text.substr(0, 10);
  char sep = 0;
  for (char c : {'/', '-', '.'}) {
    if (text.find(c) != std::string_view::npos) {
      sep = c;
      break;
    }
  }
  if (sep == 0) return false;
  size_t p1 = text.find(sep);
  size_t p2 = text.find(sep, p1 + 1);
  std::string parts[3];
  parts[0] = Trim(text.substr(0, p1));
  if (p2 == std::string_view::npos) {
    parts[1] = Trim(text.substr(p1 + 1));
  } else {
    parts[1] = Trim(text.substr(p1 + 1, p2 - p1 - 1));
    parts[2] = Trim(text.substr(p2 + 1));
  }
  if (parts[0].empty() && parts[1].empty() && parts[2].empty()) return false;
  for (std::string& p : parts) {
    if (p.size() > 4) p.resize(4);
    if (p.size() < 2) p.insert(0, 2 - p.size(), '0');
  }
  switch (g_form.code) {
    case 1:
      out.year = parts[0];
      out.month = parts[1];
      out.day = parts[2];
      break;
    case 2:
    case 3:
    case 5:
      out.day = parts[0];
      out.month = parts[1];
      out.year = parts[2];
      break;
    default:
      out.month = parts[0];
      out.day = parts[1];
      out.year = parts[2];
      break;
  }
  if (four_digit_year) {
    if (out.year.size() == 2) {
      int yy = ReadDigits(out.year);
      if (yy >= 0) out.year = Pad4(CenturyWindowYear(yy));
    } else if (out.year.size() == 3) {
      out.year.insert(0, 1, '0');
    }
  }
  return true;
}

double CtoD(std::string_view text) {
  std::string_view cut = text.substr(0, 10);
  std::string mdy;
  DateParts parts;
  bool has_separator = cut.find_first_of("/-.") != std::string_view::npos;
  if (has_separator) {
    if (!SplitDateText(cut, true, parts)) return kBlankDate;
    mdy = parts.month + "/" + parts.day + "/" + parts.year;
  } else {
    mdy = std::string(cut);
  }
  if (mdy.size() < 10) return kBlankDate;
  int month = ReadDigits(std::string_view(mdy).substr(0, 2));
  int day = ReadDigits(std::string_view(mdy).substr(3, 2));
  int year = ReadDigits(std::string_view(mdy).substr(6, 4));
  if (month < 0 || day < 0 || year < 0) return kBlankDate;
  return DayFromYmd(year, month, day);
}

std::string StoredDateToText(std::string_view s) {
  std::string v(s.substr(0, 8));
  v.resize(8, ' ');
  std::string year = g_form.century ? v.substr(0, 4) : v.substr(2, 2);
  return Arrange(g_form, year, v.substr(4, 2), v.substr(6, 2));
}

std::string TextToStoredDate(std::string_view text) {
  bool only_blanks_and_separators = true;
  for (char c : text) {
    if (c != ' ' && c != '/' && c != '-' && c != '.') {
      only_blanks_and_separators = false;
      break;
    }
  }
  if (only_blanks_and_separators) return std::string(8, ' ');
  // Read in the current form; CtoD completes a two-digit year by the window.
  return DtoS(CtoD(text));
}

std::string TextToStoredDate(std::string_view text, std::string_view previous_stored) {
  if (previous_stored.size() == 8) {
    std::string previous(previous_stored);
    Ymd d;
    bool valid = false;
    int year = ReadDigits(previous_stored.substr(0, 4));
    int month = ReadDigits(previous_stored.substr(4, 2));
    int day = ReadDigits(previous_stored.substr(6, 2));
    if (year >= 0 && month >= 0 && day >= 0) {
      valid = YmdFromDay(DayFromYmd(year, month, day), d);
    }
    if (valid && StoredDateToText(previous) == text) return previous;
  }
  return TextToStoredDate(text);
}

}  // namespace sv
