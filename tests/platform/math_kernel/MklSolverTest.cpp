#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "platform/math_kernel/TalvexMkl.h"

using namespace Talvex::Platform;

namespace {

using Dense = std::vector<std::vector<double>>;

// The numerics library's call sequence; returns the first non-zero status, else 0.
MKL_INT SparseSolve(const Dense& a, const std::vector<double>& rhs, std::vector<double>& solution,
                    bool symmetric) {
  const int n = int(a.size());
  std::vector<double> values;
  std::vector<MKL_INT> columns, rowIndex{1};
  for (int r = 0; r < n; ++r) {
    for (int c = symmetric ? r : 0; c < n; ++c) {
      if (a[r][c] != 0.0 || c == r) {  // the diagonal is always stored, zero or not
        values.push_back(a[r][c]);
        columns.push_back(c + 1);
      }
    }
    rowIndex.push_back(MKL_INT(values.size()) + 1);
  }
  solution.assign(n, -99.0);
  const MKL_INT nnz = MKL_INT(values.size()), defaults = MKL_DSS_DEFAULTS, one = 1;
  const MKL_INT type = symmetric ? MKL_DSS_SYMMETRIC : MKL_DSS_NON_SYMMETRIC;
  const MKL_INT indefinite = MKL_DSS_INDEFINITE;
  MKL_DSS_HANDLE h = nullptr;
  MKL_INT status = dss_create_(&h, &defaults);
  if (status == 0) {
    status = dss_define_structure_(&h, &type, rowIndex.data(), &n, &n, columns.data(), &nnz);
  }
  if (status == 0) status = dss_reorder_(&h, &defaults, nullptr);
  if (status == 0) status = dss_factor_real_(&h, &indefinite, values.data());
  if (status == 0) status = dss_solve_real_(&h, &defaults, rhs.data(), &one, solution.data());
  const MKL_INT deleted = dss_delete_(&h, &defaults);
  return status != 0 ? status : deleted;
}

// A random sparse n x n matrix, diagonally dominant; symmetric positive definite when asked.
Dense RandomSparse(int n, bool symmetric, std::mt19937& rng) {
  std::uniform_real_distribution<double> v(-1.0, 1.0);
  std::bernoulli_distribution present(0.3);
  Dense a(n, std::vector<double>(n, 0.0));
  for (int r = 0; r < n; ++r) {
    for (int c = 0; c < n; ++c) {
      if (c == r || !present(rng)) continue;
      a[r][c] = v(rng);
      if (symmetric) a[c][r] = a[r][c];
    }
  }
  for (int r = 0; r < n; ++r) a[r][r] = n + v(rng);
  return a;
}

}  // namespace

TEST(SparseSolver, SolvesOneByOneSymmetricUpperTriangleAndGeneralSystems) {
  std::vector<double> s;
  for (bool symmetric : {true, false}) {
    ASSERT_EQ(SparseSolve({{2.0}}, {4.0}, s, symmetric), 0);
    EXPECT_DOUBLE_EQ(s[0], 2.0);
  }
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> v(-5.0, 5.0);
  for (bool symmetric : {true, false}) {
    for (int n : {2, 5, 12}) {
      const Dense a = RandomSparse(n, symmetric, rng);
      std::vector<double> b(n);
      for (double& e : b) e = v(rng);
      ASSERT_EQ(SparseSolve(a, b, s, symmetric), 0);
      for (int i = 0; i < n; ++i) {  // residual against the FULL matrix
        double r = -b[i];
        for (int j = 0; j < n; ++j) r += a[i][j] * s[j];
        EXPECT_NEAR(r, 0.0, 1e-12) << symmetric << n;
      }
    }
  }
  // A symmetric indefinite matrix with a zero leading pivot.
  ASSERT_EQ(SparseSolve({{0.0, 1.0}, {1.0, 0.0}}, {2.0, 3.0}, s, true), 0);
  EXPECT_DOUBLE_EQ(s[0], 3.0);
  EXPECT_DOUBLE_EQ(s[1], 2.0);
}

// Normal equations of a grid fit on a 30 x 30 grid (y fastest): bilinear rows for scattered
// samples and second differences along both axes, A = M^T M. After the fill-reducing ordering
// its factor is made of dense supernodes (the grid's separators), the symmetric path's
// factorisation; the residual against the full matrix is the check.
TEST(SparseSolver, SolvesGridNormalEquationsThroughTheirDenseSupernodes) {
  const int nx = 30, ny = 30, n = nx * ny;
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::vector<std::vector<std::pair<int, double>>> rows;
  for (int k = 0; k < 3 * n; ++k) {  // samples in random cells
    const int ix = int(unit(rng) * (nx - 1)), iy = int(unit(rng) * (ny - 1));
    const double tx = unit(rng), ty = unit(rng);
    const int g = ix * ny + iy;
    rows.push_back({{g, (1 - tx) * (1 - ty)},
                    {g + 1, (1 - tx) * ty},
                    {g + ny, tx * (1 - ty)},
                    {g + ny + 1, tx * ty}});
  }
  for (int ix = 0; ix < nx; ++ix) {
    for (int iy = 1; iy + 1 < ny; ++iy)
      rows.push_back({{ix * ny + iy - 1, -1}, {ix * ny + iy, 2}, {ix * ny + iy + 1, -1}});
  }
  for (int ix = 1; ix + 1 < nx; ++ix) {
    for (int iy = 0; iy < ny; ++iy)
      rows.push_back({{(ix - 1) * ny + iy, -1}, {ix * ny + iy, 2}, {(ix + 1) * ny + iy, -1}});
  }
  Dense a(n, std::vector<double>(n, 0.0));
  for (const auto& row : rows)
    for (const auto& [i, u] : row)
      for (const auto& [j, w] : row) a[i][j] += u * w;
  std::vector<double> b(n), s;
  for (double& e : b) e = 10.0 * unit(rng) - 5.0;
  ASSERT_EQ(SparseSolve(a, b, s, true), 0);
  double worst = 0;
  for (int i = 0; i < n; ++i) {
    double r = -b[i];
    for (int j = 0; j < n; ++j) r += a[i][j] * s[j];
    worst = std::max(worst, std::fabs(r));
  }
  EXPECT_LT(worst, 1e-9);
}

