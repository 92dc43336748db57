// Resize (point-pixel mapping, replicated edges, Lagrange cubic) and remap against direct
// definitions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "platform/image/TalvexIppiAdvanced.h"

using namespace Talvex::Platform;

namespace {

const int kCodes[] = {IPPI_INTER_NN, IPPI_INTER_LINEAR, IPPI_INTER_CUBIC};

template <typename T>
std::vector<T> RandomImage(int w, int h, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<T> image(static_cast<std::size_t>(w) * h);
  for (auto& v : image) v = static_cast<T>(rng() % 256);
  return image;
}

// Direct interpolation at (px, py) of the w x h region at (rx, ry) of an image `stride` pixels
// wide, with replicated edges: the Lagrange polynomial through the n samples around (1 for nearest,
// 2 for linear, 4 for cubic) along each axis.
template <typename T>
double Interpolate(const std::vector<T>& s, int stride, IppiRect r, double px, double py,
                   int code) {
  const int n = code == IPPI_INTER_NN ? 1 : code == IPPI_INTER_LINEAR ? 2 : 4, lo = n == 4 ? -1 : 0;
  const double x0 = std::floor(px), y0 = std::floor(py);
  const auto weight = [&](double t, int k) {
    double v = 1;
    for (int m = lo; m < lo + n; ++m)
      if (m != lo + k) v *= (t - m) / (lo + k - m);
    return v;
  };
  double sum = 0;
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      const int x = std::clamp(int(x0) + lo + i, 0, r.width - 1),
                y = std::clamp(int(y0) + lo + j, 0, r.height - 1);
      sum += weight(py - y0, j) * weight(px - x0, i) * s[(r.y + y) * stride + r.x + x];
    }
  return sum;
}

// Resizes the region `roi` (default: the whole w x h image) of src to dw x dh.
template <typename T>
std::vector<T> Resize(const std::vector<T>& src, int w, int h, int dw, int dh, double fx, double fy,
                      int code, IppiRect roi = {0, 0, 0, 0}) {
  if (roi.width == 0) roi = {0, 0, w, h};
  std::vector<T> dst(static_cast<std::size_t>(dw) * dh);
  const int e = sizeof(T);
  IppStatus status;
  if constexpr (sizeof(T) == 1)
    status = ippiResize_8u_C1R(src.data(), {w, h}, w * e, roi, dst.data(), dw * e, {dw, dh}, fx, fy,
                               code);
  else
    status = ippiResize_32f_C1R(src.data(), {w, h}, w * e, roi, dst.data(), dw * e, {dw, dh}, fx,
                                fy, code);
  EXPECT_EQ(status, ippStsNoErr);
  return dst;
}

// Compares a resize with the direct definition: floats closely, bytes rounded and saturated.
template <typename T>
void ExpectResizeMatches(int w, int h, int dw, int dh, double fx, double fy, int code,
                         IppiRect roi = {0, 0, 0, 0}) {
  if (roi.width == 0) roi = {0, 0, w, h};
  const auto src = RandomImage<T>(w, h, static_cast<unsigned>(w * 31 + dw + code));
  const auto dst = Resize(src, w, h, dw, dh, fx, fy, code, roi);
  const IppiRect clipped{roi.x, roi.y, std::min(roi.width, w - roi.x),
                         std::min(roi.height, h - roi.y)};
  // Positions within 1e-6 (relative) of a whole number are that whole number.
  const auto snap = [](double p) {
    return std::abs(p - std::round(p)) <= 1e-6 * std::max(1.0, p) ? std::round(p) : p;
  };
  for (int y = 0; y < dh; ++y)
    for (int x = 0; x < dw; ++x) {
      const double v = Interpolate(src, w, clipped, snap(x / fx), snap(y / fy), code);
      if constexpr (sizeof(T) == 1) {
        const double r = std::clamp(std::floor(v + 0.5), 0.0, 255.0);
        ASSERT_LE(std::abs(dst[y * dw + x] - r), std::abs(v - std::floor(v) - 0.5) < 1e-3 ? 1 : 0);
      } else {
        ASSERT_NEAR(dst[y * dw + x], v, 1e-3) << x << "," << y << " code " << code;
      }
    }
}

}  // namespace

TEST(Resize, FactorOneCopiesAndDoublingOrFifteenfoldFollowThePointPixelMapping) {
  const auto b = RandomImage<Ipp8u>(13, 9, 1);
  const auto f = RandomImage<float>(8, 3, 3);
  const auto twice = Resize(f, 8, 3, 16, 6, 2.0, 2.0, IPPI_INTER_NN);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 16; ++x) ASSERT_EQ(twice[y * 16 + x], f[(y / 2) * 8 + x / 2]);
  for (int code : kCodes) {
    EXPECT_EQ(Resize(b, 13, 9, 13, 9, 1.0, 1.0, code), b);
    // Every interpolation keeps the source samples at dst[2k] and dst[15k].
    const auto d = Resize(f, 8, 3, 16, 3, 2.0, 1.0, code);
    const auto depth = Resize(f, 8, 3, 120, 3, 15.0, 1.0, code);
    for (int y = 0; y < 3; ++y)
      for (int k = 0; k < 8; ++k) {
        ASSERT_EQ(d[y * 16 + 2 * k], f[y * 8 + k]);
        ASSERT_EQ(depth[y * 120 + 15 * k], f[y * 8 + k]);
      }
    ExpectResizeMatches<float>(8, 3, 120, 3, 15.0, 1.0, code);
    ExpectResizeMatches<float>(11, 7, 22, 14, 2.0, 2.0, code);
    ExpectResizeMatches<Ipp8u>(11, 7, 22, 14, 2.0, 2.0, code);
  }
}

