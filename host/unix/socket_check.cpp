// Looking at a Unix socket's path and trying it once, to say why a window system is unreachable.
#include "host/unix/socket_check.hpp"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace walkers {
namespace {

// What a name that is no socket is instead.
const char* kindOf(mode_t mode) {
  if (S_ISREG(mode)) return "a regular file";
  if (S_ISDIR(mode)) return "a directory";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  return nullptr;
}

}  // namespace

std::string whySocketRefuses(const std::string& path) {
  sockaddr_un address{};
  if (path.size() >= sizeof address.sun_path) {
    return "the socket's path is longer than " + std::to_string(sizeof address.sun_path - 1) +
           " bytes";
  }
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return std::strerror(errno);
  if (!S_ISSOCK(info.st_mode)) {
    const char* kind = kindOf(info.st_mode);
    return kind ? std::string("it is ") + kind + ", not a socket" : "not a socket";
  }
  const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (probe < 0) return std::strerror(errno);
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size());
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): the sockets API's address type
  const int connected =
      ::connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  const int code = errno;
  ::close(probe);
  return connected == 0 ? std::string() : std::strerror(code);
}

std::string whyDisplayUnreachable(const std::string& name, int code) {
  if (code == EMFILE || code == ENFILE || code == ENOMEM) return std::strerror(code);
  // HOST:NUMBER[.SCREEN]; a local display (no host, or "unix") listens on a socket in
  // /tmp/.X11-unix named after its number, which says best why it cannot be reached.
  const std::size_t colon = name.rfind(':');
  if (colon == std::string::npos) return "";
  const std::string host = name.substr(0, colon);
  const std::string number = name.substr(colon + 1, name.find('.', colon) - colon - 1);
  const bool numbered = !number.empty() && number.size() <= 9 &&
                        number.find_first_not_of("0123456789") == std::string::npos;
  if (!numbered) return "";
  if (host.empty() || host == "unix") {
    const std::string path = "/tmp/.X11-unix/X" + number;
    const std::string why = whySocketRefuses(path);
    if (!why.empty()) return path + ": " + why;
    return "the server did not accept this client (is it allowed to use that display?)";
  }
  return code != 0 ? std::strerror(code) : "";
}

}  // namespace walkers
