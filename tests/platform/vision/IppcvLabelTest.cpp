#include <gtest/gtest.h>

#include <random>
#include <utility>
#include <vector>

#include "platform/vision/TalvexIppcv.h"

namespace {

using namespace Talvex::Platform;

// Direct definition: flood fill from every unvisited foreground pixel in raster order.
std::vector<int> Oracle(const std::vector<Ipp8u>& img, int w, int h, bool eight, int* count) {
  std::vector<int> label(img.size(), 0);
  *count = 0;
  for (int start = 0; start < w * h; ++start) {
    if (img[start] == 0 || label[start] != 0) continue;
    label[start] = ++*count;
    std::vector<int> stack{start};
    while (!stack.empty()) {
      const int p = stack.back();
      stack.pop_back();
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
          const int x = p % w + dx, y = p / w + dy;
          if ((!eight && dx != 0 && dy != 0) || x < 0 || y < 0 || x >= w || y >= h) continue;
          if (img[y * w + x] != 0 && label[y * w + x] == 0) {
            label[y * w + x] = *count;
            stack.push_back(y * w + x);
          }
        }
    }
  }
  return label;
}

std::vector<Ipp8u> Label(std::vector<Ipp8u> img, int w, int h, int minLabel, int maxLabel,
                         IppiNorm norm, int* number) {
  int size = 0;
  EXPECT_EQ(ippiLabelMarkersGetBufferSize_8u_C1R({w, h}, &size), ippStsNoErr);
  std::vector<Ipp8u> buffer(size);
  EXPECT_EQ(ippiLabelMarkers_8u_C1IR(img.data(), w, {w, h}, minLabel, maxLabel, norm, number,
                                     buffer.data()),
            ippStsNoErr);
  return img;
}

TEST(LabelMarkers, NumbersRegionsInRasterOrderOfTheirFirstPixel) {
  std::mt19937 rng(3);
  for (const auto& [w, h] : {std::pair{37, 23}, std::pair{1, 30}, std::pair{64, 2}})
    for (bool eight : {true, false})
      for (int density : {2, 3, 5}) {
        std::vector<Ipp8u> img(static_cast<size_t>(w) * h);
        for (auto& v : img) v = rng() % density == 0 ? static_cast<Ipp8u>(1 + rng() % 255) : 0;
        int expectedCount = 0, number = -1;
        const auto expected = Oracle(img, w, h, eight, &expectedCount);
        const auto got = Label(img, w, h, 1, 254, eight ? ippiNormInf : ippiNormL1, &number);
        EXPECT_EQ(number, expectedCount);
        for (size_t i = 0; i < img.size(); ++i)
          ASSERT_EQ(got[i], expected[i] == 0 ? 0 : 1 + (expected[i] - 1) % 254) << i;
      }
}

TEST(LabelMarkers, DiagonalContactJoinsOnlyUnderEightConnectivity) {
  // (3, 0) comes first in raster order; (1, 1) and (2, 2) touch only at a corner.
  const std::vector<Ipp8u> img = {0, 0, 0, 9, 0,  //
                                  5, 5, 0, 0, 0,  //
                                  0, 0, 9, 0, 0};
  int number = 0;
  EXPECT_EQ(Label(img, 5, 3, 1, 254, ippiNormInf, &number),
            (std::vector<Ipp8u>{0, 0, 0, 1, 0, 2, 2, 0, 0, 0, 0, 0, 2, 0, 0}));
  EXPECT_EQ(number, 2);
  EXPECT_EQ(Label(img, 5, 3, 1, 254, ippiNormL1, &number),
            (std::vector<Ipp8u>{0, 0, 0, 1, 0, 2, 2, 0, 0, 0, 0, 0, 3, 0, 0}));
  EXPECT_EQ(number, 3);
}

TEST(LabelMarkers, LabelsWrapAroundBeyondTheLastLabel) {
  const int w = 2 * 300;
  std::vector<Ipp8u> img(w, 0);
  for (int k = 0; k < 300; ++k) img[2 * k] = 255;  // 300 isolated pixels
  int number = 0;
  const auto got = Label(img, w, 1, 10, 20, ippiNormInf, &number);
  EXPECT_EQ(number, 300);
  for (int k = 0; k < 300; ++k) EXPECT_EQ(got[2 * k], 10 + k % 11);
}

TEST(LabelMarkers, RejectsBadArguments) {
  std::vector<Ipp8u> img(16), buffer(4096);
  int number = 0;
  EXPECT_EQ(
      ippiLabelMarkers_8u_C1IR(img.data(), 4, {4, 4}, 0, 254, ippiNormInf, &number, buffer.data()),
      ippStsBadArgErr);
  EXPECT_EQ(
      ippiLabelMarkers_8u_C1IR(img.data(), 4, {4, 4}, 1, 255, ippiNormInf, &number, buffer.data()),
      ippStsBadArgErr);
  EXPECT_EQ(
      ippiLabelMarkers_8u_C1IR(img.data(), 4, {4, 4}, 1, 254, ippiNormL2, &number, buffer.data()),
      ippStsBadArgErr);
  EXPECT_EQ(ippiLabelMarkers_8u_C1IR(img.data(), 4, {4, 4}, 1, 254, ippiNormInf, &number, nullptr),
            ippStsNullPtrErr);
  EXPECT_EQ(ippiLabelMarkersGetBufferSize_8u_C1R({4, -1}, &number), ippStsSizeErr);
}

}  // namespace
