// Polling a condition with a generous deadline, for tests that wait on another process or server.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace walkers::test {

// Polls until the condition holds, every 10 ms for up to 10 s: a loaded machine may take seconds.
inline bool eventually(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

}  // namespace walkers::test
