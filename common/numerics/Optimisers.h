// Minimisers of the numerics library: the derivative-free Nelder-Mead simplex search that fits the
// flexible sigmoid of the angle segmentation to an A-scan profile, and the bound-constrained
// limited-memory quasi-Newton driver (L-BFGS-B with finite-difference gradients) that estimates
// eye motion between the meridians of a radial scan.
#pragma once

namespace Talvex::Common::Algorithms::Numerics {

// Largest number of variables fminsearch accepts: its simplex of n + 1 vertices lives in fixed
// storage on the call stack.
constexpr int kFminsearchMaxVariables = 100;

// Objective of fminsearch: fun(point, n, data1, n1, n2, data2, n3) returns the value at the n
// coordinates of point; the data arguments are the caller's, passed through unchanged.
using FminsearchObjective = double (*)(double* point, int n, double* data1, int n1, int n2,
                                       double* data2, int n3);

// Nelder-Mead simplex minimisation (reflection 1, expansion 2, contraction 0.5, shrink 0.5).
//
// The initial simplex is x and, for each j < n, x with component j multiplied by 1.05f (set to
// 0.00025f when exactly 0). The search stops when, before a step, every vertex value lies within
// TolFun of the best and every coordinate of every vertex within TolX of the best vertex, or when
// MaxFunEvals evaluations or MaxIter iterations have been used; the iteration count starts at 1
// with the initial simplex, so MaxIter 1 returns the best vertex of the initial simplex. A step is
// allowed to complete past MaxFunEvals (at most n + 1 extra evaluations).
//   x            n values: the start point on entry, the best vertex found on return
//   n            number of variables, 1 .. kFminsearchMaxVariables
//   data1, n1, n2, data2, n3  passed to fun unchanged
//   fun          the objective
//   TolX, TolFun tolerances on the coordinates and on the values
// Reports nothing: with n outside 1 .. 100, a null x or fun, or a failing sort of the vertex
// values, it returns at once with x unchanged (fun is not called for a refused n).
void fminsearch(double* x, int n, double* data1, int n1, int n2, double* data2, int n3,
                FminsearchObjective fun, float TolX, float TolFun, int MaxFunEvals, int MaxIter);

// Objective of lbfgssolver: writes the *m values of the function at the *n coordinates of x into
// f; data is the caller's, passed through unchanged. The first value is minimised.
using LbfgsObjective = void (*)(int* m, int* n, double* x, double* f, void* data);

// Results of lbfgssolver.
enum : int {
  kLbfgsConverged = 0,  // L-BFGS-B reported convergence, or one evaluation changed f by <= ftol
  kLbfgsIterationLimit = 1,  // maxIter iterations done; x holds the last iterate (a success)
  kLbfgsFailed = -1,
};

// Minimises fun over the box given by l, u and nbd with L-BFGS-B, its gradients by central
// differences of step eps.
//   x      n values: the start point on entry (projected onto the box by the algorithm), the
//          point reached on return
//   n      number of variables, 1 .. 10 000 000
//   m      number of correction pairs L-BFGS-B keeps, 1 .. 100; it is also the number of values
//          fun writes (one row of the Jacobian each); the first value is the objective
//   l, u   n lower and upper bounds;  nbd  n bound types: 0 free, 1 lower, 2 both, 3 upper
//   data   passed to fun unchanged
//   eps    finite-difference step (> 0; any other value fails the first gradient)
//   factr  L-BFGS-B's relative-reduction tolerance in units of the machine epsilon
//   pgtol  L-BFGS-B's tolerance on the largest projected-gradient component
//   ftol   function-change tolerance: an evaluation whose value is within ftol of the previous
//          evaluation's (of 0 for the first) ends the run at once, x at the evaluated point
//   maxIter iteration limit; the run ends when the iteration count reaches it (a value below 1
//          sets no limit)
// Each evaluation whose value does not end the run is printed to standard output as "%fl\n".
// Returns
//   kLbfgsConverged (0)      the function-change test or L-BFGS-B's own convergence test held;
//   kLbfgsIterationLimit (1) maxIter iterations were made; x holds the last iterate;
//   kLbfgsFailed (-1)        a refused argument (a null pointer, n or m out of range), a failed
//                            allocation, a failed gradient, or L-BFGS-B ended abnormally, with a
//                            warning or an error (an infeasible box or a bad bound type, say).
int lbfgssolver(double* x, long n, long m, double* l, double* u, long* nbd, void* data,
                LbfgsObjective fun, double eps, double factr, double pgtol, double ftol,
                int maxIter);

}  // namespace Talvex::Common::Algorithms::Numerics
