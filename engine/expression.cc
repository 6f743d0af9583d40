#include "engine/expression.h"

#include <charconv>
#include <cstring>
#include <memory>
#include <new>

#include "engine/dates.h"
#include "engine/engine_state.h"
#include "engine/error.h"
#include "engine/expr_machine.h"
#include "engine/expr_parser.h"
#include "engine/hooks.h"

namespace sv {
namespace {

constexpr int kFirstExprCode = 350;
constexpr int kLastExprCode = 363;
constexpr int kDivideByZeroCode = 358;
constexpr size_t kMaxKeyText = 220;

// Set while the table component's Evaluate runs: a table at end of file
// then reads blank.
bool g_blank_at_eof = false;

class BlankAtEof {
 public:
  BlankAtEof() : previous_(g_blank_at_eof) { g_blank_at_eof = true; }
  ~BlankAtEof() { g_blank_at_eof = previous_; }

 private:
  bool previous_;
};

std::string_view TrimTrailingBlanks(std::string_view s) {
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

// Right-aligned in `width`, rounded to `decimals`; wider numbers in full.
std::string FormatNumber(double v, int width, int decimals) {
  char buf[400];
  auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
  if (r.ec != std::errc()) r = std::to_chars(buf, buf + sizeof buf, v);
  std::string text(buf, r.ptr);
  // No "-0.00" for a value that rounds to zero.
  if (!text.empty() && text[0] == '-' && text.find_first_not_of("-0.") == std::string::npos) {
    text.erase(0, 1);
  }
  if (text.size() < static_cast<size_t>(width)) text.insert(0, width - text.size(), ' ');
  return text;
}

bool Admits(CompiledExpr* e) {
  if (!e || e->type_code != expr::kTypeL) return true;
  return *static_cast<const int32_t*>(EvaluateExpr(e)) != 0;
}

void Release(CompiledExpr* e) { ReleaseExpr(e); }

}  // namespace

CompiledExpr* AssignExpr(std::string_view text) {
  int pending = LastErrorCode();
  if (pending >= kFirstExprCode && pending <= kLastExprCode) ClearLastError();
  std::unique_ptr<CompiledExpr> e;
  try {
    e = std::make_unique<CompiledExpr>();
    e->source.assign(text);
    if (!expr::Compile(text, *e)) return nullptr;
  } catch (const std::bad_alloc&) {
    e.reset();
    ReportError(217, " [AssignExpr]");
    return nullptr;
  }
  return e.release();
}

const void* EvaluateExpr(CompiledExpr* expr) {
  if (!expr) return nullptr;
  // A division by zero of an earlier run must not mark this one.
  if (LastErrorCode() == kDivideByZeroCode) ClearLastError();
  return expr::Run(*expr, g_blank_at_eof);
}

std::string SEvaluate(CompiledExpr* expr) {
  if (!expr) {
    ReportError(357, "Possibly AssignExpr has not been called [SEvaluate]");
    return {};
  }
  const void* r = EvaluateExpr(expr);
  switch (expr->type_code) {
    case expr::kTypeC:
    case expr::kTypeM:
      return std::string(static_cast<const char*>(r), expr->result_length);
    case expr::kTypeD:
      return DtoC(*static_cast<const double*>(r));
    case expr::kTypeL:
      return *static_cast<const int32_t*>(r) ? ".T." : ".F.";
    default:
      if (LastErrorCode() == kDivideByZeroCode) return std::string(expr->length, '*');
      return FormatNumber(*static_cast<const double*>(r), expr->length, expr->decimals);
  }
}

void ReleaseExpr(CompiledExpr*& expr) {
  delete expr;
  expr = nullptr;
}

int CheckExpr(std::string_view text, bool is_key) {
  std::string_view t = TrimTrailingBlanks(text);
  int code = 0;
  if (t.empty()) {
    code = 359;
  } else if (is_key && t.size() > kMaxKeyText) {
    code = 360;
  } else {
    ErrorCheckingOff off;
    int memo = SetMemoPoolSize(0);
    CompiledExpr* e = AssignExpr(t);
    SetMemoPoolSize(memo);
    if (!e) {
      code = LastErrorCode();
    } else if (is_key && (e->type == 'M' || e->type == 'L')) {
      code = 361;
    } else if (!is_key && e->type != 'L') {
      code = 362;
    }
    ReleaseExpr(e);
  }
  ClearLastError();
  return code;
}

char ExprType(const CompiledExpr* expr) { return expr ? expr->type : ' '; }
int ExprLength(const CompiledExpr* expr) { return expr ? expr->length : 0; }
int ExprDecimals(const CompiledExpr* expr) { return expr ? expr->decimals : 0; }

const std::string& ExprSource(const CompiledExpr* expr) {
  static const std::string kNone;
  return expr ? expr->source : kNone;
}

size_t ExprResultLength(const CompiledExpr* expr) { return expr ? expr->result_length : 0; }

int SetMemoPoolSize(int size) {
  int old = Switches().memo_pool_size;
  Switches().memo_pool_size = size < 0 ? 0 : size;
  return old;
}

std::string EvaluateInCurrentArea(std::string_view text) {
  std::unique_ptr<CompiledExpr> e(AssignExpr(text));
  if (!e) return {};
  BlankAtEof blank;
  return SEvaluate(e.get());
}

void InstallExpressionHooks() {
  ExpressionHooks& h = ExprHooks();
  h.compile = &AssignExpr;
  h.release = &Release;
  h.admits = &Admits;
}

}  // namespace sv
