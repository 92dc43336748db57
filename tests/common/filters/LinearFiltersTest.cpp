#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "interface/Talvex.h"

namespace {

using namespace Talvex::Common::Algorithms::Filters;

constexpr float kFilterTolerance = 1e-4f;  // float filters against double oracles

std::vector<float> RandomImage(int rows, int cols, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> u(0.0f, 100.0f);
  std::vector<float> v(rows * cols);
  for (float& x : v) x = u(rng);
  return v;
}

// Oracle: true convolution dst = sum_i k[i] src[x + h - i] along rows (alongRows) or columns,
// with the nearest edge sample standing in for samples outside the image.
std::vector<float> DirectConvolution(const std::vector<float>& img, int rows, int cols,
                                     const std::vector<float>& k, bool alongRows) {
  const int h = static_cast<int>(k.size()) / 2;
  std::vector<float> out(img.size());
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < cols; ++c) {
      double s = 0;
      for (int i = 0; i < static_cast<int>(k.size()); ++i) {
        const int rr = alongRows ? r : std::clamp(r + h - i, 0, rows - 1);
        const int cc = alongRows ? std::clamp(c + h - i, 0, cols - 1) : c;
        s += k[i] * img[rr * cols + cc];
      }
      out[r * cols + c] = static_cast<float>(s);
    }
  return out;
}

void ExpectNear(const std::vector<float>& a, const std::vector<float>& b, float tol) {
  ASSERT_EQ(a.size(), b.size());
  for (size_t i = 0; i < a.size(); ++i) ASSERT_NEAR(a[i], b[i], tol) << "at " << i;
}

TEST(LinearFilters, OneDimensionalConvolutionTakesTheCentrePart) {
  const std::vector<float> src = {1, 2, 3, 4, 5};
  std::vector<float> dst(5);
  const float identity = 1.0f;
  ASSERT_EQ(Conv1D(src.data(), 5, &identity, 1, dst.data()), 0);
  EXPECT_EQ(dst, src);
  // Even kernel {1, 1}: full convolution 1 3 5 7 9 5, taken from offset 1.
  const float pair[2] = {1, 1};
  ASSERT_EQ(Conv1D(src.data(), 5, pair, 2, dst.data()), 0);
  EXPECT_EQ(dst, (std::vector<float>{3, 5, 7, 9, 5}));
  std::vector<double> d = {0, 0, 6, 0, 0};
  const double taps[3] = {1, 2, 3};  // in place, zeros outside
  ASSERT_EQ(Conv1D(d.data(), 5, taps, 3, d.data()), 0);
  EXPECT_EQ(d, (std::vector<double>{0, 6, 12, 18, 0}));
}

TEST(LinearFilters, RowAndColumnFiltersMatchADirectConvolutionWithReplicatedBorders) {
  const int rows = 13, cols = 17;
  const std::vector<float> k = {0.5f, -1.0f, 0.25f, 2.0f, 0.1f};  // asymmetric: orientation shows
  for (bool alongRows : {true, false}) {
    std::vector<float> img = RandomImage(rows, cols, 5);
    const std::vector<float> expected = DirectConvolution(img, rows, cols, k, alongRows);
    ASSERT_EQ((alongRows ? ConvRow2D : ConvCol2D)(img.data(), rows, cols, k.data(), 5), 0);
    ExpectNear(img, expected, kFilterTolerance * 100);
  }
  std::vector<float> flat(rows * cols, 42.0f);
  const float smooth[3] = {0.25f, 0.5f, 0.25f};
  ASSERT_EQ(ConvCol2D(flat.data(), rows, cols, smooth, 3), 0);
  ASSERT_EQ(ConvRow2D(flat.data(), rows, cols, smooth, 3), 0);
  for (float v : flat) ASSERT_EQ(v, 42.0f);
  EXPECT_EQ(ConvRow2D(flat.data(), rows, cols, smooth, 2), -1);  // no centre tap
}

