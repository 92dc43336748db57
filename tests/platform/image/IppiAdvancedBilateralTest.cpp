// Gaussian bilateral filter against a direct double-precision weighted sum.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>
#include <vector>

#include "platform/image/TalvexIppiAdvanced.h"

using namespace Talvex::Platform;

namespace {

// Weight-table buffer built the way the bilateral filter object builds it.
struct Spec {
  std::vector<Ipp8u> buffer;
  // Offset by one byte: the tables must not depend on the caller's alignment.
  IppiFilterBilateralSpec* get() {
    return reinterpret_cast<IppiFilterBilateralSpec*>(buffer.data() + 1);
  }
};

Spec MakeSpec(IppiSize maxKernel, float valSq, float posSq, int kernelStep = 1) {
  int bytes = 0;
  EXPECT_EQ(
      ippiFilterBilateralGetBufSize_8u_C1R(ippiFilterBilateralGauss, {512, 512}, maxKernel, &bytes),
      ippStsNoErr);
  Spec spec{std::vector<Ipp8u>(static_cast<std::size_t>(bytes) + 1)};
  EXPECT_EQ(ippiFilterBilateralInit_8u_C1R(ippiFilterBilateralGauss, maxKernel, valSq, posSq,
                                           kernelStep, spec.get()),
            ippStsNoErr);
  return spec;
}

// Filters the interior of a w x h image with `kernel`, over the region the filter object derives
// from its mask size `placement` (by default the kernel itself).
std::vector<Ipp8u> Filter(const std::vector<Ipp8u>& src, int w, int h, IppiSize kernel, Spec& spec,
                          IppiSize placement = {0, 0}) {
  const IppiSize p = placement.width > 0 ? placement : kernel;
  std::vector<Ipp8u> dst(src.size(), 0);
  const int off = (p.height / 2) * w + p.width / 2;
  EXPECT_EQ(ippiFilterBilateral_8u_C1R(src.data() + off, w, dst.data() + off, w,
                                       {w - p.width, h - p.height}, kernel, spec.get()),
            ippStsNoErr);
  return dst;
}

// Direct sum with w = exp(-d^2 / (2 valSq)) * exp(-max(|i|,|j|)^2 / (2 posSq)).
// Only offsets that are multiples of step take part.
double Oracle(const std::vector<Ipp8u>& s, int w, int x, int y, int rw, int rh, double valSq,
              double posSq, int step = 1) {
  double num = 0, den = 0;
  const int c = s[y * w + x];
  for (int j = -rh / step * step; j <= rh; j += step)
    for (int i = -rw / step * step; i <= rw; i += step) {
      const int v = s[(y + j) * w + x + i];
      const double r = std::max(std::abs(i), std::abs(j));
      const double wt = std::exp(-(v - c) * (v - c) / (2 * valSq)) * std::exp(-r * r / (2 * posSq));
      num += wt * v;
      den += wt;
    }
  return num / den;
}

std::vector<Ipp8u> RandomImage(int w, int h, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<Ipp8u> image(static_cast<std::size_t>(w) * h);
  for (int i = 0; i < w * h; ++i) image[i] = static_cast<Ipp8u>(60 + (i % w) + rng() % 90);
  return image;
}

}  // namespace

TEST(BilateralFilter, MatchesTheDirectWeightedSumRoundedToNearest) {
  const int w = 47, h = 21;
  const auto src = RandomImage(w, h, 1);
  struct Case {
    IppiSize kernel;
    float valSq, posSq;
  };
  for (const Case& c : {Case{{5, 5}, 400.0f, 4.0f}, Case{{9, 9}, 900.0f, 9.0f},
                        Case{{7, 3}, 100.0f, 2.0f}, Case{{1, 1}, 50.0f, 1.0f}}) {
    Spec spec = MakeSpec(c.kernel, c.valSq, c.posSq);
    const auto dst = Filter(src, w, h, c.kernel, spec);
    const int rw = c.kernel.width / 2, rh = c.kernel.height / 2;
    for (int y = rh; y < h - c.kernel.height + rh; ++y)
      for (int x = rw; x < w - c.kernel.width + rw; ++x) {
        const double exact = Oracle(src, w, x, y, rw, rh, c.valSq, c.posSq);
        const int got = dst[y * w + x];
        // Single-precision sums may only differ where the exact value sits on a half.
        if (std::abs(exact - std::floor(exact) - 0.5) > 1e-3)
          ASSERT_EQ(got, static_cast<int>(std::floor(exact + 0.5))) << x << "," << y;
        else
          ASSERT_LE(std::abs(got - exact), 0.51);
      }
  }
}

