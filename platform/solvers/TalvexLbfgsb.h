// Binding of the bound-constrained limited-memory BFGS minimiser (L-BFGS-B 3.0, Byrd, Lu,
// Nocedal, Zhu; the Fortran library of the system) with integer task codes.
//
// The Fortran routine communicates through a 60-character `task` text and keeps its own text
// state in a 60-character `csave`. The optimiser's driver works with integer task codes instead;
// `setulb` below translates in both directions and keeps both texts in an LbfgsbState that the
// driver owns for the duration of one minimisation.
//
// Task codes (returned in *task, and accepted on entry where marked "in"):
//
//   code  meaning                                        routine's text
//   ----  ---------------------------------------------  ----------------------------------------
//      1  START (in): begin a new minimisation           START
//      2  NEW_X (in/out): an iteration has concluded;    NEW_X
//         x, f, g hold the new iterate
//      3  ABNORMAL: the line search failed; x holds the  ABNORMAL_TERMINATION_IN_LNSRCH
//         best point found
//      4  RESTART: the limited memory was refreshed      RESTART_FROM_LNSRCH
//         (handled inside the routine; never returned by
//         this version)
//     10  FG: evaluate f and g at x (other FG texts)     FG...
//     11  FG_LNSRCH (in/out): evaluate f and g at x       FG_LNSRCH
//         (a line-search trial point)
//     12  FG_START (in/out): evaluate f and g at the     FG_START
//         (projected) start point
//     20  converged (other CONVERGENCE texts)            CONVERGENCE...
//     21  converged: projected gradient <= pgtol         CONVERGENCE: NORM_OF_PROJECTED_GRADIENT_
//                                                        <=_PGTOL
//     22  converged: relative reduction of f <=          CONVERGENCE: REL_REDUCTION_OF_F_<=_FACTR
//         factr * machine epsilon                        *EPSMCH
//     30  STOP (in/out): the driver ends the run; x, f,  STOP
//         g keep the last iterate
//     31  STOP_CPU (in/out): the driver ends the run and STOP: CPU
//         the routine restores the previous iterate
//    100  warning (other WARNING texts)                  WARNING...
//    101  rounding errors prevent progress               WARNING: ROUNDING ERRORS PREVENT PROGRESS
//    102  line search: relative width below xtol         WARNING: XTOL TEST SATISFIED
//    103  line search: step at its maximum               WARNING: STP = STPMAX
//    104  line search: step at its minimum               WARNING: STP = STPMIN
//    200  error (other ERROR texts, an unrecognised      ERROR...
//         text, a task code not accepted on entry, or a
//         null argument)
//    201  line search: step below its minimum            ERROR: STP .LT. STPMIN
//    202  line search: step above its maximum            ERROR: STP .GT. STPMAX
//    203  line search: not a descent direction           ERROR: INITIAL G .GE. ZERO
//    204  line search: ftol < 0                          ERROR: FTOL .LT. ZERO
//    205  line search: gtol < 0                          ERROR: GTOL .LT. ZERO
//    206  line search: xtol < 0                          ERROR: XTOL .LT. ZERO
//    207  line search: minimum step < 0                  ERROR: STPMIN .LT. ZERO
//    208  line search: maximum step < minimum step       ERROR: STPMAX .LT. STPMIN
//    209  n <= 0                                         ERROR: N .LE. 0
//    210  m <= 0                                         ERROR: M .LE. 0
//    211  factr < 0                                      ERROR: FACTR .LT. 0
//    212  a bound type outside 0..3                      ERROR: INVALID NBD
//    213  a lower bound above its upper bound            ERROR: NO FEASIBLE SOLUTION
//
// A driver loop:
//   LbfgsbState state;
//   int task = LBFGSB_START;
//   for (;;) {
//     setulb(&n, &m, x, l, u, nbd, &f, g, &factr, &pgtol, wa, iwa, &task, &iprint, &state);
//     if (LbfgsbIsFg(task)) { f = ...; g = ...; continue; }
//     if (task == LBFGSB_NEW_X) continue;        // or task = LBFGSB_STOP to end early
//     break;                                      // converged (20..29), warning or error
//   }
#pragma once