TEST(GaussianKernels, ShapesSizesAndDerivativeSign) {
  std::vector<float> g(5, -1), d1(5), dd1(5), d2(5), dd2(5);
  ASSERT_EQ(GetGaussianDerivKernel1D(0, 1.0f, 4, 3.0f, g.data()), 0);  // size 4 -> 5 taps
  EXPECT_EQ(g[2], 1.0f);
  EXPECT_FLOAT_EQ(g[0], g[4]);
  EXPECT_NEAR(g[1], std::exp(-1.125), 1e-6);  // x = -1.5 at sigma 1, range 3
  ASSERT_EQ(GetGaussianDerivKernel1D(1, 1.0f, 5, 3.0f, d1.data()), 0);
  EXPECT_EQ(d1[2], 0.0f);
  EXPECT_NEAR(d1[0], -d1[4], 1e-6f);
  ASSERT_EQ(GetGaussDerivKernel1D(1, 1.0f, 5, 3.0f, dd1.data()), 0);
  // The double-precision order-1 kernel carries the extra (x^2 - s^2)/s^4 factor.
  EXPECT_NEAR(dd1[0], d1[0] * (9.0 - 1.0), 1e-5);
  ASSERT_EQ(GetGaussianDerivKernel1D(2, 1.0f, 5, 3.0f, d2.data()), 0);
  ASSERT_EQ(GetGaussDerivKernel1D(2, 1.0f, 5, 3.0f, dd2.data()), 0);
  for (int i = 0; i < 5; ++i) EXPECT_NEAR(d2[i], dd2[i], 1e-6);
  EXPECT_EQ(GetGaussianDerivKernel1D(0, 0.0f, 5, 3.0f, g.data()), -1);

  // A dark-to-bright step along depth gives a positive first-derivative response.
  const int rows = 3, cols = 40;
  std::vector<float> step(rows * cols), kernel(9);
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < cols; ++c) step[r * cols + c] = c < 20 ? 10.0f : 200.0f;
  ASSERT_EQ(GetGaussianDerivKernel1D(1, 2.0f, 9, 3.0f, kernel.data()), 0);
  ASSERT_EQ(ConvRow2D(step.data(), rows, cols, kernel.data(), 9), 0);
  EXPECT_GT(step[cols + 19], 0.0f);
  EXPECT_GT(step[cols + 20], 0.0f);
  EXPECT_NEAR(step[cols + 2], 0.0f, 1e-3f);
}

TEST(SeparableGaussian, MatchesTwoDirectPassesAndKeepsFlatImages) {
  const int rows = 20, cols = 31;
  std::vector<float> img = RandomImage(rows, cols, 9);
  const float sigma[2] = {1.5f, 2.5f};
  const int size[2] = {5, 9};
  auto kernel = [](float s, int n) {
    std::vector<float> k(n);
    double sum = 0;
    for (int j = -n / 2; j <= n / 2; ++j) sum += k[j + n / 2] = std::exp(-j * j / (2.0f * s * s));
    for (float& v : k) v = static_cast<float>(v / sum);
    return k;
  };
  auto expected = DirectConvolution(img, rows, cols, kernel(sigma[1], 9), true);
  expected = DirectConvolution(expected, rows, cols, kernel(sigma[0], 5), false);
  ASSERT_EQ(Gauss_2Dsep(img.data(), rows, cols, sigma, size), 0);
  ExpectNear(img, expected, kFilterTolerance);

  std::vector<float> copy = RandomImage(rows, cols, 2), original = copy;
  const int ones[2] = {1, 1};
  ASSERT_EQ(Gauss_2Dsep(copy.data(), rows, cols, sigma, ones), 0);
  EXPECT_EQ(copy, original);

  std::vector<std::uint8_t> bytes(rows * cols, 137);
  for (int r = 0; r < rows; ++r) bytes[r * cols + 30] = 255;  // a bright last column
  ASSERT_EQ(Gauss_2Dsep_floatcolumn(bytes.data(), rows, cols, sigma, size), 0);
  EXPECT_EQ(bytes[5 * cols + 3], 137);
  EXPECT_GT(bytes[5 * cols + 30], 137);
  EXPECT_LT(bytes[5 * cols + 30], 255);
}

}  // namespace
