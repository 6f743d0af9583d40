#include "engine/expr_parser.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "engine/engine_state.h"
#include "engine/error.h"
#include "engine/expr_scanner.h"

namespace sv::expr {
namespace {

constexpr int kCompileError = 351;
constexpr int kNoMemory = 217;
constexpr char kSyntaxError[] = "Syntax error";
constexpr char kStackOverflow[] = "Parser_stack_overflow";

// Thrown after a compile error has been reported; Compile catches it.
struct Abort {};

// Argument types and result of a function; MAX and MIN are checked apart.
struct Signature {
  int token;
  const char* name;
  int min_args;
  int max_args;
  int args[4];
  int result;
};

constexpr int C = kTypeC, N = kTypeN, L = kTypeL, D = kTypeD;

constexpr Signature kSignatures[] = {
    {kTokAbs, "ABS", 1, 1, {N}, N},
    {kTokAsc, "ASC", 1, 1, {C}, N},
    {kTokAt, "AT", 2, 2, {C, C}, N},
    {kTokCdow, "CDOW", 1, 1, {D}, C},
    {kTokChr, "CHR", 1, 1, {N}, C},
    {kTokCmonth, "CMONTH", 1, 1, {D}, C},
    {kTokCtod, "CTOD", 1, 1, {C}, D},
    {kTokDate, "DATE", 0, 0, {}, D},
    {kTokDay, "DAY", 1, 1, {D}, N},
    {kTokDeleted, "DELETED", 0, 0, {}, L},
    {kTokDow, "DOW", 1, 1, {D}, N},
    {kTokDtoc, "DTOC", 1, 1, {D}, C},
    {kTokDtos, "DTOS", 1, 1, {D}, C},
    {kTokIif, "IIF", 3, 3, {L, C, C}, C},
    {kTokInt, "INT", 1, 1, {N}, N},
    {kTokLeft, "LEFT", 2, 2, {C, N}, C},
    {kTokLen, "LEN", 1, 1, {C}, N},
    {kTokLower, "LOWER", 1, 1, {C}, C},
    {kTokLtrim, "LTRIM", 1, 1, {C}, C},
    {kTokMax, "MAX", 2, 2, {}, N},
    {kTokMin, "MIN", 2, 2, {}, N},
    {kTokMod, "MOD", 2, 2, {N, N}, N},
    {kTokMonth, "MONTH", 1, 1, {D}, N},
    {kTokRecno, "RECNO", 0, 0, {}, N},
    {kTokReplicate, "REPLICATE", 2, 2, {C, N}, C},
    {kTokRight, "RIGHT", 2, 2, {C, N}, C},
    {kTokRound, "ROUND", 2, 2, {N, N}, N},
    {kTokRtrim, "RTRIM", 1, 1, {C}, C},
    {kTokSoundex, "SOUNDEX", 1, 1, {C}, C},
    {kTokSpace, "SPACE", 1, 1, {N}, C},
    {kTokStr, "STR", 1, 3, {N, N, N}, C},
    {kTokStuff, "STUFF", 4, 4, {C, N, N, C}, C},
    {kTokSubstr, "SUBSTR", 3, 3, {C, N, N}, C},
    {kTokTrim, "TRIM", 1, 1, {C}, C},
    {kTokUpper, "UPPER", 1, 1, {C}, C},
    {kTokVal, "VAL", 1, 1, {C}, N},
    {kTokYear, "YEAR", 1, 1, {D}, N},
};

const Signature* SignatureOf(int token) {
  for (const Signature& s : kSignatures) {
    if (s.token == token) return &s;
  }
  return nullptr;
}

// Binding of an infix operator token; 0 for any other token.
int Precedence(int token) {
  switch (token) {
    case '^':
      return 8;
    case '*':
    case '/':
      return 7;
    case '+':
    case '-':
      return 6;
    case '<':
    case '>':
    case kTokLessEqual:
    case kTokGreaterEqual:
      return 5;
    case kTokContains:
    case kTokExactEqual:
      return 4;
    case '=':
    case kTokNotEqual:
      return 3;
    case kTokAnd:
      return 2;
    case kTokOr:
      return 1;
    default:
      return 0;
  }
}

const char* OperatorName(int token) {
  switch (token) {
    case '+':
      return "+";
    case '-':
      return "-";
    case '*':
      return "*";
    case '/':
      return "/";
    case '^':
      return "** or ^";
    case '=':
      return "=";
    case kTokContains:
      return "$";
    case kTokExactEqual:
      return "==";
    case '>':
      return ">";
    case '<':
      return "<";
    case kTokNotEqual:
      return "<>";
    case kTokLessEqual:
      return "<=";
    case kTokGreaterEqual:
      return ">=";
    case kTokOr:
      return ".OR.";
    case kTokAnd:
      return ".AND.";
    default:
      return "";
  }
}

// Opcode and result type of `l op r`; opcode 0 for a type mismatch.
int BinaryOpcode(int op, int l, int r, int& result) {
  result = kTypeL;
  auto pick = [&](int n, int d, int c, int lg) {
    if (l != r) return 0;
    if (l == N) return n;
    if (l == D) return d;
    if (l == C) return c;
    if (l == L) return lg;
    return 0;
  };
  switch (op) {
    case '+':
      if (l == N && r == N) return result = N, kOpAddNN;
      if (l == N && r == D) return result = D, kOpAddND;
      if (l == D && r == N) return result = D, kOpAddDN;
      if (l == C && r == C) return result = C, kOpAddCC;
      return 0;
    case '-':
      if (l == N && r == N) return result = N, kOpSubNN;
      if (l == D && r == N) return result = D, kOpSubDN;
      if (l == D && r == D) return result = N, kOpSubDD;
      if (l == C && r == C) return result = C, kOpSubCC;
      return 0;
    case '*':
      return l == N && r == N ? (result = N, kOpMul) : 0;
    case '/':
      return l == N && r == N ? (result = N, kOpDiv) : 0;
    case '^':
      return l == N && r == N ? (result = N, kOpPow) : 0;
    case '=':
      return pick(kOpEqN, kOpEqD, kOpEqC, kOpEqL);
    case kTokContains:
      return l == C && r == C ? kOpContains : 0;
    case kTokExactEqual:
      return l == C && r == C ? kOpExactEqC : 0;
    case '>':
      return pick(kOpGtN, kOpGtD, kOpGtC, 0);
    case '<':
      return pick(kOpLtN, kOpLtD, kOpLtC, 0);
    case kTokNotEqual:
      return pick(kOpNeN, kOpNeD, kOpNeC, kOpNeL);
    case kTokLessEqual:
      return pick(kOpLeN, kOpLeD, kOpLeC, 0);
    case kTokGreaterEqual:
      return pick(kOpGeN, kOpGeD, kOpGeC, 0);
    case kTokOr:
      return l == L && r == L ? kOpOr : 0;
    case kTokAnd:
      return l == L && r == L ? kOpAnd : 0;
    default:
      return 0;
  }
}

bool IsFunctionToken(int code) { return SignatureOf(code) != nullptr; }

char TypeLetter(int type) {
  switch (type) {
    case kTypeC:
      return 'C';
    case kTypeN:
      return 'N';
    case kTypeL:
      return 'L';
    case kTypeD:
      return 'D';
    default:
      return 'M';
  }
}

int FieldType(int token) {
  static const int kTypes[] = {kTypeC, kTypeN, kTypeL, kTypeD, kTypeM};
  int i = token >= kTokAliasC ? token - kTokAliasC : token - kTokFieldC;
  return kTypes[i];
}

class Parser {
 public:
  Parser(std::string_view text, CompiledExpr& out) : text_(text), scanner_(text), out_(out) {
    size_t zero = text_.find('\0');
    if (zero != std::string_view::npos) text_ = text_.substr(0, zero);
  }

