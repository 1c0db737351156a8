// Finding the standard handles of a GUI program, writing to them, and the seed line writer
// (openStandardStreams and printSeedLine on Windows).
#include "host/win32/standard_streams.hpp"

#include <windows.h>

#include <cinttypes>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "host/core/seams.hpp"

namespace walkers {
namespace {

bool usable(HANDLE handle) {
  return handle && handle != INVALID_HANDLE_VALUE && ::GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

bool writeAll(DWORD which, std::string_view text) {
  const HANDLE handle = ::GetStdHandle(which);
  if (!usable(handle)) return false;
  while (!text.empty()) {
    DWORD written = 0;
    const auto chunk = static_cast<DWORD>(std::min<std::size_t>(text.size(), 1U << 16));
    if (!::WriteFile(handle, text.data(), chunk, &written, nullptr) || written == 0) return false;
    text.remove_prefix(written);
  }
  return true;
}

// The writer thread's mailbox. It outlives every caller: the thread keeps it until the process
// ends, even when the thread is stuck writing to a pipe nobody reads.
struct Mailbox {
  std::mutex lock;
  std::condition_variable posted;
  std::string line;  // the line to write; empty while the writer is free
};

}  // namespace

// A GUI program gets the standard handles of whoever redirected them; started from a console
// without redirection it gets none, and then takes its parent's console, when it has one.
// Answers whether standard output still leads nowhere; it never fails.
std::optional<bool> openStandardStreams() {
  const bool output = usable(::GetStdHandle(STD_OUTPUT_HANDLE));
  const bool error = usable(::GetStdHandle(STD_ERROR_HANDLE));
  if (!(output && error) && ::AttachConsole(ATTACH_PARENT_PROCESS)) {
    const HANDLE console = ::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_WRITE,
                                         nullptr, OPEN_EXISTING, 0, nullptr);
    if (console != INVALID_HANDLE_VALUE) {
      if (!output) ::SetStdHandle(STD_OUTPUT_HANDLE, console);
      if (!error) ::SetStdHandle(STD_ERROR_HANDLE, console);
    }
  }
  return !usable(::GetStdHandle(STD_OUTPUT_HANDLE));
}

bool hasStandardError() { return usable(::GetStdHandle(STD_ERROR_HANDLE)); }

bool writeStandardOutput(std::string_view text) { return writeAll(STD_OUTPUT_HANDLE, text); }
bool writeStandardError(std::string_view text) { return writeAll(STD_ERROR_HANDLE, text); }

// The line is handed to a thread of its own, so that a reader that does not read never holds up
// the drawing: a line that comes while the last is still being written is dropped.
bool printSeedLine(std::uint64_t seed) {
  static const std::shared_ptr<Mailbox> mailbox = [] {
    auto box = std::make_shared<Mailbox>();
    std::thread([box] {
      std::unique_lock<std::mutex> held(box->lock);
      for (;;) {
        box->posted.wait(held, [&] { return !box->line.empty(); });
        const std::string line = box->line;
        held.unlock();
        writeStandardOutput(line);
        held.lock();
        box->line.clear();
      }
    }).detach();
    return box;
  }();
  char line[40];
  std::snprintf(line, sizeof line, "seed: %" PRIu64 "\n", seed);
  {
    const std::lock_guard<std::mutex> held(mailbox->lock);
    if (!mailbox->line.empty()) return false;  // the last line is still on its way
    mailbox->line = line;
  }
  mailbox->posted.notify_one();
  return true;
}

}  // namespace walkers