TEST(Resize, DownscalingMixedFactorsAndRegionsMatchTheDirectDefinition) {
  for (int code : kCodes) {
    ExpectResizeMatches<Ipp8u>(32, 20, 16, 10, 0.5, 0.5, code);
    ExpectResizeMatches<Ipp8u>(37, 25, 9, 8, 0.25, double(1.0f / 3.0f), code);  // steps 4 and 3
    ExpectResizeMatches<Ipp8u>(12, 16, 15, 12, 1.25, 0.75, code);  // cubic overshoot saturates
    ExpectResizeMatches<float>(12, 16, 15, 12, 1.25, 0.75, code);
    // A region inside the image; the destination reaches past the region's last sample.
    ExpectResizeMatches<Ipp8u>(20, 15, 31, 17, 1.7, 1.3, code, {3, 2, 14, 11});
    ExpectResizeMatches<float>(20, 15, 31, 17, 1.7, 1.3, code, {5, 4, 30, 30});  // clipped
  }
  // 8-bit rounding: 0.49999997 (the float below one half) between samples 0 and 1 rounds to 0.
  const std::vector<Ipp8u> ramp = {0, 1};
  EXPECT_EQ(Resize(ramp, 2, 1, 2, 1, 1.0 / 0.49999997f, 1.0, IPPI_INTER_LINEAR)[1], 0);
  std::vector<float> img(16);
  const auto resize = [&](IppiRect r, double fx, int code) {
    return ippiResize_32f_C1R(img.data(), {4, 4}, 16, r, img.data(), 16, {4, 4}, fx, 1, code);
  };
  EXPECT_EQ(resize({0, 0, 4, 4}, 0.0, 2), ippStsResizeFactorErr);
  EXPECT_EQ(resize({0, 0, 4, 4}, 1.0, 3), ippStsInterpolationErr);
  EXPECT_EQ(resize({4, 0, 2, 2}, 1.0, 2), ippStsRoiErr);
}

TEST(Remap, WholeNumberMapsCopyExactlyAndZeroMapsTakeTheFirstSourcePixel) {
  const int w = 9, h = 6;
  const auto src = RandomImage<Ipp8u>(w, h, 4);
  // Destination of h rows by w + 3 columns: a mirrored copy (edges included), then three columns
  // left unmapped (0, 0).
  const int dw = w + 3;
  std::vector<float> xm(static_cast<std::size_t>(dw) * h, 0.0f), ym(xm.size(), 0.0f);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      xm[y * dw + x] = static_cast<float>(w - 1 - x);
      ym[y * dw + x] = static_cast<float>(h - 1 - y);
    }
  for (int code : kCodes) {
    std::vector<Ipp8u> dst(xm.size(), 7);
    ASSERT_EQ(ippiRemap_8u_C1R(src.data(), {w, h}, w, {0, 0, w, h}, xm.data(), dw * 4, ym.data(),
                               dw * 4, dst.data(), dw, {dw, h}, code),
              ippStsNoErr);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < dw; ++x)
        ASSERT_EQ(dst[y * dw + x], x < w ? src[(h - 1 - y) * w + (w - 1 - x)] : src[0]);
  }
}

TEST(Remap, FractionalCoordinatesInterpolateAndOutsidePixelsAreSkipped) {
  const int w = 10, h = 7, n = 200;
  const auto src = RandomImage<Ipp8u>(w, h, 5);
  std::mt19937 rng(6);
  std::uniform_real_distribution<float> ux(-0.5f, w - 0.5f), uy(-0.5f, h - 0.5f);
  std::vector<float> xm(n), ym(n);
  for (int i = 0; i < n; ++i) xm[i] = ux(rng), ym[i] = uy(rng);
  for (int code : kCodes) {
    std::vector<Ipp8u> dst(n, 3);
    ASSERT_EQ(ippiRemap_8u_C1R(src.data(), {w, h}, w, {0, 0, w, h}, xm.data(), n * 4, ym.data(),
                               n * 4, dst.data(), n, {n, 1}, code),
              ippStsNoErr);
    for (int i = 0; i < n; ++i) {
      if (xm[i] < 0 || ym[i] < 0 || xm[i] > w - 1 || ym[i] > h - 1) {
        ASSERT_EQ(dst[i], 3);
        continue;
      }
      const double px = code == IPPI_INTER_NN ? std::floor(xm[i] + 0.5) : xm[i];
      const double py = code == IPPI_INTER_NN ? std::floor(ym[i] + 0.5) : ym[i];
      const double v = std::clamp(Interpolate(src, w, {0, 0, w, h}, px, py, code), 0.0, 255.0);
      ASSERT_LE(std::abs(dst[i] - std::floor(v + 0.5)),
                1e-3 + (std::abs(v - std::floor(v) - 0.5) < 1e-3));
    }
  }
  // 0.49999997 (the float below one half) between samples 0 and 1 rounds to 0.
  const Ipp8u ramp[2] = {0, 1};
  const float mx = 0.49999997f, my = 0.0f;
  Ipp8u out = 9;
  ASSERT_EQ(ippiRemap_8u_C1R(ramp, {2, 1}, 2, {0, 0, 2, 1}, &mx, 4, &my, 4, &out, 1, {1, 1},
                             IPPI_INTER_LINEAR),
            ippStsNoErr);
  EXPECT_EQ(out, 0);
}
