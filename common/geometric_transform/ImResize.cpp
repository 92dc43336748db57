#include "common/geometric_transform/ImResize.h"

#include "platform/image/TalvexIppiAdvanced.h"

namespace Talvex::Common::Algorithms::GeometricTransform {

namespace {

using namespace Talvex::Platform;

int InterpolationCode(int method) {
  switch (method) {
    case 0:
      return IPPI_INTER_NN;
    case 2:
      return IPPI_INTER_CUBIC;
    default:
      return IPPI_INTER_LINEAR;
  }
}

IppStatus Resize(const float* src, IppiSize size, int srcStep, IppiRect roi, float* dst,
                 int dstStep, IppiSize dstSize, double fx, double fy, int code) {
  return ippiResize_32f_C1R(src, size, srcStep, roi, dst, dstStep, dstSize, fx, fy, code);
}
IppStatus Resize(const std::uint8_t* src, IppiSize size, int srcStep, IppiRect roi,
                 std::uint8_t* dst, int dstStep, IppiSize dstSize, double fx, double fy, int code) {
  return ippiResize_8u_C1R(src, size, srcStep, roi, dst, dstStep, dstSize, fx, fy, code);
}

template <typename T>
int ResizeImage(const T* src, int srcRows, int srcCols, int method, T* dst, int dstRows,
                int dstCols) {
  if (srcRows < 1 || srcCols < 1 || dstRows < 1 || dstCols < 1) return -1;
  const IppiSize srcSize{srcCols, srcRows};
  const IppiRect srcRoi{0, 0, srcCols, srcRows};
  // The factors are divided in single precision, as the callers' sizes expect.
  const float xFactor = static_cast<float>(dstCols) / static_cast<float>(srcCols);
  const float yFactor = static_cast<float>(dstRows) / static_cast<float>(srcRows);
  const int elem = static_cast<int>(sizeof(T));
  return Resize(src, srcSize, srcCols * elem, srcRoi, dst, dstCols * elem,
                IppiSize{dstCols, dstRows}, xFactor, yFactor, InterpolationCode(method)) != 0
             ? -1
             : 0;
}

}  // namespace

int ImResize(const float* src, int srcRows, int srcCols, int method, float* dst, int dstRows,
             int dstCols) {
  return ResizeImage(src, srcRows, srcCols, method, dst, dstRows, dstCols);
}

int ImResize(const std::uint8_t* src, int srcRows, int srcCols, int method, std::uint8_t* dst,
             int dstRows, int dstCols) {
  return ResizeImage(src, srcRows, srcCols, method, dst, dstRows, dstCols);
}

}  // namespace Talvex::Common::Algorithms::GeometricTransform
