// Aligned, zero-filled work buffers for the primitives and their callers.
#include <new>

#include "platform/AlignedStorage.h"
#include "platform/signal/TalvexIpps.h"

namespace Talvex::Platform {

namespace {

namespace Blocks = Platform::Detail;

// The containers' 64-byte aligned, zero-filled blocks (zero-filled so that a caller reading
// scratch before writing it sees the same values on every run); null instead of an exception.
template <typename T>
T* AllocateAligned(int count) noexcept {
  if (count < 1) return nullptr;
  try {
    return Blocks::AllocateZeroed<T>(count);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

}  // namespace

Ipp8u* ippsMalloc_8u(int len) { return AllocateAligned<Ipp8u>(len); }

Ipp32f* ippsMalloc_32f(int len) { return AllocateAligned<Ipp32f>(len); }

Ipp32fc* ippsMalloc_32fc(int len) { return AllocateAligned<Ipp32fc>(len); }

void ippsFree(void* ptr) { Blocks::Release(static_cast<Ipp8u*>(ptr)); }

}  // namespace Talvex::Platform
