// Fourier transforms of A-scan profiles: a forward transform of a real signal to its full complex
// spectrum, and a forward or inverse complex transform. Both work for any length n >= 1; for a
// power of two they are the power-of-two transforms.
//
// Scaling: the real forward transform is divided by n and the complex inverse is divided by n, so
// a forward real transform followed by an inverse complex transform returns the input divided by
// n. The complex forward transform is not scaled. Kernel of the forward transforms:
// e^(-2 pi i k t / n).
//
// An object is set up once for a length (FFTInit) and then run any number of times with that
// length; it keeps its working buffers, so one object serves one thread at a time. All operations
// return 0 on success and -1 on failure; a failed FFTInit leaves nothing allocated.
#pragma once

#include <memory>

#include "platform/TalvexIppTypes.h"

namespace Talvex::Platform {
struct IppsFFTSpec_R_32f;
struct IppsFFTSpec_C_32fc;
}  // namespace Talvex::Platform

namespace Talvex::Common::Algorithms::Filters {

namespace Detail {
struct IppBufferDeleter {
  void operator()(void* p) const;
};
struct RealPlanDeleter {
  void operator()(Platform::IppsFFTSpec_R_32f* p) const;
};
struct ComplexPlanDeleter {
  void operator()(Platform::IppsFFTSpec_C_32fc* p) const;
};
}  // namespace Detail

class CFFT_RToC {
 public:
  // Prepares the transform of n real samples. -1 for n < 1 or a failed allocation.
  int FFTInit(int n);
  // dst[k] = (1/n) sum_t src[t] e^(-2 pi i k t / n) for k = 0 .. n-1 (the upper half completed by
  // conjugate symmetry). n must be the initialised length (-1 otherwise, or before FFTInit).
  int FFT(const float* src, Platform::Ipp32fc* dst, int n);

 private:
  int length_ = 0;
  std::unique_ptr<float, Detail::IppBufferDeleter> work_;
  std::unique_ptr<Platform::IppsFFTSpec_R_32f, Detail::RealPlanDeleter> plan_;
  std::unique_ptr<Platform::Ipp8u, Detail::IppBufferDeleter> scratch_;
};

class CFFT_CToC {
 public:
  // Prepares the complex transform of n values. -1 for n < 1 or a failed allocation.
  int FFTInit(int n);
  // In place: direction 1 gives the unscaled forward transform, any other value the inverse
  // transform divided by n. n must be the initialised length; on failure data is unchanged.
  int FFT(Platform::Ipp32fc* data, int n, int direction);

 private:
  int length_ = 0;
  std::unique_ptr<Platform::IppsFFTSpec_C_32fc, Detail::ComplexPlanDeleter> plan_;
  std::unique_ptr<Platform::Ipp32fc, Detail::IppBufferDeleter> work_;
  std::unique_ptr<Platform::Ipp8u, Detail::IppBufferDeleter> scratch_;
};

}  // namespace Talvex::Common::Algorithms::Filters
