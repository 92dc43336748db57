// Canny edges against a textbook reference, thinning to one-pixel skeletons that keep the
// topology, and gap closing by edge linking up to its distance.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>

#include "common/analysis/CCannyEdge.h"
#include "common/analysis/CForceSkeleton.h"
#include "common/analysis/EdgeLinking.h"
#include "common/filters/LinearFilters.h"

namespace {

using namespace Talvex::Common::Algorithms::Analysis;
using Image = std::vector<std::uint8_t>;

// ---- Canny reference: derivative of Gaussian by direct summation over a clamped image, then
// non-maximum suppression with the magnitude interpolated where the gradient ray leaves the 3 x 3
// neighbourhood, and a single threshold (the detector has no hysteresis). 1 edge, 0 none, 2 tie.
Image ReferenceCanny(const Image& img, int rows, int cols, float sigma, double T) {
  int h = static_cast<int>(3.0 * sigma);
  h = std::max(h - h % 2, 3);
  auto at = [&](int r, int c) {
    r = std::min(std::max(r, 0), rows - 1), c = std::min(std::max(c, 0), cols - 1);
    return static_cast<double>(img[r * cols + c]);
  };
  const double s2 = static_cast<double>(sigma) * sigma;
  std::vector<double> dx(rows * cols), dy(rows * cols), mag(rows * cols);
  double maximum = 0;
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < cols; ++c) {
      double gx = 0, gy = 0;
      for (int v = -h; v <= h; ++v) {
        for (int u = -h; u <= h; ++u) {
          const double g =
              std::round(std::exp(-(u * u + v * v) / (2 * s2)) / (M_PI * s2) * 1e4) / 1e4;
          gx += u * g * at(r + v, c + u);
          gy += v * g * at(r + v, c + u);
        }
      }
      const int i = r * cols + c;
      dx[i] = static_cast<float>(gx) + 1e-6f, dy[i] = static_cast<float>(gy);
      mag[i] = std::hypot(dx[i], dy[i]);
      maximum = std::max(maximum, mag[i]);
    }
  }
  for (double& m : mag) m /= maximum;
  auto M = [&](int r, int c) { return mag[r * cols + c]; };
  // Magnitude at the point where the ray from (r, c) along +-(dx, dy) meets the 3 x 3 square.
  auto along = [&](int r, int c, double gx, double gy) {
    const double m = std::max(std::fabs(gx), std::fabs(gy));
    const double pc = c + gx / m, pr = r + gy / m;
    if (std::fabs(gx) >= std::fabs(gy)) {  // on a vertical side: interpolate between rows
      const int r0 = static_cast<int>(std::floor(pr));
      const double f = pr - r0;
      return M(r0, static_cast<int>(pc)) * (1 - f) +
             (f > 0 ? M(r0 + 1, static_cast<int>(pc)) * f : 0);
    }
    const int c0 = static_cast<int>(std::floor(pc));
    const double f = pc - c0;
    return M(static_cast<int>(pr), c0) * (1 - f) +
           (f > 0 ? M(static_cast<int>(pr), c0 + 1) * f : 0);
  };
  Image edges(rows * cols, 0);
  for (int r = 1; r < rows - 1; ++r) {
    for (int c = 1; c < cols - 1; ++c) {
      const int i = r * cols + c;
      const double m = mag[i];
      const double neighbour = std::max(along(r, c, dx[i], dy[i]), along(r, c, -dx[i], -dy[i]));
      if (m <= T) continue;
      // A pixel level with its neighbour (a step between two pixels) may go either way at the
      // rounding of single precision: 2 marks such ties.
      edges[i] = std::fabs(m - neighbour) < 1e-6 ? 2 : m > neighbour ? 1 : 0;
    }
  }
  return edges;
}

// Test images of 24 x 28: a bright disc, an oblique step, two ramps 4 pixels apart (placed so that
// no two neighbours tie in magnitude by symmetry).
Image TestImage(int kind, int rows, int cols) {
  Image img(rows * cols);
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < cols; ++c) {
      double v = 40;
      if (kind == 0) v = std::hypot(r - 11.3, c - 13.6) < 7.5 ? 200 : 40;
      if (kind == 1) v = (c - 0.4 * r > 9.35) ? 180 : 60;
      if (kind == 2) v = (c == 12 || c == 16) ? 125 : (c > 12 && c < 16) ? 220 : 30;
      img[r * cols + c] = static_cast<std::uint8_t>(v);
    }
  }
  return img;
}

