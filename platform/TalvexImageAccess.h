// Helpers shared by the image primitives: row addressing by byte step, the argument check of one
// image, and an owning aligned scratch block that reports allocation failure instead of throwing.
#pragma once

#include <cstddef>
#include <new>
#include <type_traits>

#include "common/data_structures/AlignedStorage.h"
#include "platform/TalvexIppTypes.h"

namespace Talvex::Platform::Detail {

// Row y of an image whose rows are `step` bytes apart.
template <typename T>
inline T* RowAt(T* base, int step, int y) {
  using Byte = std::conditional_t<std::is_const_v<T>, const char, char>;
  return reinterpret_cast<T*>(reinterpret_cast<Byte*>(base) +
                              static_cast<std::ptrdiff_t>(step) * y);
}

// Status of one image argument: null pointer, empty region, or a row step shorter than a row.
template <typename T>
inline IppStatus CheckImage(const T* p, int step, IppiSize size) {
  if (p == nullptr) return ippStsNullPtrErr;
  if (size.width <= 0 || size.height <= 0) return ippStsSizeErr;
  if (static_cast<long long>(step) <
      static_cast<long long>(size.width) * static_cast<long long>(sizeof(T)))
    return ippStsStepErr;
  return ippStsNoErr;
}

// Owning 64-byte aligned, zero-filled scratch block; empty when the allocation failed.
template <typename T>
class Scratch {
 public:
  explicit Scratch(long long count) noexcept {
    try {
      data_ = Common::Algorithms::DataStructures::Detail::AllocateZeroed<T>(count);
    } catch (const std::bad_alloc&) {
      data_ = nullptr;
    }
  }
  ~Scratch() { Common::Algorithms::DataStructures::Detail::Release(data_); }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  T* get() const noexcept { return data_; }
  explicit operator bool() const noexcept { return data_ != nullptr; }

 private:
  T* data_ = nullptr;
};

}  // namespace Talvex::Platform::Detail
