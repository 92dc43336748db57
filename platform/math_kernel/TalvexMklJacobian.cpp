// Finite-difference Jacobian for the bound-constrained optimiser, and the thread-count setting.
#include <atomic>
#include <cmath>
#include <new>
#include <vector>

#include "platform/math_kernel/TalvexMkl.h"

namespace Talvex::Platform {

namespace {

// The only process-wide state of the platform layer: the thread count the optimiser saves, sets
// to 1 and restores. The services never start threads, so nothing reads it but
// MKL_Get_Max_Threads.
std::atomic<int> g_threadCount{1};

}  // namespace

MKL_INT djacobix(USRFCNXD fcn, const MKL_INT* n, const MKL_INT* m, double* fjac, double* x,
                 double* eps, void* data) {
  if (fcn == nullptr || n == nullptr || m == nullptr || fjac == nullptr || x == nullptr ||
      eps == nullptr) {
    return TR_INVALID_OPTION;
  }
  const MKL_INT nv = *n;
  const MKL_INT mv = *m;
  const double step = *eps;
  if (nv < 1 || mv < 1 || !(step > 0.0) || !std::isfinite(step)) return TR_INVALID_OPTION;

  // Work block: the perturbed point, then f(x + eps e_j), then f(x - eps e_j).
  std::vector<double> work;
  try {
    work.resize(static_cast<std::size_t>(nv) + 2 * static_cast<std::size_t>(mv));
  } catch (const std::bad_alloc&) {
    return TR_OUT_OF_MEMORY;
  }
  double* xw = work.data();
  double* fPlus = xw + nv;
  double* fMinus = fPlus + mv;
  for (MKL_INT j = 0; j < nv; ++j) xw[j] = x[j];

  const double inv2h = 0.5 / step;
  for (MKL_INT j = 0; j < nv; ++j) {
    const double xj = x[j];
    MKL_INT mc = mv;
    MKL_INT nc = nv;
    xw[j] = xj + step;
    fcn(&mc, &nc, xw, fPlus, data);
    mc = mv;
    nc = nv;
    xw[j] = xj - step;
    fcn(&mc, &nc, xw, fMinus, data);
    xw[j] = xj;
    double* column = fjac + static_cast<std::size_t>(j) * mv;
    for (MKL_INT i = 0; i < mv; ++i) column[i] = (fPlus[i] - fMinus[i]) * inv2h;
  }
  return TR_SUCCESS;
}

int MKL_Get_Max_Threads() { return g_threadCount.load(std::memory_order_relaxed); }

void MKL_Set_Num_Threads(int nt) {
  if (nt >= 1) g_threadCount.store(nt, std::memory_order_relaxed);
}

}  // namespace Talvex::Platform