// Pixels where the detector and the reference disagree (ties excepted).
int Differences(const Image& edges, const Image& reference) {
  int n = 0;
  for (size_t i = 0; i < edges.size(); ++i) n += reference[i] != 2 && edges[i] != reference[i];
  return n;
}

TEST(CannyEdge, MatchesTheTextbookReferenceOnSmallImages) {
  const int rows = 24, cols = 28;
  CCannyEdge detector;
  ASSERT_EQ(detector.cannyInit(rows, cols), 0);
  for (int kind = 0; kind < 3; ++kind) {
    for (float sigma : {0.5f, 1.0f, 1.5f}) {
      for (float T : {0.1f, 0.3f}) {
        const Image img = TestImage(kind, rows, cols);
        Image edges(rows * cols, 7);
        const float thresholds[2] = {T, 0.0f};
        ASSERT_EQ(detector.canny(img.data(), 0, thresholds, sigma, 0, 0.0f, edges.data()), 0);
        const Image expected = ReferenceCanny(img, rows, cols, sigma, T);
        EXPECT_EQ(Differences(edges, expected), 0) << kind << " " << sigma << " " << T;
        EXPECT_GT(std::count(edges.begin(), edges.end(), 1), 8) << kind;
      }
    }
  }
}

TEST(CannyEdge, SmoothingRunsTheSeparableGaussianFirst) {
  const int rows = 24, cols = 28;
  CCannyEdge detector;
  ASSERT_EQ(detector.cannyInit(rows, cols), 0);
  Image img = TestImage(0, rows, cols);
  Image edges(rows * cols);
  const float thresholds[2] = {0.2f, 0.1f};
  ASSERT_EQ(detector.canny(img.data(), 0, thresholds, 1.0f, 1, 1.3f, edges.data()), 0);
  // trunc(5 * 1.3 + 0.5) = 7 taps.
  const float sigmas[2] = {1.3f, 1.3f};
  const int sizes[2] = {7, 7};
  ASSERT_EQ(Talvex::Common::Algorithms::Filters::Gauss_2Dsep_floatcolumn(img.data(), rows, cols,
                                                                         sigmas, sizes),
            0);
  EXPECT_EQ(Differences(edges, ReferenceCanny(img, rows, cols, 1.0f, 0.2)), 0);
}

TEST(CannyEdge, HasNoHysteresisAndAnAutomaticThresholdWithoutHistogramBinIsHalfTheRatio) {
  // A strong step next to a weak one that continues it: hysteresis would keep the weak part.
  const int rows = 20, cols = 30;
  Image img(rows * cols);
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < cols; ++c) {
      const int high = r < 10 ? 250 : 70;
      img[r * cols + c] = static_cast<std::uint8_t>(c < 14 ? 50 : c == 14 ? (50 + high) / 2 : high);
    }
  CCannyEdge detector;
  ASSERT_EQ(detector.cannyInit(rows, cols), 0);
  Image fixed(rows * cols), automatic(rows * cols);
  const float fixedT[2] = {0.3f, 0.1f};
  ASSERT_EQ(detector.canny(img.data(), 0, fixedT, 1.0f, 0, 0.0f, fixed.data()), 0);
  EXPECT_EQ(Differences(fixed, ReferenceCanny(img, rows, cols, 1.0f, 0.3)), 0);
  int strongRows = 0, weakRows = 0;
  for (int r = 1; r < rows - 1; ++r) {
    const bool any =
        std::any_of(&fixed[r * cols + 10], &fixed[r * cols + 20], [](auto v) { return v; });
    (r < 8 ? strongRows : weakRows) += (r < 8 || r > 12) && any;
  }
  EXPECT_EQ(strongRows, 7);
  EXPECT_EQ(weakRows, 0);
  // No bin's cumulative count exceeds every pixel: T = 0.5 * ratio.
  const float allPixels[2] = {1.0f, 0.6f};
  ASSERT_EQ(detector.canny(img.data(), 1, allPixels, 1.0f, 0, 0.0f, automatic.data()), 0);
  EXPECT_EQ(Differences(automatic, ReferenceCanny(img, rows, cols, 1.0f, 0.3)), 0);
}

