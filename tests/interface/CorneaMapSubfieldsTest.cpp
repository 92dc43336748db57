#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "interface/Talvex.h"

namespace {

using Talvex::SDOCT::Algorithms::AlgorithmException;
using Talvex::SDOCT::Algorithms::CCorneaMapAlgorithm;
using Talvex::SDOCT::Algorithms::MapPoint;

constexpr double kPi = 3.14159265358979;

// 101 x 101 pixels over 10 mm about pixel (50, 50); the usual layout: a 1 mm disc, rings to 2.5
// and 3.5 mm, 8 sectors. No pixel centre lies on a ring or sector boundary.
constexpr int kWidth = 101, kSectors = 8, kRings = 3, kEntries = 1 + (kRings - 1) * kSectors;
constexpr float kWidthMm = 10.0f, kCentre = 50.0f;
const float kRadii[kRings] = {1.0f, 2.5f, 3.5f};

// Oracle: region of a pixel from its distance and its polar angle (counter-clockwise, y up),
// sector 0 centred on +x. -1 outside the outer ring.
int EntryOf(int x, int y) {
  const double s = kWidth / kWidthMm, dx = x - kCentre, dy = kCentre - y;
  const double r = std::hypot(dx, dy) / s;
  if (r <= kRadii[0]) return 0;
  if (r > kRadii[kRings - 1]) return -1;
  const int ring = r <= kRadii[1] ? 1 : 2;
  double a = std::atan2(dy, dx);
  if (a < 0) a += 2 * kPi;
  const double width = 2 * kPi / kSectors;
  const int sector = static_cast<int>(std::floor((a + width / 2) / width)) % kSectors;
  return 1 + (ring - 1) * kSectors + sector;
}

// A map holding 100 + its entry number in every pixel of a region, 999 outside.
std::vector<float> RegionMap() {
  std::vector<float> map(kWidth * kWidth);
  for (int y = 0; y < kWidth; ++y)
    for (int x = 0; x < kWidth; ++x) {
      const int e = EntryOf(x, y);
      map[y * kWidth + x] = e < 0 ? 999.0f : 100.0f + e;
    }
  return map;
}

struct Subfields {
  std::vector<float> mean = std::vector<float>(kEntries, -7.0f), min = mean, max = mean;
};
Subfields Compute(const std::vector<float>& map, float areaPerc, int numRegion = kRings) {
  Subfields out;
  CCorneaMapAlgorithm().ComputeSubfields(map.data(), kWidth, kWidthMm, kCentre, kCentre, areaPerc,
                                         kRadii, numRegion, kSectors, out.mean.data(),
                                         out.min.data(), out.max.data());
  return out;
}

TEST(CorneaMapSubfields, EachRegionReadsExactlyItsOwnPixelsCounterClockwiseFromPlusX) {
  const Subfields s = Compute(RegionMap(), 0.8f);
  for (int e = 0; e < kEntries; ++e) {
    // A pixel taken into the wrong region, or a sector numbered clockwise or from another axis,
    // would bring a foreign value into the mean, the minimum or the maximum.
    EXPECT_EQ(s.mean[e], 100.0f + e) << e;
    EXPECT_EQ(s.min[e], 100.0f + e) << e;
    EXPECT_EQ(s.max[e], 100.0f + e) << e;
  }
  // Spot check of the orientation: the pixel straight above the centre (lower row index) is in
  // sector 2 of its ring, the one to the right in sector 0.
  EXPECT_EQ(EntryOf(50, 50 - 30), 1 + kSectors + 2);
  EXPECT_EQ(EntryOf(50 + 30, 50), 1 + kSectors + 0);
}

TEST(CorneaMapSubfields, RegionCoveredBelowAreaPercReportsMinusOneForAllThree) {
  std::vector<float> map = RegionMap();
  const int target = 1 + kSectors;   // outer ring, sector 0
  for (int y = 51; y < kWidth; ++y)  // its lower half: no value (-1) or zero thickness
    for (int x = 0; x < kWidth; ++x)
      if (EntryOf(x, y) == target) map[y * kWidth + x] = x % 2 ? 0.0f : -1.0f;
  const Subfields strict = Compute(map, 0.6f);
  EXPECT_EQ(strict.mean[target], -1.0f);
  EXPECT_EQ(strict.min[target], -1.0f);
  EXPECT_EQ(strict.max[target], -1.0f);
  EXPECT_EQ(strict.mean[target + 1], 100.0f + target + 1);  // neighbours unaffected
  const Subfields lenient = Compute(map, 0.4f);
  EXPECT_EQ(lenient.mean[target], 100.0f + target);
  EXPECT_EQ(lenient.min[target], 100.0f + target);
  // A region without any value is -1 even when no coverage is required.
  std::vector<float> empty(kWidth * kWidth, -1.0f);
  EXPECT_EQ(Compute(empty, 0.0f).mean[0], -1.0f);
}

TEST(CorneaMapSubfields, OneRegionEvaluatesOnlyTheCentreDisc) {
  const Subfields s = Compute(RegionMap(), 0.8f, 1);
  EXPECT_EQ(s.mean[0], 100.0f);
  for (int e = 1; e < kEntries; ++e) EXPECT_EQ(s.mean[e], -7.0f) << e;  // untouched
}

// 64 x 64 pixels over 6.4 mm: a bowl with its bottom (500 um) at column 20, row 40.
std::vector<float> Bowl() {
  std::vector<float> map(64 * 64);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x)
      map[y * 64 + x] = static_cast<float>(500 + (x - 20) * (x - 20) + (y - 40) * (y - 40));
  return map;
}

