#include "common/filters/FFT.h"

#include <algorithm>

#include "platform/signal/TalvexFft.h"
#include "platform/signal/TalvexIpps.h"

namespace Talvex::Common::Algorithms::Filters {

using namespace Talvex::Platform;

namespace Detail {
void IppBufferDeleter::operator()(void* p) const { ippsFree(p); }
void RealPlanDeleter::operator()(IppsFFTSpec_R_32f* p) const { ippsFFTFree_R_32f(p); }
void ComplexPlanDeleter::operator()(IppsFFTSpec_C_32fc* p) const { ippsFFTFree_C_32fc(p); }
}  // namespace Detail

namespace {

using ScratchPtr = std::unique_ptr<Ipp8u, Detail::IppBufferDeleter>;

// Sets up one transform of n points: work buffer, transform set-up and the optional scratch the
// transform asks for. On failure everything is released and -1 returned.
template <typename Work, typename Plan, typename PlanDeleter>
int SetUp(int n, Work* (*allocate)(int), IppStatus (*init)(Plan**, int, int, IppHintAlgorithm),
          IppStatus (*scratchSize)(const Plan*, int*), int flag,
          std::unique_ptr<Work, Detail::IppBufferDeleter>& work,
          std::unique_ptr<Plan, PlanDeleter>& plan, ScratchPtr& scratch) {
  scratch.reset();
  plan.reset();
  work.reset();
  if (n < 1) return -1;
  work.reset(allocate(n));
  Plan* created = nullptr;
  if (!work || init(&created, n, flag, ippAlgHintFast) != 0) {
    work.reset();
    return -1;
  }
  plan.reset(created);
  int size = 0;
  bool ok = scratchSize(created, &size) == 0;
  if (ok && size >= 1) {  // a size below 1: the transform needs no scratch
    scratch.reset(ippsMalloc_8u(size));
    ok = scratch != nullptr;
  }
  if (!ok) {
    plan.reset();
    work.reset();
    return -1;
  }
  return 0;
}

}  // namespace

int CFFT_RToC::FFTInit(int n) {
  length_ = 0;
  if (SetUp(n, ippsMalloc_32f, tvxsFFTInitAllocLength_R_32f, ippsFFTGetBufSize_R_32f,
            IPP_FFT_DIV_FWD_BY_N, work_, plan_, scratch_) != 0)
    return -1;
  length_ = n;
  return 0;
}

int CFFT_RToC::FFT(const float* src, Ipp32fc* dst, int n) {
  if (length_ < 1 || n != length_) return -1;
  if (ippsFFTFwd_RToPack_32f(src, work_.get(), plan_.get(), scratch_.get()) != 0) return -1;
  return ippsConjPack_32fc(work_.get(), dst, n) != 0 ? -1 : 0;
}

int CFFT_CToC::FFTInit(int n) {
  length_ = 0;
  if (SetUp(n, ippsMalloc_32fc, tvxsFFTInitAllocLength_C_32fc, ippsFFTGetBufSize_C_32fc,
            IPP_FFT_DIV_INV_BY_N, work_, plan_, scratch_) != 0)
    return -1;
  length_ = n;
  return 0;
}

int CFFT_CToC::FFT(Ipp32fc* data, int n, int direction) {
  if (length_ < 1 || n != length_) return -1;
  const IppStatus status =
      direction == 1 ? ippsFFTFwd_CToC_32fc(data, work_.get(), plan_.get(), scratch_.get())
                     : ippsFFTInv_CToC_32fc(data, work_.get(), plan_.get(), scratch_.get());
  if (status != 0) return -1;
  std::copy(work_.get(), work_.get() + n, data);
  return 0;
}

}  // namespace Talvex::Common::Algorithms::Filters
