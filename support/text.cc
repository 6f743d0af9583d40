#include "support/text.h"

#include <cstddef>

#include "support/codepage.h"

namespace sv {
namespace {

bool IsBlankOrControl(char c) { return static_cast<uint8_t>(c) <= 32; }

bool IsWordDelimiter(char c) {
  switch (c) {
    case ' ':
    case '"':
    case '$':
    case '(':
    case ')':
    case '*':
    case ',':
    case '-':
    case '.':
    case '/':
    case ':':
    case '[':
    case '\\':
    case ']':
      return true;
    default:
      return false;
  }
}

// A word stays when it runs on into a longer name ("EXCLUSIVELY", a path
// that continues with '\').
bool ContinuesWord(char c) {
  uint8_t u = static_cast<uint8_t>(c);
  return AnsiIsAlpha(u) || (c >= '0' && c <= '9') || c == '\\' || c == '_';
}

}  // namespace

std::string TrimRightText(std::string_view text) {
  size_t end = text.size();
  while (end > 0 && IsBlankOrControl(text[end - 1])) --end;
  return std::string(text.substr(0, end));
}

std::string TrimLeftText(std::string_view text) {
  size_t start = 0;
  while (start < text.size() && IsBlankOrControl(text[start])) ++start;
  return std::string(text.substr(start));
}

std::string TrimText(std::string_view text) {
  size_t start = 0;
  while (start < text.size() && IsBlankOrControl(text[start])) ++start;
  size_t end = text.size();
  while (end > start && IsBlankOrControl(text[end - 1])) --end;
  return std::string(text.substr(start, end - start));
}

std::string UpperText(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(AnsiUpper(static_cast<uint8_t>(c)));
  return out;
}

std::string LowerText(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(AnsiLower(static_cast<uint8_t>(c)));
  return out;
}

std::string Blanks(int32_t n) { return RepeatChar(' ', n); }

std::string RepeatChar(char c, int32_t n) {
  if (n <= 0) return std::string();
  return std::string(static_cast<size_t>(n), c);
}

bool StartsWithLetter(std::string_view text) {
  return !text.empty() && AnsiIsAlpha(static_cast<uint8_t>(text[0]));
}

std::string ProperCaseText(std::string_view text) {
  std::string out = LowerText(text);
  for (size_t i = 0; i < out.size(); ++i) {
    if (i == 0 || IsWordDelimiter(out[i - 1])) {
      out[i] = static_cast<char>(AnsiUpper(static_cast<uint8_t>(out[i])));
    }
  }
  return out;
}

int CountOccurrences(std::string_view needle, std::string_view text) {
  if (needle.empty() || text.empty()) return 0;
  int count = 0;
  size_t at = text.find(needle);
  while (at != std::string_view::npos) {
    ++count;
    at = text.find(needle, at + needle.size());
  }
  return count;
}

int NthOccurrencePos(int n, std::string_view needle, std::string_view text) {
  if (n == 0 || needle.empty() || needle.size() > text.size()) return 0;
  // Occurrences are taken one after another in the direction of the search,
  // so the n-th from the left is the one CountOccurrences counts n-th.
  if (n > 0) {
    size_t at = text.find(needle);
    for (int k = 1; k < n && at != std::string_view::npos; ++k) {
      at = text.find(needle, at + needle.size());
    }
    return at == std::string_view::npos ? 0 : static_cast<int>(at) + 1;
  }
  size_t at = text.rfind(needle);
  for (int k = -1; k > n && at != std::string_view::npos; --k) {
    if (at < needle.size()) return 0;
    at = text.rfind(needle, at - needle.size());
  }
  return at == std::string_view::npos ? 0 : static_cast<int>(at) + 1;
}

int PosNoCase(const char* needle, uint16_t needle_length, const char* text, uint16_t text_length) {
  if (needle == nullptr || text == nullptr || needle_length == 0 || needle_length > text_length) {
    return 0;
  }
  for (size_t i = 0; i + needle_length <= text_length; ++i) {
    size_t k = 0;
    while (k < needle_length && AnsiUpper(static_cast<uint8_t>(text[i + k])) ==
                                    AnsiUpper(static_cast<uint8_t>(needle[k]))) {
      ++k;
    }
    if (k == needle_length) return static_cast<int>(i) + 1;
  }
  return 0;
}

bool RemoveWord(std::string_view word, std::string& text) {
  text = UpperText(text);
  bool removed = false;
  if (!word.empty()) {
    size_t from = 0;
    while ((from = text.find(word, from)) != std::string::npos) {
      size_t after = from + word.size();
      if (after < text.size() && ContinuesWord(text[after])) {
        ++from;
        continue;
      }
      text.erase(from, word.size());
      removed = true;
    }
  }
  text = TrimText(text);
  return removed;
}

}  // namespace sv
