#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "platform/signal/TalvexIpps.h"

namespace {

using namespace Talvex::Platform;

constexpr double kPi = 3.14159265358979323846;

TEST(SignalMemory, BuffersAreAlignedZeroedAndNullForEmptyRequests) {
  Ipp8u* bytes = ippsMalloc_8u(100);
  Ipp32f* floats = ippsMalloc_32f(33);
  Ipp32fc* complex = ippsMalloc_32fc(17);
  ASSERT_NE(bytes, nullptr);
  ASSERT_NE(floats, nullptr);
  ASSERT_NE(complex, nullptr);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(bytes) % 64, 0u);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(floats) % 64, 0u);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(complex) % 64, 0u);
  EXPECT_EQ(bytes[99], 0);
  EXPECT_EQ(floats[32], 0.0f);
  EXPECT_EQ(complex[16].im, 0.0f);
  ippsFree(bytes);
  ippsFree(floats);
  ippsFree(complex);
  EXPECT_EQ(ippsMalloc_8u(0), nullptr);
  EXPECT_EQ(ippsMalloc_32f(-5), nullptr);
  ippsFree(nullptr);
}

TEST(SignalArithmetic, SubtractsTheFirstOperandFromTheSecond) {
  const float model[3] = {1.0f, 2.0f, 3.0f};
  const float y[3] = {10.0f, 20.0f, 30.0f};
  float r[3];
  ASSERT_EQ(ippsSub_32f(model, y, r, 3), 0);
  EXPECT_EQ(r[0], 9.0f);
  EXPECT_EQ(r[2], 27.0f);
}

TEST(SignalArithmetic, ReverseDivisionAndArctangentTakeTheDocumentedOperandOrder) {
  float x[3] = {2.0f, 4.0f, 0.0f};
  ASSERT_EQ(ippsDivCRev_32f_I(1.0f, x, 3), 0);
  EXPECT_EQ(x[0], 0.5f);
  EXPECT_EQ(x[1], 0.25f);
  EXPECT_EQ(x[2], std::numeric_limits<float>::infinity());
  const double ys[2] = {1.0, 0.0};
  const double xs[2] = {0.0, -1.0};
  double angles[2];
  ASSERT_EQ(ippsAtan2_64f_A50(ys, xs, angles, 2), 0);
  EXPECT_DOUBLE_EQ(angles[0], kPi / 2);
  EXPECT_DOUBLE_EQ(angles[1], kPi);
  double magnitude[2], phase[2];
  ASSERT_EQ(ippsCartToPolar_64f(xs, ys, magnitude, phase, 2), 0);
  EXPECT_DOUBLE_EQ(phase[0], kPi / 2);
  EXPECT_DOUBLE_EQ(magnitude[1], 1.0);
  double r[2] = {4.0, 9.0};
  EXPECT_EQ(ippsDivC_64f_I(0.0, r, 2), ippStsDivByZeroErr);
  EXPECT_EQ(r[0], 4.0);
}

TEST(SignalArithmetic, AbsoluteValueOfSixteenBitIntegersSaturates) {
  const Ipp16s in[4] = {-32768, -5, 0, 7};
  Ipp16s out[4];
  ASSERT_EQ(ippsAbs_16s(in, out, 4), 0);
  EXPECT_EQ(out[0], 32767);
  EXPECT_EQ(out[1], 5);
  EXPECT_EQ(out[3], 7);
}

TEST(SignalArithmetic, SquareRootsAndMagnitudesMatchTheLibraryDefinition) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> u(-100.0f, 100.0f);
  std::vector<float> x(37), y(37), mag(37);
  std::vector<double> r(37), expected(37);
  for (int i = 0; i < 37; ++i) {
    x[i] = u(rng);
    y[i] = u(rng);
    r[i] = std::fabs(u(rng));
    expected[i] = std::sqrt(r[i]);
  }
  ASSERT_EQ(ippsMagnitude_32f(x.data(), y.data(), mag.data(), 37), 0);
  ASSERT_EQ(ippsSqrt_64f_I(r.data(), 37), 0);
  for (int i = 0; i < 37; ++i) {
    EXPECT_FLOAT_EQ(mag[i], static_cast<float>(std::hypot(double(x[i]), double(y[i]))));
    EXPECT_EQ(r[i], expected[i]);
  }
}

