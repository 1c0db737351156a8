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

TEST(Seams, TheSeedLineReachesTheStandardOutputThatWasFoundAtStartUp) {
  HANDLE read = nullptr, write = nullptr;
  ASSERT_TRUE(::CreatePipe(&read, &write, nullptr, 0));
  const HANDLE saved = ::GetStdHandle(STD_OUTPUT_HANDLE);
  ::SetStdHandle(STD_OUTPUT_HANDLE, write);
  EXPECT_EQ(openStandardStreams(), false);  // it leads somewhere
  EXPECT_TRUE(printSeedLine(18446744073709551615ULL));
  char text[64] = {};
  DWORD got = 0;
  EXPECT_TRUE(::ReadFile(read, text, sizeof text, &got, nullptr));  // the writer's thread
  EXPECT_EQ(std::string(text, got), "seed: 18446744073709551615\n");
  ::SetStdHandle(STD_OUTPUT_HANDLE, saved);
  ::CloseHandle(read);
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
