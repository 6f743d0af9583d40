#include "engine/expr_machine.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/dates.h"
#include "engine/error.h"
#include "engine/expr_functions.h"
#include "engine/work_area.h"

namespace sv::expr {
namespace {

constexpr char kPoolOverflow[] = "Working pool overflow [PARSER/Allocate]";
constexpr char kUnknownType[] =
    "Unknown data type (none of \"C\",\"N\",\"F\",\"L\",\"D\"or\"M\") [PARSER/PushWD]";
constexpr char kDivideByZero[] = "Error during evaluation: Divide by 0 [Evaluate/Engine]";

// A date field's value. Its text in the value buffer follows the date form,
// which may show only two year digits; while the record buffer still holds
// the same date, its eight digits keep the century.
double ReadDate(const DbfTable& t, int pos) {
  std::string_view text = fv::Text(t, pos);
  const DbfFieldDef& f = t.field(pos);
  if (!CurrentDateForm().century && f.length >= 8 && t.record.size() >= f.offset + 8u) {
    std::string_view stored(reinterpret_cast<const char*>(t.record.data() + f.offset), 8);
    if (StoredDateToText(stored) == text) {
      int v[3] = {0, 0, 0};
      static const int kWidth[3] = {4, 2, 2};
      size_t i = 0;
      for (int part = 0; part < 3; ++part) {
        for (int k = 0; k < kWidth[part]; ++k, ++i) {
          char c = stored[i];
          if (c < '0' || c > '9') return kBlankDateValue;
          v[part] = v[part] * 10 + (c - '0');
        }
      }
      return DayFromYmd(v[0], v[1], v[2]);
    }
  }
  return CtoD(text);
}

// A stopped run (pool overflow); the result is blanked.
struct Stop {};

int Compare(const StackEntry& a, const StackEntry& b) {
  size_t n = std::min(a.length, b.length);
  int c = std::memcmp(a.value.text, b.value.text, n);
  if (c != 0) return c;
  return a.length < b.length ? -1 : a.length > b.length ? 1 : 0;
}

bool Exact(const StackEntry& a, const StackEntry& b) {
  return a.length == b.length && std::memcmp(a.value.text, b.value.text, a.length) == 0;
}

// a = b: a begins with b, and b is not empty.
bool Begins(const StackEntry& a, const StackEntry& b) {
  return b.length > 0 && a.length >= b.length &&
         std::memcmp(a.value.text, b.value.text, b.length) == 0;
}

bool Contains(const StackEntry& needle, const StackEntry& hay) {
  if (needle.length == 0 || needle.length > hay.length) return false;
  std::string_view h(hay.value.text, hay.length);
  return h.find(std::string_view(needle.value.text, needle.length)) != std::string_view::npos;
}

// a ^ b as 2 to the power b log2 a. A base of 0 or less has no logarithm:
// 0 to a positive power is 0 and to the power 0 is 1; a negative base takes
// whole powers only (others give 0); 0 to a negative power is a division by
// zero.
double Power(double a, double b) {
  if (a > 0) return std::exp2(b * std::log2(a));
  if (a == 0) {
    if (b > 0) return 0;
    if (b == 0) return 1;
    ReportError(358, kDivideByZero);
    return kDivideByZeroValue;
  }
  if (b != std::trunc(b)) return 0;
  return std::pow(a, b);
}

class Machine {
 public:
  Machine(CompiledExpr& e, bool blank_at_eof)
      : e_(e), stack_(e.stack.data()), blank_at_eof_(blank_at_eof) {}

  const void* Run() {
    sp_ = 0;
    e_.pool_pos = 0;
    try {
      for (const Instruction* ins = e_.program.data(); ins->opcode != kOpEnd; ++ins) Step(*ins);
    } catch (const Stop&) {
      Blank();
    }
    return Result();
  }

 private:
  const void* Result() {
    StackEntry& r = stack_[0];
    if (e_.type_code == kTypeC || e_.type_code == kTypeM) {
      e_.result_length = r.length;
      return e_.pool.get();
    }
    if (e_.type_code == kTypeL) return &r.value.logical;
    return &r.value.number;
  }

