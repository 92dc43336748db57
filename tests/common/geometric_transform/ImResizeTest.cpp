#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "engines/base/LibraryStatus.h"
#include "interface/Talvex.h"

namespace {

using Talvex::Common::Algorithms::GeometricTransform::ImResize;

TEST(ImResize, SameSizeIsACopyForEveryMethod) {
  std::mt19937 rng(4);
  std::vector<std::uint8_t> src(37 * 23), dst(src.size());
  for (auto& v : src) v = static_cast<std::uint8_t>(rng());
  for (int method : {0, 1, 2, 7}) {
    ASSERT_EQ(ImResize(src.data(), 37, 23, method, dst.data(), 37, 23), 0);
    EXPECT_EQ(dst, src) << "method " << method;
  }
}

TEST(ImResize, UsesThePointPixelMapping) {
  // Depth profile magnified 15 times (as the Bowman search does): sample x of the result lies at
  // source position x / 15, without a half-pixel shift.
  const std::vector<float> src = {0, 15, 30, 60};
  std::vector<float> linear(60), nearest(60), cubic(60);
  ASSERT_EQ(ImResize(src.data(), 1, 4, 1, linear.data(), 1, 60), 0);
  ASSERT_EQ(ImResize(src.data(), 1, 4, 7, nearest.data(), 1, 60), 0);  // unknown method: linear
  EXPECT_EQ(linear, nearest);
  EXPECT_FLOAT_EQ(linear[1], 1.0f);
  EXPECT_FLOAT_EQ(linear[30], 30.0f);
  EXPECT_FLOAT_EQ(linear[59], 60.0f);  // beyond the last sample: edge replicated
  ASSERT_EQ(ImResize(src.data(), 1, 4, 0, nearest.data(), 1, 60), 0);
  EXPECT_EQ(nearest[14], 0.0f);
  EXPECT_EQ(nearest[16], 15.0f);
  // The cubic is the 4-point Lagrange polynomial: exact on the first three samples' line.
  ASSERT_EQ(ImResize(src.data(), 1, 4, 2, cubic.data(), 1, 60), 0);
  EXPECT_NEAR(cubic[15], 15.0f, 1e-4f);

  // Halving keeps every second sample.
  const std::vector<std::uint8_t> row = {10, 20, 30, 40, 50, 60};
  std::vector<std::uint8_t> half(3);
  ASSERT_EQ(ImResize(row.data(), 1, 6, 1, half.data(), 1, 3), 0);
  EXPECT_EQ(half, (std::vector<std::uint8_t>{10, 30, 50}));
  EXPECT_EQ(ImResize(row.data(), 1, 6, 1, half.data(), 0, 3), -1);
}

TEST(ImResize, FailureReachesTheHostWithTheFunctionsMessage) {
  const std::vector<float> src(4, 1.0f);
  std::vector<float> dst(4);
  try {
    Talvex::SDOCT::Engines::RequireSuccess(ImResize(src.data(), 2, 2, 1, dst.data(), 2, -2),
                                           "TalvexAlgorithm: ImResize() failed.");
    FAIL() << "no exception";
  } catch (const Talvex::SDOCT::Algorithms::AlgorithmException& e) {
    EXPECT_STREQ(e.what(), "TalvexAlgorithm: ImResize() failed.");
  }
}

}  // namespace
