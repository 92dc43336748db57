// CMeshgrid<T>: coordinate matrices of a regular grid.
//
// float and double build a square n x n grid from one count; int builds ny rows by nx columns.
// In every grid the last column (X) or last row (Y) holds exactly the end value, so rounding
// never moves the grid's far edge.
#pragma once

#include <algorithm>
#include <memory>
#include <type_traits>
#include <vector>

#include "common/data_structures/CMatrix.h"

namespace Talvex::Common::Algorithms::DataStructures {

namespace Detail {

// Copies row 0 into every other row.
template <typename T>
void RepeatFirstRow(CMatrix<T>& m) {
  int rows, cols;
  m.getdim(&rows, &cols);
  T** t = m.getmatrix();
  for (int r = 1; r < rows; ++r) std::copy(t[0], t[0] + cols, t[r]);
}

// Fills every row across with the value of its column 0.
template <typename T>
void SpreadFirstColumn(CMatrix<T>& m) {
  int rows, cols;
  m.getdim(&rows, &cols);
  T** t = m.getmatrix();
  for (int r = 0; r < rows; ++r) std::fill(t[r] + 1, t[r] + cols, t[r][0]);
}

}  // namespace Detail

template <typename T>
class CMeshgrid {
  static_assert(std::is_same_v<T, float> || std::is_same_v<T, double>);

 public:
  // n x n matrix whose every row is ax + i * (bx - ax) / (n - 1), i = 0 .. n-2, then exactly bx.
  // All zeros when bx <= ax; null when n < 1.
  static std::unique_ptr<CMatrix<T>> meshgridX(T ax, T bx, int n) {
    if (n < 1) return nullptr;
    auto m = std::make_unique<CMatrix<T>>(n, n);
    if (!(bx > ax)) return m;
    axisX(ax, bx, n, m->getmatrix()[0]);
    Detail::RepeatFirstRow(*m);
    return m;
  }

  // n x n matrix whose row i is filled with ay + i * (by - ay) / (n - 1), the last row with
  // exactly by. All zeros when by <= ay; null when n < 1.
  static std::unique_ptr<CMatrix<T>> meshgridY(T ay, T by, int n) {
    if (n < 1) return nullptr;
    auto m = std::make_unique<CMatrix<T>>(n, n);
    if (!(by > ay)) return m;
    std::vector<T> column(n);
    axisY(ay, by, n, column.data());
    T** t = m->getmatrix();
    for (int i = 0; i < n; ++i) t[i][0] = column[i];
    Detail::SpreadFirstColumn(*m);
    return m;
  }

  // The n values of one row of meshgridX (bx > ax, n >= 1), without the matrix: grid searches
  // that visit the nodes one at a time use it to meet exactly the same coordinates.
  static void axisX(T ax, T bx, int n, T* out) {
    for (int i = 0; i < n - 1; ++i) out[i] = static_cast<T>(ax + i * (double(bx) - ax) / (n - 1));
    out[n - 1] = bx;
  }

  // The n values of one column of meshgridY (by > ay, n >= 1), without the matrix.
  static void axisY(T ay, T by, int n, T* out) {
    const double step = n > 1 ? (double(by) - ay) / (n - 1) : 0.0;
    for (int i = 0; i < n - 1; ++i) out[i] = static_cast<T>(ay + i * step);
    out[n - 1] = by;
  }
};

template <>
class CMeshgrid<int> {
 public:
  // ny x nx matrix whose every row is ax + (i * (bx - ax)) / (nx - 1) in integer arithmetic for
  // i = 0 .. nx-2, then exactly bx. All zeros when bx <= ax; null when nx < 1 or ny < 1.
  static std::unique_ptr<CMatrix<int>> meshgridX(int ax, int bx, int nx, int ny) {
    if (nx < 1 || ny < 1) return nullptr;
    auto m = std::make_unique<CMatrix<int>>(ny, nx);
    if (bx <= ax) return m;
    int* row = m->getmatrix()[0];
    const long long span = static_cast<long long>(bx) - ax;
    for (int i = 0; i < nx - 1; ++i) row[i] = static_cast<int>(ax + (i * span) / (nx - 1));
    row[nx - 1] = bx;
    Detail::RepeatFirstRow(*m);
    return m;
  }

  // ny x nx matrix whose row i is filled with ay accumulated by the integer step
  // (by - ay) / (ny - 1) row after row; the last row holds exactly by. So (0, 10, nx, 4) gives rows
  // 0, 3, 6, 10. All zeros when by <= ay; null when nx < 1 or ny < 1.
  static std::unique_ptr<CMatrix<int>> meshgridY(int ay, int by, int nx, int ny) {
    if (nx < 1 || ny < 1) return nullptr;
    auto m = std::make_unique<CMatrix<int>>(ny, nx);
    if (by <= ay) return m;
    int** t = m->getmatrix();
    const int step = ny > 1 ? static_cast<int>((static_cast<long long>(by) - ay) / (ny - 1)) : 0;
    int value = ay;
    for (int i = 0; i < ny - 1; ++i, value += step) t[i][0] = value;
    t[ny - 1][0] = by;
    Detail::SpreadFirstColumn(*m);
    return m;
  }
};

}  // namespace Talvex::Common::Algorithms::DataStructures
