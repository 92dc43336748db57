#include "common/filters/BilateralFilter.h"

#include "platform/image/TalvexIppiAdvanced.h"
#include "platform/signal/TalvexIpps.h"

namespace Talvex::Common::Algorithms::Filters {

using namespace Talvex::Platform;

void BilateralFilter::PlanDeleter::operator()(std::uint8_t* p) const { ippsFree(p); }

BilateralFilter::BilateralFilter() = default;
BilateralFilter::~BilateralFilter() = default;

int BilateralFilter::BilateralFilterInit(int height, int width, const int* maskSize,
                                         const float* squareSigmas, int kernelStep) {
  plan_.reset();
  if (maskSize == nullptr || squareSigmas == nullptr) return -1;
  width_ = width;
  height_ = height;
  maskWidth_ = maskSize[0];
  maskHeight_ = maskSize[1];
  const IppiSize mask{maskWidth_, maskHeight_};
  int bytes = 0;
  if (ippiFilterBilateralGetBufSize_8u_C1R(ippiFilterBilateralGauss, IppiSize{width, height}, mask,
                                           &bytes) != 0)
    return -1;
  plan_.reset(ippsMalloc_8u(bytes));
  if (!plan_) return -1;
  kernelStep_ = kernelStep;
  if (ippiFilterBilateralInit_8u_C1R(
          ippiFilterBilateralGauss, mask, squareSigmas[0], squareSigmas[1], kernelStep,
          reinterpret_cast<IppiFilterBilateralSpec*>(plan_.get())) != 0) {
    plan_.reset();
    return -1;
  }
  return 0;
}

int BilateralFilter::filterBilateral(const std::uint8_t* src, std::uint8_t* dst) const {
  if (!plan_) return -1;
  const IppiSize roi{width_ - maskWidth_, height_ - maskHeight_};
  const long long offset = static_cast<long long>(maskHeight_ / 2) * width_ + maskWidth_ / 2;
  return ippiFilterBilateral_8u_C1R(
             src + offset, width_, dst + offset, width_, roi, IppiSize{maskWidth_, maskHeight_},
             reinterpret_cast<const IppiFilterBilateralSpec*>(plan_.get())) != 0
             ? -1
             : 0;
}

}  // namespace Talvex::Common::Algorithms::Filters
