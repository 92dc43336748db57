#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <vector>

#include "interface/Talvex.h"

namespace {

using Talvex::Common::Algorithms::Analysis::GraphBasedSegmentation;

struct Path {
  float cost;
  std::vector<int> columns;
};

// Oracle: every path through columns m .. W-m-1 moving at most m per row, summed forward in
// float; the cheapest wins, ties going to the lowest column compared from the last row back.
Path BruteForce(const std::vector<float>& c, int h, int w, int m) {
  Path best{1e30f, {}};
  std::vector<int> cols(h);
  auto better = [&](float cost) {
    if (cost != best.cost) return cost < best.cost;
    for (int r = h - 1; r >= 0; --r)
      if (cols[r] != best.columns[r]) return cols[r] < best.columns[r];
    return false;
  };
  auto visit = [&](auto& self, int r, float cost) -> void {
    if (r == h) {
      if (better(cost)) best = {cost, cols};
      return;
    }
    for (int col = m; col < w - m; ++col) {
      if (r > 0 && std::abs(col - cols[r - 1]) > m) continue;
      cols[r] = col;
      self(self, r + 1, cost + c[r * w + col]);
    }
  };
  visit(visit, 0, 0.0f);
  return best;
}

TEST(GraphSearch, MatchesTheBruteForceMinimumCostPathIncludingTieBreaks) {
  std::mt19937 rng(7);
  for (int trial = 0; trial < 60; ++trial) {
    const int m = trial % 3, h = 1 + trial % 5, w = 2 * m + 1 + trial % 4;
    std::vector<float> cost(h * w);
    for (float& v : cost) v = static_cast<float>(rng() % 4);  // small integers: many ties
    std::vector<float> layer(h, -7.0f);
    ASSERT_EQ(GraphBasedSegmentation(cost.data(), h, w, m, layer.data(), false), 0);
    const Path expected = BruteForce(cost, h, w, m);
    for (int r = 0; r < h; ++r) EXPECT_EQ(layer[r], expected.columns[r]) << "trial " << trial;
  }
}

TEST(GraphSearch, PathNeverJumpsMoreThanSearchWindowNorTouchesTheEdges) {
  const int h = 300, w = 64, m = 2;
  std::mt19937 rng(3);
  std::vector<float> cost(h * w);
  for (int r = 0; r < h; ++r)
    for (int c = 0; c < w; ++c)  // the cheapest columns are the edge columns
      cost[r * w + c] = (c < m || c >= w - m) ? -100.0f : static_cast<float>(rng() % 1000) / 10;
  std::vector<double> layer(h);
  ASSERT_EQ(GraphBasedSegmentation(cost.data(), h, w, m, layer.data(), false), 0);
  for (int r = 0; r < h; ++r) {
    EXPECT_GE(layer[r], m);
    EXPECT_LE(layer[r], w - m - 1);
    if (r > 0) {
      EXPECT_LE(std::abs(layer[r] - layer[r - 1]), m);
    }
  }
}

TEST(GraphSearch, FlippedSearchStartsFromTheCheapestFirstRowAndDegenerateWindows) {
  // Window 1, usable columns 1 .. 5. The first row is cheapest at column 1, but the cheap valley
  // of the later rows (column 4, then 5) lies out of reach of it. The optimal path pays 1 to start
  // at column 3 (lowest column among the ties 3 and 4) and follows the valley: 3, 4, 5 (total 1).
  // The flipped search traces the accumulated costs from the first row instead: it starts at
  // column 1 and then keeps the lowest column of least accumulated cost in reach: 1, 1, 1.
  const int h = 3, w = 7;
  const std::vector<float> cost = {9, 0, 1, 1, 1, 1, 9,  //
                                   9, 2, 2, 2, 0, 2, 9,  //
                                   9, 2, 2, 2, 2, 0, 9};
  std::vector<float> plain(h), flipped(h);
  ASSERT_EQ(GraphBasedSegmentation(cost.data(), h, w, 1, plain.data(), false), 0);
  ASSERT_EQ(GraphBasedSegmentation(cost.data(), h, w, 1, flipped.data(), true), 0);
  EXPECT_EQ(plain, (std::vector<float>{3, 4, 5}));
  EXPECT_EQ(flipped, (std::vector<float>{1, 1, 1}));

  // Window 0: the constant column of least total cost (every column usable; column sums 3, 11,
  // 3: the tie goes to the lower column).
  std::vector<float> columns = {3, 1, 2, 0, 1, 0, 0, 9, 1};  // 3 rows x 3 columns
  std::vector<float> layer(3);
  ASSERT_EQ(GraphBasedSegmentation(columns.data(), 3, 3, 0, layer.data(), false), 0);
  EXPECT_EQ(layer, (std::vector<float>{0, 0, 0}));
  columns[0] = 4;
  ASSERT_EQ(GraphBasedSegmentation(columns.data(), 3, 3, 0, layer.data(), false), 0);
  EXPECT_EQ(layer, (std::vector<float>{2, 2, 2}));

  std::vector<float> wide(1001, 1.0f), out(1, -1.0f);
  EXPECT_EQ(GraphBasedSegmentation(wide.data(), 1, 1001, 501, out.data(), false), -1);
  EXPECT_EQ(out[0], -1.0f);  // untouched on failure
  EXPECT_EQ(GraphBasedSegmentation(wide.data(), 1, 1001, 500, out.data(), false), 0);
  EXPECT_EQ(out[0], 500.0f);
  EXPECT_EQ(GraphBasedSegmentation(wide.data(), 1, 4, 2, out.data(), false), -1);  // no column
}

}  // namespace
