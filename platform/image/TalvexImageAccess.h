// Helpers shared by the image primitives: row addressing by byte step, the argument check of one
// image, and an owning aligned scratch block that reports allocation failure instead of throwing.
#pragma once

#include <cstddef>
#include <new>
#include <type_traits>

#include "platform/AlignedStorage.h"
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

// Float to 8 bits: round to nearest with halves upwards, saturated to 0 .. 255 (NaN gives 0).
// Adding 0.49999997f (the float just below one half) and truncating equals floor(v + 0.5) for every
// float in [0, 255] (checked exhaustively); adding 0.5f instead rounds 0.49999997f itself up to 1.
// The clamp comes after the addition so that loops over rows of sums vectorise.
constexpr float kJustBelowHalf = 0.49999997f;
inline Ipp8u RoundToByte(float v) {
  v += kJustBelowHalf;
  v = v > 0.0f ? v : 0.0f;
  v = v < 255.0f ? v : 255.0f;
  return static_cast<Ipp8u>(static_cast<int>(v));
}

// Owning 64-byte aligned, zero-filled scratch block; empty when the allocation failed.
template <typename T>
class Scratch {
 public:
  explicit Scratch(long long count) noexcept {
    try {
      data_ = Detail::AllocateZeroed<T>(count);
    } catch (const std::bad_alloc&) {
      data_ = nullptr;
    }
  }
  ~Scratch() { Detail::Release(data_); }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  T* get() const noexcept { return data_; }
  T& operator[](std::ptrdiff_t i) const noexcept { return data_[i]; }
  explicit operator bool() const noexcept { return data_ != nullptr; }

 private:
  T* data_ = nullptr;
};

}  // namespace Talvex::Platform::Detail
