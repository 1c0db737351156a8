// The self-pipe behind StopSignals: an async-signal-safe handler that writes one byte.
#include "host/stop_signals.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <stdexcept>
#include <string>
#include <system_error>

namespace walkers {
namespace {

constexpr std::array kStopSignals{SIGTERM, SIGINT, SIGHUP};

volatile std::sig_atomic_t writeEnd = -1;
std::array<struct sigaction, kStopSignals.size()> previous{};

extern "C" void onStopSignal(int /*signal*/) {
  const int saved = errno;
  const char byte = 1;
  // A full pipe already says what this byte would.
  [[maybe_unused]] const auto written = ::write(writeEnd, &byte, 1);
  errno = saved;
}

}  // namespace

StopSignals::StopSignals() {
  if (writeEnd != -1) throw std::logic_error("StopSignals already exists");
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
    throw std::system_error(errno, std::generic_category(), "cannot watch for stop signals");
  }
  read_ = ends[0];
  writeEnd = ends[1];
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (std::size_t i = 0; i < kStopSignals.size(); ++i) {
    ::sigaction(kStopSignals[i], &action, &previous[i]);
    // Started under nohup, the user asked to outlive the terminal: SIGHUP stays ignored.
    if (kStopSignals[i] == SIGHUP && previous[i].sa_handler == SIG_IGN) {
      ::sigaction(SIGHUP, &previous[i], nullptr);
    }
  }
}

StopSignals::~StopSignals() {
  for (std::size_t i = 0; i < kStopSignals.size(); ++i) {
    ::sigaction(kStopSignals[i], &previous[i], nullptr);
  }
  ::close(writeEnd);
  writeEnd = -1;
  ::close(read_);
}

bool StopSignals::requested() {
  char bytes[16];
  while (::read(read_, bytes, sizeof bytes) > 0) requested_ = true;
  return requested_;
}

}  // namespace walkers
