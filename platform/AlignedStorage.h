// Allocation helpers shared by the primitives and the containers: zero-filled, 64-byte aligned
// element blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <type_traits>

namespace Talvex::Platform::Detail {

// Alignment of every container block: one cache line, wide enough for any vector unit in use.
inline constexpr std::size_t kBlockAlignment = 64;

// Allocates `count` zero-filled elements of T on a 64-byte boundary.
// A negative count, or one whose byte size overflows, is a failed allocation (std::bad_alloc).
// A count of 0 still returns a valid (one-line) block so that element 0's address is usable.
template <typename T>
T* AllocateZeroed(long long count) {
  static_assert(std::is_trivially_copyable_v<T>, "containers hold plain numeric elements only");
  constexpr long long kMaxCount = static_cast<long long>(PTRDIFF_MAX / sizeof(T)) - 64;
  if (count < 0 || count > kMaxCount) throw std::bad_alloc();
  std::size_t bytes = static_cast<std::size_t>(count == 0 ? 1 : count) * sizeof(T);
  bytes = (bytes + kBlockAlignment - 1) / kBlockAlignment * kBlockAlignment;
  void* block = ::operator new (bytes, std::align_val_t{kBlockAlignment});
  std::memset(block, 0, bytes);
  return static_cast<T*>(block);
}

template <typename T>
void Release(T* block) noexcept {
  if (block != nullptr) ::operator delete (block, std::align_val_t{kBlockAlignment});
}

}  // namespace Talvex::Platform::Detail
