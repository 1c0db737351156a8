// A deadline for a call that may never return, such as the first round trip to a display.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace walkers {

// How long a display may take to answer a new connection. Xlib waits for ever on a server (or
// any socket) that accepts the connection and never answers.
inline constexpr std::chrono::seconds kAnswerDeadline{5};

// While one exists, the process is given `wait` to get past a call that may never return (the
// first round trip to a display): past it, "walkers: <why>" is said in one line on stderr and the
// process ends with status 1. Nothing is drawn by then that would need saving.
class AnswerDeadline {
 public:
  explicit AnswerDeadline(std::string why, std::chrono::milliseconds wait = kAnswerDeadline);
  ~AnswerDeadline();  // met
  AnswerDeadline(const AnswerDeadline&) = delete;
  AnswerDeadline& operator=(const AnswerDeadline&) = delete;

 private:
  std::mutex mutex_;
  std::condition_variable metOrPast_;
  bool met_ = false;
  std::thread watch_;
};

}  // namespace walkers
