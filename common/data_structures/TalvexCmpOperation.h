// Comparison selector of the containers' `find` operations.
#pragma once

#include <cstdint>

namespace Talvex::Common::Algorithms::DataStructures {

// 32-bit selector; any value outside 0..5 behaves as `TalvexCmpEqual`.
enum TalvexCmpOperation : std::int32_t {
  TalvexCmpNotEqual = 0,
  TalvexCmpEqual = 1,
  TalvexCmpLess = 2,
  TalvexCmpLessEqual = 3,
  TalvexCmpGreater = 4,
  TalvexCmpGreaterEqual = 5,
};

namespace Detail {

// True when `element <op> value` holds.
template <typename T>
inline bool CompareHolds(T element, T value, TalvexCmpOperation op) {
  switch (op) {
    case TalvexCmpNotEqual:
      return element != value;
    case TalvexCmpLess:
      return element < value;
    case TalvexCmpLessEqual:
      return element <= value;
    case TalvexCmpGreater:
      return element > value;
    case TalvexCmpGreaterEqual:
      return element >= value;
    default:
      return element == value;
  }
}

}  // namespace Detail
}  // namespace Talvex::Common::Algorithms::DataStructures
