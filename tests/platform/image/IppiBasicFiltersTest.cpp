#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "platform/image/TalvexIppiBasic.h"

namespace {

using namespace Talvex::Platform;

std::vector<float> RandomFloats(int n, unsigned seed, float lo = -10.0f, float hi = 10.0f) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> u(lo, hi);
  std::vector<float> v(n);
  for (float& x : v) x = u(rng);
  return v;
}

// A padded source of pw x ph pixels, a kernel and the region inside it where the filters write.
struct Case {
  int pw, ph, w, h, ax,
      ay;  // padded size, region size, pixel (ax, ay) of the padding = region (0,0)
  std::vector<float> src;
};

// Direct definition: dst(x, y) = sum_j sum_i K[j][i] * src(x + ax - i, y + ay - j), in double.
double Oracle2D(const Case& c, const std::vector<float>& k, int kw, int kh, int kx, int ky, int x,
                int y) {
  double s = 0.0;
  for (int j = 0; j < kh; ++j)
    for (int i = 0; i < kw; ++i)
      s += double(k[j * kw + i]) * c.src[(c.ay + y + ky - j) * c.pw + (c.ax + x + kx - i)];
  return s;
}

TEST(LinearFilters, RowColumnAnd2DFiltersMatchTheConvolutionDefinition) {
  for (int n : {1, 3, 4, 7, 15}) {
    const int anchor = n / 2 - (n == 4);  // an off-centre anchor for the even kernel
    const std::vector<float> k = RandomFloats(n, 7 + n, -1.0f, 1.0f);
    Case c{45 + 2 * n, 9 + 2 * n, 45, 9, n, n, RandomFloats((45 + 2 * n) * (9 + 2 * n), n)};
    const float* origin = c.src.data() + c.ay * c.pw + c.ax;
    std::vector<float> dr(c.w * c.h), dc(c.w * c.h), d2(c.w * c.h);
    const int step = c.pw * 4, dstep = c.w * 4;
    ASSERT_EQ(
        ippiFilterRow_32f_C1R(origin, step, dr.data(), dstep, {c.w, c.h}, k.data(), n, anchor), 0);
    ASSERT_EQ(
        ippiFilterColumn_32f_C1R(origin, step, dc.data(), dstep, {c.w, c.h}, k.data(), n, anchor),
        0);
    ASSERT_EQ(ippiFilter_32f_C1R(origin, step, d2.data(), dstep, {c.w, c.h}, k.data(), {n, 1},
                                 {anchor, 0}),
              0);
    for (int y = 0; y < c.h; ++y)
      for (int x = 0; x < c.w; ++x) {
        EXPECT_NEAR(dr[y * c.w + x], Oracle2D(c, k, n, 1, anchor, 0, x, y), 1e-4);
        EXPECT_NEAR(dc[y * c.w + x], Oracle2D(c, k, 1, n, 0, anchor, x, y), 1e-4);
        EXPECT_EQ(d2[y * c.w + x], dr[y * c.w + x]);
      }
  }
  // A full 2-D kernel with an off-centre anchor.
  const std::vector<float> k = RandomFloats(15, 3, -1.0f, 1.0f);
  Case c{40, 30, 33, 24, 4, 3, RandomFloats(40 * 30, 11)};
  std::vector<float> d(c.w * c.h);
  ASSERT_EQ(ippiFilter_32f_C1R(c.src.data() + 3 * 40 + 4, 160, d.data(), c.w * 4, {c.w, c.h},
                               k.data(), {5, 3}, {3, 1}),
            0);
  for (int y = 0; y < c.h; ++y)
    for (int x = 0; x < c.w; ++x)
      EXPECT_NEAR(d[y * c.w + x], Oracle2D(c, k, 5, 3, 3, 1, x, y), 1e-4);
}

TEST(LinearFilters, ConvolutionOrientationGivesDarkToBrightRampsAPositiveDerivative) {
  std::vector<float> ramp(12);
  for (int x = 0; x < 12; ++x) ramp[x] = float(x);
  const float order1[3] = {1.0f, 0.0f, -1.0f}, mirrored[3] = {-1.0f, 0.0f, 1.0f};
  std::vector<float> d(10);
  ASSERT_EQ(ippiFilterRow_32f_C1R(ramp.data() + 1, 48, d.data(), 40, {10, 1}, order1, 3, 1), 0);
  for (float v : d) EXPECT_EQ(v, 2.0f);  // src(x + 1) - src(x - 1)
  ASSERT_EQ(ippiFilterColumn_32f_C1R(ramp.data() + 1, 4, d.data(), 4, {1, 10}, mirrored, 3, 1), 0);
  for (float v : d) EXPECT_EQ(v, -2.0f);
}

