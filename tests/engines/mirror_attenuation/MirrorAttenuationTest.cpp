#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/AlgorithmException.h"
#include "engines/mirror_attenuation/CMirrorImageAttenuation.h"
#include "interface/CMirrorImageAttenuationAlgorithm.h"
#include "tests/engines/mirror_attenuation/MirrorRegionOracle.h"
#include "tests/support/MessageOf.h"

namespace {

using MirrorOracle::Layers;
using Talvex::SDOCT::Algorithms::AlgorithmException;
using Talvex::SDOCT::Algorithms::CMirrorImageAttenuation;
using Talvex::SDOCT::Algorithms::CMirrorImageAttenuationAlgorithm;
using Image = std::vector<std::uint8_t>;

// A wide-field-like B-scan of 400 x 300: anterior surface 30 .. 90 samples deep, the posterior
// surface crossing the mirrored anterior surface (fold 130) near A-scans 43 and 357, a flat
// iris/lens at 235 that cuts the mirror region at 215, no iris/lens over A-scans 250 .. 269 and
// no anterior surface over the first ten A-scans.
Layers DomeLayers() {
  Layers l;
  l.width = 400;
  l.length = 300;
  for (int i = 0; i < l.width; ++i) {
    const double u = (i - 200) / 200.0;
    l.anterior.push_back(i < 10 ? -1.0f : static_cast<float>(30.0 + 60.0 * u * u));
    l.posterior.push_back(static_cast<float>(70.0 + 200.0 * u * u));
    l.irisLens.push_back(i >= 250 && i < 270 ? -1.0f : 235.0f);
  }
  return l;
}

// An image of 200 in every sample, attenuated: 200 outside the masks, scaled once or twice inside.
Image AttenuatedFlat(const CMirrorImageAttenuation& engine, const Layers& l, float percent) {
  Image image(static_cast<size_t>(l.width) * l.length, 200);
  engine.AttenuateMirrorImage(image.data(), l.width, l.length, percent);
  return image;
}

using Talvex::Testing::MessageOf;

TEST(MirrorAttenuation, MasksCoverExactlyTheRegionAboveTheCorneaAndTheEnclosedMirrorRegion) {
  const Layers l = DomeLayers();
  CMirrorImageAttenuation engine;
  engine.Initialize(l.anterior.data(), l.posterior.data(), l.irisLens.data(), l.width, l.length);
  const size_t n = static_cast<size_t>(l.width) * l.length;
  EXPECT_EQ(Image(engine.AnteriorMask(), engine.AnteriorMask() + n),
            MirrorOracle::AnteriorRegion(l));
  long inside = 0;
  MirrorOracle::CheckMirrorRegion(l, engine.MirrorMask(), &inside);
  EXPECT_GT(inside, 15000);
  // Nothing of the mirror region where the iris/lens is missing, nothing within 20 of it.
  for (int z = 0; z < l.length; ++z) EXPECT_EQ(engine.MirrorMask()[260 * l.length + z], 0);
  for (int z = 216; z < l.length; ++z) EXPECT_EQ(engine.MirrorMask()[200 * l.length + z], 0);
  EXPECT_EQ(engine.MirrorMask()[200 * l.length + 215], 1);
}

// The mirrored apex beside the first A-scan (anterior 30 + 60 u^2, u = i / 400, missing over the
// first ten A-scans): the region starts at the first A-scan with a mirrored surface and ends where
// it meets the posterior surface (u^2 = 160 / 260, A-scan 313).
TEST(MirrorAttenuation, RegionOfAnApexAtTheLeftEdgeStartsAtTheFirstMirroredAscan) {
  Layers l = DomeLayers();
  for (int i = 0; i < l.width; ++i) {
    const double u = i / 400.0;
    l.anterior[i] = i < 10 ? -1.0f : static_cast<float>(30.0 + 60.0 * u * u);
    l.posterior[i] = static_cast<float>(70.0 + 200.0 * u * u);
    l.irisLens[i] = 235.0f;
  }
  CMirrorImageAttenuation engine;
  engine.Initialize(l.anterior.data(), l.posterior.data(), l.irisLens.data(), l.width, l.length);
  const std::uint8_t* mask = engine.MirrorMask();
  for (int i : {5, 330})
    for (int z = 0; z < l.length; ++z) ASSERT_EQ(mask[i * l.length + z], 0) << i << " " << z;
  for (int i : {12, 100, 300}) {
    const double u = i / 400.0, top = 70.0 + 200.0 * u * u, bottom = 230.0 - 60.0 * u * u;
    for (int z = static_cast<int>(top) + 2; z < std::min(bottom - 1.0, 216.0); ++z)
      ASSERT_EQ(mask[i * l.length + z], 1) << i << " " << z;
  }
}

TEST(MirrorAttenuation, ScalesSamplesOnceInOneRegionAndTwiceInBoth) {
  // An anterior surface below the posterior one makes the two regions overlap near the centre.
  Layers l;
  l.width = 60;
  l.length = 200;
  for (int i = 0; i < l.width; ++i) {
    const double d = i - 30.0;
    l.anterior.push_back(static_cast<float>(60.0 + 0.02 * d * d));
    l.posterior.push_back(static_cast<float>(40.0 + 0.1 * d * d));
    l.irisLens.push_back(190.0f);
  }
  CMirrorImageAttenuation engine;
  engine.Initialize(l.anterior.data(), l.posterior.data(), l.irisLens.data(), l.width, l.length);
  const Image half = AttenuatedFlat(engine, l, 0.5f);
  const std::uint8_t* a = engine.AnteriorMask();
  const std::uint8_t* m = engine.MirrorMask();
  int both = 0;
  for (size_t k = 0; k < half.size(); ++k) {
    const int inMasks = a[k] + m[k];
    ASSERT_EQ(half[k], inMasks == 0 ? 200 : inMasks == 1 ? 100 : 50) << k;
    both += inMasks == 2;
  }
  EXPECT_GT(both, 100);
  EXPECT_EQ(half[30 * l.length + 50], 50);

  const Image zero = AttenuatedFlat(engine, l, 1.0f);
  const Image none = AttenuatedFlat(engine, l, 0.0f);
  for (size_t k = 0; k < zero.size(); ++k) {
    ASSERT_EQ(zero[k], a[k] + m[k] == 0 ? 200 : 0);
    ASSERT_EQ(none[k], 200);
  }
  // trunc(f * v) in single precision, kept to 8 bits: 1 - 0.3 = 0.69999999 in float.
  Image one(static_cast<size_t>(l.width) * l.length, 10);
  engine.AttenuateMirrorImage(one.data(), l.width, l.length, 0.3f);
  EXPECT_EQ(one[0], 6);
  EXPECT_EQ(one[30 * l.length + 50], 4);  // 10 -> 6 -> 4
  engine.AttenuateMirrorImage(one.data(), l.width, l.length, 1.5f);
  EXPECT_EQ(one[0], static_cast<std::uint8_t>(-3));  // trunc(-0.5 * 6) = -3, low 8 bits
}

TEST(MirrorAttenuation, EngineRefusesMissingInputsAndImagesLargerThanItsMasks) {
  const Layers l = DomeLayers();
  const float* a = l.anterior.data();
  const float* p = l.posterior.data();
  const float* q = l.irisLens.data();
  CMirrorImageAttenuation engine;
  Image image(static_cast<size_t>(l.width) * l.length, 9);
  EXPECT_EQ(MessageOf([&] { engine.AttenuateMirrorImage(image.data(), l.width, l.length, 0.5f); }),
            "Initialization is missing.");
  EXPECT_EQ(MessageOf([&] { engine.Initialize(nullptr, p, q, l.width, l.length); }),
            "Iutput anterior layer is NULL.");
  EXPECT_EQ(MessageOf([&] { engine.Initialize(a, nullptr, nullptr, l.width, l.length); }),
            "Iutput posterior layer is NULL.");
  EXPECT_EQ(MessageOf([&] { engine.Initialize(a, p, nullptr, l.width, l.length); }),
            "Iutput iris/lens layer is NULL.");
  EXPECT_EQ(MessageOf([&] { engine.Initialize(a, p, q, 0, l.length); }),
            "IPP: ippsMaxIndx_32f() failed.");
  EXPECT_EQ(MessageOf([&] { engine.Initialize(a, p, q, l.width, 0); }),
            "TalvexAlgorithm: imfillholes() failed.");
  EXPECT_EQ(engine.MirrorMask(), nullptr);

  engine.Initialize(a, p, q, l.width, l.length);
  EXPECT_EQ(MessageOf([&] { engine.AttenuateMirrorImage(nullptr, l.width, l.length, 0.5f); }),
            "Input image is NULL.");
  Image bigger(static_cast<size_t>(l.width + 1) * l.length, 9);
  EXPECT_EQ(
      MessageOf([&] { engine.AttenuateMirrorImage(bigger.data(), l.width + 1, l.length, 0.5f); }),
      "B-scan is larger than the mirror masks.");
  EXPECT_EQ(bigger, Image(bigger.size(), 9));
}

TEST(MirrorAttenuation, LeavesTheMirrorMaskEmptyWhenTheSurfacesNeverMeet) {
  Layers l = DomeLayers();
  for (int i = 0; i < l.width / 2; ++i) l.posterior[i] = -1.0f;  // no left crossing
  CMirrorImageAttenuation engine;
  engine.Initialize(l.anterior.data(), l.posterior.data(), l.irisLens.data(), l.width, l.length);
  const size_t n = static_cast<size_t>(l.width) * l.length;
  EXPECT_EQ(Image(engine.MirrorMask(), engine.MirrorMask() + n), Image(n, 0));
  EXPECT_EQ(Image(engine.AnteriorMask(), engine.AnteriorMask() + n),
            MirrorOracle::AnteriorRegion(l));
}

TEST(MirrorAttenuationFacade, RefusesUntilAnInitializeSucceedsAndForwardsToItsEngine) {
  const Layers l = DomeLayers();
  const float* a = l.anterior.data();
  const float* p = l.posterior.data();
  const float* q = l.irisLens.data();
  CMirrorImageAttenuationAlgorithm facade;
  Image image(static_cast<size_t>(l.width) * l.length, 120);
  const Image original = image;
  auto attenuate = [&] { facade.AttenuateMirrorImage(image.data(), l.width, l.length, 0.25f); };
  EXPECT_EQ(MessageOf(attenuate), "Initialization is missing.");

  facade.Initialize(a, p, q, l.width, l.length);
  attenuate();
  CMirrorImageAttenuation engine;
  engine.Initialize(a, p, q, l.width, l.length);
  Image expected = original;
  engine.AttenuateMirrorImage(expected.data(), l.width, l.length, 0.25f);
  EXPECT_EQ(image, expected);

  // A failed Initialize leaves the facade refusing, although the one before had succeeded.
  EXPECT_EQ(MessageOf([&] { facade.Initialize(a, nullptr, q, l.width, l.length); }),
            "Iutput posterior layer is NULL.");
  image = original;
  EXPECT_EQ(MessageOf(attenuate), "Initialization is missing.");
  EXPECT_EQ(image, original);

  facade.Initialize(a, p, q, l.width, l.length);
  attenuate();
  EXPECT_EQ(image, expected);
  facade.Dispose();
  facade.Dispose();
  EXPECT_EQ(MessageOf(attenuate), "Initialization is missing.");
}

}  // namespace
