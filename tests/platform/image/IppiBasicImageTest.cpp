#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "platform/image/TalvexIppiBasic.h"

namespace {

using namespace Talvex::Platform;

TEST(ImageMemory, RowsAre64ByteAlignedZeroedAndTheStepIsReported) {
  int step = 0;
  Ipp32f* img = ippiMalloc_32f_C1(17, 5, &step);
  ASSERT_NE(img, nullptr);
  EXPECT_EQ(step, 128);
  for (int y = 0; y < 5; ++y) {
    const auto* row =
        reinterpret_cast<const Ipp32f*>(reinterpret_cast<const char*>(img) + y * step);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(row) % 64, 0u);
    EXPECT_EQ(row[16], 0.0f);
  }
  ippiFree(img);
  ippiFree(nullptr);
  EXPECT_EQ(ippiMalloc_32f_C1(0, 5, &step), nullptr);
}

TEST(ImageConversion, FloatToBytesRoundsAndSaturatesPerMode) {
  const float src[8] = {0.5f, 2.5f, 255.7f, -3.0f, 1.49999f, 300.0f, std::nanf(""), 254.5f};
  Ipp8u d[8];
  ASSERT_EQ(ippiConvert_32f8u_C1R(src, 32, d, 8, {8, 1}, ippRndFinancial), 0);
  EXPECT_EQ(std::vector<int>(d, d + 8), (std::vector<int>{1, 3, 255, 0, 1, 255, 0, 255}));
  ASSERT_EQ(ippiConvert_32f8u_C1R(src, 32, d, 8, {8, 1}, ippRndNear), 0);
  EXPECT_EQ(std::vector<int>(d, d + 8), (std::vector<int>{0, 2, 255, 0, 1, 255, 0, 254}));
  ASSERT_EQ(ippiConvert_32f8u_C1R(src, 32, d, 8, {8, 1}, ippRndZero), 0);
  EXPECT_EQ(d[1], 2);
  float back[8];
  ASSERT_EQ(ippiConvert_8u32f_C1R(d, 8, back, 32, {8, 1}), 0);
  EXPECT_EQ(back[2], 255.0f);
}

TEST(BorderedCopies, ReplicatedAndConstantBordersSurroundTheSourceAtTopLeft) {
  const Ipp8u src[6] = {1, 2, 3, 4, 5, 6};  // 3 x 2
  Ipp8u rep[6 * 5], con[6 * 5];
  // 1 row on top, 2 columns left; the remaining 2 rows below and 1 column right.
  ASSERT_EQ(ippiCopyReplicateBorder_8u_C1R(src, 3, {3, 2}, rep, 6, {6, 5}, 1, 2), 0);
  ASSERT_EQ(ippiCopyConstBorder_8u_C1R(src, 3, {3, 2}, con, 6, {6, 5}, 1, 2, 9), 0);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 6; ++x) {
      const int sy = std::clamp(y - 1, 0, 1), sx = std::clamp(x - 2, 0, 2);
      EXPECT_EQ(rep[y * 6 + x], src[sy * 3 + sx]);
      const bool inside = y - 1 == sy && x - 2 == sx;
      EXPECT_EQ(con[y * 6 + x], inside ? src[sy * 3 + sx] : 9);
    }
  EXPECT_EQ(ippiCopyReplicateBorder_8u_C1R(src, 3, {3, 2}, rep, 6, {6, 5}, 4, 0), ippStsSizeErr);
}

TEST(BorderedCopies, FloatRegionCopyWritesOnlyTheRegionWhateverTheSteps) {
  const Ipp32f src[3 * 4] = {1, 2, 3, -1, 4, 5, 6, -1, 7, 8, 9, -1};  // 3 x 3, step 4 floats
  std::vector<Ipp32f> dst(5 * 6, -7.0f);                              // 5 x 6, region at (1, 2)
  ASSERT_EQ(ippiCopy_32f_C1R(src, 4 * 4, dst.data() + 2 * 5 + 1, 5 * 4, {3, 3}), 0);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 5; ++x) {
      const bool inside = x >= 1 && x < 4 && y >= 2 && y < 5;
      EXPECT_EQ(dst[y * 5 + x], inside ? src[(y - 2) * 4 + x - 1] : -7.0f) << x << "," << y;
    }
  EXPECT_EQ(ippiCopy_32f_C1R(src, 8, dst.data(), 20, {3, 3}), ippStsStepErr);
}

