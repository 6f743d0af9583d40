// The scanner of the expression language: turns the text into tokens,
// resolves names to fields of the open tables, keywords and functions, and
// adds up what the compiled expression will need (working pool, result
// length and decimals).
//
// Only the first kScanLimit characters are scanned, up to the first zero
// byte. Letters outside string literals are upper-cased as they are read, and
// the point is an identifier character, so "a.and.b" is one name. A text that
// goes on (with more than blanks) beyond the scanned part, a number longer
// than kMaxTokenText characters and an unterminated literal give kTokBad; a
// name that long is an unrecognised name.
#ifndef SV_ENGINE_EXPR_SCANNER_H_
#define SV_ENGINE_EXPR_SCANNER_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/expr_codes.h"

namespace sv::expr {

// One accepted name: abbreviations are entries of their own. `reserve` is the
// working-pool room the function needs for its result.
struct Keyword {
  const char* name;
  int token;
  int reserve;
};

// The keyword table in its search order, ending with the sentinel "$EOT$"
// whose token is kTokUnknown.
const Keyword* KeywordTable();
// The entry of exactly that (upper-case) name, or the sentinel.
const Keyword& FindKeyword(std::string_view name);

struct Token {
  int code = kTokEnd;
  double number = 0;     // kTokNumber
  std::string text;      // kTokString: the characters kept
  int field = 0;         // field tokens: 1-based position
  int area = 0;          // alias field tokens: the work area number
  int length = 0;        // field tokens: the field's length
};

class Scanner {
 public:
  explicit Scanner(std::string_view text);

  Token Next();

  // 0-based index of the last character read; -1 before the first.
  int last_read() const { return static_cast<int>(pos_) - 1; }

  // Working pool need so far: each character field its length + 1, each
  // literal its kept characters + 1, each keyword its reserve.
  uint32_t pool_need() const { return pool_need_; }
  // The current length (-1 unset) and decimals (-1 unset) of the rule for
  // the result length: fields set the length, every other operand and
  // keyword resets it to 0 with the default decimals.
  int current_length() const { return length_; }
  int current_decimals() const { return decimals_; }

 private:
  int Peek(size_t ahead = 0) const;
  int Get();
  bool FollowedByParen() const;
  Token ScanNumber(int first);
  Token ScanLiteral(int quote);
  Token ScanName(int first);
  void Resolve(Token& t, std::string_view name, std::string_view alias, bool has_alias);
  void NoteKeyword(const Keyword& k);

  std::string buf_;
  bool more_ = false;  // text beyond the scanned part
  size_t pos_ = 0;
  size_t literal_used_ = 0;
  uint32_t pool_need_ = 0;
  int length_ = -1;
  int decimals_ = -1;
};

}  // namespace sv::expr

#endif  // SV_ENGINE_EXPR_SCANNER_H_
