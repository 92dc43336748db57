// Binary morphology of a 1024 x 1024 mask with disk elements (11 x 11 reaching 5 pixels, and the
// 9 x 9 element of the iris/lens closing), beside OpenCV's functions of the same definition
// (unreflected element, anchor at the centre, replicated border, single-threaded). Each OpenCV
// case first checks that it gives exactly the library's result.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "interface/Talvex.h"

#ifdef TALVEX_HAVE_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

using namespace Talvex::Common::Algorithms::Analysis;
using Bytes = std::vector<unsigned char>;

constexpr int kSide = 1024;

// Scattered discs of radius 1 ... 30: a segmentation-like 0/255 mask.
Bytes BlobMask() {
  std::mt19937 rng(7);
  Bytes img(static_cast<size_t>(kSide) * kSide, 0);
  for (int k = 0; k < 600; ++k) {
    const int cx = rng() % kSide, cy = rng() % kSide, r = 1 + rng() % 30;
    for (int y = std::max(0, cy - r); y < std::min(kSide, cy + r + 1); ++y)
      for (int x = std::max(0, cx - r); x < std::min(kSide, cx + r + 1); ++x)
        if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r) img[size_t(y) * kSide + x] = 255;
  }
  return img;
}

// Element of args: 0 = 11 x 11, diameter 5 (rows of 3 ... 11 members); 1 = 9 x 9, diameter 5.
struct Disk {
  int side;
  Bytes se;
  explicit Disk(int which) : side(which == 0 ? 11 : 9), se(size_t(side) * side) {
    diskstr(se.data(), side, side, 5.0f);
  }
};

using MorphFn = int (*)(const unsigned char*, int, int, const unsigned char*, int, int,
                        unsigned char*);
constexpr MorphFn kOps[4] = {imdilate, imerode, imopen, imclose};
const char* const kOpNames[4] = {"dilate", "erode", "open", "close"};

// Args: operation (0 dilate, 1 erode, 2 open, 3 close), element (see Disk).
void BM_Morphology(benchmark::State& state) {
  const int op = static_cast<int>(state.range(0));
  const Disk disk(static_cast<int>(state.range(1)));
  const Bytes src = BlobMask();
  Bytes dst(src.size());
  for (auto _ : state) {
    if (kOps[op](src.data(), kSide, kSide, disk.se.data(), disk.side, disk.side, dst.data()) != 0)
      state.SkipWithError("morphology failed");
    benchmark::DoNotOptimize(dst.data());
  }
  state.SetLabel(kOpNames[op]);
}
BENCHMARK(BM_Morphology)->ArgsProduct({{0, 1, 2, 3}, {0, 1}})->Unit(benchmark::kMicrosecond);

#ifdef TALVEX_HAVE_OPENCV
void OpenCVMorph(int op, const cv::Mat& src, cv::Mat& dst, const cv::Mat& kernel) {
  static constexpr int kTypes[4] = {cv::MORPH_DILATE, cv::MORPH_ERODE, cv::MORPH_OPEN,
                                    cv::MORPH_CLOSE};
  const cv::Point anchor(kernel.cols / 2, kernel.rows / 2);
  cv::morphologyEx(src, dst, kTypes[op], kernel, anchor, 1, cv::BORDER_REPLICATE);
}

void BM_OpenCV_Morphology(benchmark::State& state) {
  cv::setNumThreads(1);
  const int op = static_cast<int>(state.range(0));
  Disk disk(static_cast<int>(state.range(1)));
  Bytes srcData = BlobMask();
  const cv::Mat src(kSide, kSide, CV_8UC1, srcData.data());
  const cv::Mat kernel(disk.side, disk.side, CV_8UC1, disk.se.data());
  cv::Mat dst(kSide, kSide, CV_8UC1);
  Bytes ours(srcData.size());
  kOps[op](srcData.data(), kSide, kSide, disk.se.data(), disk.side, disk.side, ours.data());
  OpenCVMorph(op, src, dst, kernel);
  if (!std::equal(ours.begin(), ours.end(), dst.data)) state.SkipWithError("results differ");
  for (auto _ : state) {
    OpenCVMorph(op, src, dst, kernel);
    benchmark::DoNotOptimize(dst.data);
  }
  state.SetLabel(kOpNames[op]);
}
BENCHMARK(BM_OpenCV_Morphology)->ArgsProduct({{0, 1, 2, 3}, {0, 1}})->Unit(benchmark::kMicrosecond);
#endif

// Area filter and hole filling of the same mask, for scale (no yardstick).
void BM_AreaFilter(benchmark::State& state) {
  const Bytes src = BlobMask();
  Bytes img(src.size());
  std::vector<unsigned char*> rows(kSide);
  for (int r = 0; r < kSide; ++r) rows[r] = img.data() + size_t(r) * kSide;
  Talvex::Common::Algorithms::Analysis::CConnectedComp2D cc;
  for (auto _ : state) {
    img = src;
    if (cc.bwopenarea(rows.data(), kSide, kSide, 1, 1000, 0) != 0) state.SkipWithError("failed");
    benchmark::DoNotOptimize(img.data());
  }
}
BENCHMARK(BM_AreaFilter)->Unit(benchmark::kMicrosecond);

void BM_FillHoles(benchmark::State& state) {
  const Bytes src = BlobMask();
  Bytes img(src.size());
  std::vector<unsigned char*> rows(kSide);
  for (int r = 0; r < kSide; ++r) rows[r] = img.data() + size_t(r) * kSide;
  for (auto _ : state) {
    img = src;
    if (imfillholes(rows.data(), kSide, kSide, 4, 0) != 0) state.SkipWithError("failed");
    benchmark::DoNotOptimize(img.data());
  }
}
BENCHMARK(BM_FillHoles)->Unit(benchmark::kMicrosecond);

}  // namespace