  void Parse() {
    int type = ParseExpr(1);
    if (Look().code != kTokEnd) Fail(kSyntaxError);
    Emit({kOpEnd, 0, type, 0, {}}, 0);
    Finish(type);
  }

 private:
  const Token& Look() {
    if (!have_) {
      tok_ = scanner_.Next();
      have_ = true;
    }
    return tok_;
  }

  // Pushes the lookahead onto the (counted) parse stack.
  void Shift() {
    if (depth_ >= kParserStackSize) Fail(kStackOverflow);
    ++depth_;
    have_ = false;
  }

  void Reduce(int symbols) { depth_ -= symbols - 1; }

  // An operator is reduced only on a token that can follow an expression;
  // on any other the parse fails first.
  void NeedFollow() {
    int code = Look().code;
    if (Precedence(code) > 0 || code == ')' || code == ',' || code == kTokEnd) return;
    Fail(kSyntaxError);
  }

  [[noreturn]] void Fail(const std::string& what) {
    std::string detail = "Error in expression : " + what + "\r\n" +
                         ErrorWindow(text_, scanner_.last_read()) + "\r\n [AssignExpr]";
    ReportError(kCompileError, detail);
    throw Abort{};
  }

  [[noreturn]] void FailMemory(const char* where) {
    ReportError(kNoMemory, where);
    throw Abort{};
  }