TEST(CannyEdge, RefusesInvalidArgumentsAndAMissingInit) {
  const int rows = 8, cols = 8;
  Image img(rows * cols, 10), edges(rows * cols);
  CCannyEdge detector;
  const float ok[2] = {0.3f, 0.2f};
  EXPECT_EQ(detector.canny(img.data(), 0, ok, 1.0f, 0, 0.0f, edges.data()), -1);
  ASSERT_EQ(detector.cannyInit(rows, cols), 0);
  const float inverted[2] = {0.2f, 0.3f}, negative[2] = {-0.1f, 0.5f};
  EXPECT_EQ(detector.canny(img.data(), 0, inverted, 1.0f, 0, 0.0f, edges.data()), -1);
  EXPECT_EQ(detector.canny(img.data(), 1, negative, 1.0f, 0, 0.0f, edges.data()), -1);
  EXPECT_EQ(detector.canny(img.data(), 0, ok, -1.0f, 0, 0.0f, edges.data()), -1);
  EXPECT_EQ(detector.canny(img.data(), 0, ok, 1.0f, 1, -0.5f, edges.data()), -1);
  EXPECT_EQ(detector.canny(nullptr, 0, ok, 1.0f, 0, 0.0f, edges.data()), -1);
  EXPECT_EQ(detector.cannyInit(0, 5), -1);
  // A flat image still has a positive maximum magnitude to normalise by.
  ASSERT_EQ(detector.cannyInit(rows, cols), 0);
  EXPECT_EQ(detector.canny(img.data(), 0, ok, 1.0f, 0, 0.0f, edges.data()), 0);
}

// ---- Skeletons: components (8-connected) and holes (4-connected background components that do
// not touch the border) of a binary image.
int CountComponents(const Image& img, int rows, int cols, bool foreground, bool eight,
                    bool skipBorder) {
  std::vector<int> label(rows * cols, 0);
  int count = 0;
  for (int start = 0; start < rows * cols; ++start) {
    if ((img[start] != 0) != foreground || label[start] != 0) continue;
    bool touches = false;
    std::vector<int> stack{start};
    label[start] = 1;
    while (!stack.empty()) {
      const int p = stack.back();
      stack.pop_back();
      const int r = p / cols, c = p % cols;
      touches |= r == 0 || c == 0 || r == rows - 1 || c == cols - 1;
      for (int dr = -1; dr <= 1; ++dr) {
        for (int dc = -1; dc <= 1; ++dc) {
          if ((dr == 0 && dc == 0) || (!eight && dr != 0 && dc != 0)) continue;
          const int rr = r + dr, cc = c + dc;
          if (rr < 0 || cc < 0 || rr >= rows || cc >= cols) continue;
          const int q = rr * cols + cc;
          if ((img[q] != 0) != foreground || label[q] != 0) continue;
          label[q] = 1;
          stack.push_back(q);
        }
      }
    }
    count += !(skipBorder && touches);
  }
  return count;
}

bool HasTwoByTwoBlock(const Image& img, int rows, int cols) {
  for (int r = 0; r + 1 < rows; ++r)
    for (int c = 0; c + 1 < cols; ++c)
      if (img[r * cols + c] && img[r * cols + c + 1] && img[(r + 1) * cols + c] &&
          img[(r + 1) * cols + c + 1])
        return true;
  return false;
}

Image Shape(int rows, int cols, const std::function<bool(int, int)>& inside) {
  Image img(rows * cols, 0);
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < cols; ++c) img[r * cols + c] = inside(r, c) ? 255 : 0;
  return img;
}

TEST(ForceSkeleton, AThreePixelBandBecomesAOnePixelLine) {
  const int rows = 11, cols = 30;
  Image img = Shape(rows, cols, [](int r, int c) { return r >= 4 && r <= 6 && c >= 3 && c < 27; });
  ASSERT_EQ(CForceSkeleton().ForceThin(img.data(), cols, rows), 0);
  for (int c = 6; c < 24; ++c) {
    int n = 0;
    for (int r = 0; r < rows; ++r) n += img[r * cols + c];
    EXPECT_EQ(n, 1) << c;
    EXPECT_EQ(img[5 * cols + c], 1) << c;
  }
  EXPECT_EQ(std::count_if(img.begin(), img.end(), [](auto v) { return v > 1; }), 0);
  EXPECT_EQ(CountComponents(img, rows, cols, true, true, false), 1);
}

