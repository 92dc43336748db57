// CLineSpace<T>::linspace: n evenly spaced values from a to b (float and double).
#pragma once

#include <memory>

#include "common/data_structures/CVector.h"

namespace Talvex::Common::Algorithms::DataStructures {

template <typename T>
class CLineSpace {
 public:
  // New vector of n values:
  //   n < 1          -> null (no vector);
  //   b <= a         -> n zeros;
  //   n == 1         -> the single value (a + b) / 2;
  //   otherwise      -> a + i * (b - a) / (n - 1) for i < n - 1, and exactly b last.
  // Computed in double precision; each element is rounded to T when stored.
  static std::unique_ptr<CVector<T>> linspace(T a, T b, int n) {
    if (n < 1) return nullptr;
    auto result = std::make_unique<CVector<T>>(n);
    T* v = result->getdata();
    if (!(b > a)) return result;
    if (n == 1) {
      v[0] = static_cast<T>((static_cast<double>(a) + b) * 0.5);
      return result;
    }
    const double step = (static_cast<double>(b) - a) / (n - 1);
    for (int i = 0; i < n - 1; ++i) v[i] = static_cast<T>(a + i * step);
    v[n - 1] = b;
    return result;
  }
};

}  // namespace Talvex::Common::Algorithms::DataStructures
