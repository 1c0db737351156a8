// The engine's random source: xoshiro256** seeded via SplitMix64, reseedable from the clock.
#pragma once

#include <array>
#include <concepts>
#include <cstdint>
#include <optional>

namespace walkers {

// What the engine needs from a random source: reseed from the clock, then uniform draws in [0, 1).
template <class R>
concept RandomSource = requires(R& r) {
  r.randomize();
  { r.next() } -> std::same_as<double>;
};

// One SplitMix64 step: advances `state` and returns the next output.
constexpr std::uint64_t splitMix64(std::uint64_t& state) {
  std::uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  return z ^ (z >> 31);
}

// xoshiro256** 1.0 as published by Blackman and Vigna. Fixed for good: patterns are reproducible
// from a seed on every platform and in every release.
class Xoshiro256 {
 public:
  explicit constexpr Xoshiro256(std::uint64_t seed = 0) { reseed(seed); }

  // Fills the four state words with four successive SplitMix64 outputs starting from `seed`.
  constexpr void reseed(std::uint64_t seed) {
    for (auto& word : s_) word = splitMix64(seed);
  }

  constexpr std::uint64_t nextBits() {
    const std::uint64_t result = rotl(s_[1] * 5, 7) * 9;
    const std::uint64_t t = s_[1] << 17;
    s_[2] ^= s_[0];
    s_[3] ^= s_[1];
    s_[1] ^= s_[2];
    s_[0] ^= s_[3];
    s_[2] ^= t;
    s_[3] = rotl(s_[3], 45);
    return result;
  }

  // The top 53 bits as a double in [0, 1).
  constexpr double nextDouble() { return static_cast<double>(nextBits() >> 11) * 0x1.0p-53; }

 private:
  static constexpr std::uint64_t rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
  std::array<std::uint64_t, 4> s_{};
};

// The system clock's nanoseconds since the epoch: the seed a clock reseed uses.
std::uint64_t clockSeed();

// The random source the program runs on. `randomize()` reseeds from the clock, or from a pinned
// seed when one is given (the headless renderer pins one so a picture can be reproduced).
class Random {
 public:
  Random() = default;
  explicit Random(std::optional<std::uint64_t> pinnedSeed) : pinned_(pinnedSeed) {}

  // The next randomize() alone reseeds from `seed`; later ones go back to the clock or the pin.
  void seedNextWith(std::uint64_t seed) { once_ = seed; }

  void randomize() {
    seed_ = once_ ? *once_ : pinned_ ? *pinned_ : clockSeed();
    once_.reset();
    generator_.reseed(seed_);
  }
  double next() { return generator_.nextDouble(); }

  // The seed the last randomize() used: Random(seed) repeats the draws made since then.
  std::uint64_t seed() const { return seed_; }

 private:
  std::optional<std::uint64_t> pinned_;
  std::optional<std::uint64_t> once_;
  std::uint64_t seed_ = 0;
  Xoshiro256 generator_;
};

}  // namespace walkers
