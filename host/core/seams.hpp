// What every platform supplies to the shared code: stop requests, the wait, the seed line and
// other lines, the standard streams at start-up, the rule for naming another program's window,
// and whether the machine runs on battery.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "host/core/loop.hpp"

namespace walkers {

// A request from outside that the program end (on Unix SIGTERM, SIGINT or SIGHUP), made into
// something the platform's wait wakes for. One implementation per platform.
class StopRequest {
 public:
  virtual ~StopRequest() = default;
  // Whether the program was asked to stop; once it was, this stays true.
  virtual bool requested() const = 0;
  // What waitForInput watches for the request: a descriptor on Unix, a handle elsewhere.
  virtual std::intptr_t waitable() const = 0;
};

// The run's StopRequest, made once at start-up (on Unix: SIGTERM, SIGINT and SIGHUP, and SIGPIPE
// ignored, since a reader of the seeds that went away is no reason to stop drawing); null on a
// platform whose programs get no such request.
std::unique_ptr<StopRequest> makeStopRequest();

// Returns once `connection` (a display connection: a descriptor on Unix) may have input, `stop`
// (may be null) was requested, or `deadline` has come, rounded up to the next millisecond:
// waking a little late costs nothing, since the loop runs every tick that fell due on waking.
void waitForInput(std::intptr_t connection, const StopRequest* stop,
                  LoopClock::time_point deadline);

// Writes "seed: S" as a line on standard output only if it can be taken at once, whole: a
// reader that is slow, stopped or never reads loses the line instead of stopping the pattern.
// Answers whether it was written.
bool printSeedLine(std::uint64_t seed);

// Writes "walkers: <line>" on standard error as well as it can (a line nobody can take is lost).
void reportLine(const std::string& line);

// At start-up, before anything opens a file: opens standard input, output and error where they
// are closed (so that no file the program opens takes their place), and answers whether
// standard output was closed, or nothing when they cannot be opened.
std::optional<bool> openStandardStreams();

// Another program's window as this platform's users name it (--window-id): its handle, or
// nothing for text that names no window. otherWindowForms() says what is taken, for the message.
// main.cpp hands both to parseCommandLine.
std::optional<std::uintptr_t> parseOtherWindow(std::string_view text);
const char* otherWindowForms();

// Whether the machine runs on battery now, read afresh from the system on every call (callers
// keep the answer a while); false when it cannot be told.
bool onBattery();

}  // namespace walkers
