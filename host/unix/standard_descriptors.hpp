// Making sure descriptors 0, 1 and 2 are open before a program opens anything of its own.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace walkers {

// A program started with standard input, output or error closed would hand that number to the
// first file it opens, and then its messages would land inside that file. Each closed one of the
// three is opened on /dev/null. Answers false if that is impossible (no /dev/null); the program
// should then give up before opening anything.
inline bool openStandardDescriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free number is used, and every lower one is open by now, so this gets `fd`.
    const int opened = ::open("/dev/null", O_RDWR | O_NOCTTY);
    if (opened < 0) return false;
    if (opened != fd) {
      ::close(opened);
      return false;
    }
  }
  return true;
}

}  // namespace walkers
