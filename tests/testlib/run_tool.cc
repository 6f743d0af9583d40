#include "testlib/run_tool.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <fstream>
#include <sstream>

#include "testlib/temp_dir.h"

extern char** environ;

namespace svtest {
namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

ToolRun RunTool(const std::string& tool, const std::vector<std::string>& args) {
  TempDir capture;
  const std::string program = std::string(SV_TOOLS_DIR) + "/" + tool;
  const std::string out = capture.File("out");
  const std::string err = capture.File("err");

  std::vector<std::string> argv_text = {program};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : argv_text) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t pid = 0;
  ToolRun run;
  int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    run.err = "cannot start " + program;
    return run;
  }
  int wstatus = 0;
  if (waitpid(pid, &wstatus, 0) == pid && WIFEXITED(wstatus)) run.status = WEXITSTATUS(wstatus);
  run.out = ReadAll(out);
  run.err = ReadAll(err);
  return run;
}

}  // namespace svtest
