#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "interface/Talvex.h"

namespace {

using Talvex::SDOCT::Algorithms::AlgorithmException;
using Talvex::SDOCT::Algorithms::CAnteriorChamberAlgorithm;

// Area with dx = dz = 1 (widthMu = bscanWidth, depthMu = ascanLength).
float UnitArea(const std::vector<float>& posterior, const std::vector<float>& irisLens) {
  const int n = static_cast<int>(posterior.size());
  return CAnteriorChamberAlgorithm().AnteriorChamberArea(posterior.data(), irisLens.data(), n, 100,
                                                         static_cast<float>(n), 100.0f);
}

std::string FailureOf(const float* posterior, const float* irisLens, int n) {
  try {
    CAnteriorChamberAlgorithm().AnteriorChamberArea(posterior, irisLens, n, 100, 10.0f, 10.0f);
  } catch (const AlgorithmException& e) {
    return e.what();
  }
  return "no exception";
}

TEST(AnteriorChamber, ConstantGapOverThousandAscansGivesOnePointTwoSquareMillimetres) {
  std::vector<float> posterior(1000, 50.0f), irisLens(1000, 150.0f);
  // dx = 6000 / 1000 = 6 um, dz = 2 um: 1000 * 100 px * 2 um * 6 um.
  const float area = CAnteriorChamberAlgorithm().AnteriorChamberArea(
      posterior.data(), irisLens.data(), 1000, 500, 6000.0f, 1000.0f);
  EXPECT_EQ(area, 1200000.0f);
}

TEST(AnteriorChamber, SameEndsSumTheGapWhereThePosteriorSurfaceExists) {
  EXPECT_EQ(UnitArea({-1, 2, 2, -1, 2, -1}, {-1, 5, 6, 7, 4, -1}), 3 + 4 + 2);
}

TEST(AnteriorChamber, LeftGapsAreClosedByTheLineBetweenTheFirstPoints) {
  // Iris/lens starts later: its values from the first posterior A-scan on are replaced by the
  // line from (0, 1) to (2, 5), so the first A-scan contributes 0 and the second 3 - 1.
  EXPECT_EQ(UnitArea({1, 1, 1, 1}, {-1, -1, 5, 5}), 0 + 2 + 4 + 4);
  // Posterior starts later: it is drawn back from (2, 1) to the first iris/lens point (0, 5);
  // the line gives p = 5, 3 over A-scans 0 and 1.
  EXPECT_EQ(UnitArea({-1, -1, 1, 1}, {5, 5, 5, 5}), 0 + 2 + 4 + 4);
}

TEST(AnteriorChamber, RightGapsAreClosedByTheLineBetweenTheLastPoints) {
  // Iris/lens ends later: posterior is extended from (1, 1) to (3, 5), giving 3 and 5.
  EXPECT_EQ(UnitArea({1, 1, -1, -1}, {5, 5, 5, 5}), 4 + 4 + 2 + 0);
  // Posterior ends later: iris/lens drawn from (1, 5) to (3, 1), giving 3 and 1.
  EXPECT_EQ(UnitArea({1, 1, 1, 1}, {5, 5, -1, -1}), 4 + 4 + 2 + 0);
}

TEST(AnteriorChamber, OnlyThePosteriorSurfaceDecidesWhichAscansCount) {
  // An interior iris/lens gap keeps its -1, which enters the sum as |-1 - p|.
  EXPECT_EQ(UnitArea({2, 2, 2}, {6, -1, 6}), 4 + 3 + 4);
  // An interior posterior gap is skipped.
  EXPECT_EQ(UnitArea({2, -1, 2}, {6, 6, 6}), 4 + 4);
}

TEST(AnteriorChamber, FailuresCarryTheirExactMessages) {
  const std::vector<float> valid(8, 3.0f), none(8, -1.0f);
  EXPECT_EQ(FailureOf(nullptr, valid.data(), 8), "Input posterior layer is NULL.");
  EXPECT_EQ(FailureOf(valid.data(), nullptr, 8), "Input iris/lens layer is NULL.");
  EXPECT_EQ(FailureOf(none.data(), valid.data(), 8),
            "area cannot be found due to bad segmentation.");
  EXPECT_EQ(FailureOf(valid.data(), none.data(), 8),
            "area cannot be found due to bad segmentation.");
  EXPECT_EQ(FailureOf(valid.data(), valid.data(), 0),
            "area cannot be found due to bad segmentation.");
  // Wider than the working profiles: refused before any element is read.
  EXPECT_EQ(FailureOf(valid.data(), valid.data(), 4097),
            "Input B-scan width exceeds 4096 A-scans.");
  std::vector<float> widest(4096, 1.0f), below(4096, 2.0f);
  EXPECT_EQ(CAnteriorChamberAlgorithm().AnteriorChamberArea(widest.data(), below.data(), 4096, 10,
                                                            4096.0f, 10.0f),
            4096.0f);
}

}  // namespace
