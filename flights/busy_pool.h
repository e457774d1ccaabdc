#pragma once
// A busy vehicle pool, as the game's is when traffic, an airport and a display team share it: the game hands each new
// vehicle the first free entry of its pool, so aircraft lie anywhere among the cars.

#include <cstdint>

namespace flights {

// The model of the cars: one that no rule of the shipped Zephrel.ini names.
inline constexpr std::uint16_t kCarModel = 400;

// The pool index of aircraft `k` of `aircraft` (0 to aircraft - 1) spread evenly over a pool of `entries` entries (at
// least `aircraft`): the first at index 0, each further one the same number of entries on, rounded down.
inline int SpreadIndex(int k, int aircraft, int entries) {
  return static_cast<int>(static_cast<std::int64_t>(k) * entries / aircraft);
}

}  // namespace flights
