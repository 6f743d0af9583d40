// What each built-in function of the expression language computes. The
// evaluation machine calls these with its arguments already taken off the
// working stack; they know nothing of the stack or the pool.
//
// Character values hold at most kMaxText characters. A function with a
// character result writes it to `out` (room for kMaxText + 1 bytes),
// zero-terminates it and answers its length; a longer result is cut to
// kMaxText. `out` may be the address of the first character argument (the
// machine puts a result where its first argument was), so every function
// reads its arguments before it overwrites them. The in-place functions work
// on `s`, which has room for kMaxText + 1 bytes, and zero-terminate it.
//
// Numeric arguments used as counts, positions, widths or codes are truncated
// toward zero first. Numbers are formatted and read with '.' as the decimal
// point whatever the locale.
#ifndef SV_ENGINE_EXPR_FUNCTIONS_H_
#define SV_ENGINE_EXPR_FUNCTIONS_H_

#include <cstddef>

namespace sv::xfn {

constexpr size_t kMaxText = 255;

// Numbers.
double Abs(double n);
double Int(double n);
double Mod(double a, double b);
double Max(double a, double b);
double Min(double a, double b);
double Round(double n, double decimals);
// STR(n [, width [, decimals]]): the caller passes 10 and 0 for missing ones.
size_t Str(double n, double width, double decimals, char* out);
double Val(const char* s, size_t len);
double Asc(const char* s, size_t len);
double At(const char* needle, size_t needle_len, const char* text, size_t text_len);

// Characters.
size_t Chr(double code, char* out);
size_t Upper(char* s, size_t len);
size_t Lower(char* s, size_t len);
size_t LTrim(char* s, size_t len);
size_t RTrim(char* s, size_t len);  // also TRIM
size_t Left(char* s, size_t len, double n);
size_t Right(char* s, size_t len, double n);
size_t Substr(const char* s, size_t len, double start, double count, char* out);
size_t Stuff(const char* s, size_t len, double start, double count, const char* r, size_t r_len,
             char* out);
size_t Replicate(const char* s, size_t len, double n, char* out);
size_t Space(double n, char* out);
size_t Iif(bool condition, const char* a, size_t a_len, const char* b, size_t b_len, char* out);
size_t Soundex(const char* s, size_t len, char* out);

// Dates, as Julian day numbers (kBlankDate of engine/dates.h for a blank date).
double Date();
size_t Dtoc(double day, char* out);
size_t Dtos(double day, char* out);
double Ctod(const char* s, size_t len);
double Day(double day);
double Month(double day);
double Year(double day);
double Dow(double day);
size_t Cdow(double day, char* out);
size_t Cmonth(double day, char* out);

}  // namespace sv::xfn

#endif  // SV_ENGINE_EXPR_FUNCTIONS_H_