  void Blank() {
    StackEntry& r = stack_[0];
    r.type = e_.type_code;
    r.length = 0;
    if (e_.pool) e_.pool[0] = '\0';
    r.value.text = e_.pool.get();
    if (e_.type_code == kTypeL) r.value.logical = 0;
    if (e_.type_code == kTypeN) r.value.number = 0;
    if (e_.type_code == kTypeD) r.value.number = kBlankDateValue;
  }

  // Room for a character value of `length` at the pool position.
  char* Allocate(uint32_t length) {
    if (!e_.pool || e_.pool_pos + length + 1 > e_.pool_size) {
      ReportError(354, kPoolOverflow);
      throw Stop{};
    }
    return e_.pool.get() + e_.pool_pos;
  }

  StackEntry& Top() { return stack_[sp_ - 1]; }
  StackEntry Pop() { return stack_[--sp_]; }
  double PopNumber() { return stack_[--sp_].value.number; }
  bool PopLogical() { return stack_[--sp_].value.logical != 0; }
  // Takes a character value off; the pool position goes back to its start.
  StackEntry PopText() {
    StackEntry s = stack_[--sp_];
    e_.pool_pos = static_cast<uint32_t>(s.value.text - e_.pool.get());
    return s;
  }

  void PushNumber(int type, double v) {
    StackEntry& s = stack_[sp_++];
    s.type = type;
    s.value.number = v;
  }
  void PushLogical(bool v) {
    StackEntry& s = stack_[sp_++];
    s.type = kTypeL;
    s.value.logical = v ? 1 : 0;
  }
  // A character value already written at the pool position.
  void PushWritten(int type, uint32_t length) {
    char* p = e_.pool.get() + e_.pool_pos;
    if (length > kMaxValueText) length = kMaxValueText;
    if (e_.pool_pos + length + 1 > e_.pool_size) {
      ReportError(354, kPoolOverflow);
      throw Stop{};
    }
    p[length] = '\0';
    StackEntry& s = stack_[sp_++];
    s.type = type;
    s.length = length;
    s.value.text = p;
    e_.pool_pos += length + 1;
  }
  void PushText(int type, const char* text, uint32_t length) {
    if (length > kMaxValueText) length = kMaxValueText;
    char* p = Allocate(length);
    std::memmove(p, text, length);
    PushWritten(type, length);
  }
  // The top value changed in place to `length` characters.
  void Resize(uint32_t length) {
    StackEntry& s = Top();
    s.length = std::min<uint32_t>(length, kMaxValueText);
    char* p = const_cast<char*>(s.value.text);
    p[s.length] = '\0';
    e_.pool_pos = static_cast<uint32_t>(p - e_.pool.get()) + s.length + 1;
  }
  // Where a function writes a character result: at the pool position after
  // its arguments were taken off. Room for a whole value is always there.
  char* Out() { return e_.pool.get() + e_.pool_pos; }

  const DbfTable* TableOf(int area) const {
    WorkArea* a = area == 0 ? CurrentArea() : Area(area);
    return a && a->is_open() ? a : nullptr;
  }

  void Field(const Instruction& ins) {
    int area = ins.argc == 2 ? static_cast<int>(PopNumber()) : 0;
    int pos = static_cast<int>(PopNumber());
    int type = ins.type;
    const DbfTable* t = TableOf(area);
    const DbfFieldDef* f = nullptr;
    // Blank when the table has gone, no longer has that field (the
    // expression was compiled against another table) or has no record.
    if (t && pos >= 1 && pos <= t->field_count && t->record_count > 0 &&
        !(blank_at_eof_ && t->eof)) {
      f = &t->field(pos);
      char ft = f->type == 'F' ? 'N' : f->type;
      static const char kLetters[] = {'C', 'N', 'L', 'D', 'M'};
      if (ft != kLetters[type - kTypeC]) f = nullptr;
    }
    switch (type) {
      case kTypeC: {
        // Always the compiled width, which the pool was sized for: a key
        // keeps its length even when the value text is shorter.
        uint32_t width = ins.length;
        char* p = Allocate(width);
        uint32_t n = 0;
        if (f) {
          std::string_view v = fv::Text(*t, pos);
          n = static_cast<uint32_t>(std::min<size_t>({v.size(), width, f->length}));
          std::memcpy(p, v.data(), n);
        }
        std::memset(p + n, ' ', width - n);
        PushWritten(kTypeC, width);
        break;
      }
      case kTypeN:
        PushNumber(kTypeN, f ? fv::Number(*t, pos) : 0.0);
        break;
      case kTypeL:
        PushLogical(f ? fv::Bool(*t, pos) : false);
        break;
      case kTypeD:
        PushNumber(kTypeD, f ? ReadDate(*t, pos) : kBlankDateValue);
        break;
      default:
        // Memo text lives in the memo file, which no table of the program
        // has; the language sees it empty.
        Allocate(0);
        PushWritten(kTypeM, 0);
        break;
    }
  }

