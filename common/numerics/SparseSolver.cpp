#include "common/numerics/SparseSolver.h"

#include "platform/math_kernel/TalvexMkl.h"

namespace Talvex::Common::Algorithms::Numerics {

namespace {

using namespace Talvex::Platform;

// Owns a solver handle for one solve.
class SolverHandle {
 public:
  SolverHandle() = default;
  SolverHandle(const SolverHandle&) = delete;
  SolverHandle& operator=(const SolverHandle&) = delete;
  ~SolverHandle() {
    const MKL_INT options = MKL_DSS_DEFAULTS;
    dss_delete_(&handle_, &options);
  }
  MKL_DSS_HANDLE* address() { return &handle_; }

 private:
  MKL_DSS_HANDLE handle_ = nullptr;
};

}  // namespace

int SparseSolver(double* values, int* columns, int* rowIndex, double* rhs, int nRows, int nCols,
                 int nNonZeros, double* solution, int symmetric) {
  const MKL_INT defaults = MKL_DSS_DEFAULTS;
  const MKL_INT kind = symmetric != 0 ? MKL_DSS_SYMMETRIC : MKL_DSS_NON_SYMMETRIC;
  const MKL_INT definiteness = MKL_DSS_INDEFINITE;
  const MKL_INT oneRightHandSide = 1;

  SolverHandle solver;
  if (dss_create_(solver.address(), &defaults) != MKL_DSS_SUCCESS) return -1;
  if (dss_define_structure_(solver.address(), &kind, rowIndex, &nRows, &nCols, columns,
                            &nNonZeros) != MKL_DSS_SUCCESS)
    return -1;
  if (dss_reorder_(solver.address(), &defaults, nullptr) != MKL_DSS_SUCCESS) return -1;
  if (dss_factor_real_(solver.address(), &definiteness, values) != MKL_DSS_SUCCESS) return -1;
  if (dss_solve_real_(solver.address(), &defaults, rhs, &oneRightHandSide, solution) !=
      MKL_DSS_SUCCESS)
    return -1;
  return 0;
}

}  // namespace Talvex::Common::Algorithms::Numerics
