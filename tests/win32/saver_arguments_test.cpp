// Tests of the screen saver's command line and of when a running screen saver ends.
#include "host/win32/saver_arguments.hpp"

#include <gtest/gtest.h>

#include <tuple>

#include "host/win32/input_watch.hpp"

namespace walkers {
namespace {

using Mode = SaverRequest::Mode;

TEST(SaverArguments, ReadsEveryModeInEverySpelling) {
  for (const auto& [arguments, mode, window] :
       {std::tuple{std::vector<std::string>{}, Mode::kSettings, 0ULL},
        {{"/c"}, Mode::kSettings, 0ULL},
        {{"-C:4242"}, Mode::kSettings, 4242ULL},
        {{"/c", "77"}, Mode::kSettings, 77ULL},
        {{"/c:0"}, Mode::kSettings, 0ULL},
        {{"/s"}, Mode::kRun, 0ULL},
        {{"/S"}, Mode::kRun, 0ULL},
        {{"-s"}, Mode::kRun, 0ULL},
        {{"/p", "1234"}, Mode::kPreview, 1234ULL},
        {{"/P:18446744073709551615"}, Mode::kPreview, 18446744073709551615ULL},
        {{"-p", "5"}, Mode::kPreview, 5ULL},
        {{"/a", "9"}, Mode::kPassword, 9ULL},
        {{"/A"}, Mode::kPassword, 0ULL}}) {
    const auto request = parseSaverArguments(arguments);
    EXPECT_EQ(request.mode, mode) << (arguments.empty() ? "" : arguments[0]) << request.message;
    EXPECT_EQ(request.window, window);
  }
}

TEST(SaverArguments, NamesWhatIsWrong) {
  for (const auto& [arguments, message] : {
           std::tuple{std::vector<std::string>{"/x"}, "unknown argument \"/x\""},
           {{"/"}, "unknown argument \"/\""},
           {{"s"}, "unknown argument \"s\""},
           {{"/saver"}, "unknown argument \"/saver\""},
           {{"--help"}, "unknown argument \"--help\""},
           {{"/p"}, "/p needs the handle"},
           {{"/p", "0"}, "bad window handle \"0\" for /p"},
           {{"/P:abc"}, "bad window handle \"abc\" for /p"},
           {{"/p", "-5"}, "bad window handle \"-5\" for /p"},
           {{"/p:"}, "bad window handle \"\" for /p"},
           {{"/p", "18446744073709551616"}, "bad window handle \"18446744073709551616\""},
           {{"/c:0x10"}, "bad window handle \"0x10\" for /c"},
           {{"/s:5"}, "/s takes no window handle"},
           {{"/s", "5"}, "unexpected argument \"5\""},
           {{"/p", "5", "6"}, "unexpected argument \"6\""},
           {{"/x\x1b[2J"}, R"(unknown argument "/x\x1b[2J")"},
       }) {
    const auto request = parseSaverArguments(arguments);
    EXPECT_EQ(request.mode, Mode::kBad) << arguments[0];
    EXPECT_NE(request.message.find(message), std::string::npos) << request.message;
  }
}

TEST(InputWatch, EndsOnAMoveBeyondTheThresholdFromWhereThePointerRested) {
  InputWatch watch(InputWatch::kThreshold);
  watch.pointerAt(500, 300);  // the first position: the pointer at rest, whatever it is
  EXPECT_FALSE(watch.ended());
  for (const auto& [x, y] : {std::pair{502, 301}, {496, 304}, {500, 300}, {504, 296}}) {
    watch.pointerAt(x, y);
    EXPECT_FALSE(watch.ended()) << "a nudge to " << x << "," << y << " ended it";
  }
  watch.pointerAt(505, 300);
  EXPECT_TRUE(watch.ended());

  InputWatch down(InputWatch::kThreshold);
  down.pointerAt(0, 0);
  down.pointerAt(0, -5);
  EXPECT_TRUE(down.ended());

  InputWatch keyed(InputWatch::kThreshold);
  keyed.end();
  EXPECT_TRUE(keyed.ended());
}

TEST(InputWatch, ScalesTheThresholdWithTheDpi) {
  EXPECT_EQ(InputWatch::thresholdFor(96), InputWatch::kThreshold);
  EXPECT_EQ(InputWatch::thresholdFor(0), InputWatch::kThreshold);
  EXPECT_EQ(InputWatch::thresholdFor(144), 6);
  EXPECT_EQ(InputWatch::thresholdFor(192), 8);
  EXPECT_EQ(InputWatch::thresholdFor(120), 5);
}

}  // namespace
}  // namespace walkers
