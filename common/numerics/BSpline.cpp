#include "common/numerics/BSpline.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <new>
#include <stdexcept>

namespace Talvex::Common::Algorithms::Numerics {

// Private part of BSplineBase: the normal-equation matrix (later its LU factors) and the
// abscissae.
template <typename T>
struct BSplineBaseP {
  BandedMatrix<T> Q;
  std::vector<T> X;
};

// Private part of BSpline: the node coefficients.
template <typename T>
struct BSplineP {
  std::vector<T> A;
};

namespace {

// Weights of the phantom nodes -1 and M+1 in nodes 0, 1, M-1, M per boundary condition:
// a(-1) = beta(0) a(0) + beta(1) a(1) and a(M+1) = beta(M-1) a(M-1) + beta(M) a(M).
// 0: value zero at the ends (a(-1) + 4 a(0) + a(1) = 0), 1: slope zero (a(-1) = a(1)),
// 2: curvature zero (a(-1) - 2 a(0) + a(1) = 0).
constexpr float BoundaryConditions[3][4] = {{-4, -1, -1, -4}, {0, 1, 1, 0}, {2, -1, -1, 2}};

// qparts[K-1][d][p]: integral over interval p (0..3) of the support of a node's basis function
// of the product of its K-th derivative with that of the node d intervals to the right.
constexpr float qparts[3][4][4] = {{{0.1125f, 0.6375f, 0.6375f, 0.1125f},
                                    {0.0f, 0.13125f, -0.54375f, 0.13125f},
                                    {0.0f, 0.0f, -0.225f, -0.225f},
                                    {0.0f, 0.0f, 0.0f, -0.01875f}},
                                   {{0.75f, 2.25f, 2.25f, 0.75f},
                                    {0.0f, -1.125f, -1.125f, -1.125f},
                                    {0.0f, 0.0f, 0.0f, 0.0f},
                                    {0.0f, 0.0f, 0.0f, 0.375f}},
                                   {{2.25f, 20.25f, 20.25f, 2.25f},
                                    {0.0f, -6.75f, -20.25f, -6.75f},
                                    {0.0f, 0.0f, 6.75f, 6.75f},
                                    {0.0f, 0.0f, 0.0f, -2.25f}}};

constexpr float kTwoPi = 6.2831854820251465f;

}  // namespace

// ---------------------------------------------------------------------------------------------
// BandedMatrix and the banded LU
// ---------------------------------------------------------------------------------------------

template <typename T>
bool BandedMatrix<T>::setup(int N, int first, int last) {
  if (first > last || N <= 0 || N < std::abs(first) || N < std::abs(last)) {
    *this = BandedMatrix<T>();
    return false;
  }
  first_ = first;
  last_ = last;
  nbands_ = last - first + 1;
  N_ = N;
  offsets_.assign(static_cast<size_t>(nbands_), 0);
  size_t total = 0;
  for (int v = 0; v < nbands_; ++v) {
    offsets_[static_cast<size_t>(v)] = static_cast<int>(total);
    total += static_cast<size_t>(N - std::abs(first + v));
  }
  data_.assign(total, T(0));
  outOfBands_ = T(0);
  return true;
}

template <typename T>
BandedMatrix<T>& BandedMatrix<T>::operator=(const T& e) {
  std::fill(data_.begin(), data_.end(), e);
  outOfBands_ = e;
  return *this;
}

namespace {

// The banded LU on any 1-based element accessor a(i, j).
template <typename T, typename Access>
int FactorBanded(int N, int b, Access a) {
  for (int j = 1; j <= N; ++j) {
    if (a(j, j) == T(0)) return 1;
    const int lo = j <= b ? 1 : j - b;
    // Column j of U.
    for (int i = lo; i <= j; ++i) {
      T sum = 0;
      for (int k = lo; k < i; ++k) sum += a(i, k) * a(k, j);
      a(i, j) -= sum;
    }
    // Column j of L.
    const int hi = std::min(N, j + b);
    for (int i = j + 1; i <= hi; ++i) {
      const int loI = i <= b ? 1 : i - b;
      T sum = 0;
      for (int k = loI; k < j; ++k) sum += a(i, k) * a(k, j);
      a(i, j) = (a(i, j) - sum) / a(j, j);
    }
  }
  return 0;
}

template <typename T, typename Access>
int SolveBanded(int N, int w, Access a, std::vector<T>& b) {
  // Forward substitution with the unit lower triangle.
  for (int i = 2; i <= N; ++i) {
    T sum = 0;
    for (int k = std::max(1, i - w); k < i; ++k) sum += a(i, k) * b[k - 1];
    b[i - 1] -= sum;
  }
  // Back substitution with U.
  b[N - 1] /= a(N, N);
  for (int i = N - 1; i >= 1; --i) {
    if (a(i, i) == T(0)) return 1;
    T sum = 0;
    const int hi = std::min(N, i + w);
    for (int k = i + 1; k <= hi; ++k) sum += b[k - 1] * a(i, k);
    b[i - 1] = (b[i - 1] - sum) / a(i, i);
  }
  return 0;
}

// True when every element the routines touch with `bands` lies in the stored bands, so the
// unchecked accessor may be used.
template <typename T>
bool Covers(const BandedMatrix<T>& A, unsigned bands) {
  return static_cast<long>(bands) <= -A.firstBand() && static_cast<long>(bands) <= A.lastBand();
}

}  // namespace

template <typename T>
int LU_factor_banded(BandedMatrix<T>& A, unsigned bands) {
  const int N = A.num_rows(), b = static_cast<int>(bands);
  if (Covers(A, bands))
    return FactorBanded<T>(N, b, [&A](int i, int j) -> T& { return A.at(i - 1, j - 1); });
  return FactorBanded<T>(N, b, [&A](int i, int j) -> T& { return A(i, j); });
}

template <typename T>
int LU_solve_banded(const BandedMatrix<T>& A, std::vector<T>& b, unsigned bands) {
  const int N = A.num_rows(), w = static_cast<int>(bands);
  if (N == 0 || static_cast<int>(b.size()) < N) return 1;
  if (Covers(A, bands))
    return SolveBanded<T>(
        N, w, [&A](int i, int j) { return A.at(i - 1, j - 1); }, b);
  return SolveBanded<T>(
      N, w, [&A](int i, int j) { return A(i, j); }, b);
}

// ---------------------------------------------------------------------------------------------
// BSplineBase
// ---------------------------------------------------------------------------------------------

template <typename T>
BSplineBase<T>::BSplineBase(const T* x, int nx, float wl, int bc_type, int num_nodes)
    : K(2), OK(false), base(new (std::nothrow) BSplineBaseP<T>()) {
  setDomain(x, nx, wl, bc_type, num_nodes);
}

template <typename T>
BSplineBase<T>::~BSplineBase() = default;

template <typename T>
bool BSplineBase<T>::setDomain(const T* x, int nx, float wl, int bc_type, int num_nodes) {
  if (nx <= 0 || x == nullptr || wl < 0 || bc_type < 0 || bc_type > 2 || !base) return false;
  OK = false;
  waveLength = wl;
  BC = bc_type;
  try {
    base->X.assign(x, x + nx);
    NX = nx;
    if (!Setup(num_nodes)) return false;
    alpha = Alpha(waveLength);
    calculateQ();
    addP();
    if (!factor()) return false;
  } catch (const std::exception&) {  // allocation of the matrix or the abscissae
    return false;
  }
  OK = true;
  return true;
}

template <typename T>
bool BSplineBase<T>::Setup(int num_nodes) {
  const std::vector<T>& X = base->X;
  const auto extremes = std::minmax_element(X.begin(), X.end());
  xmin = *extremes.first;
  xmax = *extremes.second;
  const double range = static_cast<double>(xmax) - static_cast<double>(xmin);
  if (!(range > 0) || !std::isfinite(range)) return false;  // all abscissae equal, or not finite

  // Nodes per wavelength and data points per interval for M intervals, in single precision.
  const auto perWave = [&](int intervals) {
    return waveLength / static_cast<float>(range / intervals);
  };
  const auto perInterval = [&](int intervals) {
    return static_cast<float>(NX) / static_cast<float>(intervals + 1);
  };

  if (num_nodes >= 2) {
    M = num_nodes - 1;
  } else if (waveLength == 0) {
    M = NX;
  } else {
    if (waveLength > range) return false;
    M = 9;
    do {
      ++M;
      if (perInterval(M) < 1) return false;
    } while (!(perWave(M) >= 2));
    for (;;) {
      ++M;
      const float ppw = perWave(M);
      const float dpi = perInterval(M);
      if (dpi < 1 || ppw > 15) {
        --M;
        break;
      }
      if (ppw < 4) continue;
      if (dpi <= 2) break;
    }
  }
  DX = static_cast<float>(range / M);
  return true;
}

template <typename T>
float BSplineBase<T>::Alpha(float wavelength) const {
  float a = wavelength / (DX * kTwoPi);
  a *= a;
  if (K == 2)
    a *= a;
  else if (K == 3)
    a = a * a * a;
  return a;
}

template <typename T>
float BSplineBase<T>::Beta(int m) const {
  if (m > 1 && m < M - 1) return 0;
  const int k = m <= 1 ? m : m - M + 3;
  if (k < 0 || k > 3) return 0;  // beyond the phantom nodes' reach (only with M < 4)
  return BoundaryConditions[BC][k];
}

template <typename T>
float BSplineBase<T>::qDelta(int m1, int m2) const {
  if (m1 > m2) std::swap(m1, m2);
  if (m2 - m1 > 3) return 0;
  float q = 0;
  const int end = std::min(m1 + 2, M);
  for (int m = std::max(m1 - 2, 0); m < end; ++m) q += qparts[K - 1][m2 - m1][m - m1 + 2];
  return alpha * q;
}

template <typename T>
void BSplineBase<T>::calculateQ() {
  BandedMatrix<T>& Q = base->Q;
  Q.setup(M + 1, -3, 3);  // fails (leaving Q empty) only for M < 2; the LU solve then fails
  Q = T(0);
  if (alpha == 0) return;

  for (int i = 0; i <= M; ++i) {
    Q[i][i] = qDelta(i, i);
    for (int j = i + 1; j <= std::min(M, i + 3); ++j) Q[i][j] = Q[j][i] = qDelta(i, j);
  }
  // Phantom node -1 folded into nodes 0 and 1.
  for (int i = 0; i < 2; ++i) {
    for (int j = i; j <= i + 3; ++j) {
      const float bi = Beta(i), bj = Beta(j);
      float s = qDelta(-1, i) * bj;
      if (j < 3) s += qDelta(-1, j) * bi;
      s += qDelta(-1, -1) * bi * bj;
      Q[i][j] += s;
      Q[j][i] = Q[i][j];
    }
  }
  // Phantom node M+1 folded into nodes M-1 and M.
  for (int i = M - 1; i <= M; ++i) {
    for (int j = i - 3; j <= i; ++j) {
      const float bi = Beta(i), bj = Beta(j);
      float s = 0;
      if (M - i + 1 < 4) s += qDelta(i, M + 1) * bj;
      if (M - j + 1 < 4) s += qDelta(j, M + 1) * bi;
      s += qDelta(M + 1, M + 1) * bi * bj;
      Q[i][j] += s;
      Q[j][i] = Q[i][j];
    }
  }
}

namespace {

// Cubic B-spline of node `node` (at node·DX + xmin) at x, scaled to 1 at its node.
template <typename T>
inline float RawBasis(int node, T x, float DX, T xmin) {
  const T z = (x - (node * DX + xmin)) / DX;
  const T a = std::abs(z);
  T b = 0;
  if (a < 2) {
    T t = 2 - a;
    b = t * t * t / 4;
    t -= 1;
    if (t > 0) b -= t * t * t;
  }
  return static_cast<float>(b);
}

}  // namespace

template <typename T>
float BSplineBase<T>::Basis(int m, T x) const {
  float b = RawBasis(m, x, DX, xmin);
  if (m == 0 || m == 1) b += RawBasis(-1, x, DX, xmin) * Beta(m);
  if (m == M - 1 || m == M) b += RawBasis(M + 1, x, DX, xmin) * Beta(m);
  return b;
}

template <typename T>
int BSplineBase<T>::Bases(T x, int& firstNode, float* values) const {
  const T u = (x - xmin) / DX;
  if (!(u > -3 && u < M + 3)) return 0;  // no basis function reaches x (or x is not a number)
  const int c = static_cast<int>(u);     // truncation toward zero
  firstNode = std::max(0, c - 1);
  const int lastNode = std::min(M, c + 2);
  if (firstNode > 1 && lastNode < M - 1 && lastNode - firstNode == 3) {
    // Interior: four plain basis functions, branch-free (same values as RawBasis; there
    // t = max(2 - |z|, 0) and the second term only counts while t > 1).
    for (int k = 0; k < 4; ++k) {
      const T z = (x - ((firstNode + k) * DX + xmin)) / DX;
      T t = 2 - std::abs(z);
      t = t > 0 ? t : T(0);
      T v = t - 1;
      v = v > 0 ? v : T(0);
      values[k] = static_cast<float>(t * t * t / 4 - v * v * v);
    }
    return 4;
  }
  int count = 0;
  for (int m = firstNode; m <= lastNode; ++m) values[count++] = RawBasis(m, x, DX, xmin);
  // Phantom nodes, as in Basis: only near the ends.
  if (firstNode <= 1 || lastNode >= M - 1) {
    for (int k = 0; k < count; ++k) {
      const int m = firstNode + k;
      if (m == 0 || m == 1) values[k] += RawBasis(-1, x, DX, xmin) * Beta(m);
      if (m == M - 1 || m == M) values[k] += RawBasis(M + 1, x, DX, xmin) * Beta(m);
    }
  }
  return count;
}

template <typename T>
void BSplineBase<T>::addP() {
  BandedMatrix<T>& Q = base->Q;
  if (Q.num_rows() != M + 1) return;  // no matrix (M < 2): the solve fails later
  float b[4];
  int first = 0;
  for (const T x : base->X) {
    const int count = Bases(x, first, b);
    for (int k = 0; k < count; ++k) {
      const int m = first + k;
      const float p = b[k];
      Q.at(m, m) += p * p;
      for (int k2 = k + 1; k2 < count; ++k2) {
        const float q = b[k2] * p;
        Q.at(m, first + k2) += q;
        Q.at(first + k2, m) += q;
      }
    }
  }
}

template <typename T>
bool BSplineBase<T>::factor() {
  return LU_factor_banded(base->Q, 3) == 0;
}

// ---------------------------------------------------------------------------------------------
// BSpline
// ---------------------------------------------------------------------------------------------

template <typename T>
BSpline<T>::BSpline(const T* x, int nx, const T* y, float wl, int bc_type, int num_nodes)
    : BSplineBase<T>(x, nx, wl, bc_type, num_nodes), s(new (std::nothrow) BSplineP<T>()) {
  if (!s) this->OK = false;
  solve(y);
}

template <typename T>
BSpline<T>::~BSpline() = default;

template <typename T>
const std::vector<T>& BSpline<T>::coefficients() const {
  static const std::vector<T> none;
  return s ? s->A : none;
}

template <typename T>
bool BSpline<T>::solve(const T* y) {
  if (!this->OK || y == nullptr || !s) return false;
  const int M = this->M;
  const std::vector<T>& X = this->base->X;
  std::vector<T>& A = s->A;
  this->OK = false;
  try {
    A.assign(static_cast<size_t>(M) + 1, T(0));
  } catch (const std::bad_alloc&) {
    return false;
  }

  T sum = 0;
  for (int n = 0; n < this->NX; ++n) sum += y[n];
  mean = sum / static_cast<T>(this->NX);

  float b[4];
  int first = 0;
  for (int n = 0; n < this->NX; ++n) {
    const T d = y[n] - mean;
    const int count = this->Bases(X[n], first, b);
    for (int k = 0; k < count; ++k) A[first + k] += b[k] * d;
  }

  if (LU_solve_banded(this->base->Q, A, 3) != 0) return false;
  this->OK = true;
  return true;
}

template <typename T>
T BSpline<T>::evaluate(T x) const {
  if (!this->OK) return 0;
  float b[4];
  int first = 0;
  const int count = this->Bases(x, first, b);
  T y = 0;
  for (int k = 0; k < count; ++k) y += b[k] * s->A[first + k];
  return y + mean;
}

template class BandedMatrix<float>;
template class BandedMatrix<double>;
template class BSplineBase<float>;
template class BSplineBase<double>;
template class BSpline<float>;
template class BSpline<double>;
template int LU_factor_banded(BandedMatrix<float>&, unsigned);
template int LU_factor_banded(BandedMatrix<double>&, unsigned);
template int LU_solve_banded(const BandedMatrix<float>&, std::vector<float>&, unsigned);
template int LU_solve_banded(const BandedMatrix<double>&, std::vector<double>&, unsigned);

}  // namespace Talvex::Common::Algorithms::Numerics
