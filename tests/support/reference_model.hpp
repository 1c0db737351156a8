// The tests' reference model of the walker rules, line by line: its own pixel grid, a slot scan
// from 0 for every branch. Tests compare the engine with it; bench/engine_bench times against it.
#pragma once

#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

namespace walkers::testing {

template <class Random>
class ReferenceModel {
 public:
  ReferenceModel(int width, int height, Random random)
      : width_(width),
        height_(height),
        pixels_(std::size_t(width) * std::size_t(height), 0),
        random_(std::move(random)) {}

  void tick() {
    if (!seeded) {
      random_.randomize();
      runLength = static_cast<int>(std::floor(random_.next() * 20)) + 1;
      runFactor = static_cast<int>(std::floor(random_.next() * 5)) + 1;
      for (int k = 0; k <= 500; ++k) stepsLeft[k] = 0;
      posX[0] = width_ / 2;
      posY[0] = height_ / 2;
      heading[0] = 0;
      stepsLeft[0] = runFactor * runLength;
      lastWalker = static_cast<int>(std::floor(random_.next() * 400 + 101));
      seeded = true;
    }
    for (int i = 0; i <= lastWalker; ++i) {
      if (stepsLeft[i] < 1) continue;
      if (heading[i] == 0) posX[i] = limit(posX[i] - 1);
      if (heading[i] == 1) posY[i] = limit(posY[i] - 1);
      if (heading[i] == 2) posX[i] = limit(posX[i] + 1);
      if (heading[i] == 3) posY[i] = limit(posY[i] + 1);
      stepsLeft[i] = stepsLeft[i] - 1;
      if (stepsLeft[i] == 0) {
        stepsLeft[i] = runFactor * runLength;
        if (point(posX[i], posY[i]) == 0) {
          heading[i] = heading[i] + 1;
          if (heading[i] > 3) heading[i] = 0;
        } else {
          for (int j = 0; j <= lastWalker; ++j) {
            if (stepsLeft[j] == 0) {
              stepsLeft[j] = runLength;
              heading[j] = heading[i] + 1;
              posX[j] = posX[i];
              posY[j] = posY[i];
              if (heading[j] > 3) heading[j] = 0;
              break;
            }
          }
        }
      }
      const int red = static_cast<int>(std::floor(random_.next() * 250 + 5));
      const int green = static_cast<int>(std::floor(random_.next() * 250 + 5));
      const int blue = static_cast<int>(std::floor(random_.next() * 250 + 5));
      pset(posX[i], posY[i], red + 256 * green + 65536 * blue);
    }
  }

  std::int32_t point(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return -1;
    return pixels_[std::size_t(y) * std::size_t(width_) + std::size_t(x)];
  }
  void pset(int x, int y, std::int32_t colour) {
    if (point(x, y) != -1) pixels_[std::size_t(y) * std::size_t(width_) + std::size_t(x)] = colour;
  }
  void cls() { pixels_.assign(pixels_.size(), 0); }
  const std::vector<std::int32_t>& pixels() const { return pixels_; }

  int posX[501]{}, posY[501]{}, heading[501]{}, stepsLeft[501]{};
  bool seeded = false;
  int lastWalker = 0, runLength = 0, runFactor = 0;

 private:
  // Coordinates park at the ends of the 16-bit range.
  static int limit(int value) { return value < -32768 ? -32768 : value > 32767 ? 32767 : value; }

  int width_, height_;
  std::vector<std::int32_t> pixels_;
  Random random_;
};

}  // namespace walkers::testing
