// Where the repair run draws the numbers that make a colliding DN unique.
#pragma once

#include <cstdint>
#include <random>

namespace quorvane {

class RandomSource {
 public:
  virtual ~RandomSource() = default;
  // A number from 0 to 99.
  virtual int Next() = 0;
};

// A generator seeded once per run: from a given number for a reproducible run, or from the clock.
class SeededRandom : public RandomSource {
 public:
  explicit SeededRandom(std::uint64_t seed) : engine_(seed) {}
  static std::uint64_t ClockSeed();
  int Next() override;

 private:
  std::mt19937_64 engine_;
};

}  // namespace quorvane