TEST(Flips, HorizontalAxisReversesTheRowOrderAndTransposeSwapsIndices) {
  Ipp8u b[12];
  for (int i = 0; i < 12; ++i) b[i] = Ipp8u(i);
  ASSERT_EQ(ippiMirror_8u_C1IR(b, 4, {3, 3}, ippAxsHorizontal), 0);  // 3 rows of 3, step 4
  EXPECT_EQ(std::vector<int>(b, b + 12), (std::vector<int>{8, 9, 10, 3, 4, 5, 6, 7, 0, 1, 2, 11}));
  std::vector<float> f(4 * 2), g;
  for (int i = 0; i < 8; ++i) f[i] = float(i);
  ASSERT_EQ(ippiMirror_32f_C1IR(f.data(), 16, {4, 2}, ippAxsBoth), 0);
  EXPECT_EQ(f, (std::vector<float>{7, 6, 5, 4, 3, 2, 1, 0}));
  const int n = 37, step = 40;  // larger than one tile, with a gap after every row
  f.assign(step * n, 0.0f);
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < step; ++x) f[y * step + x] = float(y * 1000 + x);
  g = f;
  ASSERT_EQ(ippiTranspose_32f_C1IR(f.data(), step * 4, {n, n}), 0);
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < step; ++x)
      EXPECT_EQ(f[y * step + x], x < n ? g[x * step + y] : g[y * step + x]);
  EXPECT_EQ(ippiTranspose_32f_C1IR(f.data(), step * 4, {n, n - 1}), ippStsSizeErr);
}

TEST(ImageStatistics, SumsMaximaAndFirstExtremeInRasterOrder) {
  std::vector<Ipp8u> b(7 * 5);
  for (int i = 0; i < 35; ++i) b[i] = Ipp8u(i * 7);
  double sum = 0;
  ASSERT_EQ(ippiSum_8u_C1R(b.data(), 7, {1, 5}, &sum), 0);  // one A-scan column
  EXPECT_EQ(sum, 0 + 49 + 98 + 147 + 196);
  Ipp8u mx = 0;
  ASSERT_EQ(ippiMax_8u_C1R(b.data(), 7, {7, 5}, &mx), 0);
  EXPECT_EQ(mx, 238);
  // Ties: 5 at (2, 1), (0, 2) and (3, 2); -1 at (4, 0) and (1, 1).
  const float f[15] = {0, 0, 0, 0, -1, 0, -1, 5, 0, 0, 5, 0, 0, 5, 0};
  float v;
  int x, y;
  ASSERT_EQ(ippiMaxIndx_32f_C1R(f + 1, 20, {4, 3}, &v, &x, &y), 0);  // 4 x 3 view, step 5
  EXPECT_EQ(v, 5.0f);
  EXPECT_EQ(x, 1);
  EXPECT_EQ(y, 1);
  ASSERT_EQ(ippiMinIndx_32f_C1R(f, 20, {5, 3}, &v, &x, &y), 0);
  EXPECT_EQ(v, -1.0f);
  EXPECT_EQ(x, 4);
  EXPECT_EQ(y, 0);
  EXPECT_EQ(ippiMinIndx_32f_C1R(f, 20, {5, 3}, &v, nullptr, &y), ippStsNullPtrErr);
}

