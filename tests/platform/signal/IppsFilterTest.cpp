#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "platform/signal/TalvexIpps.h"

namespace {

using namespace Talvex::Platform;

// Oracle: for every sample, sort the clamped window and take its middle.
std::vector<float> BruteMedian(const std::vector<float>& x, int mask) {
  const int m = mask % 2 == 0 ? mask - 1 : mask;
  const int n = static_cast<int>(x.size());
  std::vector<float> out(n), window(m);
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < m; ++j) window[j] = x[std::clamp(i - m / 2 + j, 0, n - 1)];
    std::sort(window.begin(), window.end());
    out[i] = window[m / 2];
  }
  return out;
}

// A row of 0/1 samples holding every window of `order` bits (a de Bruijn sequence, built by the
// prefer-one rule). By the 0-1 principle, a median that is right on every 0/1 window of length
// m <= order is right on all data.
std::vector<float> EveryBitWindow(int order) {
  const unsigned mask = (1u << order) - 1;
  std::vector<char> seen(mask + 1, 0);
  std::vector<float> row(order, 0.0f);
  seen[0] = 1;
  for (unsigned w = 0;;) {
    unsigned next = ((w << 1) | 1) & mask;
    if (seen[next]) next = (w << 1) & mask;
    if (seen[next]) return row;
    seen[next] = 1;
    w = next;
    row.push_back(static_cast<float>(w & 1));
  }
}

TEST(MedianFilter, MatchesABruteForceMedianWithReplicatedEndsAndOddedEvenMasks) {
  std::mt19937 rng(5);
  std::uniform_int_distribution<int> level(-4, 4);
  const std::vector<float> bits = EveryBitWindow(15);
  for (int mask : {1, 2, 3, 5, 6, 7, 9, 11, 12, 13, 15, 17, 101}) {
    for (int n : {1, 2, 4, 11, 200, int(bits.size())}) {
      std::vector<float> x(n);
      for (float& v : x) v = static_cast<float>(level(rng));
      if (n == int(bits.size())) x = bits;
      const std::vector<float> expected = BruteMedian(x, mask);
      ASSERT_EQ(ippsFilterMedian_32f_I(x.data(), n, mask), 0);
      EXPECT_EQ(x, expected) << "mask " << mask << " length " << n;
    }
  }
  float x[1] = {1.0f};
  EXPECT_EQ(ippsFilterMedian_32f_I(x, 1, 0), ippStsMaskSizeErr);
}

template <typename T>
void ExpectDirectConvolution(int n, int k, std::mt19937& rng) {
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  std::vector<T> a(n), b(k), out(n + k - 1);
  for (T& v : a) v = static_cast<T>(u(rng));
  for (T& v : b) v = static_cast<T>(u(rng));
  if constexpr (sizeof(T) == 4) {
    ASSERT_EQ(ippsConv_32f(a.data(), n, b.data(), k, out.data()), 0);
  } else {
    ASSERT_EQ(ippsConv_64f(a.data(), n, b.data(), k, out.data()), 0);
  }
  for (int t = 0; t < n + k - 1; ++t) {
    double direct = 0.0;
    for (int i = 0; i < n; ++i) {
      if (t - i >= 0 && t - i < k) direct += double(a[i]) * double(b[t - i]);
    }
    EXPECT_NEAR(out[t], direct, sizeof(T) == 4 ? 1e-5 : 1e-12);
  }
}

TEST(Convolution, FullConvolutionMatchesADirectDoubleLoop) {
  std::mt19937 rng(9);
  for (auto [n, k] : {std::pair{1, 1}, {37, 5}, {5, 37}, {512, 87}}) {
    ExpectDirectConvolution<float>(n, k, rng);
    ExpectDirectConvolution<double>(n, k, rng);
  }
}

TEST(Convolution, DarkToBrightRampGivesAPositiveCentralDifference) {
  const float ramp[6] = {0, 1, 2, 3, 4, 5};
  const float derivative[3] = {0.5f, 0.0f, -0.5f};
  float full[8];
  ASSERT_EQ(ippsConv_32f(ramp, 6, derivative, 3, full), 0);
  for (int t = 2; t < 6; ++t) EXPECT_EQ(full[t], 1.0f);  // the centre the filters keep
}

}  // namespace
