// A Wayland socket that takes every connection and never answers, as a compositor that hangs
// does: it listens on path $1 until killed, holding each connection open without reading it,
// and prints "accepted N" on taking the Nth.
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 2 || std::strlen(argv[1]) >= sizeof sockaddr_un{}.sun_path) {
    std::fputs("usage: silent_compositor SOCKET-PATH\n", stderr);
    return 2;
  }
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strcpy(address.sun_path, argv[1]);
  const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ::unlink(argv[1]);
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): the sockets API's own cast
  if (listener < 0 ||
      ::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listener, 16) != 0) {
    std::perror("silent_compositor");
    return 1;
  }
  std::vector<int> held;
  for (;;) {
    pollfd waiting{listener, POLLIN, 0};
    if (::poll(&waiting, 1, -1) < 0) continue;
    const int client = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    held.push_back(client);                      // kept open, never read, never answered
    std::printf("accepted %zu\n", held.size());  // the test knows a client waits now
    std::fflush(stdout);
  }
}
