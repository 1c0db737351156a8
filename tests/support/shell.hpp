// Running a shell command line from a test and keeping its exit status and standard output.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace walkers::testing {

struct RunResult {
  int status;       // the exit status, or -1 if the command did not exit normally
  std::string err;  // what it printed on standard output (commands send stderr there: 2>&1)
};

inline RunResult shell(const std::string& command) {
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return {-1, ""};
  std::string out;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
  const int status = ::pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

}  // namespace walkers::testing
