#include "common/numerics/Splines.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <numeric>
#include <vector>

#include "platform/math_kernel/TalvexMkl.h"

namespace Talvex::Common::Algorithms::Numerics {

namespace {

using namespace Talvex::Platform;

// Owns a data-fitting task for the duration of one interpolation.
class FittingTask {
 public:
  FittingTask() = default;
  FittingTask(const FittingTask&) = delete;
  FittingTask& operator=(const FittingTask&) = delete;
  ~FittingTask() { dfDeleteTask(&task_); }
  DFTaskPtr* address() { return &task_; }
  DFTaskPtr get() const { return task_; }

 private:
  DFTaskPtr task_ = nullptr;
};

// Ascending order of positions with NaN last, so the permutation is well defined for any input.
// Strict comparison: a stable sort with it keeps equal values in their original order.
bool Before(double a, double b) { return a < b || (!std::isnan(a) && std::isnan(b)); }

// Indices 0 .. n-1 ordered so that v[order[k]] is ascending (stable).
std::vector<int> SortedOrder(const double* v, int n) {
  std::vector<int> order(static_cast<size_t>(n));
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [v](int a, int b) { return Before(v[a], v[b]); });
  return order;
}

}  // namespace

int cspline(const float* x, const float* y, int n, const float* xi, float* yi, int m) {
  try {
    FittingTask task;
    if (dfsNewTask1D(task.address(), n, x, DF_NON_UNIFORM_PARTITION, 1, y, DF_NO_HINT) !=
        DF_STATUS_OK)
      return -1;
    // Storage as the service documents it: 4 coefficients per cell plus headroom.
    std::vector<float> coefficients(4 * static_cast<size_t>(n) + 96);
    if (dfsEditPPSpline1D(task.get(), DF_PP_CUBIC, DF_PP_BESSEL, DF_BC_NOT_A_KNOT, nullptr,
                          DF_NO_IC, nullptr, coefficients.data(), DF_NO_HINT) != DF_STATUS_OK)
      return -1;
    if (dfsConstruct1D(task.get(), DF_PP_SPLINE, DF_METHOD_STD) != DF_STATUS_OK) return -1;
    const MKL_INT valuesOnly[1] = {1};
    if (dfsInterpolate1D(task.get(), DF_INTERP, DF_METHOD_PP, m, xi, DF_SORTED_DATA, 1, valuesOnly,
                         nullptr, yi, DF_MATRIX_STORAGE_ROWS, nullptr) != DF_STATUS_OK)
      return -1;
    return 0;
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

int linterpol1(const double* x, const double* y, int n, const double* xi, double* yi, int m) {
  if (x == nullptr || y == nullptr || n < 2 || m < 0) return -1;
  if (m == 0) return 0;
  if (xi == nullptr || yi == nullptr) return -1;
  try {
    const std::vector<int> sampleOrder = SortedOrder(x, n);
    std::vector<double> xs(static_cast<size_t>(n)), ys(static_cast<size_t>(n));
    for (int k = 0; k < n; ++k) {
      xs[k] = x[sampleOrder[k]];
      ys[k] = y[sampleOrder[k]];
    }
    const std::vector<int> queryOrder = SortedOrder(xi, m);

    const double last = xs[n - 1];
    int s = 0;  // running segment: searched forward from the segment of the previous query
    for (int k = 0; k < m; ++k) {
      const int position = queryOrder[k];
      const double q = xi[position];
      if (!(q > last)) {
        for (int t = s; t <= n - 2; ++t) {
          if (xs[t] <= q && q <= xs[t + 1]) {
            s = t;
            break;
          }
          if (xs[t] > q) break;  // abscissae ascend: no later segment can hold q
        }
      }
      yi[position] = (ys[s + 1] - ys[s]) / (xs[s + 1] - xs[s]) * (q - xs[s]) + ys[s];
    }
    return 0;
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

}  // namespace Talvex::Common::Algorithms::Numerics
