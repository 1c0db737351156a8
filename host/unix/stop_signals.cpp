// The self-pipe behind StopSignals: an async-signal-safe handler that writes one byte.
#include "host/unix/stop_signals.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <memory>
#include <stdexcept>
#include <string>
#include <system_error>

namespace walkers {
namespace {

constexpr std::array kStopSignals{SIGTERM, SIGINT, SIGHUP};

// How long the program has to end by itself after a stop signal. Ending normally takes a few
// milliseconds; only an X server that stopped answering (frozen, or stopped in a debugger) holds
// walkers inside Xlib longer, and then nothing left to do is worth waiting for.
constexpr long kEndDeadlineNs = 50'000'000;

volatile std::sig_atomic_t writeEnd = -1;
volatile std::sig_atomic_t stopping = 0;
volatile std::sig_atomic_t arrived = 0;  // a stop signal came: lets requested() skip the read
timer_t deadline{};
bool haveDeadline = false;
std::array<struct sigaction, kStopSignals.size()> previous{};
struct sigaction previousDeadline {};

extern "C" void onStopSignal(int /*signal*/) {
  const int saved = errno;
  arrived = 1;
  const char byte = 1;
  // A full pipe already says what this byte would.
  [[maybe_unused]] const auto written = ::write(writeEnd, &byte, 1);
  if (!stopping && haveDeadline) {
    stopping = 1;
    itimerspec once{};
    once.it_value.tv_nsec = kEndDeadlineNs;
    ::timer_settime(deadline, 0, &once, nullptr);  // async-signal-safe
  }
  errno = saved;
}

extern "C" void onEndDeadline(int /*signal*/) {
  if (stopping) ::_exit(0);
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
  // The deadline: a one-shot timer whose signal ends the process once a stop was asked for.
  struct sigaction ending {};
  ending.sa_handler = onEndDeadline;
  sigemptyset(&ending.sa_mask);
  ::sigaction(SIGRTMIN, &ending, &previousDeadline);
  sigevent event{};
  event.sigev_notify = SIGEV_SIGNAL;
  event.sigev_signo = SIGRTMIN;
  haveDeadline = ::timer_create(CLOCK_MONOTONIC, &event, &deadline) == 0;
  stopping = 0;
  arrived = 0;
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
  if (haveDeadline) ::timer_delete(deadline);
  haveDeadline = false;
  stopping = 0;
  ::sigaction(SIGRTMIN, &previousDeadline, nullptr);
  ::close(writeEnd);
  writeEnd = -1;
  ::close(read_);
}

bool StopSignals::requested() const {
  if (!arrived) return false;  // asked every wake: no system call while nothing came
  char bytes[16];
  while (::read(read_, bytes, sizeof bytes) > 0) {
  }
  return true;
}

}  // namespace walkers

namespace walkers {

std::unique_ptr<StopRequest> makeStopRequest() {
  std::signal(SIGPIPE, SIG_IGN);
  return std::make_unique<StopSignals>();
}

}  // namespace walkers
