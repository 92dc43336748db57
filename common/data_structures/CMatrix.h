// CMatrix<T>: an owning two-dimensional array, a row-pointer table over one contiguous,
// zero-initialised, 64-byte aligned block (element (r, c) is getmatrix()[r][c] and lies at
// getdata()[r * cols + c]).
//
// Element types in use: unsigned char, float, double and int (32-bit). Images keep the library's
// layout: rows are A-scans, columns are depth samples.
#pragma once

#include <algorithm>
#include <memory>
#include <new>
#include <type_traits>

#include "common/data_structures/CVector.h"
#include "common/data_structures/TalvexCmpOperation.h"
#include "platform/AlignedStorage.h"

namespace Talvex::Common::Algorithms::DataStructures {

namespace Detail {

// Builds a table of `rows` pointers into block, one every `cols` elements.
template <typename T>
T** BuildRowTable(int rows, int cols, T* block) {
  if (rows < 0 || cols < 0) throw std::bad_alloc();
  T** table = Platform::Detail::AllocateZeroed<T*>(rows);
  for (int r = 0; r < rows; ++r) table[r] = block + static_cast<long long>(r) * cols;
  return table;
}

inline long long CheckedElementCount(int rows, int cols) {
  if (rows < 0 || cols < 0) throw std::bad_alloc();
  return static_cast<long long>(rows) * cols;
}

}  // namespace Detail

template <typename T>
class CMatrix final {
 public:
  // rows x cols elements set to zero; negative or overflowing sizes throw std::bad_alloc.
  CMatrix(int rows, int cols)
      : rows_(rows),
        cols_(cols),
        block_(Platform::Detail::AllocateZeroed<T>(Detail::CheckedElementCount(rows, cols))) {
    try {
      table_ = Detail::BuildRowTable(rows, cols, block_);
    } catch (...) {
      Platform::Detail::Release(block_);
      throw;
    }
  }

  // As above, then copies rows * cols elements from value (row after row).
  CMatrix(int rows, int cols, const T* value) : CMatrix(rows, cols) {
    std::copy(value, value + static_cast<long long>(rows) * cols, block_);
  }

  ~CMatrix() {
    Platform::Detail::Release(block_);
    Platform::Detail::Release(table_);
  }
  CMatrix(const CMatrix&) = delete;
  CMatrix& operator=(const CMatrix&) = delete;

  T** getmatrix() const { return table_; }
  T* getdata() const { return block_; }
  void getdim(int* rows, int* cols) const {
    *rows = rows_;
    *cols = cols_;
  }

  // unsigned char matrices: new cols x rows matrix with element (c, r) = element (r, c).
  std::unique_ptr<CMatrix<T>> transpose() const;

  // unsigned char matrices: linear indices of the elements e for which `e <op> value` holds.
  // bColumnWise false: row-major indices r * cols + c, ascending.
  // bColumnWise true: column-major indices c * rows + r, ascending.
  std::unique_ptr<CVector<int>> find(T value, TalvexCmpOperation op, bool bColumnWise) const;

 private:
  int rows_;
  int cols_;
  T* block_;
  T** table_ = nullptr;
};

template <typename T>
std::unique_ptr<CMatrix<T>> CMatrix<T>::transpose() const {
  static_assert(std::is_same_v<T, unsigned char>, "transpose is defined for 8-bit matrices");
  auto result = std::make_unique<CMatrix<T>>(cols_, rows_);
  T* out = result->getdata();
  for (int r = 0; r < rows_; ++r) {
    const T* row = table_[r];
    for (int c = 0; c < cols_; ++c) out[static_cast<long long>(c) * rows_ + r] = row[c];
  }
  return result;
}

template <typename T>
std::unique_ptr<CVector<int>> CMatrix<T>::find(T value, TalvexCmpOperation op,
                                               bool bColumnWise) const {
  static_assert(std::is_same_v<T, unsigned char>, "find is defined for 8-bit matrices");
  const int outer = bColumnWise ? cols_ : rows_;
  const int inner = bColumnWise ? rows_ : cols_;
  auto at = [&](int o, int i) { return bColumnWise ? table_[i][o] : table_[o][i]; };
  int count = 0;
  for (int o = 0; o < outer; ++o)
    for (int i = 0; i < inner; ++i) count += Detail::CompareHolds<T>(at(o, i), value, op) ? 1 : 0;
  auto result = std::make_unique<CVector<int>>(count);
  int* out = result->getdata();
  for (int o = 0; o < outer; ++o)
    for (int i = 0; i < inner; ++i)
      if (Detail::CompareHolds<T>(at(o, i), value, op)) *out++ = o * inner + i;
  return result;
}

}  // namespace Talvex::Common::Algorithms::DataStructures
