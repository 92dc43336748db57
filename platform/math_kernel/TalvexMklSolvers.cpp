// Direct sparse solver: a supernodal Cholesky factorisation for symmetric positive definite
// matrices given by their upper triangle, Eigen's simplicial LDL^T where that finds a
// non-positive pivot and Eigen's supernodal LU for general matrices; the dense LU solve over
// reference LAPACK.
//
// The grid fit of the thickness maps hands over the upper triangle of its symmetric normal
// equations; with no smoothing, grid nodes that no sample touches have an all-zero row. Those
// unknowns are fixed to 0 and set aside, and the rest is factorised: this is what a direct
// solver's pivot perturbation effectively does to them, without perturbing the remaining nodes.
#include <Eigen/OrderingMethods>
#include <Eigen/SparseCholesky>
#include <Eigen/SparseCore>
#include <Eigen/SparseLU>
#include <algorithm>
#include <cmath>
#include <memory>
#include <new>
#include <vector>

#include "platform/math_kernel/SupernodalCholesky.h"
#include "platform/math_kernel/TalvexMkl.h"

extern "C" void dgesv_(const int* n, const int* nrhs, double* a, const int* lda, int* ipiv,
                       double* b, const int* ldb, int* info);

namespace Talvex::Platform {

namespace {

using SparseMatrix = Eigen::SparseMatrix<double, Eigen::ColMajor, int>;
using Ldlt = Eigen::SimplicialLDLT<SparseMatrix, Eigen::Lower, Eigen::AMDOrdering<int>>;
using Lu = Eigen::SparseLU<SparseMatrix, Eigen::COLAMDOrdering<int>>;

enum class Stage { Created, Structured, Reordered, Factored };

}  // namespace

struct DssSolver {
  Stage stage = Stage::Created;
  bool upperOnly = false;  // symmetric matrix given by its upper triangle
  MKL_INT n = 0;
  std::vector<MKL_INT> rowStart;  // 0-based, n + 1 entries
  std::vector<MKL_INT> columns;   // 0-based column of each entry
  // Position of each unknown among the factorised ones, or -1 for an unknown fixed to 0.
  std::vector<MKL_INT> reduced;
  MKL_INT nReduced = 0;
  std::unique_ptr<Detail::SupernodalCholesky> cholesky;
  std::unique_ptr<Ldlt> ldlt;
  std::unique_ptr<Lu> lu;
  Eigen::VectorXd rhs;
  Eigen::VectorXd solution;
};

namespace {

// Whether the columns of every row strictly ascend (no entry given twice).
bool ColumnsAscend(const DssSolver& s) {
  for (MKL_INT r = 0; r < s.n; ++r)
    for (MKL_INT k = s.rowStart[r] + 1; k < s.rowStart[r + 1]; ++k)
      if (s.columns[k] <= s.columns[k - 1]) return false;
  return true;
}

// The lower triangle of the reduced matrix straight from upper-triangle rows whose columns
// ascend: row r of the upper triangle is column r of the lower one, its rows ascending, and the
// renumbering of the kept unknowns keeps their order, so this is the matrix the triplet assembly
// gives, without its sort.
void ReducedLower(const DssSolver& s, const double* values, SparseMatrix& a) {
  a.resize(s.nReduced, s.nReduced);
  MKL_INT count = 0;
  for (MKL_INT r = 0; r < s.n; ++r) {
    if (s.reduced[r] < 0) continue;
    for (MKL_INT k = s.rowStart[r]; k < s.rowStart[r + 1]; ++k)
      count += s.reduced[s.columns[k]] >= 0;
  }
  a.resizeNonZeros(count);
  int* outer = a.outerIndexPtr();
  int* inner = a.innerIndexPtr();
  double* value = a.valuePtr();
  MKL_INT q = 0;
  for (MKL_INT r = 0; r < s.n; ++r) {
    if (s.reduced[r] < 0) continue;
    outer[s.reduced[r]] = q;
    for (MKL_INT k = s.rowStart[r]; k < s.rowStart[r + 1]; ++k) {
      const MKL_INT c = s.reduced[s.columns[k]];
      if (c < 0) continue;
      inner[q] = c;
      value[q++] = values[k];
    }
  }
  outer[s.nReduced] = q;
}

// Fills the reduced matrix from the caller's values. Upper-triangle rows read as compressed
// columns are the lower triangle, which is what the LDL^T factorisation reads; `mirror` adds the
// strictly upper part too (for the LU fallback).
void BuildReduced(const DssSolver& s, const double* values, bool mirror, SparseMatrix& a) {
  if (s.upperOnly && !mirror && ColumnsAscend(s)) return ReducedLower(s, values, a);
  std::vector<Eigen::Triplet<double, int>> entries;
  entries.reserve(static_cast<std::size_t>(s.rowStart[s.n]) * (mirror ? 2 : 1));
  for (MKL_INT r = 0; r < s.n; ++r) {
    const MKL_INT rr = s.reduced[r];
    if (rr < 0) continue;
    for (MKL_INT k = s.rowStart[r]; k < s.rowStart[r + 1]; ++k) {
      const MKL_INT cr = s.reduced[s.columns[k]];
      if (cr < 0) continue;
      if (s.upperOnly) {
        entries.emplace_back(cr, rr, values[k]);
        if (mirror && cr != rr) entries.emplace_back(rr, cr, values[k]);
      } else {
        entries.emplace_back(rr, cr, values[k]);
      }
    }
  }
  a.resize(s.nReduced, s.nReduced);
  a.setFromTriplets(entries.begin(), entries.end());
  a.makeCompressed();
}

MKL_INT FactorReduced(DssSolver& s, const double* values) {
  s.cholesky.reset();
  s.ldlt.reset();
  s.lu.reset();
  if (s.nReduced == 0) return MKL_DSS_SUCCESS;
  SparseMatrix a;
  if (s.upperOnly) {
    BuildReduced(s, values, false, a);
    auto cholesky = std::make_unique<Detail::SupernodalCholesky>();
    if (cholesky->Factorize(a)) {
      s.cholesky = std::move(cholesky);
      return MKL_DSS_SUCCESS;
    }
    // Not positive definite: LDL^T, which also factorises regular indefinite matrices.
    auto ldlt = std::make_unique<Ldlt>();
    ldlt->compute(a);
    if (ldlt->info() == Eigen::Success) {
      s.ldlt = std::move(ldlt);
      return MKL_DSS_SUCCESS;
    }
    // A vanishing pivot of a regular indefinite matrix: factorise the full matrix with pivoting.
    BuildReduced(s, values, true, a);
  } else {
    BuildReduced(s, values, false, a);
  }
  auto lu = std::make_unique<Lu>();
  lu->analyzePattern(a);
  lu->factorize(a);
  if (lu->info() != Eigen::Success) return MKL_DSS_ZERO_PIVOT;
  s.lu = std::move(lu);
  return MKL_DSS_SUCCESS;
}

}  // namespace

MKL_INT dss_create_(MKL_DSS_HANDLE* handle, const MKL_INT* opt) {
  if (handle == nullptr || opt == nullptr) return MKL_DSS_INVALID_OPTION;
  *handle = new (std::nothrow) DssSolver;
  return *handle == nullptr ? MKL_DSS_OUT_OF_MEMORY : MKL_DSS_SUCCESS;
}

MKL_INT dss_define_structure_(MKL_DSS_HANDLE* handle, const MKL_INT* opt, const MKL_INT* rowIndex,
                              const MKL_INT* nRows, const MKL_INT* nCols, const MKL_INT* columns,
                              const MKL_INT* nNonZeros) {
  if (handle == nullptr || *handle == nullptr || opt == nullptr || rowIndex == nullptr ||
      nRows == nullptr || nCols == nullptr || nNonZeros == nullptr) {
    return MKL_DSS_INVALID_OPTION;
  }
  DssSolver& s = **handle;
  if (s.stage != Stage::Created) return MKL_DSS_STATE_ERR;
  if (*opt != MKL_DSS_SYMMETRIC && *opt != MKL_DSS_NON_SYMMETRIC &&
      *opt != MKL_DSS_SYMMETRIC_STRUCTURE) {
    return MKL_DSS_INVALID_OPTION;
  }
  const MKL_INT n = *nRows;
  const MKL_INT nnz = *nNonZeros;
  if (n < 1 || *nCols < 1) return MKL_DSS_ROW_ERR;
  if (*nCols != n) return MKL_DSS_NOT_SQUARE;
  if (nnz < 0 || (nnz > 0 && columns == nullptr)) return MKL_DSS_COL_ERR;
  // Row starts must run from 1 to nnz + 1 without decreasing; each is checked before the
  // columns of its row are read, so a malformed pointer never leads past the column array.
  const long long end = static_cast<long long>(nnz) + 1;
  if (rowIndex[0] != 1 || rowIndex[n] != end) return MKL_DSS_ROW_ERR;
  const bool upperOnly = *opt == MKL_DSS_SYMMETRIC;
  for (MKL_INT r = 0; r < n; ++r) {
    if (rowIndex[r + 1] < rowIndex[r] || rowIndex[r + 1] > end) return MKL_DSS_ROW_ERR;
    for (MKL_INT k = rowIndex[r] - 1; k < rowIndex[r + 1] - 1; ++k) {
      const MKL_INT c = columns[k];
      if (c < 1 || c > n || (upperOnly && c < r + 1)) return MKL_DSS_COL_ERR;
    }
  }
  try {
    s.rowStart.resize(static_cast<std::size_t>(n) + 1);
    s.columns.resize(static_cast<std::size_t>(nnz));
    s.reduced.resize(static_cast<std::size_t>(n));
  } catch (const std::bad_alloc&) {
    return MKL_DSS_OUT_OF_MEMORY;
  }
  for (MKL_INT r = 0; r <= n; ++r) s.rowStart[r] = rowIndex[r] - 1;
  for (MKL_INT k = 0; k < nnz; ++k) s.columns[k] = columns[k] - 1;
  s.n = n;
  s.upperOnly = upperOnly;
  s.stage = Stage::Structured;
  return MKL_DSS_SUCCESS;
}

MKL_INT dss_reorder_(MKL_DSS_HANDLE* handle, const MKL_INT* opt, const MKL_INT* /*perm*/) {
  if (handle == nullptr || *handle == nullptr || opt == nullptr) return MKL_DSS_INVALID_OPTION;
  if (*opt != MKL_DSS_DEFAULTS && *opt != MKL_DSS_AUTO_ORDER) return MKL_DSS_INVALID_OPTION;
  DssSolver& s = **handle;
  if (s.stage == Stage::Created) return MKL_DSS_STATE_ERR;
  // The ordering itself is computed with the factorisation, on the unknowns that remain.
  if (s.stage == Stage::Structured) s.stage = Stage::Reordered;
  return MKL_DSS_SUCCESS;
}

MKL_INT dss_factor_real_(MKL_DSS_HANDLE* handle, const MKL_INT* opt, const double* rValues) {
  if (handle == nullptr || *handle == nullptr || opt == nullptr) return MKL_DSS_INVALID_OPTION;
  if (*opt != MKL_DSS_INDEFINITE && *opt != MKL_DSS_POSITIVE_DEFINITE && *opt != MKL_DSS_DEFAULTS) {
    return MKL_DSS_INVALID_OPTION;
  }
  DssSolver& s = **handle;
  if (s.stage == Stage::Created || s.stage == Stage::Structured) return MKL_DSS_STATE_ERR;
  if (rValues == nullptr && s.rowStart[s.n] > 0) return MKL_DSS_VALUES_ERR;
  s.stage = Stage::Reordered;

  // An unknown is kept when its row of the full matrix holds a non-zero value. In the
  // upper-triangle form, entry (r, c) is also entry (c, r) of the full matrix.
  std::fill(s.reduced.begin(), s.reduced.end(), -1);
  for (MKL_INT r = 0; r < s.n; ++r) {
    for (MKL_INT k = s.rowStart[r]; k < s.rowStart[r + 1]; ++k) {
      if (rValues[k] != 0.0) {
        s.reduced[r] = 0;
        if (s.upperOnly) s.reduced[s.columns[k]] = 0;
      }
    }
  }
  MKL_INT kept = 0;
  for (MKL_INT r = 0; r < s.n; ++r) {
    if (s.reduced[r] == 0) s.reduced[r] = kept++;
  }
  s.nReduced = kept;
  MKL_INT status;
  try {
    s.rhs.resize(kept);
    s.solution.resize(kept);
    status = FactorReduced(s, rValues);
  } catch (const std::bad_alloc&) {
    s.cholesky.reset();
    s.ldlt.reset();
    s.lu.reset();
    return MKL_DSS_OUT_OF_MEMORY;
  }
  if (status == MKL_DSS_SUCCESS) s.stage = Stage::Factored;
  return status;
}

MKL_INT dss_solve_real_(MKL_DSS_HANDLE* handle, const MKL_INT* opt, const double* rRhsValues,
                        const MKL_INT* nRhs, double* rSolValues) {
  if (handle == nullptr || *handle == nullptr || opt == nullptr || rRhsValues == nullptr ||
      nRhs == nullptr || rSolValues == nullptr || *nRhs < 1 || *opt != MKL_DSS_DEFAULTS) {
    return MKL_DSS_INVALID_OPTION;
  }
  DssSolver& s = **handle;
  if (s.stage != Stage::Factored) return MKL_DSS_STATE_ERR;
  const std::size_t n = static_cast<std::size_t>(s.n);
  for (MKL_INT j = 0; j < *nRhs; ++j) {
    const double* b = rRhsValues + j * n;
    double* x = rSolValues + j * n;
    if (s.nReduced > 0) {
      for (std::size_t i = 0; i < n; ++i) {
        if (s.reduced[i] >= 0) s.rhs[s.reduced[i]] = b[i];
      }
      if (s.cholesky) {
        s.cholesky->Solve(s.rhs.data(), s.solution.data());
      } else if (s.ldlt) {
        s.solution = s.ldlt->solve(s.rhs);
      } else {
        s.solution = s.lu->solve(s.rhs);
      }
    }
    bool finite = true;
    for (std::size_t i = 0; i < n; ++i) {
      const MKL_INT ri = s.reduced[i];
      x[i] = ri >= 0 ? s.solution[ri] : 0.0;
      finite = finite && std::isfinite(x[i]);
    }
    if (!finite) return MKL_DSS_ZERO_PIVOT;
  }
  return MKL_DSS_SUCCESS;
}

MKL_INT dss_delete_(MKL_DSS_HANDLE* handle, const MKL_INT* /*opt*/) {
  if (handle == nullptr) return MKL_DSS_INVALID_OPTION;
  delete *handle;
  *handle = nullptr;
  return MKL_DSS_SUCCESS;
}

void dgesv(const MKL_INT* n, const MKL_INT* nrhs, double* a, const MKL_INT* lda, MKL_INT* ipiv,
           double* b, const MKL_INT* ldb, MKL_INT* info) {
  if (info == nullptr) return;
  // Reference LAPACK stops the process on a bad argument, so every argument is checked here.
  if (n == nullptr || *n < 0) {
    *info = -1;
  } else if (nrhs == nullptr || *nrhs < 0) {
    *info = -2;
  } else if (a == nullptr && *n > 0) {
    *info = -3;
  } else if (lda == nullptr || *lda < (*n > 1 ? *n : 1)) {
    *info = -4;
  } else if (ipiv == nullptr && *n > 0) {
    *info = -5;
  } else if (b == nullptr && *n > 0 && *nrhs > 0) {
    *info = -6;
  } else if (ldb == nullptr || *ldb < (*n > 1 ? *n : 1)) {
    *info = -7;
  } else if (*n == 0 || *nrhs == 0) {
    *info = 0;
    if (*n > 0 && *nrhs == 0) dgesv_(n, nrhs, a, lda, ipiv, b, ldb, info);
  } else {
    dgesv_(n, nrhs, a, lda, ipiv, b, ldb, info);
  }
}

}  // namespace Talvex::Platform
