#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>
#include <vector>

#include "platform/signal/TalvexIpps.h"

namespace {

using namespace Talvex::Platform;

// Oracle: positions ordered by value with std::stable_sort.
template <typename T, typename Order>
std::vector<int> StableOrder(const std::vector<T>& v, Order order) {
  std::vector<int> idx(v.size());
  std::iota(idx.begin(), idx.end(), 0);
  std::stable_sort(idx.begin(), idx.end(), [&](int a, int b) { return order(v[a], v[b]); });
  return idx;
}

template <typename T, typename Sort, typename Order>
void ExpectStable(Sort sort, Order order, const std::vector<T>& original) {
  std::vector<T> values = original;
  std::vector<int> idx(values.size(), -1);
  ASSERT_EQ(sort(values.data(), idx.data(), static_cast<int>(values.size())), 0);
  const std::vector<int> expected = StableOrder(original, order);
  EXPECT_EQ(idx, expected);
  for (size_t k = 0; k < values.size(); ++k) EXPECT_EQ(values[k], original[expected[k]]);
}

TEST(IndexSort, EqualValuesKeepTheirOriginalOrder) {
  std::mt19937 rng(3);
  std::uniform_int_distribution<int> level(0, 6);  // heavy ties
  for (int n : {1, 2, 7, 64, 65, 500}) {
    std::vector<float> f(n);
    std::vector<double> d(n);
    std::vector<Ipp32s> s(n);
    for (int i = 0; i < n; ++i) s[i] = level(rng), f[i] = 0.5f * s[i], d[i] = -0.25 * s[i];
    const auto up = [](auto a, auto b) { return a < b; };
    const auto down = [](auto a, auto b) { return a > b; };
    ExpectStable(ippsSortIndexAscend_32f_I, up, f);
    ExpectStable(ippsSortIndexAscend_64f_I, up, d);
    ExpectStable(ippsSortIndexAscend_32s_I, up, s);
    ExpectStable(ippsSortIndexDescend_32s_I, down, s);
  }
}

TEST(IndexSort, NanSortsAfterEveryNumber) {
  std::vector<float> v(100);
  for (int i = 0; i < 100; ++i) v[i] = (i % 7 == 0) ? NAN : float(100 - i);
  std::vector<int> idx(100);
  ASSERT_EQ(ippsSortIndexAscend_32f_I(v.data(), idx.data(), 100), 0);
  EXPECT_TRUE(std::is_sorted(v.begin(), v.begin() + 85));
  for (int k = 85; k < 100; ++k) EXPECT_TRUE(std::isnan(v[k]));
  EXPECT_EQ(idx[85], 0);
}

TEST(PlainSort, SixteenBitValuesAreSortedAscending) {
  std::vector<Ipp16s> v = {5, -3, 0, 23, -3, 1};
  ASSERT_EQ(ippsSortAscend_16s_I(v.data(), 6), 0);
  EXPECT_EQ(v, (std::vector<Ipp16s>{-3, -3, 0, 1, 5, 23}));
  EXPECT_EQ(ippsSortAscend_16s_I(v.data(), 0), ippStsSizeErr);
}

}  // namespace
