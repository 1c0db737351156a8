// Several patterns at once, each a form with its own loop on its own host, stepped from one wait.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "engine/form.hpp"
#include "host/core/loop.hpp"

namespace walkers {

// One pattern per screen: every screen grows its own pattern at its own size. A host that reports
// the end (its screen went away) drops its pattern; the others go on.
class Patterns {
 public:
  Patterns(LoopOptions options, std::optional<std::uint64_t> firstSeed)
      : options_(std::move(options)), firstSeed_(firstSeed) {}

  // Starts a pattern on `host` at its size; the host must outlive it (or be dropped first). Its
  // first pattern takes the first seed, if one was given.
  void add(Host& host) {
    auto pattern = std::make_unique<Pattern>(host, options_);
    if (firstSeed_) pattern->form.random().seedNextWith(*firstSeed_);
    patterns_.push_back(std::move(pattern));
  }
  void drop(const Host& host) {
    std::erase_if(patterns_, [&](const auto& pattern) { return &pattern->host == &host; });
  }
  bool has(const Host& host) const {
    return std::any_of(patterns_.begin(), patterns_.end(),
                       [&](const auto& pattern) { return &pattern->host == &host; });
  }
  std::size_t size() const { return patterns_.size(); }

  // Steps every pattern once: due ticks, waiting events, restarts and frames. Drops those that
  // ended, and returns when the next one needs to run (no later than `latest`).
  LoopClock::time_point step(LoopClock::time_point latest) {
    auto next = latest;
    std::erase_if(patterns_, [&](const auto& pattern) {
      const auto wake = pattern->loop.step();
      if (wake) next = std::min(next, *wake);
      return !wake;
    });
    return next;
  }

 private:
  struct Pattern {
    Pattern(Host& on, const LoopOptions& options)
        : host(on), form(on.width(), on.height()), loop(form, on, options) {}
    Host& host;
    Form form;
    Loop loop;
  };

  LoopOptions options_;
  std::optional<std::uint64_t> firstSeed_;
  std::vector<std::unique_ptr<Pattern>> patterns_;
};

}  // namespace walkers
