#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "platform/vision/TalvexIppcv.h"

namespace {

using namespace Talvex::Platform;

struct Element {
  int rows, cols;
  std::vector<Ipp8u> mask;
};

// Direct definition: extreme of src(x + j - cols/2, y + i - rows/2) over members, clamped
// coordinates.
std::vector<Ipp8u> Naive(const std::vector<Ipp8u>& src, int w, int h, const Element& e,
                         bool dilate) {
  std::vector<Ipp8u> out(src.size());
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      int best = dilate ? 0 : 255;
      for (int i = 0; i < e.rows; ++i)
        for (int j = 0; j < e.cols; ++j) {
          if (!e.mask[i * e.cols + j]) continue;
          const int sx = std::clamp(x + j - e.cols / 2, 0, w - 1);
          const int sy = std::clamp(y + i - e.rows / 2, 0, h - 1);
          const int v = src[sy * w + sx];
          best = dilate ? std::max(best, v) : std::min(best, v);
        }
      out[y * w + x] = static_cast<Ipp8u>(best);
    }
  return out;
}

std::vector<Element> Elements() {
  return {{3, 3, std::vector<Ipp8u>(9, 1)},
          {1, 15, std::vector<Ipp8u>(15, 1)},
          {1, 4, std::vector<Ipp8u>(4, 7)},              // even line, anchor 2
          {4, 1, std::vector<Ipp8u>(4, 1)},              // even column line
          {3, 4, {1, 0, 0, 1, 0, 1, 1, 0, 1, 1, 0, 0}},  // asymmetric, gaps in rows
          {5, 5, {0, 1, 1, 1, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 1, 1, 1, 0}}};
}

std::vector<Ipp8u> RandomImage(int w, int h, unsigned seed, bool binary) {
  std::mt19937 rng(seed);
  std::vector<Ipp8u> img(static_cast<size_t>(w) * h);
  for (auto& v : img) v = binary ? static_cast<Ipp8u>((rng() % 3 == 0) ? 255 : 0) : rng() % 256;
  return img;
}

std::vector<Ipp8u> Apply(const std::vector<Ipp8u>& src, int w, int h, const Element& e,
                         bool dilate) {
  IppiMorphState* state = nullptr;
  EXPECT_EQ(ippiMorphologyInitAlloc_8u_C1R(w, e.mask.data(), {e.cols, e.rows},
                                           {e.cols / 2, e.rows / 2}, &state),
            ippStsNoErr);
  // Destination with a wider row step than the image.
  const int step = w + 5;
  std::vector<Ipp8u> padded(static_cast<size_t>(step) * h, 99), out(src.size());
  const auto f = dilate ? ippiDilateBorderReplicate_8u_C1R : ippiErodeBorderReplicate_8u_C1R;
  EXPECT_EQ(f(src.data(), w, padded.data(), step, {w, h}, ippBorderRepl, state), ippStsNoErr);
  for (int y = 0; y < h; ++y) std::copy_n(&padded[y * step], w, &out[y * w]);
  // In place gives the same result.
  std::vector<Ipp8u> inplace = src;
  EXPECT_EQ(f(inplace.data(), w, inplace.data(), w, {w, h}, ippBorderRepl, state), ippStsNoErr);
  EXPECT_EQ(inplace, out);
  ippiMorphologyFree(state);
  return out;
}

std::vector<Ipp8u> RunAdv(const std::vector<Ipp8u>& src, int w, int h, const Element& e,
                          bool open) {
  IppiMorphAdvState* state = nullptr;
  EXPECT_EQ(ippiMorphAdvInitAlloc_8u_C1R(&state, {w, h}, e.mask.data(), {e.cols, e.rows},
                                         {e.cols / 2, e.rows / 2}),
            ippStsNoErr);
  std::vector<Ipp8u> out(src.size());
  const auto f = open ? ippiMorphOpenBorder_8u_C1R : ippiMorphCloseBorder_8u_C1R;
  EXPECT_EQ(f(src.data(), w, out.data(), w, {w, h}, ippBorderRepl, state), ippStsNoErr);
  ippiMorphAdvFree(state);
  return out;
}

TEST(Morphology, DilateAndErodeEqualTheUnreflectedExtremeWithReplicatedBorders) {
  unsigned seed = 1;
  for (const Element& e : Elements())
    for (const auto& [w, h] : {std::pair{23, 17}, std::pair{1, 9}, std::pair{40, 2}})
      for (bool dilate : {true, false}) {
        ++seed;
        const auto src = RandomImage(w, h, seed, seed % 2 == 0);
        EXPECT_EQ(Apply(src, w, h, e, dilate), Naive(src, w, h, e, dilate))
            << e.rows << "x" << e.cols << " on " << w << "x" << h;
      }
}

TEST(Morphology, OpenAndCloseAreTheCompositionsOfErodeAndDilate) {
  const int w = 31, h = 19;
  for (const Element& e : Elements()) {
    const auto src = RandomImage(w, h, 77, false);
    EXPECT_EQ(RunAdv(src, w, h, e, true), Naive(Naive(src, w, h, e, false), w, h, e, true));
    EXPECT_EQ(RunAdv(src, w, h, e, false), Naive(Naive(src, w, h, e, true), w, h, e, false));
  }
}

TEST(Morphology, RejectsBadArguments) {
  const std::vector<Ipp8u> empty(9, 0), full(9, 1);
  IppiMorphState* state = nullptr;
  EXPECT_EQ(ippiMorphologyInitAlloc_8u_C1R(8, empty.data(), {3, 3}, {1, 1}, &state),
            ippStsBadArgErr);
  EXPECT_EQ(ippiMorphologyInitAlloc_8u_C1R(8, full.data(), {3, 3}, {3, 1}, &state),
            ippStsAnchorErr);
  EXPECT_EQ(ippiMorphologyInitAlloc_8u_C1R(0, full.data(), {3, 3}, {1, 1}, &state), ippStsSizeErr);
  ASSERT_EQ(ippiMorphologyInitAlloc_8u_C1R(8, full.data(), {3, 3}, {1, 1}, &state), ippStsNoErr);
  std::vector<Ipp8u> img(16 * 4);
  EXPECT_EQ(ippiDilateBorderReplicate_8u_C1R(img.data(), 16, img.data(), 16, {16, 4}, ippBorderRepl,
                                             state),
            ippStsSizeErr);
  EXPECT_EQ(
      ippiErodeBorderReplicate_8u_C1R(img.data(), 8, img.data(), 8, {8, 4}, ippBorderConst, state),
      ippStsBadArgErr);
  EXPECT_EQ(
      ippiErodeBorderReplicate_8u_C1R(nullptr, 8, img.data(), 8, {8, 4}, ippBorderRepl, state),
      ippStsNullPtrErr);
  EXPECT_EQ(ippiMorphologyFree(state), ippStsNoErr);
  EXPECT_EQ(ippiMorphAdvFree(nullptr), ippStsNoErr);
}

}  // namespace
