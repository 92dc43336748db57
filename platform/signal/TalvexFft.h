// Real and complex discrete Fourier transforms of single-precision signals.
//
// The engines model the expected intensity profile of a surface along an A-scan by blurring a step
// with the axial point-spread function in the frequency domain: a forward real transform of the
// step, a product with the transfer function and an inverse complex transform. The working depth
// of an A-scan is often not a power of two (640 samples, or 640 / axial subsampling), so besides
// the classic power-of-two set-up by order, the transforms can be set up for any length n >= 1.
//
// Conventions shared by all functions below:
//   forward transform  X[k] = s_f * sum_{j=0}^{N-1} x[j] * exp(-2*pi*i*j*k/N)
//   inverse transform  x[j] = s_i * sum_{k=0}^{N-1} X[k] * exp(+2*pi*i*j*k/N)
// with the scale factors s_f, s_i selected by the normalisation flag:
//   IPP_FFT_DIV_FWD_BY_N (1)  s_f = 1/N,        s_i = 1
//   IPP_FFT_DIV_INV_BY_N (2)  s_f = 1,          s_i = 1/N
//   IPP_FFT_DIV_BY_SQRTN (4)  s_f = 1/sqrt(N),  s_i = 1/sqrt(N)
//   IPP_FFT_NODIV_BY_ANY (8)  s_f = 1,          s_i = 1
// Any other flag value fails with ippStsBadArgErr. The algorithm hint is accepted and ignored:
// every transform uses the same accurate algorithm.
//
// Method: mixed-radix (4, 2, 3, 5 and direct odd prime radices below 64) self-sorting transform on
// separate real and imaginary rows, twiddle factors computed in double precision and stored in
// single precision, sums in single precision. A length with a prime factor of 64 or more is
// transformed exactly by Bluestein's chirp convolution over a power-of-two transform. A power of
// two is always the plain power-of-two transform. The root-mean-square error relative to the norm
// of the spectrum is of the order of 1e-7 for lengths up to a few thousand samples.
//
// Working memory: a transform set-up holds all the working memory its transform needs, allocated
// once when it is set up; the transform calls never allocate. The scratch size reported by
// ippsFFTGetBufSize_* is therefore 0 and the pBuffer argument of the transforms may be null (any
// buffer passed is ignored). Because the working memory lives in the transform set-up, one
// transform set-up must be used by one thread at a time; give each thread its own.
//
// Status: ippStsNoErr (0) on success; ippStsNullPtrErr for a null pointer argument,
// ippStsFftOrderErr for an order outside [0, 27], ippStsSizeErr for a length outside [1, 2^27],
// ippStsBadArgErr for an unknown normalisation flag, ippStsMemAllocErr when the working memory
// cannot be allocated. A failed set-up stores null in *ppFFTSpec and leaves nothing allocated.
#pragma once

#include "platform/TalvexIppTypes.h"

