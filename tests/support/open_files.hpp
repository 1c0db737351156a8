// Whether a child process has a file open inside a directory, for tests that must wait until a
// render has started writing, even into a file that has no name yet.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace walkers::test {

// True if `process` holds a descriptor for something inside `dir` (not `dir` itself); an
// unnamed file shows there as "<dir>/#<inode> (deleted)".
inline bool writesInto(pid_t process, const std::filesystem::path& dir) {
  namespace fs = std::filesystem;
  const std::string inside = dir.string() + "/";
  std::error_code error;
  for (fs::directory_iterator fd("/proc/" + std::to_string(process) + "/fd", error), end;
       !error && fd != end; fd.increment(error)) {
    const std::string target = fs::read_symlink(fd->path(), error).string();
    if (!error && target.rfind(inside, 0) == 0) return true;
  }
  return false;
}

}  // namespace walkers::test
