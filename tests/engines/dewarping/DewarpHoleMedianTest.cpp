// The hole filling of the dewarp engine against the 7 x 7 median computed by sorting each window.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "engines/dewarping/DewarpHoleMedian.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

int SortedMedian(const Bytes& image, int length, int c, int p) {
  std::vector<int> window;
  for (int r = c - 3; r <= c + 3; ++r)
    for (int q = p - 3; q <= p + 3; ++q) window.push_back(image[r * length + q]);
  std::nth_element(window.begin(), window.begin() + 24, window.end());
  return window[24];
}

// Unreached (0) pixels in three kinds of surroundings: scattered single holes among grey levels,
// a wide unreached area (median 0 from the zeros alone) with sparse grey pixels and a border zone
// around it where the zeros are close to half the window, and grey levels that are themselves 0.
Bytes Scene(int width, int length, unsigned seed) {
  std::mt19937 random(seed);
  Bytes image(static_cast<std::size_t>(width) * length);
  for (int c = 0; c < width; ++c)
    for (int p = 0; p < length; ++p) {
      const bool unreachedArea = p > length / 2 && c > width / 3;
      const unsigned draw = random() % 100;
      std::uint8_t v = static_cast<std::uint8_t>(random() % 256);
      if (unreachedArea ? draw < 80 : draw < 12) v = 0;
      image[static_cast<std::size_t>(c) * length + p] = v;
    }
  return image;
}

TEST(DewarpHoleMedian, EveryUnreachedInnerPixelGetsTheMedianOfItsWindowAndNoOtherIsWritten) {
  for (unsigned seed : {1u, 2u, 3u}) {
    const int width = 40 + 7 * static_cast<int>(seed), length = 90 + 11 * static_cast<int>(seed);
    const Bytes image = Scene(width, length, seed);
    Bytes medians(image.size(), 77);
    Talvex::SDOCT::Algorithms::DewarpDetail::MedianAtHoles(image.data(), width, length,
                                                           medians.data());
    int zeroMedians = 0, greyMedians = 0;
    for (int c = 3; c < width - 3; ++c)
      for (int p = 3; p < length - 3; ++p) {
        if (image[c * length + p] != 0) {
          ASSERT_EQ(medians[c * length + p], 77) << "a reached pixel written at " << c << ", " << p;
          continue;
        }
        const int expected = SortedMedian(image, length, c, p);
        ASSERT_EQ(medians[c * length + p], expected) << "seed " << seed << " at " << c << ", " << p;
        ++(expected == 0 ? zeroMedians : greyMedians);
      }
    // The three A-scans and samples at each border have no whole window: never written.
    for (int c = 0; c < width; ++c)
      for (int p = 0; p < length; ++p)
        if (c < 3 || c >= width - 3 || p < 3 || p >= length - 3) {
          ASSERT_EQ(medians[c * length + p], 77) << "border written at " << c << ", " << p;
        }
    // Both ways to a median are taken.
    EXPECT_GT(zeroMedians, 100);
    EXPECT_GT(greyMedians, 100);
  }
}

// Unreached samples on the same rows over runs of A-scans with gaps of 1 to 9 A-scans between
// them (each sample's running histogram moves on or is rebuilt), among grey levels with zeros.
Bytes Rows(int width, int length, unsigned seed) {
  std::mt19937 random(seed);
  Bytes image(static_cast<std::size_t>(width) * length);
  for (auto& v : image) v = static_cast<std::uint8_t>(random() % 100 < 20 ? 0 : random() % 256);
  for (int p = 5; p < length; p += 4)
    for (int c = 0; c < width; c += 1 + static_cast<int>(random() % 9))
      image[static_cast<std::size_t>(c) * length + p] = 0;
  return image;
}

TEST(DewarpHoleMedian, FillingInPlaceGivesEveryHoleTheMedianOfTheImageAsGiven) {
  Talvex::SDOCT::Algorithms::DewarpDetail::HoleFillWork work;  // reused: sizes grow and shrink
  for (unsigned seed : {4u, 5u, 6u}) {
    const int width = 60 + 13 * static_cast<int>(seed), length = 150 - 17 * static_cast<int>(seed);
    for (const Bytes& image : {Scene(width, length, seed), Rows(width, length, seed)}) {
      Bytes filled = image;
      Talvex::SDOCT::Algorithms::DewarpDetail::FillHolesWithMedians(filled.data(), width, length,
                                                                    work);
      for (int c = 0; c < width; ++c)
        for (int p = 0; p < length; ++p) {
          const int at = c * length + p;
          const bool inner = c >= 3 && c < width - 3 && p >= 3 && p < length - 3;
          const int expected =
              image[at] == 0 && inner ? SortedMedian(image, length, c, p) : image[at];
          ASSERT_EQ(filled[at], expected) << "seed " << seed << " at " << c << ", " << p;
        }
    }
  }
}

TEST(DewarpHoleMedian, SmallestImageHasOneInnerPixel) {
  Bytes image(49, 5), medians(49, 77);
  image[24] = 0;  // the centre
  for (int k = 0; k < 24; ++k) image[k] = 0;
  Talvex::SDOCT::Algorithms::DewarpDetail::MedianAtHoles(image.data(), 7, 7, medians.data());
  EXPECT_EQ(medians[24], 0);  // 25 zeros
  image[0] = 9;
  Talvex::SDOCT::Algorithms::DewarpDetail::MedianAtHoles(image.data(), 7, 7, medians.data());
  EXPECT_EQ(medians[24], 5);  // 24 zeros, 24 fives, one nine
}

}  // namespace