  void Step(const Instruction& ins) {
    switch (ins.opcode) {
      case kOpPush:
        switch (ins.type) {
          case kTypeC:
            PushText(kTypeC, ins.value.text, ins.length);
            break;
          case kTypeN:
          case kTypeD:
            PushNumber(ins.type, ins.value.number);
            break;
          case kTypeL:
            PushLogical(ins.value.logical != 0);
            break;
          default:
            ReportError(356, kUnknownType);
            throw Stop{};
        }
        break;
      case kTokFieldC:
      case kTokFieldN:
      case kTokFieldL:
      case kTokFieldD:
      case kTokFieldM:
      case kTokAliasC:
      case kTokAliasN:
      case kTokAliasL:
      case kTokAliasD:
      case kTokAliasM:
        Field(ins);
        break;
      case kOpAddNN:
      case kOpAddND:
      case kOpAddDN: {
        double b = PopNumber(), a = PopNumber();
        PushNumber(ins.type, a + b);
        break;
      }
      case kOpSubNN:
      case kOpSubDN:
      case kOpSubDD: {
        double b = PopNumber(), a = PopNumber();
        PushNumber(ins.type, a - b);
        break;
      }
      case kOpAddCC: {
        StackEntry b = PopText(), a = PopText();
        // b follows a's terminator: close the gap.
        uint32_t take = std::min<uint32_t>(b.length, kMaxValueText - a.length);
        char* p = const_cast<char*>(a.value.text);
        std::memmove(p + a.length, b.value.text, take);
        PushWritten(kTypeC, a.length + take);
        break;
      }
      case kOpSubCC: {
        StackEntry b = PopText(), a = PopText();
        // The left side's trailing blanks move behind the right side.
        uint32_t kept = a.length;
        while (kept > 0 && a.value.text[kept - 1] == ' ') --kept;
        char* p = const_cast<char*>(a.value.text);
        std::memmove(p + kept, b.value.text, b.length);
        std::memset(p + kept + b.length, ' ', a.length - kept);
        PushWritten(kTypeC, a.length + b.length);
        break;
      }
      case kOpMul: {
        double b = PopNumber(), a = PopNumber();
        PushNumber(kTypeN, a * b);
        break;
      }
      case kOpDiv: {
        double b = PopNumber(), a = PopNumber();
        if (b == 0) {
          ReportError(358, kDivideByZero);
          PushNumber(kTypeN, kDivideByZeroValue);
        } else {
          PushNumber(kTypeN, a / b);
        }
        break;
      }
      case kOpPow: {
        double b = PopNumber(), a = PopNumber();
        PushNumber(kTypeN, Power(a, b));
        break;
      }
      case kOpEqN:
      case kOpEqD: {
        double b = PopNumber(), a = PopNumber();
        PushLogical(a == b);
        break;
      }
      case kOpNeN:
      case kOpNeD: {
        double b = PopNumber(), a = PopNumber();
        PushLogical(a != b);
        break;
      }
      case kOpGtN:
      case kOpGtD: {
        double b = PopNumber(), a = PopNumber();
        PushLogical(a > b);
        break;
      }
      case kOpLtN:
      case kOpLtD: {
        double b = PopNumber(), a = PopNumber();
        PushLogical(a < b);
        break;
      }
      case kOpLeN:
      case kOpLeD: {
        double b = PopNumber(), a = PopNumber();
        PushLogical(a <= b);
        break;
      }
      case kOpGeN:
      case kOpGeD: {
        double b = PopNumber(), a = PopNumber();
        PushLogical(a >= b);
        break;
      }
      case kOpEqL:
      case kOpNeL: {
        bool b = PopLogical(), a = PopLogical();
        PushLogical(ins.opcode == kOpEqL ? a == b : a != b);
        break;
      }
      case kOpEqC:
      case kOpExactEqC:
      case kOpContains:
      case kOpGtC:
      case kOpLtC:
      case kOpNeC:
      case kOpLeC:
      case kOpGeC: {
        StackEntry b = PopText(), a = PopText();
        bool r = false;
        switch (ins.opcode) {
          case kOpEqC:
            r = Begins(a, b);
            break;
          case kOpExactEqC:
            r = Exact(a, b);
            break;
          case kOpNeC:
            r = !Exact(a, b);
            break;
          case kOpContains:
            r = Contains(a, b);
            break;
          case kOpGtC:
            r = Compare(a, b) > 0;
            break;
          case kOpLtC:
            r = Compare(a, b) < 0;
            break;
          case kOpLeC:
            r = Compare(a, b) <= 0;
            break;
          default:
            r = Compare(a, b) >= 0;
            break;
        }
        PushLogical(r);
        break;
      }
      case kOpOr: {
        bool b = PopLogical(), a = PopLogical();
        PushLogical(a || b);
        break;
      }
      case kOpAnd: {
        bool b = PopLogical(), a = PopLogical();
        PushLogical(a && b);
        break;
      }
      case kOpNot:
        PushLogical(!PopLogical());
        break;
      case kOpNegate:
        PushNumber(kTypeN, -PopNumber());
        break;
      default:
        Function(ins);
        break;
    }
  }