namespace Talvex::Platform {

// Set-up of a transform of real signals (length, scale factors, twiddle factors, working memory).
// Opaque: created by ippsFFTInitAlloc_R_32f / tvxsFFTInitAllocLength_R_32f, released by
// ippsFFTFree_R_32f.
struct IppsFFTSpec_R_32f;

// Set-up of a transform of complex signals. Opaque: created by ippsFFTInitAlloc_C_32fc /
// tvxsFFTInitAllocLength_C_32fc, released by ippsFFTFree_C_32fc.
struct IppsFFTSpec_C_32fc;

// ---------------------------------------------------------------------------------------------
// Real signals
// ---------------------------------------------------------------------------------------------

// Sets up the transform of real signals of length N = 2^order.
//   ppFFTSpec  receives the new transform set-up (null on failure); release with ippsFFTFree_R_32f.
//   order      log2 of the length, 0..27 (order 0 is the one-sample transform).
//   flag       normalisation flag (see the table at the top of this header).
//   hint       algorithm hint; accepted, not used.
IppStatus ippsFFTInitAlloc_R_32f(IppsFFTSpec_R_32f** ppFFTSpec, int order, int flag,
                                 IppHintAlgorithm hint);

// Sets up the transform of real signals of any length N = length >= 1 (at most 2^27).
// For a power of two the result is the same transform as ippsFFTInitAlloc_R_32f with
// order = log2(length). Parameters and statuses as ippsFFTInitAlloc_R_32f, except that a length
// outside [1, 2^27] gives ippStsSizeErr.
IppStatus tvxsFFTInitAllocLength_R_32f(IppsFFTSpec_R_32f** ppFFTSpec, int length, int flag,
                                       IppHintAlgorithm hint);

// Scratch size in bytes the real transforms need beyond the transform set-up: always 0.
//   pFFTSpec  a transform set-up from the set-up functions.
//   pSize     receives the size.
IppStatus ippsFFTGetBufSize_R_32f(const IppsFFTSpec_R_32f* pFFTSpec, int* pSize);

// Forward transform of N real samples into the packed spectrum ("Pack" layout, N floats):
//   even N:  [R0, R1, I1, R2, I2, ..., R(N/2-1), I(N/2-1), R(N/2)]
//   odd N:   [R0, R1, I1, R2, I2, ..., R((N-1)/2), I((N-1)/2)]
// where Rk + i*Ik = X[k] (forward convention above, scale s_f). The other bins follow from
// X[N-k] = conj(X[k]) (see ippsConjPack_32fc).
//   pSrc      N real samples.
//   pDst      N floats of packed spectrum; may be the same array as pSrc.
//   pFFTSpec  transform set-up of length N; its working memory is used.
//   pBuffer   ignored; may be null.
IppStatus ippsFFTFwd_RToPack_32f(const Ipp32f* pSrc, Ipp32f* pDst,
                                 const IppsFFTSpec_R_32f* pFFTSpec, Ipp8u* pBuffer);

// Expands a packed spectrum of a real signal of length lenDst into all lenDst complex bins:
//   pDst[0] = R0, pDst[k] = Rk + i*Ik for 1 <= k <= lenDst/2 (Ik = 0 for k = lenDst/2 when lenDst
//   is even), pDst[k] = conj(pDst[lenDst-k]) for lenDst/2 < k < lenDst.
//   pSrc    lenDst floats in the layout of ippsFFTFwd_RToPack_32f.
//   pDst    lenDst complex values; must not overlap pSrc.
//   lenDst  length of the real signal, >= 1 (ippStsSizeErr otherwise).
IppStatus ippsConjPack_32fc(const Ipp32f* pSrc, Ipp32fc* pDst, int lenDst);

// Releases a transform set-up of a real transform. A null pointer gives ippStsNullPtrErr.
IppStatus ippsFFTFree_R_32f(IppsFFTSpec_R_32f* pFFTSpec);

// ---------------------------------------------------------------------------------------------
// Complex signals
// ---------------------------------------------------------------------------------------------

// Sets up the transform of complex signals of length N = 2^order. Parameters and statuses as
// ippsFFTInitAlloc_R_32f; release with ippsFFTFree_C_32fc.
IppStatus ippsFFTInitAlloc_C_32fc(IppsFFTSpec_C_32fc** ppFFTSpec, int order, int flag,
                                  IppHintAlgorithm hint);

// Sets up the transform of complex signals of any length N = length >= 1 (at most 2^27). For a
// power of two the result is the same transform as ippsFFTInitAlloc_C_32fc. Statuses as
// tvxsFFTInitAllocLength_R_32f.
IppStatus tvxsFFTInitAllocLength_C_32fc(IppsFFTSpec_C_32fc** ppFFTSpec, int length, int flag,
                                        IppHintAlgorithm hint);

// Scratch size in bytes the complex transforms need beyond the transform set-up: always 0.
IppStatus ippsFFTGetBufSize_C_32fc(const IppsFFTSpec_C_32fc* pFFTSpec, int* pSize);

// Forward complex transform X[k] = s_f * sum_j x[j] * exp(-2*pi*i*j*k/N).
//   pSrc      N complex samples.
//   pDst      N complex bins, natural order; may be the same array as pSrc.
//   pFFTSpec  transform set-up of length N; its working memory is used.
//   pBuffer   ignored; may be null.
IppStatus ippsFFTFwd_CToC_32fc(const Ipp32fc* pSrc, Ipp32fc* pDst,
                               const IppsFFTSpec_C_32fc* pFFTSpec, Ipp8u* pBuffer);

// Inverse complex transform x[j] = s_i * sum_k X[k] * exp(+2*pi*i*j*k/N). Parameters as
// ippsFFTFwd_CToC_32fc.
IppStatus ippsFFTInv_CToC_32fc(const Ipp32fc* pSrc, Ipp32fc* pDst,
                               const IppsFFTSpec_C_32fc* pFFTSpec, Ipp8u* pBuffer);

// Releases a transform set-up of a complex transform. A null pointer gives ippStsNullPtrErr.
IppStatus ippsFFTFree_C_32fc(IppsFFTSpec_C_32fc* pFFTSpec);

}  // namespace Talvex::Platform