TEST(SignalArithmetic, DoubleSumsOffsetsSquaresAndAbsoluteValuesGiveKnownAnswers) {
  const double a[4] = {-1.5, 0.0, 2.25, -3.0}, b[4] = {0.5, -4.0, 1.0, 3.0};
  double sum[4], shifted[4], inPlace[4], abs[4];
  std::copy(a, a + 4, inPlace);
  std::copy(a, a + 4, abs);
  ASSERT_EQ(ippsAdd_64f(a, b, sum, 4), 0);
  ASSERT_EQ(ippsAddC_64f(a, 10.0, shifted, 4), 0);
  ASSERT_EQ(ippsAddC_64f_I(-0.25, inPlace, 4), 0);
  ASSERT_EQ(ippsAbs_64f_I(abs, 4), 0);
  const double eSum[4] = {-1.0, -4.0, 3.25, 0.0}, eShifted[4] = {8.5, 10.0, 12.25, 7.0};
  const double eInPlace[4] = {-1.75, -0.25, 2.0, -3.25}, eAbs[4] = {1.5, 0.0, 2.25, 3.0};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(sum[i], eSum[i]);
    EXPECT_EQ(shifted[i], eShifted[i]);
    EXPECT_EQ(inPlace[i], eInPlace[i]);
    EXPECT_EQ(abs[i], eAbs[i]);
  }
  // Grid radii as sqrt(x^2 + y^2) through squares in place, a sum and square roots.
  double x[3] = {3.0, -5.0, 0.0}, y[3] = {-4.0, 12.0, -2.0}, r[3];
  ASSERT_EQ(ippsSqr_64f_I(x, 3), 0);
  ASSERT_EQ(ippsSqr_64f_I(y, 3), 0);
  ASSERT_EQ(ippsAdd_64f(x, y, r, 3), 0);
  ASSERT_EQ(ippsSqrt_64f_I(r, 3), 0);
  EXPECT_EQ(r[0], 5.0);
  EXPECT_EQ(r[1], 13.0);
  EXPECT_EQ(r[2], 2.0);
  EXPECT_EQ(ippsAdd_64f(a, nullptr, sum, 4), ippStsNullPtrErr);
  EXPECT_EQ(ippsAddC_64f_I(1.0, inPlace, 0), ippStsSizeErr);
}

TEST(SignalArithmetic, ElementWiseMinimumAndMaximumSortEachPair) {
  const float tx[6] = {0.1f, 0.7f, 0.5f, 0.0f, 0.9f, -2.0f};
  const float ty[6] = {0.3f, 0.2f, 0.5f, 0.8f, 0.9f, -1.0f};
  float lo[6], hi[6];
  std::copy(tx, tx + 6, lo);
  std::copy(tx, tx + 6, hi);
  ASSERT_EQ(ippsMinEvery_32f_I(ty, lo, 6), 0);
  ASSERT_EQ(ippsMaxEvery_32f_I(ty, hi, 6), 0);
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(lo[i], std::min(tx[i], ty[i])) << i;
    EXPECT_EQ(hi[i], std::max(tx[i], ty[i])) << i;
  }
  EXPECT_EQ(ippsMaxEvery_32f_I(nullptr, hi, 6), ippStsNullPtrErr);
  EXPECT_EQ(ippsMinEvery_32f_I(ty, lo, 0), ippStsSizeErr);
}

// Distance in units in the last place between two floats of the same sign.
int64_t UlpDistance(float a, float b) {
  int32_t ia, ib;
  std::memcpy(&ia, &a, 4);
  std::memcpy(&ib, &b, 4);
  return std::llabs(int64_t{ia} - int64_t{ib});
}

TEST(Exponential, IsWithinOneUlpOfTheCorrectlyRoundedValue) {
  std::vector<float> x;
  for (float v = -87.0f; v < 88.7f; v += 0.0137f) x.push_back(v);
  std::vector<float> e(x.size());
  ASSERT_EQ(ippsExp_32f(x.data(), e.data(), static_cast<int>(x.size())), 0);
  int64_t worst = 0;
  for (size_t i = 0; i < x.size(); ++i) {
    const float exact = static_cast<float>(std::exp(static_cast<double>(x[i])));
    worst = std::max(worst, UlpDistance(e[i], exact));
  }
  EXPECT_LE(worst, 1);
}

TEST(Exponential, OverflowAndUnderflowAreNotFailures) {
  float v[7] = {100.0f, -200.0f, INFINITY, -INFINITY, NAN, -95.0f, 0.0f};
  ASSERT_EQ(ippsExp_32f_I(v, 7), 0);
  EXPECT_EQ(v[0], std::numeric_limits<float>::infinity());
  EXPECT_EQ(v[1], 0.0f);
  EXPECT_EQ(v[2], std::numeric_limits<float>::infinity());
  EXPECT_EQ(v[3], 0.0f);
  EXPECT_TRUE(std::isnan(v[4]));
  EXPECT_NEAR(v[5], std::exp(-95.0), 2e-45);  // subnormal
  EXPECT_EQ(v[6], 1.0f);
  // The sigmoid of a large negative activation is exactly 0, as the cost transform expects.
  float s[1] = {-120.0f};
  ippsMulC_32f_I(-1.0f, s, 1);
  ASSERT_EQ(ippsExp_32f_I(s, 1), 0);
  ippsAddC_32f_I(1.0f, s, 1);
  ippsDivCRev_32f_I(1.0f, s, 1);
  EXPECT_EQ(s[0], 0.0f);
}

TEST(Exponential, GivesTheSameValueWhateverThePositionInTheVector) {
  std::vector<float> x(11), whole(11);
  for (int i = 0; i < 11; ++i) x[i] = 0.37f * i - 2.0f;
  ippsExp_32f(x.data(), whole.data(), 11);
  for (int i = 0; i < 11; ++i) {
    float one;
    ippsExp_32f(&x[i], &one, 1);
    EXPECT_EQ(one, whole[i]);
  }
}

}  // namespace