#include <cstdint>

namespace Talvex::Platform {

enum : int {
  LBFGSB_START = 1,
  LBFGSB_NEW_X = 2,
  LBFGSB_ABNORMAL = 3,
  LBFGSB_RESTART = 4,
  LBFGSB_FG = 10,
  LBFGSB_FG_LNSRCH = 11,
  LBFGSB_FG_START = 12,
  LBFGSB_CONVERGENCE = 20,
  LBFGSB_CONV_GRAD = 21,
  LBFGSB_CONV_F = 22,
  LBFGSB_STOP = 30,
  LBFGSB_STOP_CPU = 31,
  LBFGSB_WARNING = 100,
  LBFGSB_WARNING_ROUND = 101,
  LBFGSB_WARNING_XTOL = 102,
  LBFGSB_WARNING_STPMAX = 103,
  LBFGSB_WARNING_STPMIN = 104,
  LBFGSB_ERROR = 200,
  LBFGSB_ERROR_SMALLSTP = 201,
  LBFGSB_ERROR_LARGESTP = 202,
  LBFGSB_ERROR_INITIAL = 203,
  LBFGSB_ERROR_FTOL = 204,
  LBFGSB_ERROR_GTOL = 205,
  LBFGSB_ERROR_XTOL = 206,
  LBFGSB_ERROR_STP0 = 207,
  LBFGSB_ERROR_STP1 = 208,
  LBFGSB_ERROR_N0 = 209,
  LBFGSB_ERROR_M0 = 210,
  LBFGSB_ERROR_FACTR = 211,
  LBFGSB_ERROR_NBD = 212,
  LBFGSB_ERROR_FEAS = 213,
};

// True for the codes that ask for f and g at x (10..15).
inline bool LbfgsbIsFg(int task) { return task >= 10 && task <= 15; }

// Everything the routine keeps between two calls besides the work arrays: the task and csave
// texts (blank-padded, 60 characters, no terminating zero) and the save areas. Construct one per
// minimisation and keep it, unchanged, until the run ends; it owns no heap memory.
struct LbfgsbState {
  char task[60];
  char csave[60];
  std::int32_t lsave[4];   // Fortran LOGICAL (4 bytes)
  std::int32_t isave[44];  // isave[29]: iterations, isave[33]: f and g evaluations
  double dsave[29];        // dsave[1]: previous f, dsave[12]: projected-gradient norm
  LbfgsbState() noexcept;
};

// One reverse-communication step of L-BFGS-B 3.0: minimises f(x) subject to l <= x <= u.
//   n       number of variables (the routine reports ERROR_N0 when n <= 0)
//   m       number of correction pairs kept (3..20 recommended)
//   x       n values: the start point on the first call, the current point afterwards
//   l, u    n lower and upper bounds (read where nbd says a bound exists)
//   nbd     n bound types: 0 none, 1 lower only, 2 both, 3 upper only
//   f, g    the objective value and its n-value gradient at x, set by the driver after every
//           FG code
//   factr   relative-reduction tolerance in units of the machine epsilon (1e7: moderate)
//   pgtol   tolerance on the largest projected-gradient component
//   wa      (2m + 5)·n + 11·m² + 8·m doubles of work space, untouched between calls
//   iwa     3·n ints of work space, untouched between calls
//   task    in: LBFGSB_START on the first call, then the code returned by the previous call (or
//           LBFGSB_STOP / LBFGSB_STOP_CPU to end the run); out: the next task code (table above)
//   iprint  output level of the routine: < 0 silent (the library's own printing otherwise goes
//           to standard output)
//   state   the run's LbfgsbState
// A task code that the routine cannot take on entry (anything but 1, 2, 11, 12, 30, 31) is not
// passed on: *task becomes LBFGSB_ERROR. A null argument also gives LBFGSB_ERROR (when task is
// not null).
void setulb(int* n, int* m, double* x, double* l, double* u, int* nbd, double* f, double* g,
            double* factr, double* pgtol, double* wa, int* iwa, int* task, int* iprint,
            LbfgsbState* state);

}  // namespace Talvex::Platform
