// The motion objective through per-meridian triangular factors of the quadric design.
#include "engines/motion_correction/QuadricResidual.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "core/AlgorithmException.h"
#include "engines/motion_correction/CCorneaMotionCorrection.h"
#include "platform/matrix/TalvexIppm.h"

namespace Talvex::SDOCT::Algorithms {

namespace {

using namespace Talvex::Platform;

// Monomial row of one point: x^2, y^2, z^2, xy, zx, zy, x, y, z, 1 (the quadric fit's columns,
// the right-hand side of ones last).
void Monomials(double x, double y, double z, double* m) {
  m[0] = x * x, m[1] = y * y, m[2] = z * z;
  m[3] = x * y, m[4] = z * x, m[5] = z * y;
  m[6] = x, m[7] = y, m[8] = z, m[9] = 1.0;
}

// w = T(d) v: the row v of monomial coefficients after the points it combines moved by d.
void Translate(const double* v, double dx, double dy, double dz, double* w) {
  w[0] = v[0] + 2.0 * dx * v[6] + dx * dx * v[9];
  w[1] = v[1] + 2.0 * dy * v[7] + dy * dy * v[9];
  w[2] = v[2] + 2.0 * dz * v[8] + dz * dz * v[9];
  w[3] = v[3] + dy * v[6] + dx * v[7] + dx * dy * v[9];
  w[4] = v[4] + dx * v[8] + dz * v[6] + dx * dz * v[9];
  w[5] = v[5] + dy * v[8] + dz * v[7] + dy * dz * v[9];
  w[6] = v[6] + dx * v[9];
  w[7] = v[7] + dy * v[9];
  w[8] = v[8] + dz * v[9];
  w[9] = v[9];
}

// Householder triangularisation of an n x 10 matrix held column after column (a[col * n + row],
// n >= 10) into the 10 x 10 upper triangle r (row-major). Rank-deficient input is fine: a
// meridian's points lie in one vertical plane, so x^2, y^2 and xy are proportional.
void Triangularise(double* a, int n, double* r) {
  constexpr int p = 10;
  std::fill(r, r + p * p, 0.0);
  for (int k = 0; k < p; ++k) {
    double* v = a + static_cast<std::size_t>(k) * n;
    double norm2 = 0.0;
    for (int i = k; i < n; ++i) norm2 += v[i] * v[i];
    const double norm = std::sqrt(norm2);
    const double alpha = v[k] >= 0.0 ? -norm : norm;
    r[k * p + k] = alpha;
    v[k] -= alpha;
    double vnorm2 = 0.0;
    for (int i = k; i < n; ++i) vnorm2 += v[i] * v[i];
    for (int j = k + 1; j < p; ++j) {
      double* col = a + static_cast<std::size_t>(j) * n;
      if (vnorm2 > 0.0) {
        double s = 0.0;
        for (int i = k; i < n; ++i) s += v[i] * col[i];
        const double f = 2.0 * s / vnorm2;
        for (int i = k; i < n; ++i) col[i] -= f * v[i];
      }
      r[k * p + j] = col[k];
    }
  }
}

}  // namespace

CQuadricResidual::CQuadricResidual(const double* X, const double* Y, const double* Z, int numLayers,
                                   int numSamples)
    : numLayers_(numLayers),
      offset_(numLayers + 1, 0),
      zSum_(numLayers, 0.0),
      factorRows_(numLayers, 0),
      factors_(static_cast<std::size_t>(numLayers) * kTerms * kTerms, 0.0) {
  for (int i = 0; i < numLayers; ++i) {
    for (int j = 0; j < numSamples; ++j) {
      const std::size_t p = static_cast<std::size_t>(i) * numSamples + j;
      if (Z[p] == -1.0) continue;
      x_.push_back(X[p]);
      y_.push_back(Y[p]);
      z_.push_back(Z[p]);
      zSum_[i] += Z[p];
    }
    offset_[i + 1] = static_cast<int>(x_.size());
    Factor(i);
  }
  const std::size_t maxRows = static_cast<std::size_t>(numLayers) * kTerms;
  design_.resize(maxRows * kUnknowns);
  qr_.resize(maxRows * kUnknowns);
  rhs_.resize(maxRows);
}

void CQuadricResidual::Factor(int i) {
  const int first = offset_[i], n = offset_[i + 1] - first;
  double* r = &factors_[static_cast<std::size_t>(i) * kTerms * kTerms];
  double m[kTerms];
  if (n <= kTerms) {
    for (int p = 0; p < n; ++p)
      Monomials(x_[first + p], y_[first + p], z_[first + p], r + p * kTerms);
    factorRows_[i] = n;
    return;
  }
  std::vector<double> columns(static_cast<std::size_t>(n) * kTerms);
  for (int p = 0; p < n; ++p) {
    Monomials(x_[first + p], y_[first + p], z_[first + p], m);
    for (int t = 0; t < kTerms; ++t) columns[static_cast<std::size_t>(t) * n + p] = m[t];
  }
  Triangularise(columns.data(), n, r);
  factorRows_[i] = kTerms;
}

double CQuadricResidual::Value(const double* shifts) {
  const double mean = Mean(shifts);
  Fit(StackShifted(shifts, mean));
  const int j = MovedMeridian(shifts);
  return j >= 0 ? StepResidual(j, shifts, mean) : BaseResidual(shifts, mean);
}

double CQuadricResidual::Mean(const double* shifts) const {
  const int c = offset_[numLayers_];
  if (c == 0) return 0.0;
  double sum = 0.0;
  for (int i = 0; i < numLayers_; ++i)
    sum += zSum_[i] + (offset_[i + 1] - offset_[i]) * shifts[2 * numLayers_ + i];
  return sum / c;
}

int CQuadricResidual::StackShifted(const double* shifts, double mean) {
  const int k = numLayers_;
  int rows = 0;
  double w[kTerms];
  for (int i = 0; i < k; ++i) {
    const double* r = &factors_[static_cast<std::size_t>(i) * kTerms * kTerms];
    for (int q = 0; q < factorRows_[i]; ++q, ++rows) {
      Translate(r + q * kTerms, shifts[i], shifts[k + i], shifts[2 * k + i] - mean, w);
      std::copy(w, w + kUnknowns, &design_[static_cast<std::size_t>(rows) * kUnknowns]);
      rhs_[rows] = w[kUnknowns];
    }
  }
  return rows;
}

void CQuadricResidual::Fit(int rows) {
  constexpr int stride = kUnknowns * static_cast<int>(sizeof(double));
  if (ippmQRDecomp_m_64f(design_.data(), stride, sizeof(double), nullptr, qr_.data(), stride,
                         sizeof(double), kUnknowns, rows) != 0 ||
      ippmQRBackSubst_mva_64f(qr_.data(), stride, sizeof(double), nullptr, rhs_.data(), 0,
                              sizeof(double), coeff_, 0, sizeof(double), kUnknowns, rows, 1) != 0)
    throw AlgorithmException(CCorneaMotionCorrection::kQuadricFitFailed);
  coeff_[kUnknowns] = -1.0;
}

bool CQuadricResidual::MeridianResidual(int i, const double* shifts, double mean, double* sum,
                                        int* used, double* flat, double* sums) const {
  const double* c = coeff_;
  const int k = numLayers_;
  const double dx = shifts[i], dy = shifts[k + i], dz = shifts[2 * k + i];
  bool clear = true;
  double g[kTerms];
  for (int p = offset_[i]; p < offset_[i + 1]; ++p) {
    const double x = x_[p] + dx, y = y_[p] + dy, z = (z_[p] + dz) + -mean;
    *flat += z * z;
    // quadricval: the root with the minus sign, where the quadric has a real depth.
    const double b = c[4] * x + c[5] * y + c[8];
    const double q = c[1] * y * y + c[0] * x * x + c[3] * x * y + c[6] * x + c[7] * y + c[9];
    const double disc = b * b - q * (4.0 * c[2]);
    if (!(disc >= 0.0)) {
      clear = false;
      continue;
    }
    const double root = std::sqrt(disc);
    const double fitted = (-b - root) / (2.0 * c[2]);
    const double r = fitted - z;
    *sum += r * r;
    ++*used;
    if (sums == nullptr) continue;
    if (disc < kEdgeMargin * (b * b + std::fabs(q * (4.0 * c[2])))) clear = false;
    Monomials(x, y, fitted, g);
    for (int t = 0; t < kUnknowns; ++t) g[t] /= root;
    sums[0] += r * r;
    for (int t = 0; t < kTerms; ++t) sums[1 + t] += r * g[t];
    double* pairs = sums + 1 + kTerms;
    for (int a = 0; a < kTerms; ++a)
      for (int e = a; e < kTerms; ++e) *pairs++ += g[a] * g[e];
  }
  return clear;
}

double CQuadricResidual::BaseResidual(const double* shifts, double mean) {
  const int k = numLayers_;
  constexpr int stride = 1 + kTerms + kPairs;
  baseSums_.assign(static_cast<std::size_t>(k) * stride, 0.0);
  double sum = 0.0, flat = 0.0;
  int used = 0;
  bool clear = true;
  for (int i = 0; i < k; ++i)
    clear = MeridianResidual(i, shifts, mean, &sum, &used, &flat, &baseSums_[i * stride]) && clear;
  baseShifts_.assign(shifts, shifts + 3 * k);
  std::copy(coeff_, coeff_ + kTerms, baseCoeff_);
  baseMean_ = mean;
  baseValid_ = clear && std::isfinite(sum);
  return used > 0 ? sum / used : flat / offset_[k];
}

int CQuadricResidual::MovedMeridian(const double* shifts) const {
  if (!baseValid_) return -1;
  const int k = numLayers_;
  int moved = -1;
  for (int v = 0; v < 3 * k; ++v) {
    if (shifts[v] == baseShifts_[v]) continue;
    if (!(std::fabs(shifts[v] - baseShifts_[v]) <= kIncrementalStep)) return -1;
    if (moved >= 0 && moved != v % k) return -1;
    moved = v % k;
  }
  return std::max(moved, 0);
}

double CQuadricResidual::StepResidual(int j, const double* shifts, double mean) const {
  constexpr int stride = 1 + kTerms + kPairs;
  double e[kTerms];
  for (int t = 0; t < kUnknowns; ++t) e[t] = coeff_[t] - baseCoeff_[t];
  e[kUnknowns] = mean - baseMean_;
  double sum = 0.0, flat = 0.0;
  int used = 0;
  for (int i = 0; i < numLayers_; ++i) {
    if (i == j) continue;
    // sum (r + [g, 1] . e)^2 = sum r^2 + 2 e . sum r [g, 1] + e^T (sum [g, 1][g, 1]^T) e
    const double* s = &baseSums_[static_cast<std::size_t>(i) * stride];
    double linear = 0.0, quadratic = 0.0;
    for (int t = 0; t < kTerms; ++t) linear += e[t] * s[1 + t];
    const double* pairs = s + 1 + kTerms;
    for (int a = 0; a < kTerms; ++a) {
      quadratic += e[a] * e[a] * *pairs++;
      for (int b = a + 1; b < kTerms; ++b) quadratic += 2.0 * e[a] * e[b] * *pairs++;
    }
    sum += s[0] + 2.0 * linear + quadratic;
    used += offset_[i + 1] - offset_[i];
  }
  MeridianResidual(j, shifts, mean, &sum, &used, &flat, nullptr);
  // Only meridian j has points then, and flat covers them all.
  return used > 0 ? sum / used : flat / offset_[numLayers_];
}

}  // namespace Talvex::SDOCT::Algorithms
