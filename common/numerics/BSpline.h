// Smoothing cubic B-spline with a cut-off wavelength, used to smooth segmented layers along a
// B-scan (one spline per layer per B-scan) and to smooth resampled curves.
//
// The spline is a least-squares fit of cubic B-splines on M + 1 equally spaced nodes
// xmin + m·DX (m = 0 .. M) to the data, with a penalty on the integral of the squared second
// derivative:
//   minimise  sum_n (s(x_n) - (y_n - mean))^2 + alpha · ∫ s''(x)^2 dx,
//   alpha = (wl / (2π·DX))^4,
// which acts as a low-pass filter: undulations much shorter than the cut-off wavelength wl are
// removed, much longer ones pass unchanged; straight lines are reproduced exactly (with boundary
// condition 2), and cubics away from the ends. The mean of the data is carried separately.
// The normal equations (P + Q)·a = b have seven bands and are solved by banded LU without
// pivoting (the matrix is symmetric positive definite).
//
// Each basis function is the cubic B-spline scaled to 1 at its own node:
//   B(z) = (2 - |z|)^3 / 4 - max(0, 1 - |z|)^3  for |z| < 2,  0 otherwise,  z = (x - x_m) / DX.
// The two phantom nodes m = -1 and m = M + 1 are folded into nodes 0, 1 and M - 1, M with the
// weights of the boundary condition (BoundaryConditions table):
//   bc 0: spline (minus the mean) zero at the ends; bc 1: zero slope; bc 2: zero curvature.
//
// Objects never throw: a failed setup or solve leaves ok() false and evaluate() then returns 0.
// They print nothing and share no state.
//
// T is float or double. The double variant keeps data positions, xmin, xmax, coefficients and
// mean in double; the wavelength, DX, alpha, node integrals and basis values are single precision
// in both variants.
#pragma once

#include <memory>
#include <vector>

namespace Talvex::Common::Algorithms::Numerics {

template <typename T>
class BandedMatrix;

// Row view of a BandedMatrix: row[j] is element (row, j), 0-based.
template <typename T>
class BandedMatrixRow {
 public:
  BandedMatrixRow(BandedMatrix<T>& matrix, int row) : matrix_(&matrix), row_(row) {}
  T& operator[](int j) const { return matrix_->element(row_, j); }

 private:
  BandedMatrix<T>* matrix_;
  int row_;
};

// Square N x N matrix of which only the diagonals with offsets first .. last (j - i) are stored.
// Band v (0-based, offset first + v) holds N - |first + v| entries, entry e being element
// (i, j) with min(i, j) = e. All bands share one contiguous buffer.
//
// Elements outside the stored bands read as 0. Writing through the reference returned for them
// is allowed and has no effect (the reference is to a scratch element reset on every access).
template <typename T>
class BandedMatrix {
 public:
  // An empty matrix (N = 0).
  BandedMatrix() = default;

  // (Re)allocates N_ x N_ with the diagonals first .. last, all zero. Returns false, leaving the
  // matrix empty, when first > last, N_ <= 0, N_ < |first| or N_ < |last|.
  // Throws std::bad_alloc if the bands cannot be allocated.
  bool setup(int N_, int first, int last);

  // Sets every stored element (and the scratch element) to e.
  BandedMatrix& operator=(const T& e);

  int num_rows() const { return N_; }
  int firstBand() const { return first_; }
  int lastBand() const { return last_; }
  int numBands() const { return nbands_; }

  // Element (i, j), 0-based.
  T& element(int i, int j) {
    const int at = index(i, j);
    if (at < 0) {
      outOfBands_ = T(0);
      return outOfBands_;
    }
    return data_[static_cast<size_t>(at)];
  }
  T element(int i, int j) const {
    const int at = index(i, j);
    return at < 0 ? T(0) : data_[static_cast<size_t>(at)];
  }

