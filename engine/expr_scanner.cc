#include "engine/expr_scanner.h"

#include <charconv>

#include "engine/engine_state.h"
#include "engine/work_area.h"
#include "support/codepage.h"

namespace sv::expr {
namespace {

constexpr Keyword kKeywords[] = {
    {"ABS", kTokAbs, 0},
    {"ASC", kTokAsc, 0},
    {"AT", kTokAt, 0},
    {"CDOW", kTokCdow, 15},
    {"CHR", kTokChr, 2},
    {"CMON", kTokCmonth, 15},
    {"CMONT", kTokCmonth, 15},
    {"CMONTH", kTokCmonth, 15},
    {"CTOD", kTokCtod, 0},
    {"DATE", kTokDate, 0},
    {"DAY", kTokDay, 0},
    {"DELE", kTokDeleted, 0},
    {"DELET", kTokDeleted, 0},
    {"DELETE", kTokDeleted, 0},
    {"DELETED", kTokDeleted, 0},
    {"DOW", kTokDow, 0},
    {"DTOC", kTokDtoc, 11},
    {"DTOS", kTokDtos, 9},
    {"IIF", kTokIif, 256},
    {"INT", kTokInt, 0},
    {"LEFT", kTokLeft, 0},
    {"LEN", kTokLen, 0},
    {"LOWE", kTokLower, 0},
    {"LOWER", kTokLower, 0},
    {"LTRI", kTokLtrim, 0},
    {"LTRIM", kTokLtrim, 0},
    {"MAX", kTokMax, 0},
    {"MIN", kTokMin, 0},
    {"MOD", kTokMod, 0},
    {"MONT", kTokMonth, 0},
    {"MONTH", kTokMonth, 0},
    {"RECN", kTokRecno, 0},
    {"RECNO", kTokRecno, 0},
    {"REPL", kTokReplicate, 256},
    {"REPLI", kTokReplicate, 256},
    {"REPLIC", kTokReplicate, 256},
    {"REPLICA", kTokReplicate, 256},
    {"REPLICAT", kTokReplicate, 256},
    {"REPLICATE", kTokReplicate, 256},
    {"RIGH", kTokRight, 0},
    {"RIGHT", kTokRight, 0},
    {"ROUN", kTokRound, 0},
    {"ROUND", kTokRound, 0},
    {"RTRI", kTokRtrim, 0},
    {"RTRIM", kTokRtrim, 0},
    {"SOUN", kTokSoundex, 15},
    {"SOUND", kTokSoundex, 15},
    {"SOUNDE", kTokSoundex, 15},
    {"SOUNDEX", kTokSoundex, 15},
    {"SPAC", kTokSpace, 256},
    {"SPACE", kTokSpace, 256},
    {"STR", kTokStr, 256},
    {"STUF", kTokStuff, 0},
    {"STUFF", kTokStuff, 0},
    {"SUBS", kTokSubstr, 0},
    {"SUBST", kTokSubstr, 0},
    {"SUBSTR", kTokSubstr, 0},
    {"TRIM", kTokTrim, 0},
    {"UPPE", kTokUpper, 0},
    {"UPPER", kTokUpper, 0},
    {"VAL", kTokVal, 0},
    {"YEAR", kTokYear, 0},
    {".F.", kTokFalse, 0},
    {".T.", kTokTrue, 0},
    {".NOT.", kTokNot, 0},
    {".OR.", kTokOr, 0},
    {".AND.", kTokAnd, 0},
    {"$EOT$", kTokUnknown, 0},
};

constexpr int kEnd = -1;

bool IsDigit(int c) { return c >= '0' && c <= '9'; }
bool IsLetter(int c) { return c >= 0 && AnsiIsAlpha(static_cast<uint8_t>(c)); }
bool IsNameStart(int c) { return IsLetter(c) || c == '.' || c == '_'; }
bool IsNameChar(int c) { return IsNameStart(c) || IsDigit(c); }
bool IsFieldChar(int c) { return IsLetter(c) || IsDigit(c) || c == '_'; }
char Up(int c) { return static_cast<char>(AnsiUpper(static_cast<uint8_t>(c))); }

int FieldTokenOf(char type) {
  switch (type) {
    case 'C':
      return kTokFieldC;
    case 'N':
    case 'F':
      return kTokFieldN;
    case 'L':
      return kTokFieldL;
    case 'D':
      return kTokFieldD;
    case 'M':
      return kTokFieldM;
    default:
      return kTokUnknown;
  }
}

// 1-based position of the field of exactly that name, or 0.
int FindField(const DbfTable& t, std::string_view name) {
  if (!t.is_open()) return 0;
  for (int n = 1; n <= t.field_count; ++n) {
    if (t.field(n).Name() == name) return n;
  }
  return 0;
}

std::string_view Cut(std::string_view s, size_t n) { return s.substr(0, std::min(s.size(), n)); }

}  // namespace

const Keyword* KeywordTable() { return kKeywords; }

const Keyword& FindKeyword(std::string_view name) {
  const Keyword* k = kKeywords;
  for (; k->token != kTokUnknown; ++k) {
    if (name == k->name) return *k;
  }
  return *k;
}

Scanner::Scanner(std::string_view text) {
  size_t zero = text.find('\0');
  if (zero != std::string_view::npos) text = text.substr(0, zero);
  buf_.assign(Cut(text, kScanLimit));
  std::string_view rest = text.substr(buf_.size());
  more_ = rest.find_first_not_of(" \t") != std::string_view::npos;
}

int Scanner::Peek(size_t ahead) const {
  size_t i = pos_ + ahead;
  return i < buf_.size() ? static_cast<uint8_t>(buf_[i]) : kEnd;
}

int Scanner::Get() {
  if (pos_ >= buf_.size()) return kEnd;
  return static_cast<uint8_t>(buf_[pos_++]);
}

bool Scanner::FollowedByParen() const {
  size_t i = pos_;
  while (i < buf_.size() && (buf_[i] == ' ' || buf_[i] == '\t')) ++i;
  return i < buf_.size() && buf_[i] == '(';
}

void Scanner::NoteKeyword(const Keyword& k) {
  pool_need_ += static_cast<uint32_t>(k.reserve);
  length_ = 0;
  decimals_ = Switches().default_decimals;
}

Token Scanner::Next() {
  int c = Get();
  while (c == ' ' || c == '\t') c = Get();
  Token t;
  if (c == kEnd) {
    t.code = more_ ? kTokBad : kTokEnd;
    return t;
  }
  if (IsDigit(c)) return ScanNumber(c);
  if (c == '\'' || c == '"') return ScanLiteral(c);
  if (IsNameStart(c)) return ScanName(c);
  switch (c) {
    case '=':
      if (Peek() == '=') {
        Get();
        t.code = kTokExactEqual;
      } else {
        t.code = '=';
      }
      break;
    case '<':
      if (Peek() == '>') {
        Get();
        t.code = kTokNotEqual;
      } else if (Peek() == '=') {
        Get();
        t.code = kTokLessEqual;
      } else {
        t.code = '<';
      }
      break;
    case '>':
      if (Peek() == '=') {
        Get();
        t.code = kTokGreaterEqual;
      } else {
        t.code = '>';
      }
      break;
    case '#':
      t.code = kTokNotEqual;
      break;
    case '*':
      if (Peek() == '*') {
        Get();
        t.code = '^';
      } else {
        t.code = '*';
      }
      break;
    case '$':
      t.code = kTokContains;
      break;
    default:
      // Every other character is a token of its own; the grammar rejects
      // the ones it does not use.
      t.code = c;
      break;
  }
  return t;
}

Token Scanner::ScanNumber(int first) {
  Token t;
  std::string text(1, static_cast<char>(first));
  bool point = false;
  bool too_long = false;
  for (;;) {
    int c = Peek();
    if (c == 'e') c = 'E';
    if (IsDigit(c) || c == 'E' || (c == '.' && !point)) {
      if (c == '.') point = true;
      Get();
      if (text.size() < kMaxTokenText) {
        text += static_cast<char>(c);
      } else {
        too_long = true;
      }
      continue;
    }
    break;
  }
  length_ = 0;
  decimals_ = Switches().default_decimals;
  if (too_long) {
    // Cutting would silently change the value.
    t.code = kTokBad;
    return t;
  }
  // The longest leading number: "1E" is worth 1, "1E5E3" 1E5.
  double v = 0;
  std::from_chars(text.data(), text.data() + text.size(), v, std::chars_format::general);
  t.code = kTokNumber;
  t.number = v;
  return t;
}

Token Scanner::ScanLiteral(int quote) {
  Token t;
  for (;;) {
    int c = Get();
    if (c == kEnd) {
      t.code = kTokBad;
      return t;
    }
    if (c == quote) break;
    // Room for this character and the literal's terminator.
    if (literal_used_ + t.text.size() + 2 <= kLiteralArea) t.text += static_cast<char>(c);
  }
  literal_used_ = std::min(kLiteralArea, literal_used_ + t.text.size() + 1);
  pool_need_ += static_cast<uint32_t>(t.text.size() + 1);
  length_ = 0;
  decimals_ = Switches().default_decimals;
  t.code = kTokString;
  return t;
}

Token Scanner::ScanName(int first) {
  Token t;
  std::string name(1, Up(first));
  size_t count = 1;
  auto take = [&](std::string& into, int c) {
    ++count;
    if (count <= kMaxTokenText) into += Up(c);
  };
  while (IsNameChar(Peek())) take(name, Get());
  std::string field;
  bool has_alias = false;
  if (Peek() == '-' && Peek(1) == '>') {
    has_alias = true;
    Get();
    Get();
    count += 2;
    while (IsFieldChar(Peek())) take(field, Get());
  }
  if (count > kMaxTokenText) {
    t.code = kTokUnknown;
    return t;
  }
  if (has_alias) {
    Resolve(t, field, name, true);
  } else {
    Resolve(t, name, {}, false);
  }
  return t;
}

void Scanner::Resolve(Token& t, std::string_view name, std::string_view alias, bool has_alias) {
  t.code = kTokUnknown;
  bool call = FollowedByParen();
  const DbfTable* table = nullptr;
  int area = 0;
  if (has_alias) {
    std::string_view wanted = Cut(alias, kAliasCompare);
    for (int n = 1; n <= kLastAliasArea; ++n) {
      WorkArea* a = Area(n);
      if (a && a->is_open() && Cut(a->alias, kAliasCompare) == wanted) {
        table = a;
        area = n;
        break;
      }
    }
    if (!table) return;
  } else {
    table = CurrentArea();
  }
  int pos = table && !call ? FindField(*table, name) : 0;
  if (pos > 0) {
    const DbfFieldDef& f = table->field(pos);
    int code = FieldTokenOf(f.type);
    if (code == kTokUnknown) return;
    t.code = has_alias ? code + kAliasOffset : code;
    t.field = pos;
    t.area = area;
    t.length = f.length;
    length_ = f.length;
    if (code == kTokFieldC) pool_need_ += f.length + 1u;
    if (code == kTokFieldN) {
      bool unset = decimals_ < 0 || decimals_ > 18;
      decimals_ = unset ? f.decimals : Switches().default_decimals;
    }
    return;
  }
  if (has_alias) return;
  const Keyword& k = FindKeyword(name);
  if (k.token == kTokUnknown) return;
  NoteKeyword(k);
  t.code = k.token;
}

}  // namespace sv::expr
