#include "common/analysis/CConnectedComp2D.h"

#include <memory>
#include <new>

#include "common/data_structures/CMatrix.h"
#include "common/data_structures/CVector.h"

namespace Talvex::Common::Algorithms::Analysis {

namespace {

using DataStructures::CMatrix;
using DataStructures::CVector;

bool ValidRows(void* const* table, int rows) {
  if (table == nullptr) return false;
  for (int r = 0; r < rows; ++r)
    if (table[r] == nullptr) return false;
  return true;
}

// Most 8-connected components a rows x cols image can hold: one per pixel of every other row and
// column. The area filter sizes its table by this rather than by floor((rows / 2) * (cols / 2)),
// which is smaller for odd sizes (0 for a single pixel, 2 for 3 x 3 where 4 components fit).
long long MaxComponents(int rows, int cols) {
  return ((static_cast<long long>(rows) + 1) / 2) * ((static_cast<long long>(cols) + 1) / 2);
}

}  // namespace

int CConnectedComp2D::FloodFill(unsigned char** image, int rows, int cols, int** labels, int row,
                                int col, int k) {
  image[row][col] = 0;
  labels[row][col] = k;
  if (record_ != 0) component_.emplace_back(row, col);
  int size = 1;
  work_.clear();
  work_.push_back({row, col});
  while (!work_.empty()) {
    const Pixel p = work_.back();
    work_.pop_back();
    const int r0 = p.row > 0 ? p.row - 1 : 0, r1 = p.row + 1 < rows ? p.row + 1 : rows - 1;
    const int c0 = p.col > 0 ? p.col - 1 : 0, c1 = p.col + 1 < cols ? p.col + 1 : cols - 1;
    for (int r = r0; r <= r1; ++r) {
      unsigned char* line = image[r];
      for (int c = c0; c <= c1; ++c) {
        if (line[c] == 0) continue;
        line[c] = 0;
        labels[r][c] = k;
        ++size;
        if (record_ != 0) component_.emplace_back(r, c);
        work_.push_back({r, c});
      }
    }
  }
  return size;
}

bool CConnectedComp2D::Removed(int size, int mode, int area1, int area2) {
  switch (mode) {
    case 1:
      return size < area1;
    case 2:
      return size > area1;
    case 3:
      return area1 < size && size < area2;
    default:
      return false;
  }
}

int CConnectedComp2D::labelConnectedComp(unsigned char** image, int rows, int cols, int** labels,
                                         int* sizes) {
  if (rows <= 0 || cols <= 0 || sizes == nullptr) return -1;
  if (!ValidRows(reinterpret_cast<void* const*>(image), rows) ||
      !ValidRows(reinterpret_cast<void* const*>(labels), rows))
    return -1;
  try {
    int k = 0;
    for (int r = 0; r < rows; ++r)
      for (int c = 0; c < cols; ++c)
        if (image[r][c] != 0) {
          ++k;
          sizes[k - 1] = FloodFill(image, rows, cols, labels, r, c, k);
        }
    return k;
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

int CConnectedComp2D::bwopenarea(unsigned char** image, int rows, int cols, int mode, int area1,
                                 int area2) {
  if (rows <= 0 || cols <= 0 || !ValidRows(reinterpret_cast<void* const*>(image), rows)) return -1;
  if (MaxComponents(rows, cols) > 0x7fffffff) return -1;
  try {
    const CMatrix<int> labelImage(rows, cols);
    CVector<int> sizes(static_cast<int>(MaxComponents(rows, cols)));
    int** labels = labelImage.getmatrix();
    record_ = 1;
    int k = 0;
    for (int r = 0; r < rows; ++r)
      for (int c = 0; c < cols; ++c) {
        if (image[r][c] == 0) continue;
        ++k;
        component_.clear();
        const int size = FloodFill(image, rows, cols, labels, r, c, k);
        sizes.getdata()[k - 1] = size;
        if (Removed(size, mode, area1, area2)) {
          for (const auto& [pr, pc] : component_) labels[pr][pc] = 0;
          sizes.getdata()[k - 1] = 0;
          --k;
        }
      }
    component_.clear();
    record_ = 0;
    for (int r = 0; r < rows; ++r)
      for (int c = 0; c < cols; ++c) image[r][c] = labels[r][c] != 0 ? 1 : 0;
    return 0;
  } catch (const std::bad_alloc&) {
    component_.clear();
    record_ = 0;
    return -1;
  }
}

}  // namespace Talvex::Common::Algorithms::Analysis
