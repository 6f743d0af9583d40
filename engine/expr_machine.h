// The evaluation machine of the expression language and the compiled
// expression it runs: a flat list of instructions, a working stack and a
// working pool for character values, all sized when the expression is
// compiled, so an evaluation allocates nothing.
//
// Each instruction pops its operands (the last one first) and pushes its
// result. A character value is pushed by copying it to the pool position,
// and popping it moves the position back to its start, so the pool works as a
// stack and a character result always starts at the pool start. Character
// values are cut to kMaxValueText characters.
#ifndef SV_ENGINE_EXPR_MACHINE_H_
#define SV_ENGINE_EXPR_MACHINE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/expr_codes.h"

namespace sv {

namespace expr {

union Value {
  double number;    // N and D
  int32_t logical;  // L: 1 true, 0 false
  const char* text; // C literals; C and M stack entries point into the pool
};

struct Instruction {
  int32_t opcode = kOpEnd;
  int32_t argc = 0;
  // A constant's value type; for every other instruction its result type.
  int32_t type = 0;
  uint32_t length = 0;  // characters of a literal
  Value value{};
};

struct StackEntry {
  int32_t type = 0;
  uint32_t length = 0;  // C and M
  Value value{};
};

}  // namespace expr

struct CompiledExpr {
  std::string source;
  char type = 'C';          // result type letter
  int type_code = 0;        // result type, expr::kTypeC ...
  uint16_t length = 0;      // 0 for a character result known only when evaluated
  uint8_t decimals = 0;
  std::vector<std::unique_ptr<char[]>> literals;
  std::vector<expr::Instruction> program;
  std::vector<expr::StackEntry> stack;  // as deep as the program needs
  uint32_t pool_size = 0;
  // pool_size bytes plus room for one more value, so a function writing its
  // result never needs more than the pool holds.
  std::unique_ptr<char[]> pool;
  uint32_t pool_pos = 0;
  uint32_t result_length = 0;  // characters of the last C or M result
};

namespace expr {

// Extra pool bytes past pool_size: a function result's full room.
constexpr uint32_t kPoolSlack = kMaxValueText + 1;

// Runs the program on the current record and answers the result's address
// (the pool start for C and M, else the bottom stack entry's value). With
// blank_at_eof, fields of a table at end of file read blank. A pool overflow
// (354) stops the run; the result is then blank.
const void* Run(CompiledExpr& e, bool blank_at_eof);

}  // namespace expr

}  // namespace sv

#endif  // SV_ENGINE_EXPR_MACHINE_H_