  // Element (i, j), 0-based, without the band check: the caller guarantees 0 <= i, j < N and
  // first <= j - i <= last.
  T& at(int i, int j) {
    return data_[static_cast<size_t>(offsets_[j - i - first_] + (i < j ? i : j))];
  }
  T at(int i, int j) const {
    return data_[static_cast<size_t>(offsets_[j - i - first_] + (i < j ? i : j))];
  }

  // Row i, 0-based: matrix[i][j] is element (i, j).
  BandedMatrixRow<T> operator[](int i) { return BandedMatrixRow<T>(*this, i); }

  // Element (i, j), 1-based: element (i - 1, j - 1). Used by the LU routines.
  T& operator()(int i, int j) { return element(i - 1, j - 1); }
  T operator()(int i, int j) const { return element(i - 1, j - 1); }

 private:
  // Position of element (i, j) in data_, or -1 outside the stored bands.
  int index(int i, int j) const {
    const int v = j - first_ - i;
    if (v < 0 || v >= nbands_) return -1;
    const int e = i < j ? i : j;
    const int size = N_ - (j > i ? j - i : i - j);
    if (e < 0 || e >= size) return -1;
    return offsets_[static_cast<size_t>(v)] + e;
  }

  int first_ = 0;
  int last_ = 0;
  int nbands_ = 0;
  int N_ = 0;
  std::vector<T> data_;       // the bands one after another
  std::vector<int> offsets_;  // start of band v in data_
  T outOfBands_ = T(0);
};

// In-place LU factorisation without pivoting of a banded matrix with `bands` diagonals on each
// side of the main diagonal (1-based, column by column): afterwards L (unit diagonal) is stored
// below the diagonal and U on and above it.
// Returns 0 on success, 1 when a diagonal element is exactly 0 when its column is reached (the
// matrix is then partly overwritten). Intended for diagonally dominant or positive definite
// matrices; a pivot that becomes 0 during elimination gives non-finite factors.
template <typename T>
int LU_factor_banded(BandedMatrix<T>& A, unsigned bands);

// Solves L·U·x = b in place (b becomes x) with the factors of LU_factor_banded.
// Returns 0 on success, 1 when the matrix is empty or a diagonal element of U is 0.
template <typename T>
int LU_solve_banded(const BandedMatrix<T>& A, std::vector<T>& b, unsigned bands);

template <typename T>
struct BSplineBaseP;
template <typename T>
struct BSplineP;

// Node layout, boundary condition and the factorised normal-equation matrix of a smoothing
// spline over fixed abscissae. Ordinates are supplied by BSpline<T>.
template <typename T>
class BSplineBase {
 public:
  // Sets K = 2 and calls setDomain; check ok() afterwards.
  BSplineBase(const T* x, int nx, float wl, int bc_type = 0, int num_nodes = 0);
  virtual ~BSplineBase();
  BSplineBase(const BSplineBase&) = delete;
  BSplineBase& operator=(const BSplineBase&) = delete;

  // Chooses the nodes for the nx abscissae x (any order), computes alpha from the cut-off
  // wavelength wl (units of x; 0 = no smoothing penalty), builds P + Q and factorises it.
  //   bc_type    0, 1 or 2 (value, slope or curvature zero at both ends)
  //   num_nodes  >= 2: exactly num_nodes nodes (M = num_nodes - 1) whatever wl;
  //              otherwise M = nx when wl = 0, else the node rule: M is raised from 10 until
  //              there are at least 2 nodes per wavelength, then further while fewer than 4, and
  //              then until there are at most 2 data points per interval, never beyond 15 nodes
  //              per wavelength or fewer than 1 data point per interval.
  // Returns false (and leaves ok() false) when nx <= 0, x is null, wl < 0, bc_type is not 0..2,
  // all abscissae are equal, wl exceeds the data range xmax - xmin, there are too few data points
  // for the wavelength (fewer than one per interval), or a pivot of the factorisation is zero.
  // On the argument errors (nx, x, wl, bc_type) nothing is changed.
  bool setDomain(const T* x, int nx, float wl, int bc_type = 0, int num_nodes = 0);

