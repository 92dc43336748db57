// Cubic Bessel spline with not-a-knot ends behind the data-fitting task interface.
//
// The layer resamplers interpolate segmented boundaries (one depth per A-scan, with gaps) onto
// every A-scan of a B-scan and extrapolate past the outermost valid A-scans, so the spline must
// pass through every sample, be local (Bessel slopes only look at neighbours), and keep its end
// pieces for sites outside the sampled range.
#include <cmath>
#include <new>
#include <vector>

#include "platform/math_kernel/TalvexMkl.h"

namespace Talvex::Platform {

struct DFTask {
  MKL_INT nx = 0;
  const float* x = nullptr;
  const float* y = nullptr;
  float* scoeff = nullptr;  // caller's coefficient storage, set by dfsEditPPSpline1D
  bool edited = false;
  bool constructed = false;
  // Power-form coefficients of each cell in double, coeff[4i + k] multiplying (t - x_i)^k,
  // followed by the n slopes at the samples.
  std::vector<double> coeff;
};

namespace {

// Slopes d_0 .. d_{n-1} of the Bessel spline with not-a-knot ends (see the header). d must hold n
// values; h_i and s_i are recomputed on the fly to avoid extra storage.
void BesselSlopes(const float* x, const float* y, MKL_INT n, double* d) {
  if (n == 2) {
    const double s = (double(y[1]) - y[0]) / (double(x[1]) - x[0]);
    d[0] = d[1] = s;
    return;
  }
  double hPrev = double(x[1]) - x[0];
  double sPrev = (double(y[1]) - y[0]) / hPrev;
  for (MKL_INT i = 1; i + 1 < n; ++i) {
    const double h = double(x[i + 1]) - x[i];
    const double s = (double(y[i + 1]) - y[i]) / h;
    d[i] = (h * sPrev + hPrev * s) / (hPrev + h);
    hPrev = h;
    sPrev = s;
  }
  const double h0 = double(x[1]) - x[0];
  const double s0 = (double(y[1]) - y[0]) / h0;
  const double hl = double(x[n - 1]) - x[n - 2];
  const double sl = (double(y[n - 1]) - y[n - 2]) / hl;
  if (n == 3) {
    // The parabola through the three samples: its end slopes mirror the middle one around the
    // chord slopes.
    d[0] = 2.0 * s0 - d[1];
    d[2] = 2.0 * sl - d[1];
    return;
  }
  const double h1 = double(x[2]) - x[1];
  const double s1 = (double(y[2]) - y[1]) / h1;
  const double r0 = h0 / h1;
  d[0] = 2.0 * s0 - d[1] + r0 * r0 * (d[1] + d[2] - 2.0 * s1);
  const double hm = double(x[n - 2]) - x[n - 3];
  const double sm = (double(y[n - 2]) - y[n - 3]) / hm;
  const double rl = hl / hm;
  d[n - 1] = 2.0 * sl - d[n - 2] + rl * rl * (d[n - 3] + d[n - 2] - 2.0 * sm);
}

// Cell of site t: the k in [0, n-2] with x_k <= t < x_{k+1}, clamped to the end cells. Binary
// search, used when the sites are not ascending.
MKL_INT FindCell(const float* x, MKL_INT n, double t) {
  MKL_INT lo = 0;
  MKL_INT hi = n - 2;
  while (lo < hi) {
    const MKL_INT mid = lo + (hi - lo + 1) / 2;
    if (t >= x[mid]) {
      lo = mid;
    } else {
      hi = mid - 1;
    }
  }
  return lo;
}

}  // namespace

MKL_INT dfsNewTask1D(DFTaskPtr* task, MKL_INT nx, const float* x, MKL_INT xhint, MKL_INT ny,
                     const float* y, MKL_INT yhint) {
  if (task == nullptr) return DF_ERROR_NULL_TASK_DESCRIPTOR;
  *task = nullptr;
  if (nx < 2) return DF_ERROR_BAD_NX;
  if (x == nullptr) return DF_ERROR_BAD_X;
  if (xhint != DF_NON_UNIFORM_PARTITION && xhint != DF_NO_HINT) return DF_ERROR_BAD_X_HINT;
  if (ny != 1) return DF_ERROR_BAD_NY;
  if (y == nullptr) return DF_ERROR_BAD_Y;
  if (yhint != DF_NO_HINT && yhint != DF_MATRIX_STORAGE_ROWS) return DF_ERROR_BAD_Y_HINT;
  DFTask* created = new (std::nothrow) DFTask;
  if (created == nullptr) return DF_ERROR_MEM_FAILURE;
  created->nx = nx;
  created->x = x;
  created->y = y;
  *task = created;
  return DF_STATUS_OK;
}

MKL_INT dfsEditPPSpline1D(DFTaskPtr task, MKL_INT s_order, MKL_INT s_type, MKL_INT bc_type,
                          const float* /*bc*/, MKL_INT ic_type, const float* /*ic*/, float* scoeff,
                          MKL_INT scoeffhint) {
  if (task == nullptr) return DF_ERROR_NULL_TASK_DESCRIPTOR;
  if (s_order != DF_PP_CUBIC) return DF_ERROR_BAD_SPLINE_ORDER;
  if (s_type != DF_PP_BESSEL) return DF_ERROR_BAD_SPLINE_TYPE;
  if (bc_type != DF_BC_NOT_A_KNOT) return DF_ERROR_BAD_BC_TYPE;
  if (ic_type != DF_NO_IC) return DF_ERROR_BAD_IC_TYPE;
  if (scoeff == nullptr) return DF_ERROR_BAD_PP_COEFF;
  if (scoeffhint != DF_NO_HINT) return DF_ERROR_BAD_PP_COEFF_HINT;
  task->scoeff = scoeff;
  task->edited = true;
  task->constructed = false;
  return DF_STATUS_OK;
}

MKL_INT dfsConstruct1D(DFTaskPtr task, MKL_INT s_format, MKL_INT method) {
  if (task == nullptr) return DF_ERROR_NULL_TASK_DESCRIPTOR;
  if (!task->edited) return DF_ERROR_BAD_PP_COEFF;
  if (s_format != DF_PP_SPLINE || method != DF_METHOD_STD) return DF_ERROR_METHOD_NOT_SUPPORTED;
  task->constructed = false;
  const MKL_INT n = task->nx;
  const float* x = task->x;
  const float* y = task->y;
  for (MKL_INT i = 0; i < n; ++i) {
    if (!std::isfinite(x[i])) return DF_ERROR_BAD_X;
    if (!std::isfinite(y[i])) return DF_ERROR_BAD_Y;
  }
  for (MKL_INT i = 0; i + 1 < n; ++i) {
    if (!(x[i + 1] > x[i])) return DF_ERROR_BAD_X;
  }
  // One block: 4 coefficients per cell, then the n slopes.
  const std::size_t cells = static_cast<std::size_t>(n) - 1;
  try {
    task->coeff.assign(4 * cells + static_cast<std::size_t>(n), 0.0);
  } catch (const std::bad_alloc&) {
    return DF_ERROR_MEM_FAILURE;
  }
  double* c = task->coeff.data();
  double* slopes = c + 4 * cells;
  BesselSlopes(x, y, n, slopes);
  float* out = task->scoeff;
  for (MKL_INT i = 0; i + 1 < n; ++i) {
    const double h = double(x[i + 1]) - x[i];
    const double s = (double(y[i + 1]) - y[i]) / h;
    const double d0 = slopes[i];
    const double d1 = slopes[i + 1];
    double* ci = c + 4 * static_cast<std::size_t>(i);
    ci[0] = y[i];
    ci[1] = d0;
    ci[2] = (3.0 * s - 2.0 * d0 - d1) / h;
    ci[3] = (d0 + d1 - 2.0 * s) / (h * h);
    for (int k = 0; k < 4; ++k)
      out[4 * static_cast<std::size_t>(i) + k] = static_cast<float>(ci[k]);
  }
  task->constructed = true;
  return DF_STATUS_OK;
}

MKL_INT dfsInterpolate1D(DFTaskPtr task, MKL_INT type, MKL_INT method, MKL_INT nsite,
                         const float* site, MKL_INT sitehint, MKL_INT ndorder,
                         const MKL_INT* dorder, const float* /*datahint*/, float* r, MKL_INT rhint,
                         MKL_INT* cell) {
  if (task == nullptr) return DF_ERROR_NULL_TASK_DESCRIPTOR;
  if (type != DF_INTERP) return DF_ERROR_COMP_TYPE_NOT_SUPPORTED;
  if (method != DF_METHOD_PP && method != DF_METHOD_STD) return DF_ERROR_METHOD_NOT_SUPPORTED;
  if (nsite < 1) return DF_ERROR_BAD_NSITE;
  if (site == nullptr) return DF_ERROR_BAD_SITE;
  if (sitehint != DF_SORTED_DATA && sitehint != DF_NO_HINT) return DF_ERROR_BAD_SITE_HINT;
  if (ndorder < 1 || ndorder > 4) return DF_ERROR_BAD_NDORDER;
  if (dorder == nullptr || dorder[0] != 1) return DF_ERROR_BAD_DORDER;
  for (MKL_INT k = 1; k < ndorder; ++k) {
    if (dorder[k] != 0) return DF_ERROR_BAD_DORDER;
  }
  if (r == nullptr) return DF_ERROR_BAD_INTERP;
  if (rhint != DF_MATRIX_STORAGE_ROWS && rhint != DF_NO_HINT) {
    return DF_ERROR_BAD_INTERP_RESULT_HINT;
  }
  if (cell != nullptr) return DF_ERROR_BAD_CELL_IDX;
  if (!task->constructed) return DF_ERROR_CONSTRUCTION_ORDER;

  const float* x = task->x;
  const MKL_INT n = task->nx;
  const MKL_INT lastCell = n - 2;
  const double* c = task->coeff.data();
  const bool sorted = sitehint == DF_SORTED_DATA;
  MKL_INT k = 0;
  for (MKL_INT j = 0; j < nsite; ++j) {
    const double t = site[j];
    if (sorted) {
      // Ascending sites move the cell forward only; a site behind the current cell (sites not
      // sorted after all) restarts with a binary search.
      if (k > 0 && t < x[k]) k = FindCell(x, n, t);
      while (k < lastCell && t >= x[k + 1]) ++k;
    } else {
      k = FindCell(x, n, t);
    }
    const double* ck = c + 4 * static_cast<std::size_t>(k);
    const double dt = t - x[k];
    r[j] = static_cast<float>(((ck[3] * dt + ck[2]) * dt + ck[1]) * dt + ck[0]);
  }
  return DF_STATUS_OK;
}

MKL_INT dfDeleteTask(DFTaskPtr* task) {
  if (task == nullptr) return DF_ERROR_NULL_TASK_DESCRIPTOR;
  delete *task;
  *task = nullptr;
  return DF_STATUS_OK;
}

}  // namespace Talvex::Platform
