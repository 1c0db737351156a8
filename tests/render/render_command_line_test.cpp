// Tests of the walkers-render command line, in process: each option in each spelling, the
// request it gives, and one line naming whatever is wrong.
#include "tools/render_command_line.hpp"

#include <gtest/gtest.h>

#include <sstream>

namespace walkers::render {
namespace {

RenderCommandLine parse(const std::vector<std::string>& arguments) {
  return parseRenderCommandLine(arguments, "1.2.3");
}

TEST(RenderCommandLine, ReadsEveryOptionInEverySpelling) {
  const auto plain = parse({"-o", "p.png"});
  ASSERT_TRUE(plain.request) << plain.text;
  EXPECT_EQ(plain.request->size.width, 510);
  EXPECT_EQ(plain.request->ticks, 10'000u);
  EXPECT_FALSE(plain.request->seed);
  EXPECT_EQ(plain.request->png, "p.png");
  EXPECT_FALSE(plain.request->webp || plain.request->frames || plain.request->quality);

  const auto line = parse({"--size=4x3", "--ticks", "7", "--seed=18446744073709551615", "-oa.png",
                           "--animate", "a.webp", "--frames=f", "--every", "3", "--quality", "0"});
  ASSERT_TRUE(line.request) << line.text;
  const RenderRequest& request = *line.request;
  EXPECT_EQ(request.size.height, 3);
  EXPECT_EQ(request.ticks, 7u);
  EXPECT_EQ(request.seed, UINT64_MAX);
  EXPECT_EQ(request.png, "a.png");
  EXPECT_EQ(request.webp, "a.webp");
  EXPECT_EQ(request.frames, "f");
  EXPECT_EQ(request.every, 3u);
  EXPECT_EQ(request.frameMs, kMinFrameMs);  // real time, raised to what a frame may last
  EXPECT_EQ(request.quality, 0);
  EXPECT_EQ(parse({"--animate", "a", "--every", "200"}).request->frameMs, 200);
  EXPECT_EQ(parse({"--animate", "a", "--frame-ms", "25"}).request->frameMs, 25);
  // "--" ends the options; values may look like anything but an option.
  EXPECT_EQ(parse({"--ticks", "1", "--output", "-x.png", "--"}).request->png, "-x.png");
  EXPECT_EQ(parse({"--output=--", "--"}).request->png, "--");
}

TEST(RenderCommandLine, BadInputGetsOneLineInOurWordsAndStatusTwo) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"-o", "x", "--"}, ""},  // the only case that passes
      {{"-o", "x", "--", "-o", "y"}, "unexpected argument \"-o\""},
      {{"--", "x"}, "unexpected argument \"x\""},
      {{"-o", "x", "stray\001"}, R"(unexpected argument "stray\x01")"},
      {{"-o", "x", "--frobnicate=2"}, "unknown option \"--frobnicate\""},
      {{"-o", "x", "-size", "5x5"}, "unknown option \"-size\""},
      {{"-o", "a", "-o", "b"}, "--output is given twice"},
      {{"-o", "a", "--output=b"}, "--output is given twice"},
      {{"-o", "a", "--size", "1x1", "--size", "1x1"}, "--size is given twice"},
      {{"-o", "a", "--ticks"}, "--ticks needs a value"},
      {{"--output", "--ticks", "5"}, "--output needs a value"},
      {{"--help=foo"}, "--help takes no value"},
      {{"--version=1"}, "--version takes no value"},
      {{"--version", "extra"}, "unexpected argument \"extra\""},
      {{"--help", "--help"}, "--help is given twice"},
      {{"-hx"}, "unknown option \"-hx\""},
      {{"--ticks", "5", "--help"}, "--help goes alone, without --ticks"},
      {{"--size=", "-o", "x"}, "bad --size \"\""},
      {{"--seed", "-1", "-o", "x"}, "bad --seed \"-1\""},
      {{"--ticks", std::string(200, '9'), "-o", "x"}, "\"" + std::string(80, '9') + "…\""},
      {{"--size", "10x10"}, "nothing to write"},
      {{"--every", "0", "--frames", "f"}, "bad --every \"0\""},
      {{"--every", "40", "-o", "p"}, "--every needs --animate or --frames"},
      {{"--frame-ms", "19", "--animate", "a"}, "bad --frame-ms \"19\""},
      {{"--frame-ms", "40", "--frames", "f"}, "--frame-ms needs --animate"},
      {{"--quality", "101", "--animate", "a"}, "bad --quality \"101\""},
      {{"--size", "16384x10", "--animate", "a"}, "bad --size \"16384x10\" for --animate"},
      {{"--ticks", "1000000000000", "--every", "1", "--animate", "a"},
       "bad --every \"1\" for --ticks 1000000000000: 1000000000000 frames of 20 ms"},
      // The default --every was never given, so it is not what the message blames.
      {{"--ticks", "1000000000000", "--animate", "a"},
       "bad --ticks \"1000000000000\" for --animate with a frame every 40 ticks: 25000000000 "
       "frames of 40 ms make an animation longer than a WebP can time (24 days); give a larger "
       "--every"},
      {{"--animate", "", "-o", "x"}, "bad --animate \"\""},
      {{"--frames", "-", "--animate", "-"}, "both name standard output"},
      {{"--animate", "x", "-o", "x"}, "--animate names the same file as --output: \"x\""},
  };
  for (const auto& [arguments, expected] : cases) {
    const auto line = parse(arguments);
    std::ostringstream words;
    for (const auto& word : arguments) words << word << ' ';
    if (expected.empty()) {
      EXPECT_TRUE(line.request) << words.str() << line.text;
      continue;
    }
    EXPECT_FALSE(line.request) << words.str();
    EXPECT_EQ(line.status, kRenderUsageStatus) << words.str();
    EXPECT_NE(line.text.find(expected), std::string::npos) << words.str() << ": " << line.text;
    EXPECT_EQ(line.text.find('\n'), std::string::npos) << line.text;
  }
}

TEST(RenderCommandLine, HelpAndVersionFitATerminal) {
  for (const char* word : {"--help", "-h", "--version"}) {
    const auto line = parse({word});
    EXPECT_FALSE(line.request);
    EXPECT_EQ(line.status, 0);
    ASSERT_EQ(line.text.back(), '\n');
    std::istringstream lines(line.text);
    for (std::string text; std::getline(lines, text);) EXPECT_LE(text.size(), 80u) << text;
  }
  EXPECT_EQ(parse({"--version"}).text, "walkers-render 1.2.3\n");
  EXPECT_NE(parse({"-h"}).text.find("--frame-ms M"), std::string::npos);
}

}  // namespace
}  // namespace walkers::render
