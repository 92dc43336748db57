// Image memory, copies, conversions, bordered copies, flips and the in-place transpose.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>
#include <type_traits>

#include "platform/image/TalvexImageAccess.h"
#include "platform/image/TalvexIppiBasic.h"

namespace Talvex::Platform {
namespace {

constexpr std::size_t kRowAlignment = 64;

using Detail::CheckImage;
using Detail::RowAt;

template <typename T>
IppStatus CopyRegion(const T* src, int srcStep, T* dst, int dstStep, IppiSize roi) {
  if (IppStatus s = CheckImage(src, srcStep, roi)) return s;
  if (IppStatus s = CheckImage(dst, dstStep, roi)) return s;
  const std::size_t bytes = static_cast<std::size_t>(roi.width) * sizeof(T);
  for (int y = 0; y < roi.height; ++y)
    std::memmove(RowAt(dst, dstStep, y), RowAt(src, srcStep, y), bytes);
  return ippStsNoErr;
}

// Copies the source into the destination at (left, top). The border either replicates the nearest
// source pixel (kReplicate) or takes `constant`.
template <bool kReplicate>
IppStatus CopyWithBorder(const Ipp8u* src, int srcStep, IppiSize srcSize, Ipp8u* dst, int dstStep,
                         IppiSize dstSize, int top, int left, Ipp8u constant) {
  if (IppStatus s = CheckImage(src, srcStep, srcSize)) return s;
  if (IppStatus s = CheckImage(dst, dstStep, dstSize)) return s;
  if (top < 0 || left < 0) return ippStsSizeErr;
  const long long bottom = static_cast<long long>(dstSize.height) - srcSize.height - top;
  const long long right = static_cast<long long>(dstSize.width) - srcSize.width - left;
  if (bottom < 0 || right < 0) return ippStsSizeErr;
  const int w = srcSize.width;
  for (int y = 0; y < dstSize.height; ++y) {
    Ipp8u* d = RowAt(dst, dstStep, y);
    const int sy = y - top;
    if (!kReplicate && (sy < 0 || sy >= srcSize.height)) {
      std::memset(d, constant, static_cast<std::size_t>(dstSize.width));
      continue;
    }
    const Ipp8u* s = RowAt(src, srcStep, std::clamp(sy, 0, srcSize.height - 1));
    std::memset(d, kReplicate ? s[0] : constant, static_cast<std::size_t>(left));
    std::memcpy(d + left, s, static_cast<std::size_t>(w));
    std::memset(d + left + w, kReplicate ? s[w - 1] : constant, static_cast<std::size_t>(right));
  }
  return ippStsNoErr;
}

template <typename T>
IppStatus MirrorInPlace(T* img, int step, IppiSize roi, IppiAxis flip) {
  if (IppStatus s = CheckImage(img, step, roi)) return s;
  if (flip != ippAxsHorizontal && flip != ippAxsVertical && flip != ippAxsBoth)
    return ippStsBadArgErr;
  if (flip == ippAxsHorizontal || flip == ippAxsBoth) {
    for (int y = 0, z = roi.height - 1; y < z; ++y, --z) {
      T* a = RowAt(img, step, y);
      std::swap_ranges(a, a + roi.width, RowAt(img, step, z));
    }
  }
  if (flip == ippAxsVertical || flip == ippAxsBoth) {
    for (int y = 0; y < roi.height; ++y) {
      T* a = RowAt(img, step, y);
      std::reverse(a, a + roi.width);
    }
  }
  return ippStsNoErr;
}

}  // namespace

Ipp32f* ippiMalloc_32f_C1(int widthPixels, int heightPixels, int* pStepBytes) {
  if (pStepBytes == nullptr || widthPixels <= 0 || heightPixels <= 0) return nullptr;
  const long long rowBytes = static_cast<long long>(widthPixels) * sizeof(Ipp32f);
  const long long step = (rowBytes + kRowAlignment - 1) / kRowAlignment * kRowAlignment;
  if (step > 0x7fffffffLL) return nullptr;  // the step must fit the int it is reported in
  const long long total = step * heightPixels;
  if (static_cast<unsigned long long>(total) > PTRDIFF_MAX / 2) return nullptr;
  void* block = ::operator new (static_cast<std::size_t>(total), std::align_val_t{kRowAlignment},
                                std::nothrow);
  if (block == nullptr) return nullptr;
  std::memset(block, 0, static_cast<std::size_t>(total));
  *pStepBytes = static_cast<int>(step);
  return static_cast<Ipp32f*>(block);
}

void ippiFree(void* ptr) {
  if (ptr != nullptr) ::operator delete (ptr, std::align_val_t{kRowAlignment});
}

IppStatus ippiCopy_8u_C1R(const Ipp8u* pSrc, int srcStep, Ipp8u* pDst, int dstStep,
                          IppiSize roiSize) {
  return CopyRegion(pSrc, srcStep, pDst, dstStep, roiSize);
}

IppStatus ippiCopy_32f_C1R(const Ipp32f* pSrc, int srcStep, Ipp32f* pDst, int dstStep,
                           IppiSize roiSize) {
  return CopyRegion(pSrc, srcStep, pDst, dstStep, roiSize);
}

IppStatus ippiConvert_8u32f_C1R(const Ipp8u* pSrc, int srcStep, Ipp32f* pDst, int dstStep,
                                IppiSize roiSize) {
  if (IppStatus s = CheckImage(pSrc, srcStep, roiSize)) return s;
  if (IppStatus s = CheckImage(pDst, dstStep, roiSize)) return s;
  for (int y = 0; y < roiSize.height; ++y) {
    const Ipp8u* __restrict s = RowAt(pSrc, srcStep, y);
    Ipp32f* __restrict d = RowAt(pDst, dstStep, y);
    for (int x = 0; x < roiSize.width; ++x) d[x] = static_cast<Ipp32f>(s[x]);
  }
  return ippStsNoErr;
}

IppStatus ippiConvert_32f8u_C1R(const Ipp32f* pSrc, int srcStep, Ipp8u* pDst, int dstStep,
                                IppiSize roiSize, IppRoundMode roundMode) {
  if (IppStatus s = CheckImage(pSrc, srcStep, roiSize)) return s;
  if (IppStatus s = CheckImage(pDst, dstStep, roiSize)) return s;
  if (roundMode != ippRndZero && roundMode != ippRndNear && roundMode != ippRndFinancial)
    return ippStsBadArgErr;
  // Saturation first (NaN fails `v > 0` and becomes 0), so every conversion below is of a value
  // in [0, 255] and cannot overflow. On that range half away from zero is the truncation plus one
  // when the (exact) fractional part is at least 0.5, and half to even is the add-and-subtract of
  // 2^23 in the default rounding mode.
  for (int y = 0; y < roiSize.height; ++y) {
    const Ipp32f* __restrict s = RowAt(pSrc, srcStep, y);
    Ipp8u* __restrict d = RowAt(pDst, dstStep, y);
    if (roundMode == ippRndNear) {
      for (int x = 0; x < roiSize.width; ++x) {
        float v = s[x] > 0.0f ? s[x] : 0.0f;
        v = v < 255.0f ? v : 255.0f;
        d[x] = static_cast<Ipp8u>(static_cast<int>((v + 8388608.0f) - 8388608.0f));
      }
    } else {
      for (int x = 0; x < roiSize.width; ++x) {
        float v = s[x] > 0.0f ? s[x] : 0.0f;
        v = v < 255.0f ? v : 255.0f;
        const int r = static_cast<int>(v);
        const int up = roundMode == ippRndFinancial && v - static_cast<float>(r) >= 0.5f;
        d[x] = static_cast<Ipp8u>(r + up);
      }
    }
  }
  return ippStsNoErr;
}

IppStatus ippiCopyReplicateBorder_8u_C1R(const Ipp8u* pSrc, int srcStep, IppiSize srcRoiSize,
                                         Ipp8u* pDst, int dstStep, IppiSize dstRoiSize,
                                         int topBorderHeight, int leftBorderWidth) {
  return CopyWithBorder<true>(pSrc, srcStep, srcRoiSize, pDst, dstStep, dstRoiSize, topBorderHeight,
                              leftBorderWidth, 0);
}

IppStatus ippiCopyConstBorder_8u_C1R(const Ipp8u* pSrc, int srcStep, IppiSize srcRoiSize,
                                     Ipp8u* pDst, int dstStep, IppiSize dstRoiSize,
                                     int topBorderHeight, int leftBorderWidth, Ipp8u value) {
  return CopyWithBorder<false>(pSrc, srcStep, srcRoiSize, pDst, dstStep, dstRoiSize,
                               topBorderHeight, leftBorderWidth, value);
}

IppStatus ippiMirror_8u_C1IR(Ipp8u* pSrcDst, int srcDstStep, IppiSize roiSize, IppiAxis flip) {
  return MirrorInPlace(pSrcDst, srcDstStep, roiSize, flip);
}

IppStatus ippiMirror_32f_C1IR(Ipp32f* pSrcDst, int srcDstStep, IppiSize roiSize, IppiAxis flip) {
  return MirrorInPlace(pSrcDst, srcDstStep, roiSize, flip);
}

IppStatus ippiTranspose_32f_C1IR(Ipp32f* pSrcDst, int srcDstStep, IppiSize roiSize) {
  if (IppStatus s = CheckImage(pSrcDst, srcDstStep, roiSize)) return s;
  if (roiSize.width != roiSize.height) return ippStsSizeErr;
  // Tiles of 32 x 32 keep both the row-wise and the column-wise side of every swap in cache.
  constexpr int kTile = 32;
  const int n = roiSize.width;
  for (int by = 0; by < n; by += kTile) {
    const int ey = std::min(by + kTile, n);
    for (int bx = by; bx < n; bx += kTile) {
      const int ex = std::min(bx + kTile, n);
      for (int y = by; y < ey; ++y) {
        Ipp32f* row = RowAt(pSrcDst, srcDstStep, y);
        for (int x = (bx == by ? y + 1 : bx); x < ex; ++x)
          std::swap(row[x], RowAt(pSrcDst, srcDstStep, x)[y]);
      }
    }
  }
  return ippStsNoErr;
}

}  // namespace Talvex::Platform
