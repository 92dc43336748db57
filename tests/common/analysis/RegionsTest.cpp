#include <gtest/gtest.h>

#include <map>
#include <random>
#include <vector>

#include "interface/Talvex.h"

namespace {

using namespace Talvex::Common::Algorithms::Analysis;

// A rows x cols mask with its row-pointer table.
struct Mask {
  int rows, cols;
  std::vector<unsigned char> px;
  std::vector<unsigned char*> table;

  Mask(int r, int c, std::vector<unsigned char> v) : rows(r), cols(c), px(std::move(v)) {
    for (int i = 0; i < rows; ++i) table.push_back(px.data() + i * cols);
  }
  Mask(const Mask& o) : Mask(o.rows, o.cols, o.px) {}  // the copy gets its own row table
  unsigned char at(int r, int c) const { return px[r * cols + c]; }
  bool inside(int r, int c) const { return r >= 0 && r < rows && c >= 0 && c < cols; }
};

Mask Random(int rows, int cols, double density, unsigned seed) {
  std::mt19937 rng(seed);
  std::bernoulli_distribution on(density);
  std::vector<unsigned char> v(size_t(rows) * cols);
  for (auto& x : v) x = on(rng) ? 255 : 0;
  return Mask(rows, cols, v);
}

Mask Parse(const std::vector<const char*>& lines) {
  std::vector<unsigned char> v;
  for (const char* l : lines)
    for (const char* p = l; *p; ++p) v.push_back(*p == '#' ? 255 : 0);
  return Mask(int(lines.size()), int(v.size() / lines.size()), v);
}

const int kDr[8] = {-1, 1, 0, 0, -1, -1, 1, 1}, kDc[8] = {0, 0, -1, 1, -1, 1, -1, 1};

// Oracle: background reached by a flood from every background pixel on the border stays 0,
// everything else becomes 1.
std::vector<unsigned char> FilledByBorderFlood(const Mask& m, int connectivity) {
  std::vector<unsigned char> reached(m.px.size(), 0), out(m.px.size(), 1);
  std::vector<std::pair<int, int>> stack;
  for (int r = 0; r < m.rows; ++r)
    for (int c = 0; c < m.cols; ++c)
      if ((r == 0 || c == 0 || r == m.rows - 1 || c == m.cols - 1) && m.at(r, c) == 0)
        stack.push_back({r, c}), reached[r * m.cols + c] = 1;
  while (!stack.empty()) {
    const auto [r, c] = stack.back();
    stack.pop_back();
    out[r * m.cols + c] = 0;
    for (int n = 0; n < connectivity; ++n) {
      const int y = r + kDr[n], x = c + kDc[n];
      if (m.inside(y, x) && m.at(y, x) == 0 && !reached[y * m.cols + x])
        stack.push_back({y, x}), reached[y * m.cols + x] = 1;
    }
  }
  return out;
}

// Oracle labels: every foreground pixel starts with its own raster index and takes the smallest
// index among its 8 neighbours until nothing changes; components are then numbered in raster
// order of their smallest index, which is their first pixel.
std::vector<int> LabelsByPropagation(const Mask& m) {
  std::vector<int> id(m.px.size(), -1);
  for (size_t i = 0; i < id.size(); ++i)
    if (m.px[i]) id[i] = int(i);
  for (bool changed = true; changed;) {
    changed = false;
    for (int r = 0; r < m.rows; ++r)
      for (int c = 0; c < m.cols; ++c)
        for (int n = 0; n < 8 && id[r * m.cols + c] >= 0; ++n) {
          const int y = r + kDr[n], x = c + kDc[n];
          if (m.inside(y, x) && id[y * m.cols + x] >= 0 && id[y * m.cols + x] < id[r * m.cols + c])
            id[r * m.cols + c] = id[y * m.cols + x], changed = true;
        }
  }
  std::map<int, int> number;
  std::vector<int> labels(id.size(), 0);
  for (size_t i = 0; i < id.size(); ++i)
    if (id[i] >= 0) labels[i] = number.emplace(id[i], int(number.size()) + 1).first->second;
  return labels;
}

TEST(FillHoles, RingClosesButBackgroundTouchingAnyBorderStaysOpen) {
  Mask m = Parse({"..........", ".#####....", ".#...#..#.", ".#####.#.#", "........#.",
                  "##.......#", "..#......#"});
  ASSERT_EQ(imfillholes(m.table.data(), m.cols, m.rows, 4, 0), 0);
  std::vector<unsigned char> want = Parse({"..........", ".#####....", ".#####..#.", ".#####.###",
                                           "........#.", "##.......#", "..#......#"})
                                        .px;
  for (auto& v : want) v = v ? 1 : 0;
  EXPECT_EQ(m.px, want);
  // A diamond encloses its centre under 4-connectivity only.
  for (int connectivity : {4, 8}) {
    Mask diamond = Parse({"..#..", ".#.#.", "..#.."});
    ASSERT_EQ(imfillholes(diamond.table.data(), 5, 3, connectivity, 0), 0);
    EXPECT_EQ(diamond.at(1, 2), connectivity == 4 ? 1 : 0);
  }
}

TEST(FillHoles, MatchesBorderFloodOnRandomMasksForBothConnectivities) {
  unsigned seed = 10;
  for (const auto& [rows, cols] :
       std::vector<std::pair<int, int>>{{1, 1}, {1, 9}, {9, 1}, {17, 23}})
    for (double density : {0.0, 0.3, 0.55, 0.7, 1.0})
      for (int connectivity : {4, 8}) {
        const Mask original = Random(rows, cols, density, seed++);
        Mask m = original, grey = original;
        ASSERT_EQ(imfillholes(m.table.data(), cols, rows, connectivity, 0), 0);
        const std::vector<unsigned char> want = FilledByBorderFlood(original, connectivity);
        ASSERT_EQ(m.px, want) << rows << "x" << cols << " density " << density;
        // Mode other than 0 returns the complement of the reconstruction: 255 where filled.
        ASSERT_EQ(imfillholes(grey.table.data(), cols, rows, connectivity, 1), 0);
        for (size_t i = 0; i < want.size(); ++i) ASSERT_EQ(grey.px[i], want[i] * 255);
      }
  Mask m = Random(3, 3, 0.5, 1);
  EXPECT_EQ(imfillholes(m.table.data(), 3, 3, 6, 0), -1);
  EXPECT_EQ(imfillholes(nullptr, 3, 3, 4, 0), -1);
}

TEST(Perimeter, KeepsForegroundWithABackgroundOrOutsideEdgeNeighbour) {
  Mask rect = Parse({"####.", "####.", "####.", "####."});
  ASSERT_EQ(bwperim(rect.table.data(), rect.cols, rect.rows), 0);
  EXPECT_EQ(rect.px, Parse({"####.", "#..#.", "#..#.", "####."}).px);
  for (unsigned seed = 0; seed < 12; ++seed) {
    const double density = seed < 2 ? seed : 0.6;  // empty and all-foreground first
    const Mask original = Random(1 + seed % 5 * 4, 1 + seed % 3 * 9, density, seed);
    Mask m = original;
    ASSERT_EQ(bwperim(m.table.data(), m.cols, m.rows), 0);
    for (int r = 0; r < m.rows; ++r)
      for (int c = 0; c < m.cols; ++c) {
        bool edge = false;
        for (int n = 0; n < 4; ++n)
          edge |=
              !original.inside(r + kDr[n], c + kDc[n]) || original.at(r + kDr[n], c + kDc[n]) == 0;
        ASSERT_EQ(m.at(r, c), original.at(r, c) && edge ? 255 : 0) << r << "," << c;
      }
  }
}

TEST(ConnectedComponents, DiagonalNeighboursJoinAndTheImageIsCleared) {
  Mask m = Parse({"#..", ".#.", "..."});
  std::vector<int> labels(9, 0), sizes(4, -1);
  std::vector<int*> rows = {&labels[0], &labels[3], &labels[6]};
  CConnectedComp2D cc;
  EXPECT_EQ(cc.labelConnectedComp(m.table.data(), 3, 3, rows.data(), sizes.data()), 1);
  EXPECT_EQ(sizes[0], 2);
  EXPECT_EQ(labels, (std::vector<int>{1, 0, 0, 0, 1, 0, 0, 0, 0}));
  EXPECT_EQ(m.px, std::vector<unsigned char>(9, 0));
  // A missing row of the image or of the labels is refused before anything is read.
  Mask n = Parse({"#..", ".#.", "..."});
  std::vector<int*> missing = {&labels[0], nullptr, &labels[6]};
  EXPECT_EQ(cc.labelConnectedComp(n.table.data(), 3, 3, missing.data(), sizes.data()), -1);
  n.table[2] = nullptr;
  EXPECT_EQ(cc.bwopenarea(n.table.data(), 3, 3, 1, 1, 0), -1);
}

TEST(ConnectedComponents, LabelsAndAreaFilterMatchPropagationOnRandomMasks) {
  CConnectedComp2D cc;  // one object for every call
  for (unsigned seed = 0; seed < 16; ++seed) {
    const int rows = 1 + seed % 4 * 11, cols = 1 + seed % 5 * 8;
    const double density = seed < 2 ? 1.0 - seed : 0.15 + 0.06 * (seed % 8);
    const Mask original = Random(rows, cols, density, seed);
    const std::vector<int> want = LabelsByPropagation(original);
    std::vector<int> wantSizes(want.size() + 1, 0);
    for (int l : want) wantSizes[l] += l > 0;
    Mask m = original;
    std::vector<int> labels(want.size(), 0), sizes(want.size() + 1, 0);
    std::vector<int*> table;
    for (int r = 0; r < rows; ++r) table.push_back(labels.data() + r * cols);
    const int k = cc.labelConnectedComp(m.table.data(), rows, cols, table.data(), sizes.data());
    ASSERT_EQ(labels, want);
    for (int l = 1; l <= k; ++l) ASSERT_EQ(sizes[l - 1], wantSizes[l]);
    // Area filter, each mode against the oracle's sizes.
    const int a1 = 2 + seed % 4, a2 = a1 + 5;
    for (int mode : {0, 1, 2, 3}) {
      Mask f = original;
      ASSERT_EQ(cc.bwopenarea(f.table.data(), rows, cols, mode, a1, a2), 0);
      for (size_t i = 0; i < want.size(); ++i) {
        const int s = wantSizes[want[i]];
        const bool removed =
            (mode == 1 && s < a1) || (mode == 2 && s > a1) || (mode == 3 && a1 < s && s < a2);
        ASSERT_EQ(f.px[i], want[i] > 0 && !removed ? 1 : 0) << "mode " << mode;
      }
    }
  }
}

TEST(ConnectedComponents, AreaFilterDropsComponentsUnderTheMinimumAndKeepsLargerOnesAsOne) {
  std::vector<unsigned char> v(200 * 200, 0);
  for (int r = 10; r < 90; ++r)  // 80 x 80 = 6400 pixels
    for (int c = 10; c < 90; ++c) v[r * 200 + c] = 255;
  for (int r = 120; r < 190; ++r)  // 70 x 70 = 4900 pixels
    for (int c = 120; c < 190; ++c) v[r * 200 + c] = 200;
  Mask m(200, 200, v);
  CConnectedComp2D cc;
  ASSERT_EQ(cc.bwopenarea(m.table.data(), 200, 200, 1, 5000, 0), 0);
  for (int i = 0; i < 200 * 200; ++i) ASSERT_EQ(m.px[i], v[i] == 255 ? 1 : 0);
  EXPECT_EQ(cc.bwopenarea(nullptr, 200, 200, 1, 5000, 0), -1);
}

}  // namespace