TEST(Histograms, ByteBinsAreHalfOpenAndTheFloatLastBinIsClosed) {
  std::mt19937 rng(3);
  std::vector<Ipp8u> b(50 * 9);
  for (Ipp8u& v : b) v = Ipp8u(rng() % 256);
  b[0] = 255;
  Ipp32s levels[256], hist[255];
  for (int i = 0; i < 256; ++i) levels[i] = i;
  ASSERT_EQ(ippiHistogramRange_8u_C1R(b.data(), 50, {47, 9}, hist, levels, 256), 0);
  for (int k = 0; k < 255; ++k) {
    int expected = 0;
    for (int y = 0; y < 9; ++y) expected += int(std::count(&b[y * 50], &b[y * 50 + 47], Ipp8u(k)));
    EXPECT_EQ(hist[k], expected);
  }
  const Ipp32s coarse[3] = {10, 100, 200};
  ASSERT_EQ(ippiHistogramRange_8u_C1R(b.data(), 50, {50, 9}, hist, coarse, 3), 0);
  EXPECT_EQ(hist[0], std::count_if(b.begin(), b.end(), [](int v) { return v >= 10 && v < 100; }));
  EXPECT_EQ(hist[1], std::count_if(b.begin(), b.end(), [](int v) { return v >= 100 && v < 200; }));

  // 64 levels over [0, 1]: 63 bins, the maximum 1.0 lands in the last one.
  float lv[64];
  for (int i = 0; i < 63; ++i) lv[i] = float(i) / 63.0f;
  lv[63] = 1.0f;
  std::vector<float> m(40 * 10);
  std::uniform_real_distribution<float> u(0.0f, 1.0f);
  for (float& v : m) v = u(rng);
  m[5] = 1.0f, m[6] = 0.0f, m[7] = lv[20], m[8] = -0.1f, m[9] = 1.5f;
  ASSERT_EQ(ippiHistogramRange_32f_C1R(m.data(), 160, {40, 10}, hist, lv, 64), 0);
  int total = 0;
  for (int k = 0; k < 63; ++k) {
    const auto in = [&](float v) {
      return v >= lv[k] && (v < lv[k + 1] || (k == 62 && v == 1.0f));
    };
    EXPECT_EQ(hist[k], std::count_if(m.begin(), m.end(), in));
    total += hist[k];
  }
  EXPECT_EQ(total, 400 - 2);
  EXPECT_EQ(ippiHistogramRange_32f_C1R(m.data(), 160, {40, 10}, hist, lv, 1), ippStsSizeErr);
}

TEST(ThresholdCompareLogic, MasksAre255Or0AndLogicIsBitwise) {
  Ipp8u t[6] = {3, 9, 10, 11, 200, 10};
  ASSERT_EQ(ippiThreshold_LTValGTVal_8u_C1IR(t, 6, {6, 1}, 10, 0, 10, 255), 0);
  EXPECT_EQ(std::vector<int>(t, t + 6), (std::vector<int>{0, 0, 10, 255, 255, 10}));
  const float a[4] = {1, 2, 3, std::numeric_limits<float>::quiet_NaN()}, c[4] = {2, 2, 2, 2};
  Ipp8u m[4];
  const std::vector<std::vector<int>> expected = {
      {255, 0, 0, 0}, {255, 255, 0, 0}, {0, 255, 0, 0}, {0, 255, 255, 0}, {0, 0, 255, 0}};
  for (int op = 0; op < 5; ++op) {
    ASSERT_EQ(ippiCompare_32f_C1R(a, 16, c, 16, m, 4, {4, 1}, IppCmpOp(op)), 0);
    EXPECT_EQ(std::vector<int>(m, m + 4), expected[op]);
    ASSERT_EQ(ippiCompareC_32f_C1R(a, 16, 2.0f, m, 4, {4, 1}, IppCmpOp(op)), 0);
    EXPECT_EQ(std::vector<int>(m, m + 4), expected[op]);
  }
  float neg[4];
  ASSERT_EQ(ippiMulC_32f_C1R(c, 16, -1.0f, neg, 16, {4, 1}), 0);
  EXPECT_EQ(neg[3], -2.0f);
  Ipp8u x[2] = {0xF0, 0x0F}, y[2] = {0x3C, 0x3C};
  ASSERT_EQ(ippiAnd_8u_C1IR(x, 2, y, 2, {2, 1}), 0);
  EXPECT_EQ(y[0], 0x30);
  EXPECT_EQ(y[1], 0x0C);
  ASSERT_EQ(ippiOr_8u_C1IR(x, 2, y, 2, {2, 1}), 0);
  EXPECT_EQ(y[0], 0xF0);
  EXPECT_EQ(y[1], 0x0F);
  EXPECT_EQ(ippiCompareC_32f_C1R(a, 16, 2.0f, m, 4, {4, 1}, IppCmpOp(9)), ippStsBadArgErr);
}

}  // namespace