TEST(BilateralFilter, WideImagesAndSampledMasksMatchTheDirectWeightedSum) {
  // Several row strips of the small-mask path, with every and with every other mask offset.
  const int w = 700, h = 13;
  const auto src = RandomImage(w, h, 3);
  for (const IppiSize kernel : {IppiSize{5, 5}, IppiSize{3, 5}, IppiSize{5, 1}})
    for (int step : {1, 2}) {
      Spec spec = MakeSpec(kernel, 400.0f, 4.0f, step);
      const auto dst = Filter(src, w, h, kernel, spec);
      const int rw = kernel.width / 2, rh = kernel.height / 2;
      for (int y = rh; y < h - kernel.height + rh; ++y)
        for (int x = rw; x < w - kernel.width + rw; ++x) {
          const double exact = Oracle(src, w, x, y, rw, rh, 400.0, 4.0, step);
          const int got = dst[y * w + x];
          if (std::abs(exact - std::floor(exact) - 0.5) > 1e-3)
            ASSERT_EQ(got, static_cast<int>(std::floor(exact + 0.5)))
                << kernel.width << "x" << kernel.height << " step " << step << " at " << x << ","
                << y;
          else
            ASSERT_LE(std::abs(got - exact), 0.51);
        }
    }
}

TEST(BilateralFilter, EvenMaskBecomesTheNextLowerOddMask) {
  const auto src = RandomImage(30, 20, 2);
  Spec spec = MakeSpec({6, 4}, 300.0f, 5.0f);
  EXPECT_EQ(Filter(src, 30, 20, {6, 4}, spec), Filter(src, 30, 20, {5, 3}, spec, {6, 4}));
}

TEST(BilateralFilter, LeavesAFlatImageUnchanged) {
  const int w = 600, h = 12;  // wider than one row strip
  const std::vector<Ipp8u> src(static_cast<std::size_t>(w) * h, 173);
  Spec spec = MakeSpec({9, 9}, 10.0f, 1.0f);
  const auto dst = Filter(src, w, h, {9, 9}, spec);
  for (int y = 4; y < h - 5; ++y)
    for (int x = 4; x < w - 5; ++x) ASSERT_EQ(dst[y * w + x], 173);
}

TEST(BilateralFilter, RejectsEmptyRegionsBadSigmasAndMasksBeyondTheInitialisedMaximum) {
  Spec spec = MakeSpec({5, 5}, 100.0f, 4.0f);
  EXPECT_EQ(
      ippiFilterBilateralInit_8u_C1R(ippiFilterBilateralGauss, {5, 5}, 0.0f, 4.0f, 1, spec.get()),
      ippStsBadArgErr);
  std::vector<Ipp8u> img(400, 1), out(400);
  const auto run = [&](IppiSize roi, IppiSize k, IppiFilterBilateralSpec* s) {
    return ippiFilterBilateral_8u_C1R(&img[84], 20, &out[84], 20, roi, k, s);
  };
  EXPECT_EQ(run({0, 5}, {5, 5}, spec.get()), ippStsSizeErr);
  EXPECT_EQ(run({5, 5}, {9, 3}, spec.get()), ippStsMaskSizeErr);
  EXPECT_EQ(run({5, 5}, {5, 5}, nullptr), ippStsNullPtrErr);
}
