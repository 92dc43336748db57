// Element-wise arithmetic on vectors and the vector arctangent.
//
// Most functions are plain loops over contiguous memory that the compiler vectorises. Three
// need the square root or the exponential, which the compiler will not vectorise while keeping
// the C library's errno semantics; on x86-64 they use SSE2 directly (the exponential also an
// AVX2 variant chosen at run time, with bit-identical results), elsewhere a scalar loop computing
// the same values.
#include <cmath>
#include <cstdint>
#include <cstring>

#include "platform/TalvexSimd.h"
#include "platform/signal/TalvexIpps.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if TALVEX_HAS_AVX2_PATH
#include <immintrin.h>
#endif

namespace Talvex::Platform {

namespace {

template <typename T>
bool Invalid(const T* p) {
  return p == nullptr;
}

// ---- Single-precision exponential --------------------------------------------------------
//
// e^x = 2^n * e^r with n = round(x / ln 2) and |r| <= ln 2 / 2:
// - x is clamped to [-104, 89] first: below -104 the result rounds to 0, above 89 it overflows
//   to +inf anyway, and the clamp keeps n inside [-150, 128]. The clamp passes NaN through.
// - n is rounded by adding 1.5 * 2^23, which also leaves n in the low mantissa bits.
// - r = x - n ln 2 in two steps (ln 2 = C1 + C2, C1 with 9 significant bits, so n * C1 is exact).
// - e^r = 1 + r + r^2 P(r) with a degree-5 minimax P (Cephes' single-precision coefficients).
// - 2^n is applied as two factors 2^(n/2) and 2^(n - n/2), each a normal float, so that results
//   overflow to +inf and underflow gradually to subnormals and 0 with a single rounding.
constexpr float kExpHi = 89.0f;
constexpr float kExpLo = -104.0f;
constexpr float kLog2e = 1.44269504088896341f;
constexpr float kRoundMagic = 12582912.0f;  // 1.5 * 2^23
constexpr std::int32_t kRoundMagicBits = 0x4B400000;
constexpr float kLn2Hi = 0.693359375f;
constexpr float kLn2Lo = -2.12194440e-4f;
constexpr float kP0 = 1.9875691500e-4f;
constexpr float kP1 = 1.3981999507e-3f;
constexpr float kP2 = 8.3334519073e-3f;
constexpr float kP3 = 4.1665795894e-2f;
constexpr float kP4 = 1.6666665459e-1f;
constexpr float kP5 = 5.0000001201e-1f;

#if defined(__SSE2__)

inline __m128 Exp4(__m128 x) {
  // minps/maxps return their second operand when either is NaN: NaN survives the clamp.
  x = _mm_min_ps(_mm_set1_ps(kExpHi), x);
  x = _mm_max_ps(_mm_set1_ps(kExpLo), x);
  const __m128 t = _mm_add_ps(_mm_mul_ps(x, _mm_set1_ps(kLog2e)), _mm_set1_ps(kRoundMagic));
  const __m128 nf = _mm_sub_ps(t, _mm_set1_ps(kRoundMagic));
  const __m128i n = _mm_sub_epi32(_mm_castps_si128(t), _mm_set1_epi32(kRoundMagicBits));
  __m128 r = _mm_sub_ps(x, _mm_mul_ps(nf, _mm_set1_ps(kLn2Hi)));
  r = _mm_sub_ps(r, _mm_mul_ps(nf, _mm_set1_ps(kLn2Lo)));
  __m128 p = _mm_set1_ps(kP0);
  p = _mm_add_ps(_mm_mul_ps(p, r), _mm_set1_ps(kP1));
  p = _mm_add_ps(_mm_mul_ps(p, r), _mm_set1_ps(kP2));
  p = _mm_add_ps(_mm_mul_ps(p, r), _mm_set1_ps(kP3));
  p = _mm_add_ps(_mm_mul_ps(p, r), _mm_set1_ps(kP4));
  p = _mm_add_ps(_mm_mul_ps(p, r), _mm_set1_ps(kP5));
  p = _mm_add_ps(_mm_add_ps(_mm_mul_ps(p, _mm_mul_ps(r, r)), r), _mm_set1_ps(1.0f));
  const __m128i n1 = _mm_srai_epi32(n, 1);
  const __m128i n2 = _mm_sub_epi32(n, n1);
  const __m128i bias = _mm_set1_epi32(127);
  const __m128 s1 = _mm_castsi128_ps(_mm_slli_epi32(_mm_add_epi32(n1, bias), 23));
  const __m128 s2 = _mm_castsi128_ps(_mm_slli_epi32(_mm_add_epi32(n2, bias), 23));
  return _mm_mul_ps(_mm_mul_ps(p, s1), s2);
}

#if TALVEX_HAS_AVX2_PATH
// The same operations, in the same order, on eight lanes: the results are bit-identical to the
// SSE2 path (no fused multiply-add is involved), so the choice of path never changes a value.
TALVEX_TARGET_AVX2 int ExpBodyAvx2(const Ipp32f* src, Ipp32f* dst, int len) {
  int i = 0;
  for (; i + 8 <= len; i += 8) {
    __m256 x = _mm256_loadu_ps(src + i);
    x = _mm256_min_ps(_mm256_set1_ps(kExpHi), x);
    x = _mm256_max_ps(_mm256_set1_ps(kExpLo), x);
    const __m256 t =
        _mm256_add_ps(_mm256_mul_ps(x, _mm256_set1_ps(kLog2e)), _mm256_set1_ps(kRoundMagic));
    const __m256 nf = _mm256_sub_ps(t, _mm256_set1_ps(kRoundMagic));
    const __m256i n = _mm256_sub_epi32(_mm256_castps_si256(t), _mm256_set1_epi32(kRoundMagicBits));
    __m256 r = _mm256_sub_ps(x, _mm256_mul_ps(nf, _mm256_set1_ps(kLn2Hi)));
    r = _mm256_sub_ps(r, _mm256_mul_ps(nf, _mm256_set1_ps(kLn2Lo)));
    __m256 p = _mm256_set1_ps(kP0);
    p = _mm256_add_ps(_mm256_mul_ps(p, r), _mm256_set1_ps(kP1));
    p = _mm256_add_ps(_mm256_mul_ps(p, r), _mm256_set1_ps(kP2));
    p = _mm256_add_ps(_mm256_mul_ps(p, r), _mm256_set1_ps(kP3));
    p = _mm256_add_ps(_mm256_mul_ps(p, r), _mm256_set1_ps(kP4));
    p = _mm256_add_ps(_mm256_mul_ps(p, r), _mm256_set1_ps(kP5));
    p = _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(p, _mm256_mul_ps(r, r)), r),
                      _mm256_set1_ps(1.0f));
    const __m256i n1 = _mm256_srai_epi32(n, 1);
    const __m256i n2 = _mm256_sub_epi32(n, n1);
    const __m256i bias = _mm256_set1_epi32(127);
    const __m256 s1 = _mm256_castsi256_ps(_mm256_slli_epi32(_mm256_add_epi32(n1, bias), 23));
    const __m256 s2 = _mm256_castsi256_ps(_mm256_slli_epi32(_mm256_add_epi32(n2, bias), 23));
    _mm256_storeu_ps(dst + i, _mm256_mul_ps(_mm256_mul_ps(p, s1), s2));
  }
  return i;
}
#endif

