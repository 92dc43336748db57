#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "platform/vision/TalvexIppcv.h"

namespace {

using namespace Talvex::Platform;

// Brute force: minimum over every zero pixel of the squared distance, then one square root.
std::vector<float> Oracle(const std::vector<Ipp8u>& src, int w, int h) {
  std::vector<float> out(src.size(), std::numeric_limits<float>::infinity());
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      long best = -1;
      for (int v = 0; v < h; ++v)
        for (int u = 0; u < w; ++u)
          if (src[v * w + u] == 0) {
            const long d = long(x - u) * (x - u) + long(y - v) * (y - v);
            if (best < 0 || d < best) best = d;
          }
      if (best >= 0) out[y * w + x] = std::sqrt(static_cast<float>(best));
    }
  return out;
}

std::vector<float> Transform(const std::vector<Ipp8u>& src, int w, int h, bool marching) {
  int size = 0;
  const auto sizeOf = marching ? ippiFastMarchingGetBufferSize_8u32f_C1R
                               : ippiTrueDistanceTransformGetBufferSize_8u32f_C1R;
  EXPECT_EQ(sizeOf({w, h}, &size), ippStsNoErr);
  std::vector<Ipp8u> buffer(size + 1);
  const int step = w + 3;  // destination rows with a gap
  std::vector<float> padded(static_cast<size_t>(step) * h), out(src.size());
  const IppStatus status =
      marching ? ippiFastMarching_8u32f_C1R(src.data(), w, padded.data(), step * 4, {w, h}, 1.0f,
                                            buffer.data() + 1)
               : ippiTrueDistanceTransform_8u32f_C1R(src.data(), w, padded.data(), step * 4, {w, h},
                                                     buffer.data() + 1);
  EXPECT_EQ(status, ippStsNoErr);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) out[y * w + x] = padded[y * step + x];
  return out;
}

TEST(DistanceTransform, EqualsTheBruteForceEuclideanDistanceExactly) {
  std::mt19937 rng(11);
  for (const auto& [w, h] :
       {std::pair{17, 13}, std::pair{1, 20}, std::pair{25, 1}, std::pair{32, 32}})
    for (int zeroOneIn : {2, 7, 60}) {
      std::vector<Ipp8u> src(static_cast<size_t>(w) * h);
      for (auto& v : src) v = rng() % zeroOneIn == 0 ? 0 : 255;
      src[rng() % src.size()] = 0;  // at least one zero pixel
      const auto expected = Oracle(src, w, h);
      EXPECT_EQ(Transform(src, w, h, false), expected) << w << "x" << h;
      EXPECT_EQ(Transform(src, w, h, true), expected) << w << "x" << h;
    }
}

TEST(DistanceTransform, ThicknessBelowASurfaceIsTheTrueEuclideanDistance) {
  // A tilted posterior surface: zeros from depth 10 + x/2 downward. Diagonal distances must be
  // exact (a first-order marching scheme would overestimate them).
  const int w = 40, h = 30;
  std::vector<Ipp8u> src(w * h, 255);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (y >= 10 + x / 2) src[y * w + x] = 0;
  EXPECT_EQ(Transform(src, w, h, true), Oracle(src, w, h));
}

TEST(DistanceTransform, AnImageWithoutZeroPixelsIsInfinitelyFar) {
  const std::vector<Ipp8u> src(12, 1);
  for (float v : Transform(src, 4, 3, false)) EXPECT_EQ(v, std::numeric_limits<float>::infinity());
}

TEST(DistanceTransform, RejectsBadArguments) {
  int size = 0;
  EXPECT_EQ(ippiTrueDistanceTransformGetBufferSize_8u32f_C1R({0, 5}, &size), ippStsSizeErr);
  EXPECT_EQ(ippiFastMarchingGetBufferSize_8u32f_C1R({5, 5}, nullptr), ippStsNullPtrErr);
  std::vector<Ipp8u> src(25), buffer(4096);
  std::vector<float> dst(25);
  EXPECT_EQ(
      ippiTrueDistanceTransform_8u32f_C1R(src.data(), 5, dst.data(), 16, {5, 5}, buffer.data()),
      ippStsStepErr);
  EXPECT_EQ(ippiFastMarching_8u32f_C1R(src.data(), 5, dst.data(), 20, {5, 5}, -1.0f, buffer.data()),
            ippStsBadArgErr);
  EXPECT_EQ(ippiFastMarching_8u32f_C1R(src.data(), 5, dst.data(), 20, {5, 5}, 1.0f, nullptr),
            ippStsNullPtrErr);
}

}  // namespace
