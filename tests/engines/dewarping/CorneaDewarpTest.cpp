// The cornea dewarp engine against known geometry: an identity set-up, pixels kept above the
// surface, size limits, surface points and Snell's law at a tilted plane.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/AlgorithmException.h"
#include "engines/dewarping/CCorneaDewarp.h"
#include "tests/support/MessageOf.h"

namespace Talvex::SDOCT::Algorithms {
namespace {

using Bytes = std::vector<std::uint8_t>;

using Talvex::Testing::MessageOf;

// A B-scan whose grey level changes along both axes (20 .. 219) except at its first pixel (10),
// the value that output pixels which no source pixel reaches receive.
Bytes Pattern(int width, int length) {
  Bytes img(static_cast<std::size_t>(width) * length);
  for (int j = 0; j < width; ++j)
    for (int k = 0; k < length; ++k) img[j * length + k] = 20 + (7 * j + 3 * k) % 200;
  img[0] = 10;
  return img;
}

TEST(CorneaDewarp, UntiltedBeamWithoutRefractionLeavesTheImageInPlace) {
  const int W = 64, L = 80;
  auto engine = std::make_unique<CCorneaDewarp>();
  engine->Initialize(1.0f, 1.0f, 0.0f, 2.0f, 0.0f, 4.0f, 2.0f);
  Bytes src = Pattern(W, L), out(W * L);
  src[(W - 2) * L + L - 1] = 255;
  std::vector<float> layer(W, 30.0f), angles(W, 0.0f);
  for (bool mode : {true, false}) {
    engine->DewarpBscans(src.data(), 1, W, L, layer.data(), true, angles.data(), 1.0f, 0.0f, mode,
                         out.data(), L);
    // Columns are spread over W / (W - 1) of their pitch: the left half lands on itself, the
    // right half one column further on (except above the surface when it stays in place).
    for (int c = 1; c <= 30; ++c)
      for (int k = 1; k < L; ++k) ASSERT_EQ(out[c * L + k], src[c * L + k]) << c << " " << k;
    for (int c = 34; c < W - 1; ++c)
      for (int k = 1; k < L; ++k) {
        const int from = mode || k >= 30 ? c - 1 : c;
        ASSERT_EQ(out[c * L + k], src[from * L + k]) << c << " " << k << " " << mode;
      }
  }
}

// Sample k of an untilted, unrefracted scan stretched by nn lands on output sample round(k * nn);
// nn = 1.3333 keeps every k * nn of the test well away from a rounding tie. Unreached output
// pixels must hold the 7 x 7 median of the image with all of them cleared.
TEST(CorneaDewarp, UnreachedPixelsTakeTheMedianOfTheClearedImage) {
  const int W = 64, L = 80, D = 110;
  const float nn = 1.3333f;
  auto engine = std::make_unique<CCorneaDewarp>();
  engine->Initialize(1.0f, 1.0f, 0.0f, 2.0f, 0.0f, 4.0f, 2.0f);
  Bytes src = Pattern(W, L), out(W * D);
  std::vector<float> layer(W, L - 1.0f), angles(W, 0.0f);
  // A first, brighter B-scan with longer output A-scans leaves other medians all over the
  // engine's scratch image.
  Bytes bright(src.size(), 250), longOut(W * (D + 9));
  bright[0] = 10;
  engine->DewarpBscans(bright.data(), 1, W, L, layer.data(), true, angles.data(), nn, 0.0f, true,
                       longOut.data(), D + 9);
  engine->DewarpBscans(src.data(), 1, W, L, layer.data(), true, angles.data(), nn, 0.0f, true,
                       out.data(), D);
  // Rows 1 .. 30 land on themselves (see the test above) and row 0 is never reached: the cleared
  // image there.
  std::vector<std::vector<int>> cleared(31, std::vector<int>(D, 0));
  for (int r = 1; r <= 30; ++r)
    for (int k = 1; k < L; ++k) cleared[r][std::lround(k * 1.3333)] = src[r * L + k];
  for (int c = 0; c <= 27; ++c)
    for (int p = 0; p < D; ++p) {
      int expected = cleared[c][p];
      if (expected == 0 && c >= 3 && p >= 3 && p < D - 3) {
        std::vector<int> window;
        for (int r = c - 3; r <= c + 3; ++r)
          for (int q = p - 3; q <= p + 3; ++q) window.push_back(cleared[r][q]);
        std::nth_element(window.begin(), window.begin() + 24, window.end());
        expected = window[24];
      }
      ASSERT_EQ(out[c * D + p], expected) << c << " " << p;
    }
}

// DewarpBscans writes the source pixels straight into the image; DewarpBscan builds the maps and
// remaps. Both must give the same bytes: a refracting curved surface (samples crowding onto some
// pixels, where the last one written wins), a scan fanned and shifted up, both modes, and a
// source whose first pixel's value also lies inside the image (cleared with the background).
TEST(CorneaDewarp, ImageWithoutMapsEqualsTheRemapOfZeroFilledMaps) {
  const int W = 96, L = 120, D = 170;
  auto engine = std::make_unique<CCorneaDewarp>();
  engine->Initialize(1.376f, 1.38f, 12.0f, 3.0f, 0.2f, 6.0f, 2.5f);
  Bytes src = Pattern(W, L);
  for (int k = 0; k < L; k += 9) src[(W / 2) * L + k] = 10;
  std::vector<float> layer(W), angles(W, 0.0f);
  for (int j = 0; j < W; ++j) layer[j] = 25.0f + 0.012f * (j - 40.0f) * (j - 40.0f);
  for (bool mode : {true, false}) {
    for (float offset : {0.0f, 7.5f}) {
      Bytes direct(W * D), remapped(W * D, 1), scratch(W * D);
      engine->DewarpBscans(src.data(), 1, W, L, layer.data(), true, angles.data(), 1.3f, offset,
                           mode, direct.data(), D);
      std::vector<float> xMap(W * D, 0.0f), yMap(W * D, 0.0f);
      engine->DewarpBscan(src.data(), W, L, layer.data(), xMap.data(), yMap.data(), scratch.data(),
                          offset, mode, remapped.data(), D);
      ASSERT_EQ(direct, remapped) << mode << " " << offset;
      EXPECT_GT(std::count(xMap.begin(), xMap.end(), 0.0f), W * 4) << "some pixels unreached";
    }
  }
}

TEST(CorneaDewarp, KeepingThePartAboveTheSurfaceRefractsOnlyBelowIt) {
  const int W = 128, L = 200;
  auto engine = std::make_unique<CCorneaDewarp>();
  engine->Initialize(1.4f, 1.4f, 0.0f, 2.0f, 0.0f, 4.0f, 2.0f);
  Bytes src = Pattern(W, L), out(W * L);
  std::vector<float> layer(W), angles(W, 0.0f);
  for (int j = 0; j < W; ++j) layer[j] = 40.0f + j;  // a steep tilted surface
  engine->DewarpBscans(src.data(), 1, W, L, layer.data(), true, angles.data(), 1.0f, 0.0f, false,
                       out.data(), L);
  int changedBelow = 0;
  for (int j = 1; j < W - 1; ++j) {
    for (int k = 0; k < 40 + j - 2; ++k) ASSERT_EQ(out[j * L + k], src[j * L + k]) << j << " " << k;
    for (int k = 40 + j + 10; k < L - 4; ++k) changedBelow += out[j * L + k] != src[j * L + k];
  }
  EXPECT_GT(changedBelow, 1000);
  EXPECT_EQ(MessageOf([&] {
              engine->DewarpBscans(src.data(), 1, W, L, layer.data(), true, angles.data(), 1.0f,
                                   0.0f, false, out.data(), L - 1);
            }),
            CCorneaDewarp::kKeepAboveNeedsLength);
}

TEST(CorneaDewarp, RefusesMoreThan4096AscansOrSamplesWithTheirFixedTexts) {
  auto engine = std::make_unique<CCorneaDewarp>();
  engine->Initialize(1.376f, 1.386f, 2.0f, 4.0f, 0.0f, 8.0f, 2.3f);
  const int big = 4097;
  Bytes img(big * 8, 50), out(big * 8);
  std::vector<float> layer(big, 3.0f), angles(big, 0.0f), layerOut(big);
  const auto bscans = [&](int w, int l) {
    return MessageOf([&] {
      engine->DewarpBscans(img.data(), 1, w, l, layer.data(), true, angles.data(), 1.386f, 0.0f,
                           true, out.data(), l);
    });
  };
  const auto surfaces = [&](int w, int l) {
    return MessageOf([&] {
      engine->DewarpSurfaces(1, w, l, layer.data(), layer.data(), true, angles.data(), 1.386f, 0.0f,
                             layerOut.data(), l);
    });
  };
  EXPECT_EQ(bscans(big, 8), "Maximum number of Ascan in a Bscan must be smaller than 1025.");
  EXPECT_EQ(bscans(8, big), "Maximum number of Ascan in a Bscan must be smaller than 2049.");
  EXPECT_EQ(surfaces(big, 8), "Maximum number of Ascan in a Bscan must be smaller than 2049.");
  EXPECT_EQ(surfaces(8, big), "Maximum number of Ascan in a Bscan must be smaller than 2049.");
  EXPECT_EQ(bscans(4096, 8), "no exception");
  EXPECT_EQ(bscans(8, 4096), "no exception");
  EXPECT_EQ(surfaces(4096, 8), "no exception");
}

TEST(CorneaDewarp, APointOnTheRefractingSurfaceLandsOnTheCorrectedSurface) {
  const int W = 200, L = 400, D = 560;
  const double halfAngle = 5.0 * M_PI / 180.0, F = 3.0, sag = 0.1, depth = 2.5, nn = 1.386;
  auto engine = std::make_unique<CCorneaDewarp>();
  engine->Initialize(1.376f, 1.386f, 5.0f, F, sag, 2 * F, depth);
  std::vector<float> surface(W), angles(W, 0.0f), out(W);
  for (int j = 0; j < W; ++j) surface[j] = 100.0f + j;  // whole samples: no rounding
  engine->DewarpSurfaces(1, W, L, surface.data(), surface.data(), true, angles.data(), nn, 0.0f,
                         out.data(), D);
  // The surface point reached by the tilted beam, placed in the corrected image.
  std::vector<double> c(W), p(W);
  for (int j = 0; j < W; ++j) {
    const double x = -1.0 + 2.0 * j / (W - 1), angle = halfAngle * x;
    const double z = surface[j] / L * nn * depth;
    c[j] = (-std::sin(angle) * z + x * F) / (2 * F) * W + W / 2.0;
    p[j] = (std::cos(angle) * z + sag * x * x) / depth * L;
  }
  const int first = static_cast<int>(std::ceil(c.front())), last = static_cast<int>(c.back());
  ASSERT_LT(first, 10);
  ASSERT_GT(last, W - 10);
  for (int col = first; col <= last; ++col) {
    int j = 0;
    while (c[j + 1] < col) ++j;
    const double expected = p[j] + (p[j + 1] - p[j]) * (col - c[j]) / (c[j + 1] - c[j]);
    ASSERT_NEAR(out[col], expected, 0.01) << col;
  }
}

// Depth (samples) of the dewarped posterior surface at column 64 under a plane tilted by 45
// degrees, for a phase index n.
float PosteriorUnderTiltedPlane(float n) {
  const int W = 128, L = 512;
  auto engine = std::make_unique<CCorneaDewarp>();
  engine->Initialize(n, 1.4f, 0.0f, 1.0f, 0.0f, 2.0f, 4.0f);
  std::vector<float> anterior(W), posterior(W), angles(W, 0.0f), out(W);
  for (int j = 0; j < W; ++j) {
    anterior[j] = 40.0f + 2.0f * j;
    posterior[j] = anterior[j] + 200.0f;
  }
  engine->DewarpSurfaces(1, W, L, anterior.data(), posterior.data(), true, angles.data(), 1.0f,
                         0.0f, out.data(), L);
  return out[64];
}

TEST(CorneaDewarp, OnePercentMorePhaseIndexMovesThePosteriorAsSnellsLawPredicts) {
  // Geometry of the plane: 2 samples (4 mm / 512 each) deeper per A-scan (2 mm / 127 apart).
  const double da = 2.0 * 4.0 / 512, dl = 2.0 / 127, tanA = da / dl, alpha = std::atan(tanA);
  const double pathMm = 200.0 * 4.0 / 512 / 1.4;  // physical length below the plane
  // Depth at a fixed column of the plane shifted along the refracted beam, which leans by
  // alpha - asin(sin(alpha) / n) towards the shallow side.
  const auto depthOffset = [&](double n) {
    const double delta = alpha - std::asin(std::sin(alpha) / n);
    return pathMm * (std::cos(delta) + tanA * std::sin(delta)) / 4.0 * 512;
  };
  const double planeAt64 = 40.0 + 2.0 * (64 * 127.0 / 128);  // A-scan under column 64
  const float n0 = 1.376f, n1 = 1.376f * 1.01f;
  EXPECT_NEAR(PosteriorUnderTiltedPlane(n0), planeAt64 + depthOffset(n0), 0.02);
  const double predicted = depthOffset(n1) - depthOffset(n0);
  EXPECT_GT(predicted, 0.5);
  EXPECT_NEAR(PosteriorUnderTiltedPlane(n1) - PosteriorUnderTiltedPlane(n0), predicted, 0.01);
}

TEST(CorneaDewarp, ABscanWithoutPlaceablePointsGivesNoLayerAndNoAngles) {
  const int W = 32, L = 64;
  auto engine = std::make_unique<CCorneaDewarp>();
  engine->Initialize(1.376f, 1.386f, 0.0f, 1.0f, 0.0f, 2.0f, 1.0f);
  std::vector<float> surface(W, -1.0f), angles(W, 0.5f), out(W, 7.0f);
  engine->DewarpSurfaces(1, W, L, surface.data(), surface.data(), true, angles.data(), 1.0f, 0.0f,
                         out.data(), L);
  for (int j = 0; j < W; ++j) {
    EXPECT_EQ(out[j], -1.0f);
    EXPECT_EQ(angles[j], -1.0f);
  }
}

}  // namespace
}  // namespace Talvex::SDOCT::Algorithms