  void Emit(const Instruction& ins, int stack_change) {
    try {
      out_.program.push_back(ins);
    } catch (const std::bad_alloc&) {
      FailMemory(" [PARSER/SStackCheck]");
    }
    stack_ += stack_change;
    max_stack_ = std::max(max_stack_, stack_);
  }

  void EmitNumber(double v) {
    Instruction ins{kOpPush, 0, kTypeN, 0, {}};
    ins.value.number = v;
    Emit(ins, 1);
  }

  int ParseExpr(int min_prec) {
    int lhs = ParseUnary();
    for (;;) {
      int op = Look().code;
      int prec = Precedence(op);
      if (prec == 0 || prec < min_prec) return lhs;
      Shift();
      int rhs = ParseExpr(prec + 1);
      NeedFollow();
      int result = 0;
      int opcode = BinaryOpcode(op, lhs, rhs, result);
      if (opcode == 0) {
        Fail(std::string("PARSER:Type mismatch in expression \"") + OperatorName(op) + "\"");
      }
      Emit({opcode, 2, result, 0, {}}, -1);
      Reduce(3);
      lhs = result;
    }
  }

  int ParseUnary() {
    int op = Look().code;
    if (op != kTokNot && op != '-' && op != '+') return ParsePrimary();
    Shift();
    int operand = ParseUnary();
    NeedFollow();
    Reduce(2);
    if (op == kTokNot) {
      if (operand != kTypeL) Fail("PARSER:Type mismatch in expression \".NOT.\"");
      Emit({kOpNot, 1, kTypeL, 0, {}}, 0);
      return kTypeL;
    }
    if (operand != kTypeN) {
      Fail(op == '-' ? "PARSER:Type mismatch in expression \"Unary -\""
                     : "PARSER:Type mismatch in expression \"Unary +\"");
    }
    if (op == '-') Emit({kOpNegate, 1, kTypeN, 0, {}}, 0);
    return kTypeN;
  }

  int ParsePrimary() {
    const Token& t = Look();
    int code = t.code;
    if (code == kTokNumber) {
      double v = t.number;
      Shift();
      EmitNumber(v);
      return kTypeN;
    }
    if (code == kTokString) {
      std::string text = t.text;
      Shift();
      EmitLiteral(text);
      return kTypeC;
    }
    if (code == kTokTrue || code == kTokFalse) {
      Shift();
      Instruction ins{kOpPush, 0, kTypeL, 0, {}};
      ins.value.logical = code == kTokTrue ? 1 : 0;
      Emit(ins, 1);
      return kTypeL;
    }
    if (code >= kTokFieldC && code <= kTokAliasM) {
      int field = t.field;
      int area = t.area;
      uint32_t length = static_cast<uint32_t>(t.length);
      Shift();
      EmitNumber(field);
      int argc = 1;
      if (code >= kTokAliasC) {
        EmitNumber(area);
        argc = 2;
      }
      int type = FieldType(code);
      Emit({code, argc, type, length, {}}, 1 - argc);
      return type;
    }
    if (code == '(') {
      Shift();
      int type = ParseExpr(1);
      if (Look().code != ')') Fail(kSyntaxError);
      Shift();
      Reduce(3);
      return type;
    }
    if (IsFunctionToken(code)) return ParseCall(code);
    Fail(kSyntaxError);
  }