  void Function(const Instruction& ins) {
    switch (ins.opcode) {
      case kTokAbs:
        PushNumber(kTypeN, xfn::Abs(PopNumber()));
        break;
      case kTokInt:
        PushNumber(kTypeN, xfn::Int(PopNumber()));
        break;
      case kTokMod: {
        double b = PopNumber(), a = PopNumber();
        PushNumber(kTypeN, xfn::Mod(a, b));
        break;
      }
      case kTokRound: {
        double d = PopNumber(), n = PopNumber();
        PushNumber(kTypeN, xfn::Round(n, d));
        break;
      }
      case kTokMax:
      case kTokMin: {
        double b = PopNumber(), a = PopNumber();
        PushNumber(ins.type, ins.opcode == kTokMax ? xfn::Max(a, b) : xfn::Min(a, b));
        break;
      }
      case kTokAsc: {
        StackEntry s = PopText();
        PushNumber(kTypeN, xfn::Asc(s.value.text, s.length));
        break;
      }
      case kTokLen: {
        StackEntry s = PopText();
        PushNumber(kTypeN, s.length);
        break;
      }
      case kTokVal: {
        StackEntry s = PopText();
        PushNumber(kTypeN, xfn::Val(s.value.text, s.length));
        break;
      }
      case kTokAt: {
        StackEntry b = PopText(), a = PopText();
        PushNumber(kTypeN, xfn::At(a.value.text, a.length, b.value.text, b.length));
        break;
      }
      case kTokCtod: {
        StackEntry s = PopText();
        PushNumber(kTypeD, xfn::Ctod(s.value.text, s.length));
        break;
      }
      case kTokDate:
        PushNumber(kTypeD, xfn::Date());
        break;
      case kTokDay:
        PushNumber(kTypeN, xfn::Day(PopNumber()));
        break;
      case kTokMonth:
        PushNumber(kTypeN, xfn::Month(PopNumber()));
        break;
      case kTokYear:
        PushNumber(kTypeN, xfn::Year(PopNumber()));
        break;
      case kTokDow:
        PushNumber(kTypeN, xfn::Dow(PopNumber()));
        break;
      case kTokRecno: {
        const DbfTable* t = TableOf(0);
        PushNumber(kTypeN, t ? t->current : 0);
        break;
      }
      case kTokDeleted: {
        const DbfTable* t = TableOf(0);
        PushLogical(t && !t->values.empty() && fv::Deleted(*t));
        break;
      }
      case kTokCdow:
      case kTokCmonth:
      case kTokDtoc:
      case kTokDtos: {
        double d = PopNumber();
        char* out = Out();
        size_t n = ins.opcode == kTokCdow     ? xfn::Cdow(d, out)
                   : ins.opcode == kTokCmonth ? xfn::Cmonth(d, out)
                   : ins.opcode == kTokDtoc   ? xfn::Dtoc(d, out)
                                              : xfn::Dtos(d, out);
        PushWritten(kTypeC, static_cast<uint32_t>(n));
        break;
      }
      case kTokChr: {
        double code = PopNumber();
        PushWritten(kTypeC, static_cast<uint32_t>(xfn::Chr(code, Out())));
        break;
      }
      case kTokSpace: {
        double n = PopNumber();
        PushWritten(kTypeC, static_cast<uint32_t>(xfn::Space(n, Out())));
        break;
      }
      case kTokStr: {
        double decimals = ins.argc >= 3 ? PopNumber() : 0;
        double width = ins.argc >= 2 ? PopNumber() : 10;
        double n = PopNumber();
        PushWritten(kTypeC, static_cast<uint32_t>(xfn::Str(n, width, decimals, Out())));
        break;
      }
      case kTokUpper:
      case kTokLower:
      case kTokLtrim:
      case kTokRtrim:
      case kTokTrim: {
        StackEntry& s = Top();
        char* p = const_cast<char*>(s.value.text);
        size_t n = ins.opcode == kTokUpper   ? xfn::Upper(p, s.length)
                   : ins.opcode == kTokLower ? xfn::Lower(p, s.length)
                   : ins.opcode == kTokLtrim ? xfn::LTrim(p, s.length)
                                             : xfn::RTrim(p, s.length);
        Resize(static_cast<uint32_t>(std::min<size_t>(n, s.length)));
        break;
      }
      case kTokLeft:
      case kTokRight: {
        double n = PopNumber();
        StackEntry& s = Top();
        char* p = const_cast<char*>(s.value.text);
        size_t len = ins.opcode == kTokLeft ? xfn::Left(p, s.length, n) : xfn::Right(p, s.length, n);
        Resize(static_cast<uint32_t>(std::min<size_t>(len, s.length)));
        break;
      }
      case kTokSoundex: {
        StackEntry s = PopText();
        PushWritten(kTypeC, static_cast<uint32_t>(xfn::Soundex(s.value.text, s.length, Out())));
        break;
      }
      case kTokReplicate: {
        double n = PopNumber();
        StackEntry s = PopText();
        PushWritten(kTypeC, static_cast<uint32_t>(xfn::Replicate(s.value.text, s.length, n, Out())));
        break;
      }
      case kTokSubstr: {
        double count = PopNumber(), start = PopNumber();
        StackEntry s = PopText();
        PushWritten(kTypeC,
                    static_cast<uint32_t>(xfn::Substr(s.value.text, s.length, start, count, Out())));
        break;
      }
      case kTokStuff: {
        StackEntry r = PopText();
        double count = PopNumber(), start = PopNumber();
        StackEntry s = PopText();
        size_t n = xfn::Stuff(s.value.text, s.length, start, count, r.value.text, r.length, Out());
        PushWritten(kTypeC, static_cast<uint32_t>(n));
        break;
      }
      case kTokIif: {
        StackEntry b = PopText(), a = PopText();
        bool l = PopLogical();
        size_t n = xfn::Iif(l, a.value.text, a.length, b.value.text, b.length, Out());
        PushWritten(kTypeC, static_cast<uint32_t>(n));
        break;
      }
      default:
        // The parser emits no other opcode.
        ReportError(356, kUnknownType);
        throw Stop{};
    }
  }

  CompiledExpr& e_;
  StackEntry* stack_;
  int sp_ = 0;
  bool blank_at_eof_;
};

}  // namespace

const void* Run(CompiledExpr& e, bool blank_at_eof) { return Machine(e, blank_at_eof).Run(); }

}  // namespace sv::expr
