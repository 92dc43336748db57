#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "interface/Talvex.h"

namespace {

using namespace Talvex::Common::Algorithms::Analysis;
using Bytes = std::vector<unsigned char>;

struct Element {
  int rows, cols;
  Bytes se;
};

Element Disk(int rows, int cols, float diameter) {
  Element e{rows, cols, Bytes(size_t(rows) * cols)};
  diskstr(e.se.data(), rows, cols, diameter);
  return e;
}

Element Rect(int rows, int cols) {
  Element e{rows, cols, Bytes(size_t(rows) * cols)};
  rectstr(e.se.data(), rows, cols);
  return e;
}

Bytes RandomMask(int rows, int cols, double density, unsigned seed) {
  std::mt19937 rng(seed);
  std::bernoulli_distribution on(density);
  Bytes m(size_t(rows) * cols);
  for (auto& v : m) v = on(rng) ? 255 : 0;
  return m;
}

// Oracle: the definition pixel by pixel, coordinates clamped into the image.
Bytes Naive(const Bytes& src, int rows, int cols, const Element& e, bool dilate) {
  Bytes out(src.size());
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < cols; ++c) {
      int v = dilate ? 0 : 255;
      for (int i = 0; i < e.rows; ++i)
        for (int j = 0; j < e.cols; ++j) {
          if (e.se[i * e.cols + j] == 0) continue;
          const int y = std::clamp(r + i - e.rows / 2, 0, rows - 1);
          const int x = std::clamp(c + j - e.cols / 2, 0, cols - 1);
          const int s = src[y * cols + x];
          v = dilate ? std::max(v, s) : std::min(v, s);
        }
      out[r * cols + c] = static_cast<unsigned char>(v);
    }
  return out;
}

TEST(DiskElement, SevenBySevenOfDiameterThreeLosesCornerTrianglesOfLegsThree) {
  const Element e = Disk(7, 7, 3.0f);
  const Bytes expected = {0, 0, 0, 1, 0, 0, 0,  //
                          0, 0, 1, 1, 1, 0, 0,  //
                          0, 1, 1, 1, 1, 1, 0,  //
                          1, 1, 1, 1, 1, 1, 1,  //
                          0, 1, 1, 1, 1, 1, 0,  //
                          0, 0, 1, 1, 1, 0, 0,  //
                          0, 0, 0, 1, 0, 0, 0};
  EXPECT_EQ(e.se, expected);
}

TEST(DiskElement, CornerLegsFollowDiameterHalvedAndRoundedHalfUp) {
  // r = trunc(d / 2 + 0.5); each corner loses a triangle of legs r + 1.
  for (const auto& [diameter, r] : std::vector<std::pair<float, int>>{
           {0.0f, 0}, {0.9f, 0}, {1.0f, 1}, {2.9f, 1}, {3.0f, 2}, {5.0f, 3}, {8.0f, 4}}) {
    const Element e = Disk(15, 15, diameter);
    const long zeros = std::count(e.se.begin(), e.se.end(), 0);
    EXPECT_EQ(zeros, 4 * (r + 1) * (r + 2) / 2) << "diameter " << diameter;
  }
  // Cuts as wide as the element clear it; rows and columns outside it are skipped.
  EXPECT_EQ(Disk(3, 3, 40.0f).se, Bytes(9, 0));
  EXPECT_EQ(Disk(3, 3, 3.0f).se, Bytes(9, 0));
  EXPECT_EQ(Disk(1, 5, 1.0f).se, (Bytes{0, 0, 1, 0, 0}));
}

TEST(Morphology, DilateErodeOpenCloseMatchTheDefinitionOnRandomMasks) {
  const std::vector<Element> elements = {Disk(5, 5, 3), Disk(11, 11, 5), Disk(9, 9, 5),
                                         Rect(3, 3),    Rect(1, 7),      Rect(7, 1),
                                         Rect(2, 4),    Disk(6, 8, 4)};
  const std::vector<std::pair<int, int>> sizes = {{1, 1}, {1, 17}, {23, 1}, {13, 29}, {40, 33}};
  const std::vector<double> densities = {0.0, 0.1, 0.5, 0.9, 1.0};
  unsigned seed = 1;
  for (const Element& e : elements)
    for (const auto& [rows, cols] : sizes)
      for (double density : densities) {
        const Bytes src = RandomMask(rows, cols, density, seed++);
        const Bytes dil = Naive(src, rows, cols, e, true);
        const Bytes ero = Naive(src, rows, cols, e, false);
        const Bytes want[4] = {dil, ero, Naive(ero, rows, cols, e, true),
                               Naive(dil, rows, cols, e, false)};
        decltype(&imdilate) ops[4] = {imdilate, imerode, imopen, imclose};
        for (int k = 0; k < 4; ++k) {
          Bytes out(src.size(), 7), inPlace = src;
          ASSERT_EQ(ops[k](src.data(), rows, cols, e.se.data(), e.rows, e.cols, out.data()), 0);
          ASSERT_EQ(out, want[k]) << "op " << k << " element " << e.rows << "x" << e.cols
                                  << " image " << rows << "x" << cols << " density " << density;
          ASSERT_EQ(ops[k](inPlace.data(), rows, cols, e.se.data(), e.rows, e.cols, inPlace.data()),
                    0);
          ASSERT_EQ(inPlace, want[k]) << "in place, op " << k;
        }
      }
}

TEST(Morphology, RefusesMissingBuffersEmptySizesAndElementsWithoutMembers) {
  Bytes img(16, 255), out(16), se(9, 1), none(9, 0);
  for (auto op : {imdilate, imerode, imopen, imclose}) {
    EXPECT_EQ(op(nullptr, 4, 4, se.data(), 3, 3, out.data()), -1);
    EXPECT_EQ(op(img.data(), 4, 4, nullptr, 3, 3, out.data()), -1);
    EXPECT_EQ(op(img.data(), 4, 4, se.data(), 3, 3, nullptr), -1);
    EXPECT_EQ(op(img.data(), 0, 4, se.data(), 3, 3, out.data()), -1);
    EXPECT_EQ(op(img.data(), 4, 4, se.data(), 3, 0, out.data()), -1);
    EXPECT_EQ(op(img.data(), 4, 4, none.data(), 3, 3, out.data()), -1);
  }
}

}  // namespace