MapPoint Thinnest(const std::vector<float>& map, float roiRadiusmm) {
  MapPoint p{-9.0f, -9.0f};
  CCorneaMapAlgorithm().MinimumCorneaMap(map.data(), 64, 6.4f, 32.0f, 32.0f, roiRadiusmm, p);
  return p;
}

TEST(CorneaMapMinimum, ThinnestPointIsTheBottomInsideTheRegionAndTheCentroidOfTies) {
  std::vector<float> map = Bowl();
  map[5 * 64 + 60] = 300.0f;  // thinner, but 3.9 mm from the centre
  map[40 * 64 + 21] = -1.0f;  // unreliable pixels are skipped
  map[39 * 64 + 20] = -1.0f;
  MapPoint p = Thinnest(map, 2.5f);
  EXPECT_EQ(p.x, 20.0f);       // column
  EXPECT_EQ(p.y, 40.0f);       // row
  map[40 * 64 + 22] = 500.0f;  // a second pixel at the minimum: their centroid
  p = Thinnest(map, 2.5f);
  EXPECT_EQ(p.x, 21.0f);
  EXPECT_EQ(p.y, 40.0f);
  p = Thinnest(map, 4.5f);  // a region that reaches the thinner spot
  EXPECT_EQ(p.x, 60.0f);
  EXPECT_EQ(p.y, 5.0f);
  map[32 * 64 + 57] = 200.0f;  // on the region's rim, its rightmost column (25 pixels out)
  p = Thinnest(map, 2.5f);
  EXPECT_EQ(p.x, 57.0f);
  EXPECT_EQ(p.y, 32.0f);
}

TEST(CorneaMapMinimum, RegionWithoutAnyValueIsReported) {
  std::vector<float> map(64 * 64, -1.0f);
  map[0] = 450.0f;  // a value, but outside the region
  try {
    Thinnest(map, 2.0f);
    FAIL() << "no exception";
  } catch (const AlgorithmException& e) {
    EXPECT_STREQ(e.what(), "IPP: ippsMean_32f() failed.");
  }
}

TEST(CorneaMapSubfields, MissingMapIsReported) {
  float out[kEntries];
  try {
    CCorneaMapAlgorithm().ComputeSubfields(nullptr, kWidth, kWidthMm, kCentre, kCentre, 0.5f,
                                           kRadii, kRings, kSectors, out, out, out);
    FAIL() << "no exception";
  } catch (const AlgorithmException& e) {
    EXPECT_STREQ(e.what(), "input map is NULL.");
  }
}

}  // namespace
