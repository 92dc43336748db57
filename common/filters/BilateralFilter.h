// Edge-preserving smoothing of 8-bit B-scans with a Gaussian bilateral filter.
#pragma once

#include <cstdint>
#include <memory>

namespace Talvex::Common::Algorithms::Filters {

// Set up once for an image size and mask, then run on any number of images of that size.
// Weight of a neighbour at offset (i, j) from the centre pixel:
//   exp(-(v_ij - v_00)^2 / (2 valSquareSigma)) * exp(-max(|i|, |j|)^2 / (2 posSquareSigma)),
// normalised over the rectangular mask, result rounded to nearest.
class BilateralFilter {
 public:
  BilateralFilter();
  ~BilateralFilter();
  BilateralFilter(const BilateralFilter&) = delete;
  BilateralFilter& operator=(const BilateralFilter&) = delete;

  // height rows of width samples (width is also the row step in bytes);
  // maskSize = {mask width (along a row), mask height (across rows)}, even sizes filter as the next
  // lower odd size; squareSigmas = {intensity variance (grey levels^2), spatial variance (px^2)};
  // kernelStep: use every kernelStep-th offset of the mask (1 = all). 0, or -1 on failure (nothing
  // is then held).
  int BilateralFilterInit(int height, int width, const int* maskSize, const float* squareSigmas,
                          int kernelStep);

  // Filters the interior of src into dst: the (width - mask width) x (height - mask height) region
  // starting at row mask height / 2, column mask width / 2. The border of dst outside that region
  // is not written (callers filter a border-replicated copy). -1 before a successful init.
  int filterBilateral(const std::uint8_t* src, std::uint8_t* dst) const;

 private:
  struct PlanDeleter {
    void operator()(std::uint8_t* p) const;
  };
  int width_ = 0, height_ = 0, maskWidth_ = 0, maskHeight_ = 0, kernelStep_ = 1;
  std::unique_ptr<std::uint8_t, PlanDeleter> plan_;
};

}  // namespace Talvex::Common::Algorithms::Filters
