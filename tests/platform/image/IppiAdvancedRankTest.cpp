// Rank and morphological filters against direct window definitions.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "platform/image/TalvexIppiAdvanced.h"

using namespace Talvex::Platform;

namespace {

std::vector<Ipp8u> RandomImage(int w, int h, unsigned seed, int levels = 256) {
  std::mt19937 rng(seed);
  std::vector<Ipp8u> image(static_cast<std::size_t>(w) * h);
  for (auto& v : image) v = static_cast<Ipp8u>(rng() % levels * (255 / (levels - 1)));
  return image;
}

// Sorted samples of the mask placed with its anchor on (x, y).
std::vector<int> Window(const std::vector<Ipp8u>& img, int w, int x, int y, IppiSize m,
                        IppiPoint a) {
  std::vector<int> v;
  for (int j = 0; j < m.height; ++j)
    for (int i = 0; i < m.width; ++i) v.push_back(img[(y - a.y + j) * w + (x - a.x + i)]);
  std::sort(v.begin(), v.end());
  return v;
}

using MaskFilter = IppStatus (*)(const Ipp8u*, int, Ipp8u*, int, IppiSize, IppiSize, IppiPoint);

// Filters the largest region the mask allows and compares every pixel: the window sample of rank
// `rank(n)` inside the region, the untouched 99 outside it.
template <typename Rank>
void ExpectWindowFilter(MaskFilter filter, IppiSize m, IppiPoint a, int levels, Rank rank) {
  const int w = 41, h = 23;
  const auto src = RandomImage(w, h, 7u + levels + m.width, levels);
  std::vector<Ipp8u> dst(src.size(), 99);
  const IppiSize roi{w - m.width + 1, h - m.height + 1};
  const int off = a.y * w + a.x;
  ASSERT_EQ(filter(src.data() + off, w, dst.data() + off, w, roi, m, a), ippStsNoErr);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int rx = x - a.x, ry = y - a.y;
      const bool inside = rx >= 0 && ry >= 0 && rx < roi.width && ry < roi.height;
      const int expected = inside ? Window(src, w, x, y, m, a)[rank(m.width * m.height)] : 99;
      ASSERT_EQ(dst[y * w + x], expected) << x << "," << y;
    }
}

}  // namespace

TEST(MedianFilter, MatchesTheSortedWindowOverTheInteriorAndFailsOnAnEmptyRegion) {
  const auto middle = [](int n) { return n / 2; };
  ExpectWindowFilter(ippiFilterMedian_8u_C1R, {7, 7}, {3, 3}, 256, middle);
  ExpectWindowFilter(ippiFilterMedian_8u_C1R, {7, 7}, {3, 3}, 3, middle);  // many ties
  ExpectWindowFilter(ippiFilterMedian_8u_C1R, {3, 5}, {0, 4}, 256, middle);
  ExpectWindowFilter(ippiFilterMedian_8u_C1R, {4, 4}, {2, 1}, 16, middle);
  std::vector<Ipp8u> img(100);
  const auto median = [&](IppiSize roi, IppiSize m, IppiPoint a) {
    return ippiFilterMedian_8u_C1R(img.data() + 33, 10, img.data() + 33, 10, roi, m, a);
  };
  EXPECT_EQ(median({0, 4}, {7, 7}, {3, 3}), ippStsSizeErr);
  EXPECT_EQ(median({4, -1}, {7, 7}, {3, 3}), ippStsSizeErr);
  EXPECT_EQ(median({4, 4}, {0, 7}, {0, 0}), ippStsMaskSizeErr);
  EXPECT_EQ(median({4, 4}, {7, 7}, {7, 3}), ippStsAnchorErr);
}

TEST(MaxFilter, TakesTheWindowMaximumAndLeavesTheBorderUnwritten) {
  const auto top = [](int n) { return n - 1; };
  ExpectWindowFilter(ippiFilterMax_8u_C1R, {5, 5}, {2, 2}, 256, top);
  ExpectWindowFilter(ippiFilterMax_8u_C1R, {4, 6}, {0, 5}, 256, top);
}

TEST(Dilate3x3, UsesOriginalNeighboursInPlaceAndKeepsTheOuterRing) {
  const int w = 29, h = 17;
  for (int levels : {2, 256}) {
    auto img = RandomImage(w, h, 11u + levels, levels);
    const auto original = img;
    ASSERT_EQ(ippiDilate3x3_8u_C1IR(img.data() + w + 1, w, {w - 2, h - 2}), ippStsNoErr);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const bool inside = x > 0 && y > 0 && x < w - 1 && y < h - 1;
        const int expected =
            inside ? Window(original, w, x, y, {3, 3}, {1, 1}).back() : original[y * w + x];
        ASSERT_EQ(img[y * w + x], expected) << x << "," << y;
      }
  }
  EXPECT_EQ(ippiDilate3x3_8u_C1IR(nullptr, 1, {1, 1}), ippStsNullPtrErr);
}

TEST(Erode, CrossMaskOnAZeroPaddedCopyErodesBorderForeground) {
  const int w = 23, h = 13, pw = w + 2;
  const auto img = RandomImage(w, h, 5, 2);
  std::vector<Ipp8u> padded(static_cast<std::size_t>(pw) * (h + 2), 0);
  for (int y = 0; y < h; ++y) std::copy_n(&img[y * w], w, &padded[(y + 1) * pw + 1]);
  const Ipp8u cross[9] = {0, 1, 0, 1, 1, 1, 0, 1, 0}, none[9] = {};
  std::vector<Ipp8u> eroded(img.size(), 77);
  ASSERT_EQ(ippiErode_8u_C1R(&padded[pw + 1], pw, eroded.data(), w, {w, h}, cross, {3, 3}, {1, 1}),
            ippStsNoErr);
  const auto at = [&](int x, int y) { return int{padded[(y + 1) * pw + x + 1]}; };
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int expected =
          std::min({at(x, y), at(x - 1, y), at(x + 1, y), at(x, y - 1), at(x, y + 1)});
      ASSERT_EQ(eroded[y * w + x], expected);
    }
  EXPECT_EQ(ippiErode_8u_C1R(&padded[pw + 1], pw, eroded.data(), w, {w, h}, none, {3, 3}, {1, 1}),
            ippStsBadArgErr);
}