  void EmitLiteral(const std::string& text) {
    Instruction ins{kOpPush, 0, kTypeC, static_cast<uint32_t>(text.size()), {}};
    try {
      auto copy = std::make_unique<char[]>(text.size() + 1);
      std::memcpy(copy.get(), text.data(), text.size());
      copy[text.size()] = '\0';
      ins.value.text = copy.get();
      out_.literals.push_back(std::move(copy));
    } catch (const std::bad_alloc&) {
      FailMemory(" [AssignExpr()]");
    }
    Emit(ins, 1);
  }

  int ParseCall(int token) {
    const Signature& sig = *SignatureOf(token);
    Shift();
    if (Look().code != '(') Fail(kSyntaxError);
    Shift();
    int types[4] = {};
    int n = 0;
    if (sig.max_args == 0) {
      if (Look().code != ')') Fail(kSyntaxError);
      Shift();
    } else {
      types[n++] = ParseExpr(1);
      for (;;) {
        int code = Look().code;
        if (code == ',' && n < sig.max_args) {
          Shift();
          types[n++] = ParseExpr(1);
          continue;
        }
        if (code == ')' && n >= sig.min_args) {
          Shift();
          break;
        }
        Fail(kSyntaxError);
      }
    }
    Reduce(n == 0 ? 3 : 2 * n + 2);
    int result = sig.result;
    bool ok = true;
    if (token == kTokMax || token == kTokMin) {
      ok = types[0] == types[1] && (types[0] == kTypeN || types[0] == kTypeD);
      result = types[0];
    } else {
      for (int i = 0; i < n; ++i) ok = ok && types[i] == sig.args[i];
    }
    if (!ok) Fail(std::string("PARSER:Type mismatch in function \"") + sig.name + "\"");
    Emit({token, n, result, 0, {}}, 1 - n);
    return result;
  }

  void Finish(int type) {
    const EngineSwitches& sw = Switches();
    out_.type_code = type;
    out_.type = TypeLetter(type);
    int length = std::max(0, scanner_.current_length());
    int decimals = scanner_.current_decimals();
    uint32_t pool = scanner_.pool_need();
    if (type == kTypeM) pool = static_cast<uint32_t>(std::max(0, sw.memo_pool_size));
    pool = std::min<uint32_t>(pool, 0xFFFF);
    out_.pool_size = pool;
    out_.decimals = 0;
    switch (type) {
      case kTypeC:
        out_.length = static_cast<uint16_t>(pool == static_cast<uint32_t>(length) + 1 ? length : 0);
        break;
      case kTypeN: {
        int dec = decimals >= 0 && decimals <= 18 ? decimals : sw.default_decimals;
        if (length < dec + 2) length = 0;
        if (length == 0) length = dec + 11;
        out_.length = static_cast<uint16_t>(length);
        out_.decimals = static_cast<uint8_t>(dec);
        break;
      }
      case kTypeD:
        out_.length = 8;
        break;
      case kTypeL:
        out_.length = 1;
        break;
      default:
        out_.length = static_cast<uint16_t>(pool);
        break;
    }
    try {
      out_.stack.resize(static_cast<size_t>(std::max(1, max_stack_)));
    } catch (const std::bad_alloc&) {
      FailMemory(" [PARSER/WStackCheck]");
    }
    if (pool > 0 || type == kTypeM) {
      try {
        out_.pool.reset(new char[pool + kPoolSlack]);
      } catch (const std::bad_alloc&) {
        FailMemory(" [AssignExpr]");
      }
      out_.pool[0] = '\0';
    }
  }

  std::string_view text_;
  Scanner scanner_;
  CompiledExpr& out_;
  Token tok_;
  bool have_ = false;
  int depth_ = 1;  // the start state
  int stack_ = 0;
  int max_stack_ = 0;
};

}  // namespace

std::string ErrorWindow(std::string_view text, int p) {
  if (p < 0) p = 0;
  size_t start = p < 50 ? 0 : static_cast<size_t>(p - 50);
  std::string w = start == 0 ? "[" : "[...";
  start = std::min(start, text.size());
  w += text.substr(start, 51);
  w += text.size() > start + 51 ? "...]" : "]";
  return w;
}

bool Compile(std::string_view text, CompiledExpr& out) {
  try {
    Parser(text, out).Parse();
    return true;
  } catch (const Abort&) {
    return false;
  }
}

}  // namespace sv::expr
