// Tests of what Windows supplies through host/core/seams.hpp: the wait, the seed line, the
// standard streams at start-up and --window-id's rule.
#include "host/core/seams.hpp"

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <string>
#include <thread>

namespace walkers {
namespace {

using namespace std::chrono_literals;

TEST(Seams, TheWaitEndsOnAMessageOnAStopOrAtTheDeadlineNotBefore) {
  auto deadline = LoopClock::now() + 30ms;
  waitForInput(0, nullptr, deadline);
  EXPECT_GE(LoopClock::now(), deadline);  // nothing came: the whole wait, rounded up

  // A message in this thread's queue, then a stop request, end the wait before a far deadline.
  ASSERT_TRUE(::PostThreadMessageW(::GetCurrentThreadId(), WM_USER, 0, 0));
  deadline = LoopClock::now() + 20s;
  waitForInput(0, nullptr, deadline);
  EXPECT_LT(LoopClock::now(), deadline) << "the message did not end the wait";
  MSG message;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
  }
  struct MadeRequest : StopRequest {
    HANDLE event = ::CreateEventW(nullptr, TRUE, TRUE, nullptr);  // set: asked for
    ~MadeRequest() override { ::CloseHandle(event); }
    bool requested() const override { return true; }
    std::intptr_t waitable() const override { return reinterpret_cast<std::intptr_t>(event); }
  } stop;
  deadline = LoopClock::now() + 20s;
  waitForInput(0, &stop, deadline);
  EXPECT_LT(LoopClock::now(), deadline) << "the stop request did not end the wait";
}

// What a pipe holds within a few seconds (the seed line comes from a thread of its own).
std::string drain(HANDLE read) {
  std::string text;
  for (int tries = 0; tries < 100; ++tries) {
    DWORD waiting = 0;
    if (::PeekNamedPipe(read, nullptr, 0, nullptr, &waiting, nullptr) && waiting > 0) {
      std::string part(waiting, '\0');
      DWORD got = 0;
      if (!::ReadFile(read, part.data(), waiting, &got, nullptr)) break;
      text += part.substr(0, got);
      if (!text.empty() && text.back() == '\n') break;
    }
    std::this_thread::sleep_for(50ms);
  }
  return text;
}

TEST(Seams, TheSeedLineReachesStandardOutputOrIsDroppedButNeverWaitsForTheReader) {
  HANDLE read = nullptr, write = nullptr;
  ASSERT_TRUE(::CreatePipe(&read, &write, nullptr, 64));
  const HANDLE saved = ::GetStdHandle(STD_OUTPUT_HANDLE);
  ::SetStdHandle(STD_OUTPUT_HANDLE, write);
  EXPECT_EQ(openStandardStreams(), false);  // it leads somewhere
  EXPECT_TRUE(printSeedLine(18446744073709551615ULL));
  EXPECT_EQ(drain(read), "seed: 18446744073709551615\n");

  // A reader that stopped reading: the pipe fills, the writer's thread waits in it, and the
  // lines after that are dropped at once instead of holding up their caller.
  std::thread filler([write] {
    const std::string block(1 << 20, 'x');  // more than any pipe holds: it waits once full
    DWORD written = 0;
    ::WriteFile(write, block.data(), static_cast<DWORD>(block.size()), &written, nullptr);
  });
  std::this_thread::sleep_for(200ms);
  printSeedLine(1);  // taken by the thread, which then waits for room
  std::this_thread::sleep_for(200ms);
  EXPECT_FALSE(printSeedLine(2));
  ::SetStdHandle(STD_OUTPUT_HANDLE, saved);
  ::CloseHandle(read);  // the waiting writes fail, and the threads are free again
  filler.join();
  ::CloseHandle(write);
}

TEST(Seams, AnotherProgramsWindowIsAWindowHandle) {
  EXPECT_EQ(parseOtherWindow("0x1A0B2C"), std::uintptr_t{0x1a0b2c});
  EXPECT_EQ(parseOtherWindow("4294967295"), std::uintptr_t{0xffffffff});
  for (const char* bad : {"", "0", "0x", "-5", "0x100000000", "12a"}) {
    EXPECT_EQ(parseOtherWindow(bad), std::nullopt) << '"' << bad << '"';
  }
}

}  // namespace
}  // namespace walkers
