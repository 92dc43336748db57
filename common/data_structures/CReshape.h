// CReshape<T>: a rows x cols row-pointer view over a buffer owned by someone else. Only the row
// table is owned; the buffer is neither copied nor released. Element types in use: unsigned char,
// float and double.
#pragma once

#include "common/data_structures/CMatrix.h"
#include "platform/AlignedStorage.h"

namespace Talvex::Common::Algorithms::DataStructures {

template <typename T>
class CReshape final {
 public:
  // value must hold rows * cols elements and outlive the view.
  CReshape(int rows, int cols, T* value)
      : rows_(rows), cols_(cols), table_(Detail::BuildRowTable(rows, cols, value)) {}
  ~CReshape() { Platform::Detail::Release(table_); }
  CReshape(const CReshape&) = delete;
  CReshape& operator=(const CReshape&) = delete;

  T** getmatrix() const { return table_; }
  void getdim(int* rows, int* cols) const {
    *rows = rows_;
    *cols = cols_;
  }

 private:
  int rows_;
  int cols_;
  T** table_;
};

}  // namespace Talvex::Common::Algorithms::DataStructures
