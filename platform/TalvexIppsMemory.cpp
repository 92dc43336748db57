// Aligned, zero-filled work buffers for the primitives and their callers.
#include <cstddef>
#include <cstring>
#include <new>

#include "platform/TalvexIpps.h"

namespace Talvex::Platform {

namespace {

// One cache line: wide enough for any vector unit in use.
constexpr std::size_t kAlignment = 64;

void* AllocateAligned(int count, std::size_t elementSize) {
  if (count < 1) return nullptr;
  std::size_t bytes = static_cast<std::size_t>(count) * elementSize;
  bytes = (bytes + kAlignment - 1) / kAlignment * kAlignment;
  void* block = ::operator new (bytes, std::align_val_t{kAlignment}, std::nothrow);
  // Zero-filled so that a caller reading scratch before writing it sees the same values on
  // every run.
  if (block != nullptr) std::memset(block, 0, bytes);
  return block;
}

}  // namespace

Ipp8u* ippsMalloc_8u(int len) { return static_cast<Ipp8u*>(AllocateAligned(len, sizeof(Ipp8u))); }

Ipp32f* ippsMalloc_32f(int len) {
  return static_cast<Ipp32f*>(AllocateAligned(len, sizeof(Ipp32f)));
}

Ipp32fc* ippsMalloc_32fc(int len) {
  return static_cast<Ipp32fc*>(AllocateAligned(len, sizeof(Ipp32fc)));
}

void ippsFree(void* ptr) {
  if (ptr != nullptr) ::operator delete (ptr, std::align_val_t{kAlignment});
}

}  // namespace Talvex::Platform
