// Gaussian bilateral filter of 8-bit B-scans with a rectangular mask, driven by weight tables.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "platform/image/TalvexImageAccess.h"
#include "platform/image/TalvexIppiAdvanced.h"

namespace Talvex::Platform {

namespace {

constexpr std::uint32_t kPlanMagic = 0x42694c46u;  // marks an initialised weight-table buffer
constexpr std::size_t kAlign = 64;
constexpr int kStrip = 512;  // pixels per row strip; the strip sums live on the stack

// Header at the start of the (aligned) weight-table buffer; the table follows it.
struct alignas(kAlign) PlanHeader {
  std::uint32_t magic;
  int radius;        // largest chessboard distance the table covers
  int stepInKernel;  // sampling step of mask offsets
  float valSquareSigma;
  float posSquareSigma;
};

int OddReduced(int size) { return (size % 2 == 0) ? size - 1 : size; }

int TableRadius(IppiSize maxKernelSize) {
  return (std::max(OddReduced(maxKernelSize.width), OddReduced(maxKernelSize.height)) - 1) / 2;
}

std::size_t PlanBytes(int radius) {
  return kAlign /* slack to align the caller's buffer */ + sizeof(PlanHeader) +
         static_cast<std::size_t>(radius + 1) * 256 * sizeof(float);
}

template <typename Byte>
Byte* AlignUp(Byte* p) {
  const auto address = reinterpret_cast<std::uintptr_t>(p);
  return p + ((kAlign - address % kAlign) % kAlign);
}

// One row strip: accumulates every mask offset into num and den, then writes rounded quotients.
//   c        centre pixels of the strip (n of them)
//   src      the source at the same place; rows are srcStep bytes apart
void FilterStrip(const Ipp8u* c, int srcStep, Ipp8u* out, int n, int rw, int rh, int step,
                 const float* table) {
  alignas(kAlign) float num[kStrip];
  alignas(kAlign) float den[kStrip];
  alignas(kAlign) float w[kStrip];
  alignas(kAlign) float value[kStrip + 2 * 128];
  alignas(kAlign) Ipp8u diff[kStrip];
  std::fill(num, num + n, 0.0f);
  std::fill(den, den + n, 0.0f);

  for (int dy = -(rh / step) * step; dy <= rh; dy += step) {
    const Ipp8u* row = Detail::RowAt(c, srcStep, dy);
    // Neighbour values of this mask row as floats, from column -rw to n - 1 + rw.
    const int span = n + 2 * rw;
    const Ipp8u* rowLeft = row - rw;
    for (int k = 0; k < span; ++k) value[k] = static_cast<float>(rowLeft[k]);
    for (int dx = -(rw / step) * step; dx <= rw; dx += step) {
      const float* weights = table + 256 * std::max(std::abs(dx), std::abs(dy));
      const Ipp8u* nb = row + dx;
      // Absolute grey-level differences (vectorised on bytes), then one table lookup each.
      for (int k = 0; k < n; ++k) {
        const Ipp8u a = nb[k], b = c[k];
        diff[k] = static_cast<Ipp8u>(std::max(a, b) - std::min(a, b));
      }
      for (int k = 0; k < n; ++k) w[k] = weights[diff[k]];
      const float* v = value + rw + dx;
      for (int k = 0; k < n; ++k) {
        num[k] += w[k] * v[k];
        den[k] += w[k];
      }
    }
  }
  for (int k = 0; k < n; ++k) out[k] = Detail::RoundToByte(num[k] / den[k]);
}

}  // namespace

IppStatus ippiFilterBilateralGetBufSize_8u_C1R(IppiFilterBilateralType filter,
                                               IppiSize maxDstRoiSize, IppiSize maxKernelSize,
                                               int* pBufferSize) {
  if (pBufferSize == nullptr) return ippStsNullPtrErr;
  if (filter != ippiFilterBilateralGauss) return ippStsBadArgErr;
  if (maxDstRoiSize.width <= 0 || maxDstRoiSize.height <= 0) return ippStsSizeErr;
  if (maxKernelSize.width <= 0 || maxKernelSize.height <= 0) return ippStsMaskSizeErr;
  const int radius = TableRadius(maxKernelSize);
  if (radius > 127) return ippStsMaskSizeErr;
  *pBufferSize = static_cast<int>(PlanBytes(radius));
  return ippStsNoErr;
}

IppStatus ippiFilterBilateralInit_8u_C1R(IppiFilterBilateralType filter, IppiSize maxKernelSize,
                                         Ipp32f valSquareSigma, Ipp32f posSquareSigma,
                                         int stepInKernel, IppiFilterBilateralSpec* pSpec) {
  if (pSpec == nullptr) return ippStsNullPtrErr;
  if (filter != ippiFilterBilateralGauss) return ippStsBadArgErr;
  if (maxKernelSize.width <= 0 || maxKernelSize.height <= 0) return ippStsMaskSizeErr;
  const int radius = TableRadius(maxKernelSize);
  if (radius > 127) return ippStsMaskSizeErr;
  if (!(valSquareSigma > 0.0f) || !(posSquareSigma > 0.0f) || !std::isfinite(valSquareSigma) ||
      !std::isfinite(posSquareSigma) || stepInKernel < 1)
    return ippStsBadArgErr;

  auto* base = AlignUp(reinterpret_cast<unsigned char*>(pSpec));
  PlanHeader header{kPlanMagic, radius, stepInKernel, valSquareSigma, posSquareSigma};
  std::memcpy(base, &header, sizeof header);
  auto* table = reinterpret_cast<float*>(base + sizeof(PlanHeader));
  // Weights are evaluated in double and stored in single precision: product of the intensity and
  // the spatial Gaussian, so the filter needs one lookup per neighbour.
  for (int r = 0; r <= radius; ++r) {
    const double spatial = std::exp(-static_cast<double>(r) * r / (2.0 * posSquareSigma));
    for (int d = 0; d < 256; ++d) {
      const double intensity = std::exp(-static_cast<double>(d) * d / (2.0 * valSquareSigma));
      table[256 * r + d] = static_cast<float>(intensity * spatial);
    }
  }
  return ippStsNoErr;
}

IppStatus ippiFilterBilateral_8u_C1R(const Ipp8u* pSrc, int srcStep, Ipp8u* pDst, int dstStep,
                                     IppiSize dstRoiSize, IppiSize kernelSize,
                                     const IppiFilterBilateralSpec* pSpec) {
  if (pSrc == nullptr || pDst == nullptr || pSpec == nullptr) return ippStsNullPtrErr;
  if (dstRoiSize.width <= 0 || dstRoiSize.height <= 0) return ippStsSizeErr;
  if (kernelSize.width <= 0 || kernelSize.height <= 0) return ippStsMaskSizeErr;
  if (srcStep < dstRoiSize.width || dstStep < dstRoiSize.width) return ippStsStepErr;
  const auto* base = AlignUp(reinterpret_cast<const unsigned char*>(pSpec));
  PlanHeader header;
  std::memcpy(&header, base, sizeof header);
  if (header.magic != kPlanMagic) return ippStsBadArgErr;
  const int rw = (OddReduced(kernelSize.width) - 1) / 2;
  const int rh = (OddReduced(kernelSize.height) - 1) / 2;
  if (std::max(rw, rh) > header.radius) return ippStsMaskSizeErr;

  const auto* table = reinterpret_cast<const float*>(base + sizeof(PlanHeader));
  for (int y = 0; y < dstRoiSize.height; ++y) {
    const Ipp8u* srcRow = Detail::RowAt(pSrc, srcStep, y);
    Ipp8u* dstRow = Detail::RowAt(pDst, dstStep, y);
    for (int x0 = 0; x0 < dstRoiSize.width; x0 += kStrip) {
      const int n = std::min(kStrip, dstRoiSize.width - x0);
      FilterStrip(srcRow + x0, srcStep, dstRow + x0, n, rw, rh, header.stepInKernel, table);
    }
  }
  return ippStsNoErr;
}

}  // namespace Talvex::Platform