TEST(LinearFilters, EightBitFiltersRoundHalvesUpAndSaturate) {
  // Row: kernel {0.5} on 1 gives 0.5 -> 1; {1.003} on 255 gives 255.7 -> 255; a difference -3 -> 0.
  const Ipp8u src[4] = {1, 255, 7, 4};
  Ipp8u d[4];
  const float half = 0.5f, big = 1.003f, diff[2] = {1.0f, -1.0f};
  ASSERT_EQ(ippiFilterRow32f_8u_C1R(src, 4, d, 4, {1, 1}, &half, 1, 0), 0);
  EXPECT_EQ(d[0], 1);
  ASSERT_EQ(ippiFilterColumn32f_8u_C1R(src + 1, 1, d, 1, {1, 1}, &big, 1, 0), 0);
  EXPECT_EQ(d[0], 255);
  ASSERT_EQ(ippiFilterRow32f_8u_C1R(src + 3, 4, d, 4, {1, 1}, diff, 2, 0), 0);  // 4 - 7
  EXPECT_EQ(d[0], 0);
  // Random 8-bit images against the rounded double definition.
  std::mt19937 rng(5);
  std::vector<Ipp8u> img(60 * 50);
  for (Ipp8u& v : img) v = Ipp8u(rng() % 256);
  const float k[5] = {0.1f, 0.2f, 0.45f, 0.2f, 0.1f};  // sums above 1: saturation happens too
  std::vector<Ipp8u> dr(50 * 40), dc(50 * 40);
  const Ipp8u* origin = img.data() + 5 * 60 + 5;
  ASSERT_EQ(ippiFilterRow32f_8u_C1R(origin, 60, dr.data(), 50, {50, 40}, k, 5, 2), 0);
  ASSERT_EQ(ippiFilterColumn32f_8u_C1R(origin, 60, dc.data(), 50, {50, 40}, k, 5, 3), 0);
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 50; ++x) {
      double r = 0, c = 0;
      for (int i = 0; i < 5; ++i) {
        r += k[i] * origin[y * 60 + x + 2 - i];
        c += k[i] * origin[(y + 3 - i) * 60 + x];
      }
      EXPECT_NEAR(dr[y * 50 + x], std::min(255.0, std::floor(r + 0.5)),
                  1.0 * (std::fabs(r - std::floor(r) - 0.5) < 1e-4));
      EXPECT_NEAR(dc[y * 50 + x], std::min(255.0, std::floor(c + 0.5)),
                  1.0 * (std::fabs(c - std::floor(c) - 0.5) < 1e-4));
    }
}

TEST(LinearFilters, BoxFilterAveragesOriginalValuesAndLeavesTheOutsideUntouched) {
  // The calling layout: W A-scans (rows) of B samples, a 1 x 7 mask, anchor (0, 3), A-scans 3..W-4.
  const int W = 20, B = 6;
  std::vector<float> img = RandomFloats(W * B, 9), orig = img;
  ASSERT_EQ(ippiFilterBox_32f_C1IR(img.data() + 3 * B, B * 4, {B, W - 6}, {1, 7}, {0, 3}), 0);
  for (int r = 0; r < W; ++r)
    for (int b = 0; b < B; ++b) {
      double mean = 0;
      for (int j = -3; j <= 3; ++j) mean += orig[std::clamp(r + j, 0, W - 1) * B + b] / 7.0;
      EXPECT_NEAR(img[r * B + b], (r < 3 || r > W - 4) ? orig[r * B + b] : mean, 1e-5);
    }
  // A 2-D mask with an off-centre anchor.
  img = orig;
  ASSERT_EQ(ippiFilterBox_32f_C1IR(img.data() + 2 * B + 1, B * 4, {3, 15}, {3, 4}, {1, 2}), 0);
  for (int y = 0; y < 15; ++y)
    for (int x = 0; x < 3; ++x) {
      double mean = 0;
      for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 3; ++i) mean += orig[(2 + y - 2 + j) * B + 1 + x - 1 + i] / 12.0;
      EXPECT_NEAR(img[(2 + y) * B + 1 + x], mean, 1e-5);
    }
}

TEST(LinearFilters, InvalidKernelsAndAnchorsFail) {
  float img[16] = {}, out[16], k[3] = {1, 2, 3};
  EXPECT_EQ(ippiFilterRow_32f_C1R(img + 1, 16, out, 16, {2, 2}, k, 3, 3), ippStsAnchorErr);
  EXPECT_EQ(ippiFilterColumn_32f_C1R(img, 16, out, 16, {2, 2}, k, 0, 0), ippStsSizeErr);
  EXPECT_EQ(ippiFilterRow_32f_C1R(img, 16, out, 16, {2, 2}, nullptr, 3, 1), ippStsNullPtrErr);
  EXPECT_EQ(ippiFilterBox_32f_C1IR(img, 16, {2, 2}, {0, 3}, {0, 0}), ippStsMaskSizeErr);
  EXPECT_EQ(ippiFilter_32f_C1R(img, 16, out, 16, {0, 2}, k, {3, 1}, {1, 0}), ippStsSizeErr);
}

}  // namespace
