// A random source for tests that hands out a scripted list of draws and counts what it was asked.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <utility>
#include <vector>

namespace walkers::testing {

// Draws come from `script` in order; once it runs out, `fallback` is returned for ever.
class ScriptedRandom {
 public:
  explicit ScriptedRandom(std::vector<double> script = {}, double fallback = 0.5)
      : script_(std::move(script)), fallback_(fallback) {}

  void randomize() { ++reseeds; }
  double next() {
    ++draws;
    return draws <= script_.size() ? script_[draws - 1] : fallback_;
  }

  std::size_t reseeds = 0;
  std::size_t draws = 0;

 private:
  std::vector<double> script_;
  double fallback_;
};

}  // namespace walkers::testing