void ExpKernel(const Ipp32f* src, Ipp32f* dst, int len) {
  int i = 0;
#if TALVEX_HAS_AVX2_PATH
  if (Detail::CpuHasAvx2()) i = ExpBodyAvx2(src, dst, len);
#endif
  for (; i + 4 <= len; i += 4) _mm_storeu_ps(dst + i, Exp4(_mm_loadu_ps(src + i)));
  if (i < len) {
    // The tail goes through the same vector code so every element is computed identically.
    alignas(16) float tail[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    const int rest = len - i;
    for (int k = 0; k < rest; ++k) tail[k] = src[i + k];
    _mm_store_ps(tail, Exp4(_mm_load_ps(tail)));
    for (int k = 0; k < rest; ++k) dst[i + k] = tail[k];
  }
}

#else

inline float FloatFromBits(std::uint32_t bits) {
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

inline std::uint32_t BitsFromFloat(float f) {
  std::uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  return bits;
}

inline float Exp1(float x) {
  x = kExpHi < x ? kExpHi : x;
  x = kExpLo > x ? kExpLo : x;
  const float t = x * kLog2e + kRoundMagic;
  const float nf = t - kRoundMagic;
  // Integer work in unsigned arithmetic, wrapping like the vector lanes: a NaN argument leaves
  // arbitrary bits in n, which must not overflow a signed type (the result is NaN anyway).
  const std::uint32_t n = BitsFromFloat(t) - static_cast<std::uint32_t>(kRoundMagicBits);
  float r = x - nf * kLn2Hi;
  r = r - nf * kLn2Lo;
  float p = kP0;
  p = p * r + kP1;
  p = p * r + kP2;
  p = p * r + kP3;
  p = p * r + kP4;
  p = p * r + kP5;
  p = p * (r * r) + r + 1.0f;
  // n1 = n >> 1 as an arithmetic shift of the two's-complement value.
  const std::uint32_t n1 = (n >> 1) | (n & 0x80000000u);
  const std::uint32_t n2 = n - n1;
  return p * FloatFromBits((n1 + 127u) << 23) * FloatFromBits((n2 + 127u) << 23);
}

void ExpKernel(const Ipp32f* src, Ipp32f* dst, int len) {
  for (int i = 0; i < len; ++i) dst[i] = Exp1(src[i]);
}

#endif

}  // namespace

namespace Detail {

void AddCLong32f(const Ipp32f* pSrc, Ipp32f val, Ipp32f* pDst, int len) {
  for (int i = 0; i < len; ++i) pDst[i] = pSrc[i] + val;
}

}  // namespace Detail

IppStatus ippsAddC_32f_I(Ipp32f val, Ipp32f* pSrcDst, int len) {
  if (Invalid(pSrcDst)) return ippStsNullPtrErr;
  if (len <= 0) return ippStsSizeErr;
  for (int i = 0; i < len; ++i) pSrcDst[i] += val;
  return ippStsNoErr;
}

IppStatus ippsAddC_64f(const Ipp64f* pSrc, Ipp64f val, Ipp64f* pDst, int len) {
  if (Invalid(pSrc) || Invalid(pDst)) return ippStsNullPtrErr;
  if (len <= 0) return ippStsSizeErr;
  for (int i = 0; i < len; ++i) pDst[i] = pSrc[i] + val;
  return ippStsNoErr;
}

IppStatus ippsAddC_64f_I(Ipp64f val, Ipp64f* pSrcDst, int len) {
  if (Invalid(pSrcDst)) return ippStsNullPtrErr;
  if (len <= 0) return ippStsSizeErr;
  for (int i = 0; i < len; ++i) pSrcDst[i] += val;
  return ippStsNoErr;
}

IppStatus ippsAdd_64f(const Ipp64f* pSrc1, const Ipp64f* pSrc2, Ipp64f* pDst, int len) {
  if (Invalid(pSrc1) || Invalid(pSrc2) || Invalid(pDst)) return ippStsNullPtrErr;
  if (len <= 0) return ippStsSizeErr;
  for (int i = 0; i < len; ++i) pDst[i] = pSrc1[i] + pSrc2[i];
  return ippStsNoErr;
}

IppStatus ippsMulC_32f_I(Ipp32f val, Ipp32f* pSrcDst, int len) {
  if (Invalid(pSrcDst)) return ippStsNullPtrErr;
  if (len <= 0) return ippStsSizeErr;
  for (int i = 0; i < len; ++i) pSrcDst[i] *= val;
  return ippStsNoErr;
}

IppStatus ippsMulC_64f_I(Ipp64f val, Ipp64f* pSrcDst, int len) {
  if (Invalid(pSrcDst)) return ippStsNullPtrErr;
  if (len <= 0) return ippStsSizeErr;
  for (int i = 0; i < len; ++i) pSrcDst[i] *= val;
  return ippStsNoErr;
}

IppStatus ippsMul_64f_I(const Ipp64f* pSrc, Ipp64f* pSrcDst, int len) {
  if (Invalid(pSrc) || Invalid(pSrcDst)) return ippStsNullPtrErr;
  if (len <= 0) return ippStsSizeErr;
  for (int i = 0; i < len; ++i) pSrcDst[i] *= pSrc[i];
  return ippStsNoErr;
}

IppStatus ippsSub_32f(const Ipp32f* pSrc1, const Ipp32f* pSrc2, Ipp32f* pDst, int len) {
  if (Invalid(pSrc1) || Invalid(pSrc2) || Invalid(pDst)) return ippStsNullPtrErr;
  if (len <= 0) return ippStsSizeErr;
  // The first operand is the subtrahend.
  for (int i = 0; i < len; ++i) pDst[i] = pSrc2[i] - pSrc1[i];
  return ippStsNoErr;
}

IppStatus ippsDivC_64f_I(Ipp64f val, Ipp64f* pSrcDst, int len) {
  if (Invalid(pSrcDst)) return ippStsNullPtrErr;
  if (len <= 0) return ippStsSizeErr;
  if (val == 0.0) return ippStsDivByZeroErr;
  for (int i = 0; i < len; ++i) pSrcDst[i] /= val;
  return ippStsNoErr;
}

IppStatus ippsDivCRev_32f_I(Ipp32f val, Ipp32f* pSrcDst, int len) {
  if (Invalid(pSrcDst)) return ippStsNullPtrErr;
  if (len <= 0) return ippStsSizeErr;
  for (int i = 0; i < len; ++i) pSrcDst[i] = val / pSrcDst[i];
  return ippStsNoErr;
}

IppStatus ippsSqr_32f(const Ipp32f* pSrc, Ipp32f* pDst, int len) {
  if (Invalid(pSrc) || Invalid(pDst)) return ippStsNullPtrErr;
  if (len <= 0) return ippStsSizeErr;
  for (int i = 0; i < len; ++i) pDst[i] = pSrc[i] * pSrc[i];
  return ippStsNoErr;
}

IppStatus ippsSqr_32f_I(Ipp32f* pSrcDst, int len) { return ippsSqr_32f(pSrcDst, pSrcDst, len); }

IppStatus ippsSqr_64f_I(Ipp64f* pSrcDst, int len) {
  if (Invalid(pSrcDst)) return ippStsNullPtrErr;
  if (len <= 0) return ippStsSizeErr;
  for (int i = 0; i < len; ++i) pSrcDst[i] *= pSrcDst[i];
  return ippStsNoErr;
}

IppStatus ippsSqrt_64f_I(Ipp64f* pSrcDst, int len) {
  if (Invalid(pSrcDst)) return ippStsNullPtrErr;
  if (len <= 0) return ippStsSizeErr;
  int i = 0;
#if defined(__SSE2__)
  for (; i + 2 <= len; i += 2) _mm_storeu_pd(pSrcDst + i, _mm_sqrt_pd(_mm_loadu_pd(pSrcDst + i)));
#endif
  for (; i < len; ++i) pSrcDst[i] = std::sqrt(pSrcDst[i]);
  return ippStsNoErr;
}

IppStatus ippsAbs_16s(const Ipp16s* pSrc, Ipp16s* pDst, int len) {
  if (Invalid(pSrc) || Invalid(pDst)) return ippStsNullPtrErr;
  if (len <= 0) return ippStsSizeErr;
  for (int i = 0; i < len; ++i) {
    const int v = pSrc[i];
    const int a = v < 0 ? -v : v;
    pDst[i] = static_cast<Ipp16s>(a > 32767 ? 32767 : a);
  }
  return ippStsNoErr;
}

IppStatus ippsAbs_64f_I(Ipp64f* pSrcDst, int len) {
  if (Invalid(pSrcDst)) return ippStsNullPtrErr;
  if (len <= 0) return ippStsSizeErr;
  for (int i = 0; i < len; ++i) pSrcDst[i] = std::fabs(pSrcDst[i]);
  return ippStsNoErr;
}

IppStatus ippsExp_32f(const Ipp32f* pSrc, Ipp32f* pDst, int len) {
  if (Invalid(pSrc) || Invalid(pDst)) return ippStsNullPtrErr;
  if (len <= 0) return ippStsSizeErr;
  ExpKernel(pSrc, pDst, len);
  return ippStsNoErr;
}

IppStatus ippsExp_32f_I(Ipp32f* pSrcDst, int len) { return ippsExp_32f(pSrcDst, pSrcDst, len); }

IppStatus ippsMagnitude_32f(const Ipp32f* pSrcRe, const Ipp32f* pSrcIm, Ipp32f* pDst, int len) {
  if (Invalid(pSrcRe) || Invalid(pSrcIm) || Invalid(pDst)) return ippStsNullPtrErr;
  if (len <= 0) return ippStsSizeErr;
  int i = 0;
#if defined(__SSE2__)
  for (; i + 4 <= len; i += 4) {
    const __m128 x = _mm_loadu_ps(pSrcRe + i);
    const __m128 y = _mm_loadu_ps(pSrcIm + i);
    _mm_storeu_ps(pDst + i, _mm_sqrt_ps(_mm_add_ps(_mm_mul_ps(x, x), _mm_mul_ps(y, y))));
  }
#endif
  for (; i < len; ++i) {
    const float x = pSrcRe[i];
    const float y = pSrcIm[i];
    pDst[i] = std::sqrt(x * x + y * y);
  }
  return ippStsNoErr;
}

IppStatus ippsCartToPolar_64f(const Ipp64f* pSrcRe, const Ipp64f* pSrcIm, Ipp64f* pDstMagn,
                              Ipp64f* pDstPhase, int len) {
  if (Invalid(pSrcRe) || Invalid(pSrcIm) || Invalid(pDstMagn) || Invalid(pDstPhase)) {
    return ippStsNullPtrErr;
  }
  if (len <= 0) return ippStsSizeErr;
  for (int i = 0; i < len; ++i) {
    const double x = pSrcRe[i];
    const double y = pSrcIm[i];
    // Both outputs are written after both inputs are read: either output may alias an input.
    const double magnitude = std::hypot(x, y);
    const double phase = std::atan2(y, x);
    pDstMagn[i] = magnitude;
    pDstPhase[i] = phase;
  }
  return ippStsNoErr;
}

IppStatus ippsMinEvery_32f_I(const Ipp32f* pSrc, Ipp32f* pSrcDst, int len) {
  if (Invalid(pSrc) || Invalid(pSrcDst)) return ippStsNullPtrErr;
  if (len <= 0) return ippStsSizeErr;
  for (int i = 0; i < len; ++i) pSrcDst[i] = pSrc[i] < pSrcDst[i] ? pSrc[i] : pSrcDst[i];
  return ippStsNoErr;
}

IppStatus ippsMaxEvery_32f_I(const Ipp32f* pSrc, Ipp32f* pSrcDst, int len) {
  if (Invalid(pSrc) || Invalid(pSrcDst)) return ippStsNullPtrErr;
  if (len <= 0) return ippStsSizeErr;
  for (int i = 0; i < len; ++i) pSrcDst[i] = pSrc[i] > pSrcDst[i] ? pSrc[i] : pSrcDst[i];
  return ippStsNoErr;
}

IppStatus ippsAtan2_64f_A50(const Ipp64f* pSrc1, const Ipp64f* pSrc2, Ipp64f* pDst, Ipp32s len) {
  if (Invalid(pSrc1) || Invalid(pSrc2) || Invalid(pDst)) return ippStsNullPtrErr;
  if (len <= 0) return ippStsSizeErr;
  // The first source holds the ordinates.
  for (int i = 0; i < len; ++i) pDst[i] = std::atan2(pSrc1[i], pSrc2[i]);
  return ippStsNoErr;
}

}  // namespace Talvex::Platform
