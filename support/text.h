// Text routines of the program. Texts are byte strings in the ANSI code page;
// a blank or control character is any byte 0 to 32. Each routine returns a
// new text and leaves its argument unchanged, except RemoveWord.
#ifndef SV_SUPPORT_TEXT_H_
#define SV_SUPPORT_TEXT_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace sv {

std::string TrimRightText(std::string_view text);
std::string TrimLeftText(std::string_view text);
std::string TrimText(std::string_view text);
std::string UpperText(std::string_view text);
std::string LowerText(std::string_view text);
std::string Blanks(int32_t n);
std::string RepeatChar(char c, int32_t n);
bool StartsWithLetter(std::string_view text);
std::string ProperCaseText(std::string_view text);
int CountOccurrences(std::string_view needle, std::string_view text);
int NthOccurrencePos(int n, std::string_view needle, std::string_view text);
int PosNoCase(const char* needle, uint16_t needle_length, const char* text, uint16_t text_length);
// Upper-cases `text`, deletes every occurrence of `word` (upper case, with its
// leading blank) not followed by a letter, a digit, '\' or '_', then trims it.
// True when something was deleted.
bool RemoveWord(std::string_view word, std::string& text);

}  // namespace sv

#endif  // SV_SUPPORT_TEXT_H_
