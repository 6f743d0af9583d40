// The xBase expression language: compiled once by AssignExpr into a flat
// program for a small stack machine, then evaluated against the record in the
// current work area without allocating.
#ifndef SV_ENGINE_EXPRESSION_H_
#define SV_ENGINE_EXPRESSION_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace sv {

struct CompiledExpr;

// Compiles against the current work area. On failure the error has been
// reported (code 351, 217, ...) and nothing is owned: nullptr.
CompiledExpr* AssignExpr(std::string_view text);

// Evaluates on the current record and answers the address of the result: for
// C and M a zero-terminated text of at most 255 characters, for N and D a
// double, for L a 32-bit integer (1 true, 0 false). nullptr for nullptr.
const void* EvaluateExpr(CompiledExpr* expr);

// Evaluates and gives the value as text (C and M as they are, D as DTOC
// gives it, L ".T." or ".F.", N right-aligned in the expression's length).
std::string SEvaluate(CompiledExpr* expr);

// Frees everything and clears the caller's reference.
void ReleaseExpr(CompiledExpr*& expr);

// 0 valid; 359 empty; 360 key longer than 220; 361 key of type M or L;
// 362 condition not logical; otherwise the compile error's code.
int CheckExpr(std::string_view text, bool is_key);

// Result type letter ('C', 'N', 'L', 'D', 'M'), result length and decimals.
char ExprType(const CompiledExpr* expr);
int ExprLength(const CompiledExpr* expr);
int ExprDecimals(const CompiledExpr* expr);
const std::string& ExprSource(const CompiledExpr* expr);
// Characters of the last C or M result of EvaluateExpr (a field read from a
// damaged file may hold zero bytes, so the terminator alone can fall short).
size_t ExprResultLength(const CompiledExpr* expr);

// Room for a memo value (256 at start); answers the previous size.
int SetMemoPoolSize(int size);

// The table component's Evaluate: compile in the current work area, the
// SEvaluate text, release. Fields of a table at end of file read blank. An
// expression that does not compile gives an empty text.
std::string EvaluateInCurrentArea(std::string_view text);

// Installs compile, release and the filter test into the engine's hooks.
// A filter admits the record when its value is true; a filter that is not
// of type L tests nothing and admits every record.
void InstallExpressionHooks();

}  // namespace sv

#endif  // SV_ENGINE_EXPRESSION_H_
