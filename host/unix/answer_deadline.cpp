// The watch behind AnswerDeadline: a thread that says why and ends the process once it is past.
#include "host/unix/answer_deadline.hpp"

#include <unistd.h>

#include <utility>

namespace walkers {

AnswerDeadline::AnswerDeadline(std::string why, std::chrono::milliseconds wait) {
  watch_ = std::thread([this, line = "walkers: " + std::move(why) + "\n", wait] {
    std::unique_lock<std::mutex> lock(mutex_);
    if (metOrPast_.wait_for(lock, wait, [this] { return met_; })) return;
    [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, line.data(), line.size());
    ::_exit(1);
  });
}

AnswerDeadline::~AnswerDeadline() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    met_ = true;
  }
  metOrPast_.notify_one();
  watch_.join();
}

}  // namespace walkers
