// CVector<T>: an owning, zero-initialised, 64-byte aligned one-dimensional array.
//
// Element types in use: unsigned char, float, double, int (32-bit) and Ipp32fc.
// Containers are never copied; engines hold them in a std::unique_ptr for the duration of an
// operation and work on the raw pointer from getdata(). No operation checks indices.
#pragma once

#include <algorithm>
#include <memory>
#include <type_traits>

#include "common/data_structures/TalvexCmpOperation.h"
#include "platform/AlignedStorage.h"
#include "platform/TalvexIppTypes.h"

namespace Talvex::Common::Algorithms::DataStructures {

template <typename T>
class CVector final {
 public:
  // Allocates len elements set to zero. len < 0 (or an overflowing size) throws std::bad_alloc.
  explicit CVector(int len) : length_(len), data_(Platform::Detail::AllocateZeroed<T>(len)) {}

  // Allocates len elements and copies len elements from value (a copy, not a view).
  CVector(int len, const T* value) : CVector(len) {
    if (len > 0) std::copy(value, value + len, data_);
  }

  ~CVector() { Platform::Detail::Release(data_); }
  CVector(const CVector&) = delete;
  CVector& operator=(const CVector&) = delete;

  T* getdata() const { return data_; }
  int getlength() const { return length_; }

  // int vectors only. Copy of a sub-range: len <= 0 becomes 1, from < 0 becomes 0, from is limited
  // to length - 1 and len to length - from. An empty vector gives an empty copy.
  std::unique_ptr<CVector<int>> crop(int from, int len) const;

  // int vectors only. Ascending indices of the elements e for which `e <op> value` holds.
  std::unique_ptr<CVector<int>> find(int value, TalvexCmpOperation op) const;

  // int vectors only. this followed by vec (mode false), or vec followed by this (mode true).
  std::unique_ptr<CVector<int>> concat(const CVector<int>& vec, bool mode) const;

 private:
  int length_;
  T* data_;
};

template <typename T>
std::unique_ptr<CVector<int>> CVector<T>::crop(int from, int len) const {
  static_assert(std::is_same_v<T, int>, "crop is defined for int vectors");
  // No element to clamp to: without this, from would become -1 and the copy read before the block.
  if (length_ <= 0) return std::make_unique<CVector<int>>(0);
  if (len <= 0) len = 1;
  if (from < 0) from = 0;
  from = std::min(from, length_ - 1);
  len = std::min(len, length_ - from);
  return std::make_unique<CVector<int>>(len, data_ + from);
}

template <typename T>
std::unique_ptr<CVector<int>> CVector<T>::find(int value, TalvexCmpOperation op) const {
  static_assert(std::is_same_v<T, int>, "find is defined for int vectors");
  int count = 0;
  for (int i = 0; i < length_; ++i) count += Detail::CompareHolds(data_[i], value, op) ? 1 : 0;
  auto result = std::make_unique<CVector<int>>(count);
  int* out = result->getdata();
  for (int i = 0; i < length_; ++i) {
    if (Detail::CompareHolds(data_[i], value, op)) *out++ = i;
  }
  return result;
}

template <typename T>
std::unique_ptr<CVector<int>> CVector<T>::concat(const CVector<int>& vec, bool mode) const {
  static_assert(std::is_same_v<T, int>, "concat is defined for int vectors");
  auto result = std::make_unique<CVector<int>>(length_ + vec.getlength());
  const CVector<int>& first = mode ? vec : *this;
  const CVector<int>& second = mode ? *this : vec;
  std::copy(first.getdata(), first.getdata() + first.getlength(), result->getdata());
  std::copy(second.getdata(), second.getdata() + second.getlength(),
            result->getdata() + first.getlength());
  return result;
}

}  // namespace Talvex::Common::Algorithms::DataStructures
