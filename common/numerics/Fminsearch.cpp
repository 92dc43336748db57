// Nelder-Mead simplex search with the whole simplex in fixed storage on the call stack.
//
// The vertices stay in the rows where they were first written; `row` lists them from best to
// worst, so a step that replaces the worst vertex rewrites one row and re-sorting moves indices
// only.
#include <cmath>

#include "common/numerics/Optimisers.h"
#include "platform/signal/TalvexIpps.h"

namespace Talvex::Common::Algorithms::Numerics {

namespace {

constexpr int kMaxVertices = kFminsearchMaxVariables + 1;

// The objective with its pass-through arguments, counting evaluations.
struct Objective {
  FminsearchObjective fun;
  int n;
  double* data1;
  int n1;
  int n2;
  double* data2;
  int n3;
  int evaluations = 0;

  double operator()(double* point) {
    ++evaluations;
    return fun(point, n, data1, n1, n2, data2, n3);
  }
};

struct Simplex {
  int n = 0;
  double vertex[kMaxVertices][kMaxVertices];  // n + 1 rows of n coordinates
  double value[kMaxVertices];                 // ascending: value[k] belongs to row[k]
  int row[kMaxVertices];                      // rows from best to worst

  double* Vertex(int k) { return vertex[row[k]]; }

  // Orders the vertices by ascending value (stable: ties keep their order). False when the
  // sort fails.
  bool Sort() {
    int order[kMaxVertices];
    int previous[kMaxVertices];
    if (Platform::ippsSortIndexAscend_64f_I(value, order, n + 1) != Platform::ippStsNoErr) {
      return false;
    }
    for (int k = 0; k <= n; ++k) previous[k] = row[k];
    for (int k = 0; k <= n; ++k) row[k] = previous[order[k]];
    return true;
  }

  // Overwrites the worst vertex with point and its value.
  void ReplaceWorst(const double* point, double f) {
    double* worst = Vertex(n);
    for (int j = 0; j < n; ++j) worst[j] = point[j];
    value[n] = f;
  }

  // Every vertex but the best moves halfway towards the best and is evaluated again.
  void Shrink(Objective& fun) {
    const double* best = Vertex(0);
    for (int k = 1; k <= n; ++k) {
      double* v = Vertex(k);
      for (int j = 0; j < n; ++j) v[j] = best[j] + 0.5 * (v[j] - best[j]);
      value[k] = fun(v);
    }
  }

  // True when all values lie within tolFun of the best and all vertices within tolX of it.
  bool Converged(double tolX, double tolFun) {
    double spreadF = -1e-35;
    double spreadX = -1e-35;
    const double* best = Vertex(0);
    for (int k = 1; k <= n; ++k) {
      spreadF = std::fmax(spreadF, std::fabs(value[0] - value[k]));
      const double* v = Vertex(k);
      for (int j = 0; j < n; ++j) spreadX = std::fmax(spreadX, std::fabs(v[j] - best[j]));
    }
    return spreadF <= tolFun && spreadX <= tolX;
  }
};

// Row 0 = x, row j = x with coordinate j-1 stretched by 5 % (or moved off zero); all evaluated.
void InitialSimplex(const double* x, Objective& fun, Simplex& s) {
  for (int k = 0; k <= s.n; ++k) {
    s.row[k] = k;
    double* v = s.vertex[k];
    for (int j = 0; j < s.n; ++j) v[j] = x[j];
    if (k > 0) v[k - 1] = v[k - 1] != 0.0 ? v[k - 1] * 1.05f : 0.00025f;
    s.value[k] = fun(v);
  }
}

// point = a·xbar + b·worst.
void Combine(const double* xbar, double a, const double* worst, double b, int n, double* point) {
  for (int j = 0; j < n; ++j) point[j] = a * xbar[j] + b * worst[j];
}

// One Nelder-Mead step on a sorted simplex: reflect the worst vertex through the centroid of the
// others, then expand, accept, contract or shrink.
void Step(Objective& fun, Simplex& s) {
  const int n = s.n;
  double xbar[kMaxVertices];
  double trial[kMaxVertices];
  double other[kMaxVertices];
  for (int j = 0; j < n; ++j) {
    double sum = 0.0;
    for (int k = 0; k < n; ++k) sum += s.Vertex(k)[j];
    xbar[j] = sum / n;
  }
  const double* worst = s.Vertex(n);
  Combine(xbar, 2.0, worst, -1.0, n, trial);  // reflection
  const double fr = fun(trial);
  if (fr < s.value[0]) {
    Combine(xbar, 3.0, worst, -2.0, n, other);  // expansion
    const double fe = fun(other);
    if (fe < fr) {
      s.ReplaceWorst(other, fe);
    } else {
      s.ReplaceWorst(trial, fr);
    }
  } else if (fr < s.value[n - 1]) {
    s.ReplaceWorst(trial, fr);
  } else if (fr < s.value[n]) {
    Combine(xbar, 1.5, worst, -0.5, n, other);  // contraction outside
    const double fc = fun(other);
    if (fc <= fr) {
      s.ReplaceWorst(other, fc);
    } else {
      s.Shrink(fun);
    }
  } else {
    Combine(xbar, 0.5, worst, 0.5, n, other);  // contraction inside
    const double fcc = fun(other);
    if (fcc < s.value[n]) {
      s.ReplaceWorst(other, fcc);
    } else {
      s.Shrink(fun);
    }
  }
}

}  // namespace

void fminsearch(double* x, int n, double* data1, int n1, int n2, double* data2, int n3,
                FminsearchObjective fun, float TolX, float TolFun, int MaxFunEvals, int MaxIter) {
  if (x == nullptr || fun == nullptr || n < 1 || n > kFminsearchMaxVariables) return;
  Objective objective{fun, n, data1, n1, n2, data2, n3};
  Simplex s;
  s.n = n;
  InitialSimplex(x, objective, s);
  if (!s.Sort()) return;
  int iterations = 1;
  while (objective.evaluations < MaxFunEvals && iterations < MaxIter) {
    if (s.Converged(TolX, TolFun)) break;
    Step(objective, s);
    if (!s.Sort()) return;
    ++iterations;
  }
  const double* best = s.Vertex(0);
  for (int j = 0; j < n; ++j) x[j] = best[j];
}

}  // namespace Talvex::Common::Algorithms::Numerics