  // True when the last setDomain (and, for BSpline, the last solve) succeeded.
  bool ok() const { return OK; }
  // Smallest and largest data abscissa.
  T Xmin() const { return xmin; }
  T Xmax() const { return xmax; }
  // Number of node intervals M (nodes 0 .. M) and their length DX = (xmax - xmin) / M.
  int nIntervals() const { return M; }
  float intervalLength() const { return DX; }
  // Weight of the curvature penalty.
  float alphaWeight() const { return alpha; }
  // Number of data points.
  int nX() const { return NX; }
  // True when x lies in the spline's domain [xmin, xmin + M·DX], where evaluate is meaningful.
  bool inDomain(T x) const { return x >= xmin && x <= xmin + M * DX; }

 protected:
  // Chooses M and DX (see setDomain); false when no valid M exists.
  bool Setup(int num_nodes);
  // alpha for a cut-off wavelength: (wavelength / (2π·DX))^(2K).
  float Alpha(float wavelength) const;
  // Builds the derivative-constraint matrix Q (7 bands, (M+1) x (M+1)), with the boundary terms.
  void calculateQ();
  // alpha times the integral over the domain of the product of the K-th derivatives of the basis
  // functions of nodes m1 and m2 (0 when they are more than 3 nodes apart).
  float qDelta(int m1, int m2) const;
  // Weight of phantom node -1 (m = 0, 1) or M + 1 (m = M - 1, M) folded into node m; 0 elsewhere.
  float Beta(int m) const;
  // Adds the data term P (sum over points of products of basis values) to Q.
  void addP();
  // Factorises P + Q in place; false on a zero pivot.
  bool factor();
  // Basis function of node m at x, including the folded phantom nodes.
  float Basis(int m, T x) const;

  // The data interval c = trunc((x - xmin) / DX) clamped to the reach of the basis, and the
  // values of the (at most 4) basis functions first .. last that are non-zero there.
  // Returns the number of them.
  int Bases(T x, int& firstNode, float* values) const;

  float waveLength = 0;
  int NX = 0;
  int K = 2;
  int BC = 0;
  T xmax = 0;
  T xmin = 0;
  int M = 0;
  float DX = 0;
  float alpha = 0;
  bool OK = false;
  std::unique_ptr<BSplineBaseP<T>> base;
};

// Smoothing spline of the ordinates y over the abscissae of BSplineBase.
//
//   BSpline<float> s(x, n, y, wavelength, 2, 0);
//   if (!s.ok()) return -1;
//   for (...) if (s.inDomain(xi)) yi = s.evaluate(xi);
template <typename T>
class BSpline : public BSplineBase<T> {
 public:
  // Sets up the base (setDomain) and solves for y (nx ordinates); check ok() afterwards.
  BSpline(const T* x, int nx, const T* y, float wl, int bc_type = 0, int num_nodes = 0);
  ~BSpline() override;

  // Fits new ordinates y (nx values, same abscissae) with the factorised matrix. Returns false,
  // leaving ok() false, when the set-up failed before or the triangular solve hits a zero pivot.
  bool solve(const T* y);

  // Value of the spline at x: mean + sum over the four nodes around x of a_m·Basis(m, x).
  // 0 when ok() is false. Meaningful within [xmin, xmin + M·DX]; beyond it the end pieces are
  // continued until the basis functions vanish, two intervals further out, and the mean is
  // returned from there on.
  T evaluate(T x) const;

  // Mean of the last ordinates solved for.
  T Mean() const { return mean; }
  // The M + 1 coefficients a_m of the last solve.
  const std::vector<T>& coefficients() const;

 private:
  std::unique_ptr<BSplineP<T>> s;
  T mean = 0;
};

extern template class BandedMatrix<float>;
extern template class BandedMatrix<double>;
extern template class BSplineBase<float>;
extern template class BSplineBase<double>;
extern template class BSpline<float>;
extern template class BSpline<double>;

}  // namespace Talvex::Common::Algorithms::Numerics
