#include "common/filters/FFT.h"

#include <algorithm>

#include "platform/TalvexFft.h"
#include "platform/TalvexIpps.h"

namespace Talvex::Common::Algorithms::Filters {

using namespace Talvex::Platform;

namespace Detail {
void IppBufferDeleter::operator()(void* p) const { ippsFree(p); }
void RealSpecDeleter::operator()(IppsFFTSpec_R_32f* p) const { ippsFFTFree_R_32f(p); }
void ComplexSpecDeleter::operator()(IppsFFTSpec_C_32fc* p) const { ippsFFTFree_C_32fc(p); }
}  // namespace Detail

namespace {

// Allocates the optional scratch the transform asks for; false on failure.
template <typename Spec, typename SizeQuery>
bool AllocateScratch(const Spec* spec, SizeQuery query,
                     std::unique_ptr<Ipp8u, Detail::IppBufferDeleter>& scratch) {
  int size = 0;
  if (query(spec, &size) != 0) return false;
  if (size < 1) return true;  // the transform needs no scratch
  scratch.reset(ippsMalloc_8u(size));
  return scratch != nullptr;
}

}  // namespace

int CFFT_RToC::FFTInit(int n) {
  length_ = 0;
  scratch_.reset();
  spec_.reset();
  work_.reset();
  if (n < 1) return -1;
  work_.reset(ippsMalloc_32f(n));
  IppsFFTSpec_R_32f* spec = nullptr;
  if (!work_ || tvxsFFTInitAllocLength_R_32f(&spec, n, IPP_FFT_DIV_FWD_BY_N, ippAlgHintFast) != 0) {
    work_.reset();
    return -1;
  }
  spec_.reset(spec);
  if (!AllocateScratch(spec, ippsFFTGetBufSize_R_32f, scratch_)) {
    spec_.reset();
    work_.reset();
    return -1;
  }
  length_ = n;
  return 0;
}

int CFFT_RToC::FFT(const float* src, Ipp32fc* dst, int n) {
  if (length_ < 1 || n != length_) return -1;
  if (ippsFFTFwd_RToPack_32f(src, work_.get(), spec_.get(), scratch_.get()) != 0) return -1;
  return ippsConjPack_32fc(work_.get(), dst, n) != 0 ? -1 : 0;
}

int CFFT_CToC::FFTInit(int n) {
  length_ = 0;
  scratch_.reset();
  spec_.reset();
  work_.reset();
  if (n < 1) return -1;
  work_.reset(ippsMalloc_32fc(n));
  IppsFFTSpec_C_32fc* spec = nullptr;
  if (!work_ ||
      tvxsFFTInitAllocLength_C_32fc(&spec, n, IPP_FFT_DIV_INV_BY_N, ippAlgHintFast) != 0) {
    work_.reset();
    return -1;
  }
  spec_.reset(spec);
  if (!AllocateScratch(spec, ippsFFTGetBufSize_C_32fc, scratch_)) {
    spec_.reset();
    work_.reset();
    return -1;
  }
  length_ = n;
  return 0;
}

int CFFT_CToC::FFT(Ipp32fc* data, int n, int direction) {
  if (length_ < 1 || n != length_) return -1;
  const IppStatus status =
      direction == 1 ? ippsFFTFwd_CToC_32fc(data, work_.get(), spec_.get(), scratch_.get())
                     : ippsFFTInv_CToC_32fc(data, work_.get(), spec_.get(), scratch_.get());
  if (status != 0) return -1;
  std::copy(work_.get(), work_.get() + n, data);
  return 0;
}

}  // namespace Talvex::Common::Algorithms::Filters
