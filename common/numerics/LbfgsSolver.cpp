// Driver of the L-BFGS-B reverse-communication routine: it answers every function-and-gradient
// request with the caller's objective and its central-difference gradient, counts iterations and
// turns the routine's task codes into the solver's three results.
#include <cmath>
#include <cstdio>
#include <new>
#include <vector>

#include "common/numerics/Optimisers.h"
#include "platform/math_kernel/TalvexMkl.h"
#include "platform/solvers/TalvexLbfgsb.h"

namespace Talvex::Common::Algorithms::Numerics {

namespace {

using namespace Talvex::Platform;

constexpr long kMaxVariables = 10000000;
constexpr long kMaxCorrections = 100;

// The caller's problem.
struct Problem {
  int n;
  int m;
  double* x;
  double* l;
  double* u;
  void* data;
  LbfgsObjective fun;
  double eps;
  double factr;
  double pgtol;
};

// One minimisation: the problem, the zero-filled work arrays (released when the run ends,
// whichever way) and the routine's state.
struct Run : Problem {
  explicit Run(const Problem& problem) : Problem(problem) {}

  std::vector<double> doubles;  // the routine's work array, the Jacobian, the m function values
  std::vector<int> ints;        // the routine's integer work array, the bound types
  double* wa = nullptr;
  double* jacobian = nullptr;  // m x n column-major; its first n entries become the gradient
  double* values = nullptr;
  int* iwa = nullptr;
  int* nbd = nullptr;
  double f = 0.0;  // the previous evaluation's objective value
  int task = LBFGSB_START;
  int iprint = -1;  // the routine stays silent
  LbfgsbState state;

  bool Allocate(const long* bounds) {
    const std::size_t nn = static_cast<std::size_t>(n);
    const std::size_t mm = static_cast<std::size_t>(m);
    const std::size_t waSize = (11 * mm + 2 * nn + 8) * mm + 5 * nn;
    try {
      doubles.assign(waSize + mm * nn + mm, 0.0);
      ints.assign(4 * nn, 0);
    } catch (const std::bad_alloc&) {
      return false;
    }
    wa = doubles.data();
    jacobian = wa + waSize;
    values = jacobian + mm * nn;
    iwa = ints.data();
    nbd = iwa + 3 * nn;
    for (std::size_t j = 0; j < nn; ++j) nbd[j] = static_cast<int>(bounds[j]);
    return true;
  }

  void Setulb() {
    setulb(&n, &m, x, l, u, nbd, &f, jacobian, &factr, &pgtol, wa, iwa, &task, &iprint, &state);
  }

  // The objective at x; the callback gets copies of the sizes, so it cannot change the run's.
  double Evaluate() {
    int mc = m;
    int nc = n;
    fun(&mc, &nc, x, values, data);
    return values[0];
  }

  // The gradient of the first function value at x, in the first n entries of the Jacobian.
  bool Gradient() {
    if (djacobix(fun, &n, &m, jacobian, x, &eps, data) != TR_SUCCESS) return false;
    for (int j = 1; m > 1 && j < n; ++j) jacobian[j] = jacobian[static_cast<std::size_t>(j) * m];
    return true;
  }
};

bool Converged(int task) { return task >= LBFGSB_CONVERGENCE && task < LBFGSB_STOP; }

// The reverse-communication loop, from the first call of the routine to the result.
int Minimise(Run& run, double ftol, int maxIter) {
  int iterations = 0;
  run.Setulb();
  for (;;) {
    if (LbfgsbIsFg(run.task)) {
      const double fnew = run.Evaluate();
      if (std::fabs(run.f - fnew) <= ftol) return kLbfgsConverged;
      run.f = fnew;
      std::printf("%fl\n", run.f);
      if (!run.Gradient()) return kLbfgsFailed;
    } else if (run.task == LBFGSB_NEW_X) {
      if (++iterations == maxIter) {
        run.task = LBFGSB_STOP;
        run.Setulb();  // ends the run with x at the last iterate
        return kLbfgsIterationLimit;
      }
    } else {
      return Converged(run.task) ? kLbfgsConverged : kLbfgsFailed;
    }
    run.Setulb();
  }
}

}  // namespace

int lbfgssolver(double* x, long n, long m, double* l, double* u, long* nbd, void* data,
                LbfgsObjective fun, double eps, double factr, double pgtol, double ftol,
                int maxIter) {
  if (x == nullptr || l == nullptr || u == nullptr || nbd == nullptr || fun == nullptr) {
    return kLbfgsFailed;
  }
  if (n < 1 || n > kMaxVariables || m < 1 || m > kMaxCorrections) return kLbfgsFailed;
  // The math services run on the calling thread only and the library starts no threads, so
  // there is no thread count to save, lower to one and restore around the run.
  Run run(Problem{static_cast<int>(n), static_cast<int>(m), x, l, u, data, fun, eps, factr, pgtol});
  if (!run.Allocate(nbd)) return kLbfgsFailed;
  return Minimise(run, ftol, maxIter);
}

}  // namespace Talvex::Common::Algorithms::Numerics
