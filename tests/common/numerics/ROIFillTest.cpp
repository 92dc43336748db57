#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "common/numerics/ROIFill.h"

namespace {

using Talvex::Common::Algorithms::Numerics::CROIFill;
using Image = std::vector<std::uint8_t>;

// Reference: the same Laplace problem (every unknown equals the mean of its in-image
// 4-neighbours, the others held fixed) solved by Gauss-Seidel sweeps to convergence.
std::vector<double> HarmonicReference(const Image& image, const std::vector<bool>& unknown, int h,
                                      int w) {
  std::vector<double> v(image.begin(), image.end());
  for (int sweep = 0; sweep < 20000; ++sweep) {
    double change = 0.0;
    for (int r = 0; r < h; ++r)
      for (int c = 0; c < w; ++c) {
        const int p = r * w + c;
        if (!unknown[p]) continue;
        double sum = 0.0;
        int count = 0;
        if (c > 0) sum += v[p - 1], ++count;
        if (c + 1 < w) sum += v[p + 1], ++count;
        if (r > 0) sum += v[p - w], ++count;
        if (r + 1 < h) sum += v[p + w], ++count;
        const double next = sum / count;
        change = std::max(change, std::fabs(next - v[p]));
        v[p] = next;
      }
    if (change < 1e-12) break;
  }
  return v;
}

// The pixels solved for: the mask grown by one pixel (3 x 3 over the interior), without its
// outline (pixels of the grown mask with a 4-neighbour outside it, the image border excluded).
std::vector<bool> SolvedPixels(const Image& mask, int h, int w) {
  std::vector<bool> grown(mask.size(), false), solved(mask.size(), false);
  for (int r = 0; r < h; ++r)
    for (int c = 0; c < w; ++c) {
      bool any = mask[r * w + c] != 0;
      if (r > 0 && r + 1 < h && c > 0 && c + 1 < w)
        for (int dr = -1; dr <= 1; ++dr)
          for (int dc = -1; dc <= 1; ++dc) any = any || mask[(r + dr) * w + c + dc] != 0;
      grown[r * w + c] = any;
    }
  for (int r = 0; r < h; ++r)
    for (int c = 0; c < w; ++c) {
      const int p = r * w + c;
      const bool rim = (c > 0 && !grown[p - 1]) || (c + 1 < w && !grown[p + 1]) ||
                       (r > 0 && !grown[p - w]) || (r + 1 < h && !grown[p + w]);
      solved[p] = grown[p] && !rim;
    }
  return solved;
}

TEST(ROIFill, ReproducesALinearRampInsideAMaskedHoleAndLeavesOtherPixelsUntouched) {
  const int h = 20, w = 24;
  Image ramp(h * w), mask(h * w, 0);
  for (int r = 0; r < h; ++r)
    for (int c = 0; c < w; ++c) ramp[r * w + c] = static_cast<std::uint8_t>(10 + 3 * c + 2 * r);
  // An L-shaped hole, its pixels overwritten by saturation.
  Image image = ramp;
  for (int r = 4; r < 15; ++r)
    for (int c = 5; c < 18; ++c)
      if (r < 9 || c < 10) mask[r * w + c] = 1, image[r * w + c] = 255;
  Image out(h * w, 7);
  ASSERT_EQ(CROIFill<unsigned char>().roifill(image.data(), h, w, mask.data(), out.data()), 0);
  EXPECT_EQ(out, ramp);

  // In place gives the same.
  ASSERT_EQ(CROIFill<unsigned char>().roifill(image.data(), h, w, mask.data(), image.data()), 0);
  EXPECT_EQ(image, ramp);
}

TEST(ROIFill, FillsARegionTouchingTheBorderAsTheHarmonicInterpolationTruncated) {
  const int h = 16, w = 19;
  Image image(h * w), mask(h * w, 0);
  for (int r = 0; r < h; ++r)
    for (int c = 0; c < w; ++c)
      image[r * w + c] = static_cast<std::uint8_t>(40 + (r * 37 + c * c * 5) % 150);
  for (int r = 0; r < 7; ++r)
    for (int c = 0; c < 6 + r; ++c) mask[r * w + c] = 1;  // reaches the top and left borders
  for (int r = 9; r < 13; ++r)
    for (int c = 11; c < 15; ++c) mask[r * w + c] = 1;  // an interior square
  const std::vector<bool> solved = SolvedPixels(mask, h, w);
  const std::vector<double> expected = HarmonicReference(image, solved, h, w);
  Image out = image;
  ASSERT_EQ(CROIFill<unsigned char>().roifill(image.data(), h, w, mask.data(), out.data()), 0);
  int filled = 0;
  for (int p = 0; p < h * w; ++p) {
    if (!solved[p]) {
      ASSERT_EQ(out[p], image[p]) << p;
      continue;
    }
    ++filled;
    const double v = expected[p];
    if (std::fabs(v - std::round(v)) > 1e-6)
      ASSERT_EQ(out[p], static_cast<int>(v)) << p;
    else
      ASSERT_NEAR(out[p], v, 1.0) << p;
  }
  EXPECT_GT(filled, 40);
  EXPECT_EQ(out[0], static_cast<int>(expected[0]));  // the corner pixel has two neighbours
}

TEST(ROIFill, FillsARegionWithAUniformRimWithThatValue) {
  const int h = 12, w = 12;
  Image image(h * w, 90), mask(h * w, 0);
  for (int r = 3; r < 8; ++r)
    for (int c = 2; c < 9; ++c)
      mask[r * w + c] = 1, image[r * w + c] = static_cast<std::uint8_t>(r * c);
  ASSERT_EQ(CROIFill<unsigned char>().roifill(image.data(), h, w, mask.data(), image.data()), 0);
  for (std::uint8_t v : image) ASSERT_EQ(v, 90);
}

TEST(ROIFill, LeavesTheResultUnwrittenWhenNothingIsToBeSolvedAndFailsOnTooSmallImages) {
  const int h = 9, w = 9;
  Image image(h * w, 50), mask(h * w, 0);
  image[4 * w + 4] = 200;
  Image out(h * w, 7);
  // No mask at all, then one pixel: its grown 3 x 3 block has one unknown with one diagonal entry.
  ASSERT_EQ(CROIFill<unsigned char>().roifill(image.data(), h, w, mask.data(), out.data()), 0);
  mask[4 * w + 4] = 1;
  ASSERT_EQ(CROIFill<unsigned char>().roifill(image.data(), h, w, mask.data(), out.data()), 0);
  EXPECT_EQ(out, Image(h * w, 7));
  // Three pixels in a row give a system of 7 entries and are filled.
  mask[4 * w + 5] = mask[4 * w + 6] = 1;
  ASSERT_EQ(CROIFill<unsigned char>().roifill(image.data(), h, w, mask.data(), out.data()), 0);
  EXPECT_EQ(out[4 * w + 4], 50);
  EXPECT_EQ(out[0], 50);

  Image two(2 * 5, 1);
  EXPECT_EQ(CROIFill<unsigned char>().roifill(two.data(), 2, 5, two.data(), two.data()), -1);
  EXPECT_EQ(CROIFill<unsigned char>().roifill(nullptr, h, w, mask.data(), out.data()), -1);
}

}  // namespace
