// The registry of named temporary files that a signal ending the process removes first.
#include "tools/pending_files.hpp"

#include <unistd.h>

#include <array>
#include <csignal>
#include <cstring>
#include <vector>

namespace walkers::render {
namespace {

// Names that exist right now, where the signal handler can reach them without allocating. Slots
// change only with every signal blocked, so the handler sees whole entries.
struct PendingSlot {
  volatile std::sig_atomic_t active = 0;
  int directory = -1;
  char name[256] = {};
};
std::array<PendingSlot, 8> pending;

extern "C" void removePendingAndDie(int signal) {
  for (PendingSlot& slot : pending) {
    if (slot.active) ::unlinkat(slot.directory, slot.name, 0);
  }
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  ::sigaction(signal, &fallback, nullptr);
  // The signal stays blocked until this handler returns; then its default action ends the
  // process with the status the sender expects.
  ::raise(signal);
}

std::vector<int> endingSignals() {
  std::vector<int> signals{SIGHUP,    SIGINT,  SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2,   SIGALRM,
                           SIGVTALRM, SIGPROF, SIGXCPU, SIGIO,   SIGPWR,  SIGSTKFLT, SIGABRT};
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_UNDEFINED__)
  // Faults too, except where the sanitizers report them (they would never see them otherwise).
  for (const int fault : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGSYS, SIGTRAP}) {
    signals.push_back(fault);
  }
#endif
  for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal) signals.push_back(signal);
  return signals;
}

bool signalsPrepared = false;

}  // namespace

void prepareSignals() {
  if (signalsPrepared) return;
  signalsPrepared = true;
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  ::sigaction(SIGPIPE, &ignore, nullptr);
  ::sigaction(SIGXFSZ, &ignore, nullptr);
  struct sigaction cleanup {};
  cleanup.sa_handler = removePendingAndDie;
  ::sigfillset(&cleanup.sa_mask);
  for (const int signal : endingSignals()) {
    struct sigaction before {};
    if (::sigaction(signal, nullptr, &before) != 0) continue;
    if (before.sa_handler == SIG_IGN) continue;  // ignored at start (nohup): stays ignored
    ::sigaction(signal, &cleanup, nullptr);
  }
}

SignalsBlocked::SignalsBlocked() {
  sigset_t all;
  ::sigfillset(&all);
  ::sigprocmask(SIG_BLOCK, &all, &saved_);
}

SignalsBlocked::~SignalsBlocked() { ::sigprocmask(SIG_SETMASK, &saved_, nullptr); }

bool PendingName::hold(int directory, std::string_view name) {
  remove();
  if (name.size() >= sizeof PendingSlot::name) return false;
  for (std::size_t i = 0; i < pending.size(); ++i) {
    PendingSlot& slot = pending[i];
    if (slot.active) continue;
    std::memcpy(slot.name, name.data(), name.size());
    slot.name[name.size()] = '\0';
    slot.directory = directory;
    slot.active = 1;
    slot_ = static_cast<int>(i);
    return true;
  }
  return false;
}

const char* PendingName::name() const { return pending[static_cast<std::size_t>(slot_)].name; }

void PendingName::remove() noexcept {
  if (slot_ < 0) return;
  SignalsBlocked blocked;
  PendingSlot& slot = pending[static_cast<std::size_t>(slot_)];
  ::unlinkat(slot.directory, slot.name, 0);
  slot.active = 0;
  slot_ = -1;
}

void PendingName::forget() noexcept {
  if (slot_ < 0) return;
  pending[static_cast<std::size_t>(slot_)].active = 0;
  slot_ = -1;
}

}  // namespace walkers::render