TEST(SparseSolver, FixesUnknownsWithAllZeroRowsToZeroAndFailsOnASingularRemainder) {
  std::vector<double> s;
  const Dense sym = {{4, 0, 1, 0}, {0, 0, 0, 0}, {1, 0, 3, 0}, {0, 0, 0, 2}};
  ASSERT_EQ(SparseSolve(sym, {5, 7, 4, 6}, s, true), 0);
  EXPECT_NEAR(s[0], 1.0, 1e-14);
  EXPECT_EQ(s[1], 0.0);
  EXPECT_NEAR(s[2], 1.0, 1e-14);
  EXPECT_NEAR(s[3], 3.0, 1e-14);
  // General mode: the zero row fixes its unknown even though its column has entries.
  ASSERT_EQ(SparseSolve({{2, 1, 0}, {0, 0, 0}, {0, 1, 4}}, {2, 9, 8}, s, false), 0);
  EXPECT_NEAR(s[0], 1.0, 1e-14);
  EXPECT_EQ(s[1], 0.0);
  EXPECT_NEAR(s[2], 2.0, 1e-14);
  EXPECT_NE(SparseSolve({{1, 1, 0}, {1, 1, 0}, {0, 0, 0}}, {1, 1, 0}, s, true), 0);
  EXPECT_NE(SparseSolve({{1, 2}, {2, 4}}, {1, 1}, s, false), 0);
}

TEST(SparseSolver, RejectsMalformedStructures) {
  const MKL_INT defaults = MKL_DSS_DEFAULTS, sym = MKL_DSS_SYMMETRIC, n = 2, nnz = 3;
  const MKL_INT rowIndex[] = {1, 3, 4}, lower[] = {1, 2, 1}, badRows[] = {1, 3, 3};
  const MKL_INT upper[] = {1, 2, 2}, pastTheEntries[] = {1, 9, 4};
  MKL_DSS_HANDLE h = nullptr;
  ASSERT_EQ(dss_create_(&h, &defaults), 0);
  EXPECT_EQ(dss_define_structure_(&h, &sym, rowIndex, &n, &n, lower, &nnz), MKL_DSS_COL_ERR);
  EXPECT_EQ(dss_define_structure_(&h, &sym, badRows, &n, &n, upper, &nnz), MKL_DSS_ROW_ERR);
  // A row start beyond the entries is refused before any column is read (sanitizer-checked).
  const std::vector<MKL_INT> columns(upper, upper + 3);
  EXPECT_EQ(dss_define_structure_(&h, &sym, pastTheEntries, &n, &n, columns.data(), &nnz),
            MKL_DSS_ROW_ERR);
  const double values[] = {1.0, 0.0, 1.0};
  EXPECT_EQ(dss_factor_real_(&h, &defaults, values), MKL_DSS_STATE_ERR);
  EXPECT_EQ(dss_delete_(&h, &defaults), 0);
  EXPECT_EQ(h, nullptr);
}

TEST(DenseSolve, SolvesAThreeByThreeSystemAndReportsASingularMatrix) {
  // Column-major A = [[2, 1, 1], [1, 3, 2], [1, 0, 0]], x = (1, 2, 3).
  double a[] = {2, 1, 1, 1, 3, 0, 1, 2, 0};
  double b[] = {7, 13, 1};
  MKL_INT n = 3, nrhs = 1, ipiv[3], info = -99;
  dgesv(&n, &nrhs, a, &n, ipiv, b, &n, &info);
  ASSERT_EQ(info, 0);
  EXPECT_NEAR(b[0], 1.0, 1e-14);
  EXPECT_NEAR(b[1], 2.0, 1e-14);
  EXPECT_NEAR(b[2], 3.0, 1e-14);

  double singular[] = {1, 2, 4, 2, 4, 8, 0, 1, 1};
  double rhs[] = {1, 1, 1};
  dgesv(&n, &nrhs, singular, &n, ipiv, rhs, &n, &info);
  EXPECT_GT(info, 0);
  MKL_INT smallLda = 2;
  dgesv(&n, &nrhs, a, &smallLda, ipiv, b, &n, &info);
  EXPECT_EQ(info, -4);
}
