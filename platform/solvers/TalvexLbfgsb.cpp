// Integer-coded front end of the Fortran L-BFGS-B 3.0 routine.
#include "platform/solvers/TalvexLbfgsb.h"

#include <cstddef>
#include <cstring>

// The Fortran entry (gfortran calling convention): every argument by reference, INTEGER and
// LOGICAL of 4 bytes, and the lengths of the two CHARACTER*60 arguments appended by value.
extern "C" void setulb_(int* n, int* m, double* x, double* l, double* u, int* nbd, double* f,
                        double* g, double* factr, double* pgtol, double* wa, int* iwa, char* task,
                        int* iprint, char* csave, std::int32_t* lsave, std::int32_t* isave,
                        double* dsave, std::size_t task_len, std::size_t csave_len);

namespace Talvex::Platform {

namespace {

constexpr std::size_t kTextLength = 60;

struct TaskText {
  int code;
  const char* text;  // a prefix of the routine's text; the first matching row wins
};

// Routine text to code. More specific prefixes come before the generic ones.
constexpr TaskText kTaskTable[] = {
    {LBFGSB_FG_LNSRCH, "FG_LNSRCH"},
    {LBFGSB_FG_START, "FG_START"},
    {LBFGSB_FG, "FG"},
    {LBFGSB_NEW_X, "NEW_X"},
    {LBFGSB_START, "START"},
    {LBFGSB_ABNORMAL, "ABNORMAL_TERMINATION_IN_LNSRCH"},
    {LBFGSB_RESTART, "RESTART_FROM_LNSRCH"},
    {LBFGSB_CONV_GRAD, "CONVERGENCE: NORM_OF_PROJECTED_GRADIENT_<=_PGTOL"},
    {LBFGSB_CONV_F, "CONVERGENCE: REL_REDUCTION_OF_F_<=_FACTR*EPSMCH"},
    {LBFGSB_CONVERGENCE, "CONV"},
    {LBFGSB_STOP_CPU, "STOP: CPU"},
    {LBFGSB_STOP, "STOP"},
    {LBFGSB_WARNING_ROUND, "WARNING: ROUNDING ERRORS PREVENT PROGRESS"},
    {LBFGSB_WARNING_XTOL, "WARNING: XTOL TEST SATISFIED"},
    {LBFGSB_WARNING_STPMAX, "WARNING: STP = STPMAX"},
    {LBFGSB_WARNING_STPMIN, "WARNING: STP = STPMIN"},
    {LBFGSB_WARNING, "WARNING"},
    {LBFGSB_ERROR_SMALLSTP, "ERROR: STP .LT. STPMIN"},
    {LBFGSB_ERROR_LARGESTP, "ERROR: STP .GT. STPMAX"},
    {LBFGSB_ERROR_INITIAL, "ERROR: INITIAL G .GE. ZERO"},
    {LBFGSB_ERROR_FTOL, "ERROR: FTOL .LT. ZERO"},
    {LBFGSB_ERROR_GTOL, "ERROR: GTOL .LT. ZERO"},
    {LBFGSB_ERROR_XTOL, "ERROR: XTOL .LT. ZERO"},
    {LBFGSB_ERROR_STP0, "ERROR: STPMIN .LT. ZERO"},
    {LBFGSB_ERROR_STP1, "ERROR: STPMAX .LT. STPMIN"},
    {LBFGSB_ERROR_N0, "ERROR: N .LE. 0"},
    {LBFGSB_ERROR_M0, "ERROR: M .LE. 0"},
    {LBFGSB_ERROR_FACTR, "ERROR: FACTR .LT. 0"},
    {LBFGSB_ERROR_NBD, "ERROR: INVALID NBD"},
    {LBFGSB_ERROR_FEAS, "ERROR: NO FEASIBLE SOLUTION"},
};

// Writes `text` blank-padded to the full CHARACTER*60.
void SetText(char* field, const char* text) {
  const std::size_t len = std::strlen(text);
  std::memcpy(field, text, len);
  std::memset(field + len, ' ', kTextLength - len);
}

int CodeOfText(const char* field) {
  for (const TaskText& row : kTaskTable) {
    if (std::strncmp(field, row.text, std::strlen(row.text)) == 0) return row.code;
  }
  return LBFGSB_ERROR;
}

// The text handed to the routine for a code it accepts on entry; null for any other code.
const char* TextOfEntryCode(int code) {
  switch (code) {
    case LBFGSB_START:
      return "START";
    case LBFGSB_NEW_X:
      return "NEW_X";
    case LBFGSB_FG_LNSRCH:
      return "FG_LNSRCH";
    case LBFGSB_FG_START:
      return "FG_START";
    case LBFGSB_STOP:
      return "STOP";
    case LBFGSB_STOP_CPU:
      return "STOP: CPU";
    default:
      return nullptr;
  }
}

}  // namespace

LbfgsbState::LbfgsbState() noexcept : lsave{}, isave{}, dsave{} {
  std::memset(task, ' ', sizeof task);
  std::memset(csave, ' ', sizeof csave);
}

void setulb(int* n, int* m, double* x, double* l, double* u, int* nbd, double* f, double* g,
            double* factr, double* pgtol, double* wa, int* iwa, int* task, int* iprint,
            LbfgsbState* state) {
  if (task == nullptr) return;
  if (n == nullptr || m == nullptr || x == nullptr || l == nullptr || u == nullptr ||
      nbd == nullptr || f == nullptr || g == nullptr || factr == nullptr || pgtol == nullptr ||
      wa == nullptr || iwa == nullptr || iprint == nullptr || state == nullptr) {
    *task = LBFGSB_ERROR;
    return;
  }
  const char* entry = TextOfEntryCode(*task);
  if (entry == nullptr) {
    SetText(state->task, "ERROR: TASK CODE NOT ACCEPTED ON ENTRY");
    *task = LBFGSB_ERROR;
    return;
  }
  SetText(state->task, entry);
  setulb_(n, m, x, l, u, nbd, f, g, factr, pgtol, wa, iwa, state->task, iprint, state->csave,
          state->lsave, state->isave, state->dsave, kTextLength, kTextLength);
  *task = CodeOfText(state->task);
}

}  // namespace Talvex::Platform