TEST(ForceSkeleton, ThickShapesKeepTheirComponentsAndHoles) {
  const int rows = 40, cols = 44;
  struct Case {
    const char* name;
    std::function<bool(int, int)> inside;
  };
  const std::vector<Case> cases = {
      {"ring",
       [](int r, int c) {
         const double d = std::hypot(r - 19.5, c - 21.5);
         return d >= 9 && d <= 14;
       }},
      {"cross",
       [](int r, int c) {
         return (std::abs(r - 20) <= 3 && c > 4 && c < 39) ||
                (std::abs(c - 22) <= 3 && r > 4 && r < 36);
       }},
      {"two bars",
       [](int r, int c) {
         return (r >= 5 && r <= 10 && c > 4 && c < 40) ||
                (r >= 20 && r <= 33 && c >= 28 && c <= 33);
       }},
      {"frame",
       [](int r, int c) {
         return r >= 4 && r <= 35 && c >= 4 && c <= 39 &&
                !(r >= 10 && r <= 29 && c >= 10 && c <= 33);
       }},
      {"oblique band",
       [](int r, int c) { return std::fabs(r - 0.7 * c - 5) <= 2.6 && c > 3 && c < 40; }},
  };
  for (const Case& k : cases) {
    Image img = Shape(rows, cols, k.inside);
    const int components = CountComponents(img, rows, cols, true, true, false);
    const int holes = CountComponents(img, rows, cols, false, false, true);
    ASSERT_EQ(CForceSkeleton().ForceThin(img.data(), cols, rows), 0);
    EXPECT_FALSE(HasTwoByTwoBlock(img, rows, cols)) << k.name;
    EXPECT_EQ(CountComponents(img, rows, cols, true, true, false), components) << k.name;
    EXPECT_EQ(CountComponents(img, rows, cols, false, false, true), holes) << k.name;
    EXPECT_GT(std::count(img.begin(), img.end(), 1), 10) << k.name;
  }
}

TEST(ForceSkeleton, RemovesIsolatedPixelsAndRefusesBadArguments) {
  Image img = Shape(7, 7, [](int r, int c) { return r == 3 && c == 3; });
  ASSERT_EQ(CForceSkeleton().ForceThin(img.data(), 7, 7), 0);
  EXPECT_EQ(std::count(img.begin(), img.end(), 0), 49);
  EXPECT_EQ(CForceSkeleton().ForceThin(nullptr, 7, 7), -1);
  EXPECT_EQ(CForceSkeleton().ForceThin(img.data(), 0, 7), -1);
}

// ---- Edge linking.
struct Grid {
  int rows, cols;
  Image pixels;
  std::vector<std::uint8_t*> rowPointers;
  Grid(int r, int c) : rows(r), cols(c), pixels(r * c, 0), rowPointers(r) {
    for (int i = 0; i < r; ++i) rowPointers[i] = pixels.data() + i * c;
  }
  std::uint8_t& at(int r, int c) { return pixels[r * cols + c]; }
};

TEST(EdgeLinking, ClosesGapsUpToItsDistanceAndNoFurther) {
  for (int dist = 0; dist <= 4; ++dist) {
    Grid g(9, 12);
    g.at(4, 3) = 1, g.at(4, 6) = 1;  // a gap of two pixels: 3 apart in one row
    const Image before = g.pixels;
    edgelinking(g.rowPointers.data(), g.rows, g.cols, dist);
    if (dist < 3) {
      EXPECT_EQ(g.pixels, before) << dist;
    } else {
      for (int c = 3; c <= 6; ++c) EXPECT_EQ(g.at(4, c), 1) << dist << " " << c;
      EXPECT_EQ(std::count(g.pixels.begin(), g.pixels.end(), 1), 4) << dist;
    }
  }
}

TEST(EdgeLinking, JoinsObliqueGapsIntoEightConnectedLines) {
  // Two ends 3 rows and 5 columns apart: joined only when both differences fit the window.
  for (int dist : {4, 5}) {
    Grid g(12, 14);
    for (int c = 0; c <= 3; ++c) g.at(2, c) = 1;
    for (int c = 8; c < 14; ++c) g.at(5, c) = 1;
    edgelinking(g.rowPointers.data(), g.rows, g.cols, dist);
    const int components = CountComponents(g.pixels, g.rows, g.cols, true, true, false);
    EXPECT_EQ(components, dist >= 5 ? 1 : 2) << dist;
    // Every added pixel lies between the two rows.
    for (int r = 0; r < g.rows; ++r) {
      const bool between = r >= 2 && r <= 5;
      for (int c = 0; c < g.cols; ++c) EXPECT_TRUE(between || g.at(r, c) == 0) << r << " " << c;
    }
  }
}

}  // namespace
