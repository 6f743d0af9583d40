// The grammar of the expression language, its type rules and the code
// generation into a CompiledExpr.
//
// A hand-written precedence parser that accepts the language of the
// operator-precedence LALR(1) grammar and stops where that parser stops: it
// reads one token ahead only when a reduction needs it, reduces an operator
// only on a token that may follow an expression (an infix operator, ")", ","
// or the end), and type-checks each construct as it is reduced. It also
// counts the entries the LALR parse stack would hold and fails beyond
// kParserStackSize.
//
// Precedence, tightest first, every infix operator left-associative:
// prefix .NOT. - +; ^ (**); * /; + -; < > <= >=; $ ==; = <> #; .AND.; .OR.
#ifndef SV_ENGINE_EXPR_PARSER_H_
#define SV_ENGINE_EXPR_PARSER_H_

#include <string>
#include <string_view>

#include "engine/expr_machine.h"

namespace sv::expr {

// Compiles `text` against the current work area into `out`, which must be
// fresh: program, literals, types, length, decimals, and the stack and pool
// allocated to size. On failure the error has been reported (code 351) and
// false is answered; `out` is then to be discarded.
bool Compile(std::string_view text, CompiledExpr& out);

// The error window of a compile report: up to 51 characters of `text` around
// index p (the last character the scanner read), opened with "[" or "[..."
// and closed with "]" or "...]".
std::string ErrorWindow(std::string_view text, int p);

}  // namespace sv::expr

#endif  // SV_ENGINE_EXPR_PARSER_H_
