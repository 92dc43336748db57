// Math-kernel services of the platform layer: the cubic data-fitting spline, the finite-difference
// Jacobian, the process-wide thread count, the direct sparse solver and the dense LU solve.
//
// The numerics code calls these under the math-kernel vendor's names and argument conventions
// (integers of type MKL_INT, opaque task and solver handles, status 0 for success) so that it
// reads like the algorithms it implements. Everything lives in the project's own namespace, so a
// host process that also loads the vendor library cannot collide with it.
//
// Status conventions:
//   - data fitting (df*) and the sparse solver (dss_*) return 0 on success and a negative code on
//     failure;
//   - djacobix returns TR_SUCCESS (1501) on success and another TR_* code on failure;
//   - dgesv reports through its info argument: 0 success, negative = bad argument i, positive =
//     exactly singular matrix.
//
// None of these functions creates a thread; the thread-count calls only store an integer.
#pragma once

namespace Talvex::Platform {

// 32-bit integer of the math-kernel interface (the LP64 interface).
using MKL_INT = int;

// ---------------------------------------------------------------------------------------------
// Data fitting: one-dimensional cubic spline through samples (x_i, y_i)
// ---------------------------------------------------------------------------------------------

// Opaque data-fitting task: created by dfsNewTask1D, released by dfDeleteTask.
struct DFTask;
using DFTaskPtr = DFTask*;

// Status codes of the data-fitting functions (0 success, negative failure).
enum : MKL_INT {
  DF_STATUS_OK = 0,
  DF_ERROR_NULL_TASK_DESCRIPTOR = -1000,
  DF_ERROR_MEM_FAILURE = -1001,
  DF_ERROR_METHOD_NOT_SUPPORTED = -1002,
  DF_ERROR_COMP_TYPE_NOT_SUPPORTED = -1003,
  DF_ERROR_BAD_NX = -1004,
  DF_ERROR_BAD_X = -1005,
  DF_ERROR_BAD_X_HINT = -1006,
  DF_ERROR_BAD_NY = -1007,
  DF_ERROR_BAD_Y = -1008,
  DF_ERROR_BAD_Y_HINT = -1009,
  DF_ERROR_BAD_SPLINE_ORDER = -1010,
  DF_ERROR_BAD_SPLINE_TYPE = -1011,
  DF_ERROR_BAD_IC_TYPE = -1012,
  DF_ERROR_BAD_BC_TYPE = -1015,
  DF_ERROR_BAD_PP_COEFF = -1018,
  DF_ERROR_BAD_PP_COEFF_HINT = -1019,
  DF_ERROR_BAD_NSITE = -1022,
  DF_ERROR_BAD_SITE = -1023,
  DF_ERROR_BAD_SITE_HINT = -1024,
  DF_ERROR_BAD_NDORDER = -1025,
  DF_ERROR_BAD_DORDER = -1026,
  DF_ERROR_BAD_DATA_HINT = -1027,
  DF_ERROR_BAD_INTERP = -1028,
  DF_ERROR_BAD_CELL_IDX = -1029,
  DF_ERROR_BAD_INTERP_RESULT_HINT = -1030,
  DF_ERROR_CONSTRUCTION_ORDER = -1031,  // interpolation requested before a successful construction
};

// Hints and selectors the numerics code passes.
enum : MKL_INT {
  DF_NO_HINT = 0x00000000,
  DF_NON_UNIFORM_PARTITION = 0x00000001,  // abscissa hint: arbitrary strictly increasing x
  DF_SORTED_DATA = 0x00000001,            // site hint: sites in ascending order
  DF_MATRIX_STORAGE_ROWS = 0x00000010,    // result hint: row storage (16)
  DF_PP_CUBIC = 4,                        // spline order 4 (cubic)
  DF_PP_BESSEL = 4,                       // spline type: Bessel slopes
  DF_NO_BC = 0,
  DF_BC_NOT_A_KNOT = 1,  // boundary condition: third derivative continuous across x_1, x_{n-2}
  DF_NO_IC = 0,
  DF_PP_SPLINE = 0,    // construction format: piecewise polynomial
  DF_METHOD_STD = 0,   // standard construction method
  DF_METHOD_PP = 1,    // interpolation by evaluating the piecewise polynomial
  DF_INTERP = 0x0001,  // computation type: values (and derivatives) at the sites
};

// Creates a one-dimensional data-fitting task over the samples (x[i], y[i]), i = 0 .. nx-1.
//   task   out: the new task (null on failure)
//   nx     number of samples; at least 2
//   x      nx abscissae, strictly increasing (checked by dfsConstruct1D); must stay valid and
//          unchanged until the task is deleted (the task keeps the pointer, not a copy)
//   xhint  DF_NON_UNIFORM_PARTITION or DF_NO_HINT (both treated as arbitrary increasing x)
//   ny     number of functions; only 1 is supported
//   y      nx ordinates; kept by pointer like x
//   yhint  DF_NO_HINT (or DF_MATRIX_STORAGE_ROWS, the same layout for one function)
// Returns DF_STATUS_OK, DF_ERROR_BAD_NX (nx < 2), DF_ERROR_BAD_X / DF_ERROR_BAD_Y (null),
// DF_ERROR_BAD_NY, DF_ERROR_BAD_X_HINT, DF_ERROR_BAD_Y_HINT, DF_ERROR_NULL_TASK_DESCRIPTOR (task
// null) or DF_ERROR_MEM_FAILURE.
MKL_INT dfsNewTask1D(DFTaskPtr* task, MKL_INT nx, const float* x, MKL_INT xhint, MKL_INT ny,
                     const float* y, MKL_INT yhint);

// Selects the spline: a cubic (s_order = DF_PP_CUBIC) Bessel spline (s_type = DF_PP_BESSEL) with
// not-a-knot ends (bc_type = DF_BC_NOT_A_KNOT), no boundary or internal condition values
// (bc, ic ignored; ic_type = DF_NO_IC), and the caller's coefficient storage.
//   scoeff      at least 4·(nx-1) floats; dfsConstruct1D writes the coefficients of cell i
//               (x_i <= t < x_{i+1}) as scoeff[4i + k], k = 0..3, of the polynomial
//               sum_k c_k (t - x_i)^k. The task keeps the pointer.
//   scoeffhint  DF_NO_HINT
// Returns DF_STATUS_OK, DF_ERROR_NULL_TASK_DESCRIPTOR, DF_ERROR_BAD_SPLINE_ORDER,
// DF_ERROR_BAD_SPLINE_TYPE, DF_ERROR_BAD_BC_TYPE, DF_ERROR_BAD_IC_TYPE, DF_ERROR_BAD_PP_COEFF
// (null storage) or DF_ERROR_BAD_PP_COEFF_HINT.
MKL_INT dfsEditPPSpline1D(DFTaskPtr task, MKL_INT s_order, MKL_INT s_type, MKL_INT bc_type,
                          const float* bc, MKL_INT ic_type, const float* ic, float* scoeff,
                          MKL_INT scoeffhint);

// Computes the spline (s_format = DF_PP_SPLINE, method = DF_METHOD_STD). Each cell is the cubic
// Hermite polynomial through its two samples with end slopes d_i, where, with h_i = x_{i+1} - x_i
// and s_i = (y_{i+1} - y_i) / h_i:
//   interior  d_i = (h_i s_{i-1} + h_{i-1} s_i) / (h_{i-1} + h_i), the slope at x_i of the
//             parabola through the samples i-1, i, i+1 (Bessel);
//   ends      third derivative continuous across x_1 and x_{n-2} (not-a-knot):
//             d_0     = 2 s_0 - d_1 + (h_0/h_1)^2 (d_1 + d_2 - 2 s_1),
//             d_{n-1} = 2 s_{n-2} - d_{n-2} + (h_{n-2}/h_{n-3})^2 (d_{n-3} + d_{n-2} - 2 s_{n-3});
//   n = 3     the parabola through the three samples; n = 2: the straight line.
// The interpolant passes through every sample and reproduces any quadratic exactly. Arithmetic in
// double; coefficients are also written to the caller's storage as floats.
// Returns DF_STATUS_OK, DF_ERROR_NULL_TASK_DESCRIPTOR, DF_ERROR_BAD_PP_COEFF (no spline edited),
// DF_ERROR_METHOD_NOT_SUPPORTED, DF_ERROR_BAD_X (x not strictly increasing, or not finite),
// DF_ERROR_BAD_Y (a non-finite ordinate) or DF_ERROR_MEM_FAILURE.
MKL_INT dfsConstruct1D(DFTaskPtr task, MKL_INT s_format, MKL_INT method);

// Evaluates the constructed spline at nsite sites: r[j] = S(site[j]).
//   type      DF_INTERP;  method  DF_METHOD_PP (or DF_METHOD_STD)
//   nsite     number of sites, >= 1;  site  nsite abscissae
//   sitehint  DF_SORTED_DATA (ascending sites; evaluated in one forward walk) or DF_NO_HINT
//   ndorder   length of dorder (1..4);  dorder  derivative selector: only values are produced,
//             so dorder[0] must be 1 and every other entry 0
//   datahint  ignored (may be null)
//   r         nsite results;  rhint  DF_MATRIX_STORAGE_ROWS or DF_NO_HINT (same layout)
//   cell      must be null (cell indices are not produced)
// Sites below x_0 or above x_{n-1} are extrapolated with the first or last cubic piece.
// Returns DF_STATUS_OK or the DF_ERROR_* code of the offending argument;
// DF_ERROR_CONSTRUCTION_ORDER when dfsConstruct1D has not succeeded on this task.
MKL_INT dfsInterpolate1D(DFTaskPtr task, MKL_INT type, MKL_INT method, MKL_INT nsite,
                         const float* site, MKL_INT sitehint, MKL_INT ndorder,
                         const MKL_INT* dorder, const float* datahint, float* r, MKL_INT rhint,
                         MKL_INT* cell);

// Releases the task and sets *task to null. A null *task is accepted (status 0); a null task
// pointer gives DF_ERROR_NULL_TASK_DESCRIPTOR.
MKL_INT dfDeleteTask(DFTaskPtr* task);

// ---------------------------------------------------------------------------------------------
// Finite-difference Jacobian and thread count
// ---------------------------------------------------------------------------------------------

// Status codes of djacobix.
enum : MKL_INT { TR_SUCCESS = 1501, TR_INVALID_OPTION = 1502, TR_OUT_OF_MEMORY = 1503 };

// Objective callback: writes the m values f[0..m-1] of the function at x[0..n-1]; data is passed
// through unchanged.
using USRFCNXD = void (*)(MKL_INT* m, MKL_INT* n, double* x, double* f, void* data);

// Jacobian of an m-valued function of n variables by central differences with absolute step eps:
//   fjac[i + j·m] = (f_i(x + eps·e_j) - f_i(x - eps·e_j)) / (2·eps),  i < m, j < n
// (column-major m x n; for m = 1 it is the gradient). fcn is called 2·n times on a copy of x;
// x itself is left unchanged.
//   fcn   objective;  n  number of variables (>= 1);  m  number of function values (>= 1)
//   fjac  m·n outputs;  x  n point coordinates;  eps  step, > 0 and finite;  data  passed to fcn
// Returns TR_SUCCESS, TR_INVALID_OPTION (null pointer, n or m < 1, bad eps) or TR_OUT_OF_MEMORY.
MKL_INT djacobix(USRFCNXD fcn, const MKL_INT* n, const MKL_INT* m, double* fjac, double* x,
                 double* eps, void* data);

// Process-wide thread count of the math services (default 1). The services are single-threaded:
// the value is only stored and returned, never acted on.
int MKL_Get_Max_Threads();

// Stores nt as the process-wide thread count; values below 1 are ignored.
void MKL_Set_Num_Threads(int nt);

// ---------------------------------------------------------------------------------------------
// Direct sparse solver: A·x = b for a square sparse A in 1-based compressed-row form
// ---------------------------------------------------------------------------------------------

// Opaque solver handle: created by dss_create_, released by dss_delete_.
struct DssSolver;
using MKL_DSS_HANDLE = DssSolver*;

// Options and matrix kinds.
enum : MKL_INT {
  MKL_DSS_DEFAULTS = 0,
  MKL_DSS_SYMMETRIC = 0x20000040,            // upper triangle (with diagonal) given row by row
  MKL_DSS_SYMMETRIC_STRUCTURE = 0x20000080,  // full rows, symmetric pattern
  MKL_DSS_NON_SYMMETRIC = 0x200000C0,        // full rows
  MKL_DSS_AUTO_ORDER = 0x10000040,
  MKL_DSS_POSITIVE_DEFINITE = 0x08000040,
  MKL_DSS_INDEFINITE = 0x08000080,
};

// Status codes of the sparse solver (0 success, negative failure).
enum : MKL_INT {
  MKL_DSS_SUCCESS = 0,
  MKL_DSS_ZERO_PIVOT = -1,
  MKL_DSS_OUT_OF_MEMORY = -2,
  MKL_DSS_FAILURE = -3,
  MKL_DSS_ROW_ERR = -4,
  MKL_DSS_COL_ERR = -5,
  MKL_DSS_TOO_FEW_VALUES = -6,
  MKL_DSS_TOO_MANY_VALUES = -7,
  MKL_DSS_NOT_SQUARE = -8,
  MKL_DSS_STATE_ERR = -9,
  MKL_DSS_INVALID_OPTION = -10,
  MKL_DSS_STRUCTURE_ERR = -14,
  MKL_DSS_VALUES_ERR = -16,
};

// Creates a solver.  handle  out: the new solver;  opt  MKL_DSS_DEFAULTS (other option bits, such
// as message levels, are accepted and ignored). Returns MKL_DSS_SUCCESS, MKL_DSS_INVALID_OPTION
// (null pointer) or MKL_DSS_OUT_OF_MEMORY.
MKL_INT dss_create_(MKL_DSS_HANDLE* handle, const MKL_INT* opt);

// Records the sparsity pattern (copied into the solver).
//   opt        MKL_DSS_SYMMETRIC: row r holds the entries of the upper triangle, r <= column;
//              MKL_DSS_NON_SYMMETRIC or MKL_DSS_SYMMETRIC_STRUCTURE: row r holds all its entries
//   rowIndex   nRows + 1 one-based row starts: row r occupies positions rowIndex[r] ..
//              rowIndex[r+1] - 1; non-decreasing from rowIndex[0] = 1 to
//              rowIndex[nRows] = nNonZeros + 1 (an empty row repeats the next row's start)
//   nRows, nCols  equal, >= 1
//   columns    nNonZeros one-based column indices (ascending within a row; a repeated column is
//              summed)
// Returns MKL_DSS_SUCCESS, MKL_DSS_INVALID_OPTION, MKL_DSS_NOT_SQUARE, MKL_DSS_ROW_ERR,
// MKL_DSS_COL_ERR (column outside 1..nCols, or below the diagonal in symmetric mode),
// MKL_DSS_STATE_ERR (structure already defined) or MKL_DSS_OUT_OF_MEMORY.
MKL_INT dss_define_structure_(MKL_DSS_HANDLE* handle, const MKL_INT* opt, const MKL_INT* rowIndex,
                              const MKL_INT* nRows, const MKL_INT* nCols, const MKL_INT* columns,
                              const MKL_INT* nNonZeros);

// Chooses the fill-reducing ordering: approximate minimum degree for symmetric matrices, column
// approximate minimum degree for the others (computed with the factorisation, since unknowns with
// all-zero rows are set aside first).  opt  MKL_DSS_DEFAULTS or MKL_DSS_AUTO_ORDER;  perm
// ignored (may be null). Returns MKL_DSS_SUCCESS or MKL_DSS_STATE_ERR (no structure).
MKL_INT dss_reorder_(MKL_DSS_HANDLE* handle, const MKL_INT* opt, const MKL_INT* perm);

// Factorises the matrix with the given values (nNonZeros doubles in the order of `columns`).
//   opt  MKL_DSS_INDEFINITE, MKL_DSS_POSITIVE_DEFINITE or MKL_DSS_DEFAULTS
// Unknowns whose row of the full matrix holds only zeros are fixed to 0 and removed with their
// row; the rest is factorised: symmetric -> sparse LDL^T (falling back to sparse LU with partial
// pivoting should a pivot vanish), otherwise sparse LU with column ordering.
// Returns MKL_DSS_SUCCESS, MKL_DSS_STATE_ERR (no structure), MKL_DSS_VALUES_ERR (null values),
// MKL_DSS_ZERO_PIVOT (the remaining matrix is singular) or MKL_DSS_OUT_OF_MEMORY.
MKL_INT dss_factor_real_(MKL_DSS_HANDLE* handle, const MKL_INT* opt, const double* rValues);

// Solves A·x = b for nRhs right-hand sides stored one after the other (nRows values each).
// Fixed unknowns get 0; the right-hand side of an all-zero row is ignored.
//   opt  MKL_DSS_DEFAULTS;  rRhsValues  nRows·nRhs values;  nRhs  >= 1;  rSolValues  nRows·nRhs
// Returns MKL_DSS_SUCCESS, MKL_DSS_STATE_ERR (not factorised), MKL_DSS_INVALID_OPTION (null
// pointer or nRhs < 1) or MKL_DSS_ZERO_PIVOT (the solution is not finite).
MKL_INT dss_solve_real_(MKL_DSS_HANDLE* handle, const MKL_INT* opt, const double* rRhsValues,
                        const MKL_INT* nRhs, double* rSolValues);

// Releases the solver and sets *handle to null; a null *handle is accepted.
MKL_INT dss_delete_(MKL_DSS_HANDLE* handle, const MKL_INT* opt);

// ---------------------------------------------------------------------------------------------
// Dense solve
// ---------------------------------------------------------------------------------------------

// Solves A·X = B by LU factorisation with partial pivoting (reference LAPACK dgesv).
//   n     order of A (>= 0);  nrhs  number of right-hand sides (>= 0)
//   a     column-major n x n matrix with leading dimension lda >= max(1, n); overwritten by the
//         factors L and U
//   ipiv  n one-based pivot rows
//   b     column-major n x nrhs right-hand sides, leading dimension ldb >= max(1, n); overwritten
//         by the solution
//   info  out: 0 success; -i when argument i is invalid (checked here, LAPACK is then not
//         called); i > 0 when U(i,i) is exactly zero (singular matrix, no solution computed)
void dgesv(const MKL_INT* n, const MKL_INT* nrhs, double* a, const MKL_INT* lda, MKL_INT* ipiv,
           double* b, const MKL_INT* ldb, MKL_INT* info);

}  // namespace Talvex::Platform
