// Runs one of the command-line tools as a child process and collects what it
// printed and its exit status.
#ifndef SV_TESTS_TESTLIB_RUN_TOOL_H_
#define SV_TESTS_TESTLIB_RUN_TOOL_H_

#include <string>
#include <vector>

namespace svtest {

struct ToolRun {
  int status = -1;  // the exit status, or -1 when the program did not exit normally
  std::string out;
  std::string err;
};

// `tool` is a program name in the tools folder of the build (SV_TOOLS_DIR).
ToolRun RunTool(const std::string& tool, const std::vector<std::string>& args);

}  // namespace svtest

#endif  // SV_TESTS_TESTLIB_RUN_TOOL_H_
