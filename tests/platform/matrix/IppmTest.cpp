#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "platform/matrix/TalvexIppm.h"

namespace {

using namespace Talvex::Platform;

// Least squares through the design matrix as the polynomial fits call it (row-major, n x p).
template <typename T>
IppStatus Solve(const std::vector<T>& a, const std::vector<T>& b, int n, int p, std::vector<T>* x) {
  std::vector<T> qr(a.size()), scratch(n);
  x->assign(p, T(0));
  const int s = static_cast<int>(sizeof(T));
  IppStatus status;
  if constexpr (sizeof(T) == 4) {
    status = ippmQRDecomp_m_32f(a.data(), p * s, s, scratch.data(), qr.data(), p * s, s, p, n);
    if (status == 0)
      status = ippmQRBackSubst_mva_32f(qr.data(), p * s, s, scratch.data(), b.data(), n * s, s,
                                       x->data(), p * s, s, p, n, 1);
  } else {
    status = ippmQRDecomp_m_64f(a.data(), p * s, s, scratch.data(), qr.data(), p * s, s, p, n);
    if (status == 0)
      status = ippmQRBackSubst_mva_64f(qr.data(), p * s, s, scratch.data(), b.data(), n * s, s,
                                       x->data(), p * s, s, p, n, 1);
  }
  return status;
}

template <typename T>
void RecoversPolynomial(double tolerance) {
  // y = 0.5 x³ - 2 x² + 3 x - 7 at x = 0 ... 39, raw powers highest first, as polyfit builds them.
  const std::vector<double> coef = {0.5, -2.0, 3.0, -7.0};
  const int n = 40, p = 4;
  std::vector<T> a(n * p), y(n), x;
  for (int i = 0; i < n; ++i) {
    double v = 0;
    for (int j = 0; j < p; ++j) {
      a[i * p + j] = static_cast<T>(std::pow(i, p - 1 - j));
      v += coef[j] * std::pow(i, p - 1 - j);
    }
    y[i] = static_cast<T>(v);
  }
  ASSERT_EQ(Solve(a, y, n, p, &x), ippStsNoErr);
  for (int j = 0; j < p; ++j) EXPECT_NEAR(x[j], coef[j], tolerance * std::fabs(coef[j])) << j;
}

TEST(QRLeastSquares, RecoversTheCoefficientsOfAnExactPolynomial) {
  RecoversPolynomial<double>(1e-10);
  RecoversPolynomial<float>(1e-4);
}

TEST(QRLeastSquares, MatchesTheNormalEquationsOnNoisyData) {
  std::mt19937 rng(9);
  std::normal_distribution<double> noise(0.0, 1.0);
  for (int p : {1, 3, 6, 9, 12}) {  // 12: beyond the unrolled widths
    const int n = 50 + 7 * p;
    std::vector<double> a(n * p), b(n), x;
    for (auto& v : a) v = noise(rng);
    for (auto& v : b) v = noise(rng);
    ASSERT_EQ(Solve(a, b, n, p, &x), ippStsNoErr);
    // Optimality: the residual is orthogonal to every column.
    for (int j = 0; j < p; ++j) {
      double dot = 0;
      for (int i = 0; i < n; ++i) {
        double r = b[i];
        for (int k = 0; k < p; ++k) r -= a[i * p + k] * x[k];
        dot += a[i * p + j] * r;
      }
      EXPECT_NEAR(dot, 0.0, 1e-10) << p;
    }
    // The same matrix read column-major through swapped strides, in place, gives the same answer.
    std::vector<double> t(n * p), y(p);
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < p; ++j) t[j * n + i] = a[i * p + j];
    ASSERT_EQ(ippmQRDecomp_m_64f(t.data(), 8, n * 8, nullptr, t.data(), 8, n * 8, p, n), 0);
    ASSERT_EQ(ippmQRBackSubst_mva_64f(t.data(), 8, n * 8, nullptr, b.data(), 0, 8, y.data(), 0, 8,
                                      p, n, 1),
              0);
    for (int j = 0; j < p; ++j) EXPECT_NEAR(y[j], x[j], 1e-12);
  }
}

TEST(QRLeastSquares, FailsForTooFewObservationsAndForDependentColumns) {
  std::vector<double> a = {1, 2, 3, 4, 5, 6}, x;
  EXPECT_EQ(Solve(a, {1.0, 2.0}, 2, 3, &x), ippStsSizeErr);
  // Two equal columns.
  std::vector<double> twin = {1, 1, 2, 2, 3, 3, 5, 5};
  EXPECT_EQ(Solve(twin, {1.0, 2.0, 3.0, 4.0}, 4, 2, &x), ippStsSingularErr);
  std::vector<float> twinf = {1, 3, 3, 2, 6, 6, 3, 1, 1, 5, 2, 2}, xf;
  EXPECT_EQ(Solve(twinf, {1.0f, 2.0f, 3.0f, 4.0f}, 4, 3, &xf), ippStsSingularErr);
  std::vector<float> zero = {1, 0, 2, 0, 3, 0};
  EXPECT_EQ(Solve(zero, {1.0f, 2.0f, 3.0f}, 3, 2, &xf), ippStsSingularErr);
}

TEST(SmallMatrix, InverseTimesMatrixIsTheIdentityAndSingularFails) {
  std::mt19937 rng(4);
  std::uniform_real_distribution<float> u(-5.0f, 5.0f);
  for (int trial = 0; trial < 20; ++trial) {
    float m[9], inv[9], product[3];
    for (float& v : m) v = u(rng);
    ASSERT_EQ(ippmInvert_m_32f(m, 12, 4, nullptr, inv, 12, 4, 3), ippStsNoErr);
    for (int c = 0; c < 3; ++c) {
      // Column c of inv through the matrix-vector product: must be the unit vector e_c.
      ASSERT_EQ(ippmMul_mv_32f(m, 12, 4, 3, 3, inv + c, 12, 3, product, 4), ippStsNoErr);
      for (int r = 0; r < 3; ++r) EXPECT_NEAR(product[r], r == c ? 1.0f : 0.0f, 1e-4f);
    }
  }
  const float singular[9] = {1, 2, 3, 2, 4, 6, 0, 1, 5};
  float inv[9];
  EXPECT_EQ(ippmInvert_m_32f(singular, 12, 4, nullptr, inv, 12, 4, 3), ippStsSingularErr);
  const float zero[9] = {};
  EXPECT_EQ(ippmInvert_m_32f(zero, 12, 4, nullptr, inv, 12, 4, 3), ippStsSingularErr);
  EXPECT_EQ(ippmMul_mv_32f(singular, 12, 4, 3, 3, zero, 4, 2, inv, 4), ippStsSizeErr);
}

}  // namespace
