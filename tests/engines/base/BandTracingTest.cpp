#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <vector>

#include "core/AlgorithmException.h"
#include "engines/base/CAnteriorSegmentModule.h"

namespace {

using Talvex::SDOCT::Algorithms::AlgorithmException;
using Talvex::SDOCT::Algorithms::CAnteriorSegmentModule;

constexpr int kHeight = 100;  // A-scans
constexpr int kWidth = 200;   // depth samples
// The path lies on the last dark or the first bright sample of a step (ties take the lower one).
constexpr double kTraceTolerancePx = 1.01;

// A cornea-like B-scan: dark above the anterior surface `front`, bright stroma for 40 samples,
// dark aqueous below. Rows are A-scans.
struct SyntheticBscan {
  std::vector<float> pixels = std::vector<float>(kHeight * kWidth);
  std::vector<float*> rows = std::vector<float*>(kHeight);
  std::vector<double> front = std::vector<double>(kHeight);
  template <typename Surface>
  explicit SyntheticBscan(Surface surface) {
    for (int r = 0; r < kHeight; ++r) {
      rows[r] = pixels.data() + r * kWidth;
      front[r] = surface(r);
      for (int c = 0; c < kWidth; ++c)
        rows[r][c] = (c >= front[r] && c < front[r] + 40) ? 70.0f : 25.0f;
    }
  }
};

double Parabola(double x) { return 0.01 * (x - 50) * (x - 50) + 60; }
const float kParabola[3] = {0.01f, -1.0f, 85.0f};  // 0.01 (x - 50)^2 + 60, descending powers
const float kSigma[2] = {1.0f, 1.0f};
const int kSize[2] = {3, 3};

TEST(SideCornea, TracesAnteriorAboveAndPosteriorBelowAParabolaGuide) {
  SyntheticBscan img(Parabola);
  CAnteriorSegmentModule m;
  std::vector<float> x(kHeight), y(kHeight);
  int len = 0;
  // Guide 20 samples below the anterior surface, band of 50 above it: path + guide - 50.
  m.SegmentSideCornea(img.rows.data(), kHeight, kWidth, 50, kParabola, 1, 1, false, 10, 89, 20,
                      kSigma, kSize, 2, x.data(), y.data(), len);
  ASSERT_EQ(len, 80);
  for (int j = 0; j < len; ++j) {
    EXPECT_EQ(x[j], 10 + j);
    EXPECT_NEAR(y[j], img.front[10 + j], kTraceTolerancePx) << j;
  }
  // The posterior (bright-to-dark) surface, traced below a guide 20 samples above it, and then
  // again from that trace as its own guide.
  m.SegmentSideCornea(img.rows.data(), kHeight, kWidth, 50, kParabola, 1, 0, false, 10, 89, 20,
                      kSigma, kSize, 2, x.data(), y.data(), len);
  for (int j = 0; j < len; ++j) EXPECT_NEAR(y[j], img.front[10 + j] + 40, kTraceTolerancePx);
  m.SegmentSideCornea(img.rows.data(), kHeight, kWidth, 30, 0, false, -10, kSigma, kSize, 2,
                      x.data(), y.data(), len);
  for (int j = 0; j < len; ++j) EXPECT_NEAR(y[j], img.front[10 + j] + 40, kTraceTolerancePx);
}

TEST(SideCornea, ConicGuideDropsAScansWhereItHasNoValue) {
  // Circle of radius 45 about (50, 150): the upper arc is the surface; the conic is scaled by -1
  // so that its positive root is that arc.
  const double R = 45, Y0 = 150;
  SyntheticBscan img(
      [&](double x) { return Y0 - std::sqrt(std::max(R * R - (x - 50) * (x - 50), 0.0)); });
  const float conic[6] = {-1.0f,
                          0.0f,
                          -1.0f,
                          100.0f,
                          static_cast<float>(2 * Y0),
                          static_cast<float>(-(2500 + Y0 * Y0 - R * R))};
  CAnteriorSegmentModule m;
  std::vector<float> x(kHeight), y(kHeight);
  int len = 0;
  m.SegmentSideCornea(img.rows.data(), kHeight, kWidth, 50, conic, 0, 1, false, 0, 99, 20, kSigma,
                      kSize, 2, x.data(), y.data(), len);
  EXPECT_EQ(len, 91);  // A-scans 5 .. 95 lie under the circle
  EXPECT_EQ(x[0], 5.0f);
  for (int j = 2; j < len - 2; ++j) EXPECT_NEAR(y[j], img.front[5 + j], kTraceTolerancePx) << j;
}

TEST(SideCornea, EmptyAScanRangeThrowsInsteadOfTracing) {
  SyntheticBscan img(Parabola);
  CAnteriorSegmentModule m;
  std::vector<float> x(kHeight), y(kHeight);
  int len = 0;
  EXPECT_THROW(m.SegmentSideCornea(img.rows.data(), kHeight, kWidth, 50, kParabola, 1, 1, false, 30,
                                   20, 0, kSigma, kSize, 2, x.data(), y.data(), len),
               AlgorithmException);
}

TEST(BandLimit, ExtremeOffsetsStayInsideTheRowsAndTheBand) {
  const int height = 3, width = 20, N = 4;
  std::vector<float> pixels(height * width);
  for (int i = 0; i < height * width; ++i) pixels[i] = static_cast<float>(i % width);
  std::vector<float*> rows(height);
  for (int r = 0; r < height; ++r) rows[r] = pixels.data() + r * width;
  // Two band rows of N samples between guard cells.
  std::vector<float> band(2 * (N + 2), -9.0f);
  float* out[2] = {band.data() + 1, band.data() + N + 3};
  const float guide[2] = {10.0f, 10.0f};
  CAnteriorSegmentModule m;
  // Starting at image row 2, only one band row exists; 2^31 - 1 up and long: columns 1 .. 4.
  m.ImageROILimit(2.0f, guide, 2, N, INT_MAX, INT_MAX, rows.data(), height, width, out);
  EXPECT_EQ(band, (std::vector<float>{-9, 1, 2, 3, 4, -9, -9, -9, -9, -9, -9, -9}));
  std::fill(band.begin(), band.end(), -9.0f);
  m.ImageROILimit(0.0f, guide, 2, N, INT_MIN, INT_MAX, rows.data(), height, width, out);
  m.ImageROILimit(0.0f, guide, 2, N, 3, INT_MIN, rows.data(), height, width, out);
  m.ImageROILimit(0.0f, guide, 2, 0, 3, 10, rows.data(), height, width, out);
  m.ImageROILimit(1e30f, guide, 2, N, 3, 10, rows.data(), height, width, out);
  EXPECT_EQ(band, std::vector<float>(2 * (N + 2), -9.0f));
}

TEST(CentralCornea, FlatExtentParabolaUsesAllRowsThenNarrowsToTheCrossing) {
  SyntheticBscan img(Parabola);
  CAnteriorSegmentModule m;
  std::vector<float> x(kHeight), y(kHeight);
  float P1[3] = {0.0f, 0.0f, 0.0f};
  int len = 0;
  m.SegmentCentralCornea(img.rows.data(), kHeight, kWidth, 50, 1, P1, kParabola, 1, 80, 20, kSigma,
                         kSize, 20, 1.0f, 0.99f, 100, 500, x.data(), y.data(), len);
  EXPECT_EQ(len, kHeight);
  EXPECT_NEAR(P1[0], 0.01f, 1e-3);  // the trace refitted: P1 now follows the surface
  EXPECT_NEAR(P1[1], -1.0f, 0.1);
  // Second round: only where P1 lies above depth 80, i.e. |x - 50| < sqrt(2000).
  m.SegmentCentralCornea(img.rows.data(), kHeight, kWidth, 50, 1, P1, kParabola, 1, 80, 20, kSigma,
                         kSize, 20, 1.0f, 0.99f, 100, 500, x.data(), y.data(), len);
  EXPECT_NEAR(x[0], 50 - std::sqrt(2000.0), 1.5);
  EXPECT_NEAR(len, 2 * std::sqrt(2000.0) + 1, 3);
  for (int j = 0; j < len; ++j) EXPECT_NEAR(y[j], Parabola(x[j]), kTraceTolerancePx + 0.5);
}

}  // namespace
