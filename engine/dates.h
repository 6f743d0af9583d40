// The engine's date conventions: dates as Julian day numbers, the engine-wide
// date form (code and century flag), and the conversions between day numbers
// and date texts shared by the table files and the expression language.
#ifndef SV_ENGINE_DATES_H_
#define SV_ENGINE_DATES_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace sv {

// A blank or invalid date.
constexpr double kBlankDate = 1e100;
// Day numbers of 1 January of year 1 and of 31 December 9999.
constexpr double kFirstDay = 1721426;
constexpr double kLastDay = 5373484;

// Date-form codes: 0 MM/DD/YY, 1 YY.MM.DD, 2 DD/MM/YY, 3 DD-MM-YY, 5 DD.MM.YY.
// The century flag makes the year four digits long.
struct DateForm {
  int code = 0;
  bool century = false;
};

DateForm CurrentDateForm();
void SetDateForm(DateForm form);
// The form chosen from a short date pattern ("MM/dd/yy", "dd.MM.yyyy", ...)
// and the system's date separator.
DateForm DateFormFromPattern(const std::string& pattern, char date_separator);
// The pattern of a form ("MM/dd/yy", "yyyy.MM.dd", ...): what the running
// program's short date format becomes once the form is chosen.
std::string PatternOfForm(DateForm form);

struct Ymd {
  int year = 0;
  int month = 0;
  int day = 0;
};

// The calendar date of a day number; false outside year 1 to 9999 and for the
// blank date. Fractions of a day are dropped.
bool YmdFromDay(double day_number, Ymd& out);
// The day number of a date; kBlankDate when the date is impossible.
double DayFromYmd(int year, int month, int day);

// Today by the system clock, unless a test fixes it.
Ymd Today();
void SetTodayOverride(const Ymd* today);
double TodayDayNumber();

// The century of a two-digit year from the window of 100 years starting 70
// years before the current year.
int CenturyWindowYear(int two_digit_year);

// Day number to the date text of the current form; the blank date text
// outside the valid days (kFirstDay to kLastDay).
std::string DtoC(double day_number);
// Day number to YYYYMMDD; 8 blanks outside the valid days.
std::string DtoS(double day_number);
// A date text read in the current form; kBlankDate when blank or invalid.
double CtoD(std::string_view text);
// The blank date text of the current form ("  /  /" plus year blanks, ...).
std::string BlankDateText();

// The three parts of a date text in the current form's order, each padded to
// at least two digits, with the year completed as CtoD does when four_digit_year
// is set and left as written otherwise. False for a blank text.
struct DateParts {
  std::string month, day, year;
};
bool SplitDateText(std::string_view text, bool four_digit_year, DateParts& out);

// A date text of the current form (as DtoC writes it) read back into its
// numbers, with the current century flag: without it the year is the two
// digits written (0 to 99). False for a blank or unreadable text.
bool ReadBackDateText(std::string_view text, Ymd& out);

// The weekday of a day number, 1 for Sunday to 7 for Saturday; 0 outside the
// valid days.
int DayOfWeek(double day_number);

// Day and month names of a form's language (code 3 Italian, 5 German, every
// other code English), each blank-padded to its table's width.
struct DateNames {
  size_t day_width;
  size_t month_width;
  const char* days[7];     // Sunday first
  const char* months[12];  // January first
};
const DateNames& NamesOfForm(DateForm form);

// Field conversions of the table files: the eight stored characters
// rearranged into the current form, and a date text back to the eight
// characters (8 blanks for an empty, blank or invalid text).
std::string StoredDateToText(std::string_view yyyymmdd);
std::string TextToStoredDate(std::string_view text);
// The same, given the eight characters the field held before: a text that is
// still what StoredDateToText made of a valid stored date gives that date
// back unchanged, so a two-digit year does not move a date outside the
// century window when an untouched field is written again.
std::string TextToStoredDate(std::string_view text, std::string_view previous_stored);

}  // namespace sv

#endif  // SV_ENGINE_DATES_H_
