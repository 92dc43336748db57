#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>
#include <vector>

#include "platform/signal/TalvexFft.h"

namespace {

using namespace Talvex::Platform;
using Complex = std::complex<double>;

// Lengths covering every code path: trivial, radices 2/3/4/5, mixed radix (A-scan depths),
// direct odd primes (1001 = 7*11*13) and the chirp convolution (127, 254 = 2*127), and two long
// ones that must stay within single-precision accuracy (a power of two and a prime).
const int kLengths[] = {1,   2,   3,   5,    8,    12,   36,   100, 127,
                        160, 254, 640, 1000, 1001, 1024, 4093, 4096};

// Direct definition: X[k] = sum_j x[j] exp(sign * 2*pi*i*j*k/n), in double.
std::vector<Complex> DirectDft(const std::vector<Complex>& x, int sign) {
  const int n = static_cast<int>(x.size());
  std::vector<Complex> root(n), out(n);
  for (int e = 0; e < n; ++e) root[e] = std::polar(1.0, sign * 2.0 * M_PI * e / n);
  for (int k = 0; k < n; ++k) {
    Complex sum = 0.0;
    for (int j = 0; j < n; ++j) sum += x[j] * root[static_cast<long long>(j) * k % n];
    out[k] = sum;
  }
  return out;
}

std::vector<Ipp32fc> RandomSignal(int n, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> value(-1.0f, 1.0f);
  std::vector<Ipp32fc> x(n);
  for (auto& v : x) v = {value(rng), value(rng)};
  return x;
}

// ||got - want|| / ||want||.
double RelativeError(const std::vector<Ipp32fc>& got, const std::vector<Complex>& want) {
  double err = 0.0, norm = 0.0;
  for (size_t k = 0; k < want.size(); ++k) {
    err += std::norm(Complex(got[k].re, got[k].im) - want[k]);
    norm += std::norm(want[k]);
  }
  return std::sqrt(err / norm);
}

// Full spectrum of a real signal through the packed transform and its expansion.
std::vector<Ipp32fc> RealSpectrum(const std::vector<float>& x, IppsFFTSpec_R_32f* spec) {
  const int n = static_cast<int>(x.size());
  std::vector<float> packed(n);
  std::vector<Ipp32fc> full(n);
  EXPECT_EQ(ippsFFTFwd_RToPack_32f(x.data(), packed.data(), spec, nullptr), ippStsNoErr);
  EXPECT_EQ(ippsConjPack_32fc(packed.data(), full.data(), n), ippStsNoErr);
  return full;
}

TEST(Fft, RealTransformOfAnyLengthMatchesTheDirectDefinition) {
  for (int n : kLengths) {
    const std::vector<Ipp32fc> signal = RandomSignal(n, 7u + n);
    std::vector<float> x(n);
    std::vector<Complex> xd(n);
    for (int j = 0; j < n; ++j) x[j] = signal[j].re, xd[j] = signal[j].re;
    IppsFFTSpec_R_32f* spec = nullptr;
    ASSERT_EQ(tvxsFFTInitAllocLength_R_32f(&spec, n, IPP_FFT_NODIV_BY_ANY, ippAlgHintFast), 0);
    EXPECT_LT(RelativeError(RealSpectrum(x, spec), DirectDft(xd, -1)), 1e-6) << "n = " << n;
    ippsFFTFree_R_32f(spec);
  }
}

TEST(Fft, ComplexTransformsOfAnyLengthMatchTheDirectDefinition) {
  for (int n : kLengths) {
    const std::vector<Ipp32fc> x = RandomSignal(n, 11u + n);
    std::vector<Complex> xd(n);
    for (int j = 0; j < n; ++j) xd[j] = Complex(x[j].re, x[j].im);
    IppsFFTSpec_C_32fc* spec = nullptr;
    ASSERT_EQ(tvxsFFTInitAllocLength_C_32fc(&spec, n, IPP_FFT_NODIV_BY_ANY, ippAlgHintFast), 0);
    std::vector<Ipp32fc> y(n);
    ASSERT_EQ(ippsFFTFwd_CToC_32fc(x.data(), y.data(), spec, nullptr), 0);
    EXPECT_LT(RelativeError(y, DirectDft(xd, -1)), 1e-6) << "forward n = " << n;
    ASSERT_EQ(ippsFFTInv_CToC_32fc(x.data(), y.data(), spec, nullptr), 0);
    EXPECT_LT(RelativeError(y, DirectDft(xd, +1)), 1e-6) << "inverse n = " << n;
    ippsFFTFree_C_32fc(spec);
  }
}

TEST(Fft, SetUpByOrderIsThePowerOfTwoTransformOfThatLength) {
  std::vector<float> x(1024);
  for (int j = 0; j < 1024; ++j) x[j] = RandomSignal(1, j)[0].re;
  IppsFFTSpec_R_32f *byOrder = nullptr, *byLength = nullptr;
  ASSERT_EQ(ippsFFTInitAlloc_R_32f(&byOrder, 10, IPP_FFT_DIV_FWD_BY_N, ippAlgHintFast), 0);
  ASSERT_EQ(tvxsFFTInitAllocLength_R_32f(&byLength, 1024, IPP_FFT_DIV_FWD_BY_N, ippAlgHintFast), 0);
  std::vector<float> a(1024), b(1024);
  ASSERT_EQ(ippsFFTFwd_RToPack_32f(x.data(), a.data(), byOrder, nullptr), 0);
  ASSERT_EQ(ippsFFTFwd_RToPack_32f(x.data(), b.data(), byLength, nullptr), 0);
  EXPECT_EQ(a, b);
  ippsFFTFree_R_32f(byOrder);
  ippsFFTFree_R_32f(byLength);

  IppsFFTSpec_C_32fc* one = nullptr;  // order 0: the one-sample transform is the identity
  ASSERT_EQ(ippsFFTInitAlloc_C_32fc(&one, 0, IPP_FFT_DIV_INV_BY_N, ippAlgHintFast), 0);
  Ipp32fc v{2.5f, -1.0f};
  ASSERT_EQ(ippsFFTInv_CToC_32fc(&v, &v, one, nullptr), 0);
  EXPECT_EQ(v.re, 2.5f);
  EXPECT_EQ(v.im, -1.0f);
  ippsFFTFree_C_32fc(one);
}

// Step-template filtering: real forward divided by N, expansion, complex inverse divided by N
// returns the samples divided by N; in place and without a scratch buffer.
TEST(Fft, RealForwardThenComplexInverseReturnsTheInputDividedByN) {
  for (int n : {1024, 160, 127}) {
    std::vector<float> x(n);
    for (int j = 0; j < n; ++j) x[j] = 25.0f + 45.0f * (j >= n / 2) + RandomSignal(1, j)[0].re;
    IppsFFTSpec_R_32f* real = nullptr;
    IppsFFTSpec_C_32fc* complex = nullptr;
    ASSERT_EQ(tvxsFFTInitAllocLength_R_32f(&real, n, IPP_FFT_DIV_FWD_BY_N, ippAlgHintFast), 0);
    ASSERT_EQ(tvxsFFTInitAllocLength_C_32fc(&complex, n, IPP_FFT_DIV_INV_BY_N, ippAlgHintFast), 0);
    int size = -1;
    EXPECT_EQ(ippsFFTGetBufSize_R_32f(real, &size), 0);
    EXPECT_EQ(size, 0);
    EXPECT_EQ(ippsFFTGetBufSize_C_32fc(complex, &size), 0);
    EXPECT_EQ(size, 0);
    std::vector<Ipp32fc> data = RealSpectrum(x, real);
    ASSERT_EQ(ippsFFTInv_CToC_32fc(data.data(), data.data(), complex, nullptr), 0);
    for (int j = 0; j < n; ++j) {
      EXPECT_NEAR(data[j].re, x[j] / n, 1e-6f * 70.0f / n) << "n = " << n << ", j = " << j;
      EXPECT_NEAR(data[j].im, 0.0f, 1e-6f * 70.0f / n);
    }
    ippsFFTFree_R_32f(real);
    ippsFFTFree_C_32fc(complex);
  }
}

TEST(Fft, NormalisationFlagsScaleEachDirectionAsDocumented) {
  const int n = 12;
  const std::vector<Ipp32fc> x = RandomSignal(n, 5u);
  std::vector<Complex> xd(n);
  for (int j = 0; j < n; ++j) xd[j] = Complex(x[j].re, x[j].im);
  const std::vector<Complex> fwd = DirectDft(xd, -1), inv = DirectDft(xd, +1);
  const struct {
    int flag;
    double forward, inverse;
  } cases[] = {{IPP_FFT_DIV_FWD_BY_N, 1.0 / n, 1.0},
               {IPP_FFT_DIV_INV_BY_N, 1.0, 1.0 / n},
               {IPP_FFT_DIV_BY_SQRTN, 1.0 / std::sqrt(n), 1.0 / std::sqrt(n)},
               {IPP_FFT_NODIV_BY_ANY, 1.0, 1.0}};
  for (const auto& c : cases) {
    IppsFFTSpec_C_32fc* spec = nullptr;
    ASSERT_EQ(tvxsFFTInitAllocLength_C_32fc(&spec, n, c.flag, ippAlgHintAccurate), 0);
    std::vector<Ipp32fc> y(n);
    std::vector<Complex> want(n);
    ASSERT_EQ(ippsFFTFwd_CToC_32fc(x.data(), y.data(), spec, nullptr), 0);
    for (int k = 0; k < n; ++k) want[k] = fwd[k] * c.forward;
    EXPECT_LT(RelativeError(y, want), 1e-6) << "flag " << c.flag;
    ASSERT_EQ(ippsFFTInv_CToC_32fc(x.data(), y.data(), spec, nullptr), 0);
    for (int k = 0; k < n; ++k) want[k] = inv[k] * c.inverse;
    EXPECT_LT(RelativeError(y, want), 1e-6) << "flag " << c.flag;
    ippsFFTFree_C_32fc(spec);
  }
}

TEST(Fft, ConjPackCompletesTheUpperHalfByConjugateSymmetry) {
  // Pack layout: [R0, R1, I1, R2, I2, ..., R(N/2)] for even N, [R0, R1, I1, ...] for odd N.
  const float packed[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  const std::vector<std::vector<Complex>> expected = {
      {{1, 0}},
      {{1, 0}, {2, 0}},
      {{1, 0}, {2, 3}, {4, 5}, {6, 7}, {6, -7}, {4, -5}, {2, -3}},
      {{1, 0}, {2, 3}, {4, 5}, {6, 7}, {8, 0}, {6, -7}, {4, -5}, {2, -3}}};
  for (const auto& want : expected) {
    const int n = static_cast<int>(want.size());
    std::vector<Ipp32fc> full(n);
    ASSERT_EQ(ippsConjPack_32fc(packed, full.data(), n), 0);
    for (int k = 0; k < n; ++k) EXPECT_EQ(Complex(full[k].re, full[k].im), want[k]) << n << k;
  }
}

TEST(Fft, InvalidArgumentsFailAndLeaveNothingAllocated) {
  IppsFFTSpec_R_32f* real = reinterpret_cast<IppsFFTSpec_R_32f*>(&real);  // must become null
  EXPECT_EQ(ippsFFTInitAlloc_R_32f(&real, -1, 1, ippAlgHintFast), ippStsFftOrderErr);
  EXPECT_EQ(real, nullptr);
  EXPECT_EQ(ippsFFTInitAlloc_R_32f(&real, 28, 1, ippAlgHintFast), ippStsFftOrderErr);
  EXPECT_EQ(tvxsFFTInitAllocLength_R_32f(&real, 0, 1, ippAlgHintFast), ippStsSizeErr);
  EXPECT_EQ(tvxsFFTInitAllocLength_R_32f(&real, 640, 3, ippAlgHintFast), ippStsBadArgErr);
  EXPECT_EQ(real, nullptr);
  IppsFFTSpec_C_32fc* complex = nullptr;
  EXPECT_EQ(tvxsFFTInitAllocLength_C_32fc(&complex, -1, 2, ippAlgHintFast), ippStsSizeErr);
  EXPECT_EQ(tvxsFFTInitAllocLength_C_32fc(&complex, 8, 0, ippAlgHintFast), ippStsBadArgErr);
  EXPECT_EQ(complex, nullptr);

  float samples[4] = {};
  Ipp32fc bins[4] = {};
  EXPECT_EQ(ippsFFTFwd_RToPack_32f(samples, samples, nullptr, nullptr), ippStsNullPtrErr);
  EXPECT_EQ(ippsConjPack_32fc(samples, bins, 0), ippStsSizeErr);
  ASSERT_EQ(ippsFFTInitAlloc_C_32fc(&complex, 2, 2, ippAlgHintFast), 0);
  EXPECT_EQ(ippsFFTFwd_CToC_32fc(nullptr, bins, complex, nullptr), ippStsNullPtrErr);
  EXPECT_EQ(ippsFFTFree_C_32fc(complex), 0);
}

}  // namespace
