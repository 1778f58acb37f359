// Where the repair run draws the numbers that make a colliding DN unique.
#include "engine/random_source.h"

#include <chrono>

namespace quorvane {

std::uint64_t SeededRandom::ClockSeed() {
  return static_cast<std::uint64_t>(
      std::chrono::high_resolution_clock::now().time_since_epoch().count());
}

int SeededRandom::Next() { return static_cast<int>(engine_() % 100); }

}  // namespace quorvane
