// Robust (random-sample consensus) fits of the engine base: parabolas y(x) for surface profiles
// along a B-scan, conics in the plane for the curved side parts of the cornea, and quadric
// surfaces z(x, y) over a volume. Each trial draws a sample from the caller's random values,
// fits the model exactly to it and counts the points within the distance threshold; the best
// consensus set is then refitted by least squares.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "common/numerics/Fits.h"
#include "engines/base/CAnteriorSegmentModule.h"
#include "platform/signal/TalvexIpps.h"

namespace Talvex::SDOCT::Algorithms {

namespace {

namespace Numerics = Common::Algorithms::Numerics;

// Capacity of the float front ends of the fits.
constexpr int kWrapperCapacity = 2048;

// The consensus keeps one sample per trial: every family's sample counts as non-degenerate.
inline bool SampleIsDegenerate() { return false; }

// The loop shared by the three families. Sample draws the s indices, Distance evaluates a model
// (the sampled points themselves) and lists the inliers. Work buffers are allocated once here so
// that no trial allocates.
template <typename Real, typename Sampler, typename Distance>
int Consensus(const Real* data, int rows, int npts, int s, Real p, int maxDataTrials, int maxTrials,
              bool searchPastEmptyTrials, int* inliers, int* ninliers, Sampler sample,
              Distance distance) {
  *ninliers = 0;
  if (npts < 1 || s < 1) return -1;
  try {
    std::vector<int> sampleIdx(s), candidate(npts), best(npts);
    std::vector<Real> sampled(static_cast<std::size_t>(rows) * s), model(sampled.size());

    // Bounds of q, the probability that a sample holds an outlier: the single-precision machine
    // epsilon and 1 minus the double one. q and the trial estimate N are kept in double for every
    // family: in single precision the upper bound rounds to 1, and a poor first consensus (a
    // sample that drew an outlier) would give N = -inf and end the search after one trial.
    const double qMin = static_cast<double>(2.2204e-16f);
    const double qMax = 0.9999999999999998;
    const double logNoSuccess = std::log(1.0 - double(p));

    // The classic loop starts with an estimate of one trial, so a first model that no point agrees
    // with ends the search at once. Searching past empty trials leaves the estimate open until a
    // consensus is found (still bounded by maxTrials).
    int trialcount = 0, bestscore = 0;
    double N = searchPastEmptyTrials ? HUGE_VAL : 1.0;
    do {
      bool degenerate = true;
      int count = 1;
      do {
        if (sample(npts, s, sampleIdx.data()) != 0) return -1;
        for (int r = 0; r < rows; ++r)
          for (int j = 0; j < s; ++j) sampled[r * s + j] = data[r * npts + sampleIdx[j]];
        degenerate = SampleIsDegenerate();
        // The model is the sample itself (s >= 1 points, so never an empty model).
        if (!degenerate) std::copy(sampled.begin(), sampled.end(), model.begin());
        ++count;
      } while (count <= maxDataTrials && degenerate);

      int found = 0;
      if (distance(model.data(), candidate.data(), &found) != 0) return -1;
      // Only a strictly larger consensus replaces the kept one.
      if (found > bestscore) {
        bestscore = found;
        std::swap(candidate, best);
        const double fraction = static_cast<double>(static_cast<Real>(double(bestscore) / npts));
        const double q = std::min(std::max(1.0 - std::pow(fraction, s), qMin), qMax);
        N = logNoSuccess / std::log(q);
      }
      ++trialcount;
    } while (trialcount <= maxTrials && N > trialcount);

    if (bestscore > 0) {
      std::copy(best.begin(), best.begin() + bestscore, inliers);
      *ninliers = bestscore;
    }
    return 0;
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

// Mean of n floats through the vendor statistics (-1 on failure).
int SampleMean(const float* v, int n, float* mean) {
  return Platform::ippsMean_32f(v, n, mean, Platform::ippAlgHintAccurate) == Platform::ippStsNoErr
             ? 0
             : -1;
}

}  // namespace

// ---- Fronts of the engines ---------------------------------------------------------------------

int CAnteriorSegmentModule::ParabolaCoeff(const float* x, const float* y, int n, int minNumPoints,
                                          float distThresh, float probability, int maxDataTrials,
                                          int maxTrials, float* coeff, int& ninliers) {
  std::fill(coeff, coeff + 3, 0.0f);
  if (n > 0) std::memset(m_excludeFlags, 0, static_cast<std::size_t>(std::min(n, kMaxFitPoints)));
  ninliers = 0;
  if (n < minNumPoints) return -1;
  try {
    std::vector<int> inliers(std::max(n, 1));
    return ransacpoly(x, y, n, 2, minNumPoints, distThresh, probability, maxDataTrials, maxTrials,
                      inliers.data(), &ninliers, coeff) == 0
               ? 0
               : -1;
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

int CAnteriorSegmentModule::QuadraticCoeff(const float* x, const float* y, int n, int minNumPoints,
                                           float distThresh, float probability, int maxDataTrials,
                                           int maxTrials, float* coeff, int& ninliers) {
  std::fill(coeff, coeff + 6, 0.0f);
  if (n > 0) std::memset(m_excludeFlags, 0, static_cast<std::size_t>(std::min(n, kMaxFitPoints)));
  ninliers = 0;
  if (n < minNumPoints) return -1;
  try {
    std::vector<int> inliers(std::max(n, 1));
    return ransacquad(x, y, n, minNumPoints, distThresh, probability, maxDataTrials, maxTrials,
                      inliers.data(), &ninliers, coeff) == 0
               ? 0
               : -1;
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

int CAnteriorSegmentModule::QuadricCoeff(const float* x, const float* y, const float* z, int n,
                                         int minNumPoints, float distThresh, float probability,
                                         int maxDataTrials, int maxTrials, float* coeff,
                                         int& ninliers) {
  std::fill(coeff, coeff + 10, 0.0f);
  ninliers = 0;
  if (n < minNumPoints) return -1;
  // The table of this call: every point selectable. It is detached again before it goes away.
  struct TableGuard {
    const std::uint8_t*& table;
    ~TableGuard() { table = nullptr; }
  } guard{m_quadricExclude};
  try {
    std::vector<std::uint8_t> table(std::max(n, 1), 0);
    std::vector<int> inliers(std::max(n, 1));
    m_quadricExclude = table.data();
    return ransacquadric(x, y, z, n, minNumPoints, distThresh, probability, maxDataTrials,
                         maxTrials, inliers.data(), &ninliers, coeff) == 0
               ? 0
               : -1;
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

// ---- Robust fits -------------------------------------------------------------------------------

namespace {

// Both precisions of the robust polynomial fit: the consensus runs on parabolas in double
// precision; the inliers are then refitted with `refit` (degree `order`) in the caller's precision.
template <typename Real, typename Consensus, typename Refit>
int RansacPoly(const Real* x, const Real* y, int npts, int* inliers, int* ninliers,
               Consensus consensus, Refit refit) {
  *ninliers = 0;
  if (npts < 1) return -1;
  try {
    std::vector<double> data(2 * static_cast<std::size_t>(npts));
    std::copy(x, x + npts, data.begin());
    std::copy(y, y + npts, data.begin() + npts);
    std::fill(inliers, inliers + npts, 0);
    if (consensus(data.data()) != 0) return -1;
    // Too small a consensus for a profile: report no fit and leave the coefficients alone.
    if (*ninliers <= 10) {
      *ninliers = 0;
      return 0;
    }
    std::vector<Real> xi(*ninliers), yi(*ninliers);
    for (int i = 0; i < *ninliers; ++i) {
      xi[i] = x[inliers[i]];
      yi[i] = y[inliers[i]];
    }
    return refit(xi.data(), yi.data(), *ninliers) == 0 ? 0 : -1;
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

}  // namespace

int CAnteriorSegmentModule::ransacpoly(const double* x, const double* y, int npts, int order, int s,
                                       double t, double p, int maxDataTrials, int maxTrials,
                                       int* inliers, int* ninliers, double* coeff) {
  return RansacPoly(
      x, y, npts, inliers, ninliers,
      [&](const double* data) {
        return ransacpolynom(data, npts, s, t, p, maxDataTrials, maxTrials, inliers, ninliers);
      },
      [&](const double* xi, const double* yi, int n) {
        return Numerics::polyfit(xi, yi, n, order, coeff);
      });
}

int CAnteriorSegmentModule::ransacpoly(const float* x, const float* y, int npts, int order, int s,
                                       float t, float p, int maxDataTrials, int maxTrials,
                                       int* inliers, int* ninliers, float* coeff) {
  return RansacPoly(
      x, y, npts, inliers, ninliers,
      [&](const double* data) {
        return ransacpolynom(data, npts, s, t, p, maxDataTrials, maxTrials, inliers, ninliers);
      },
      [&](const float* xi, const float* yi, int n) {
        return polyfitWrapper(xi, yi, n, order, coeff);
      });
}

int CAnteriorSegmentModule::ransacquad(const float* x, const float* y, int npts, int s, float t,
                                       float p, int maxDataTrials, int maxTrials, int* inliers,
                                       int* ninliers, float* coeff) {
  *ninliers = 0;
  if (npts < 1) return -1;
  try {
    std::vector<float> data(2 * static_cast<std::size_t>(npts));
    std::copy(x, x + npts, data.begin());
    std::copy(y, y + npts, data.begin() + npts);
    std::fill(inliers, inliers + npts, 0);
    if (ransacquadratic(data.data(), npts, s, t, p, maxDataTrials, maxTrials, inliers, ninliers) !=
        0)
      return -1;
    if (*ninliers <= 10) {
      *ninliers = 0;
      return 0;
    }
    // The final conic is fitted to the raw inliers (not centred on their mean depth).
    std::vector<float> xi(*ninliers), yi(*ninliers);
    for (int i = 0; i < *ninliers; ++i) {
      xi[i] = x[inliers[i]];
      yi[i] = y[inliers[i]];
    }
    return quadraticfitrWrapper(xi.data(), yi.data(), *ninliers, coeff) == 0 ? 0 : -1;
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

int CAnteriorSegmentModule::ransacquadric(const float* x, const float* y, const float* z, int npts,
                                          int s, float t, float p, int maxDataTrials, int maxTrials,
                                          int* inliers, int* ninliers, float* coeff) {
  *ninliers = 0;
  if (npts < 1) return -1;
  try {
    std::vector<float> data(3 * static_cast<std::size_t>(npts));
    std::copy(x, x + npts, data.begin());
    std::copy(y, y + npts, data.begin() + npts);
    std::copy(z, z + npts, data.begin() + 2 * static_cast<std::size_t>(npts));
    std::fill(inliers, inliers + npts, 0);
    if (ransacquadricsurf(data.data(), npts, s, t, p, maxDataTrials, maxTrials, inliers,
                          ninliers) != 0)
      return -1;
    // A surface needs more support than its own sample.
    if (*ninliers <= s) {
      *ninliers = 0;
      return 0;
    }
    std::vector<float> xi(*ninliers), yi(*ninliers), zi(*ninliers);
    for (int i = 0; i < *ninliers; ++i) {
      xi[i] = x[inliers[i]];
      yi[i] = y[inliers[i]];
      zi[i] = z[inliers[i]];
    }
    return Numerics::quadricfit(xi.data(), yi.data(), zi.data(), *ninliers, coeff) == 0 ? 0 : -1;
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

// ---- Consensus loops ---------------------------------------------------------------------------

int CAnteriorSegmentModule::ransacpolynom(const double* data, int npts, int s, double t, double p,
                                          int maxDataTrials, int maxTrials, int* inliers,
                                          int* ninliers) {
  try {
    std::vector<double> xSquared(std::max(npts, 1));
    std::vector<float> residual(std::max(npts, 1));
    // x^2 exactly as polyval forms it (its pow, which can differ from x * x in the last bit).
    const double unitSquare[3] = {1.0, 0.0, 0.0};
    Numerics::polyval(unitSquare, data, npts, 2, xSquared.data());
    return Consensus<double>(
        data, 2, npts, s, p, maxDataTrials, maxTrials, m_searchPastEmptyTrials, inliers, ninliers,
        [this](int n, int k, int* out) { return polyrandsample(n, k, out); },
        [&](const double* model, int* found, int* count) {
          return polydistfn(model, s, data, xSquared.data(), npts, t, residual.data(), found,
                            count);
        });
  } catch (const std::bad_alloc&) {
    *ninliers = 0;
    return -1;
  }
}

int CAnteriorSegmentModule::ransacquadratic(const float* data, int npts, int s, float t, float p,
                                            int maxDataTrials, int maxTrials, int* inliers,
                                            int* ninliers) {
  try {
    std::vector<float> centred(std::max(s, 1));
    return Consensus<float>(
        data, 2, npts, s, p, maxDataTrials, maxTrials, m_searchPastEmptyTrials, inliers, ninliers,
        [this](int n, int k, int* out) { return quadrandsample(n, k, out); },
        [&](const float* model, int* found, int* count) {
          return quaddistfn(model, s, data, npts, t, centred.data(), found, count);
        });
  } catch (const std::bad_alloc&) {
    *ninliers = 0;
    return -1;
  }
}

int CAnteriorSegmentModule::ransacquadricsurf(const float* data, int npts, int s, float t, float p,
                                              int maxDataTrials, int maxTrials, int* inliers,
                                              int* ninliers) {
  try {
    std::vector<float> centred(std::max(s, 1));
    return Consensus<float>(
        data, 3, npts, s, p, maxDataTrials, maxTrials, m_searchPastEmptyTrials, inliers, ninliers,
        [this](int n, int k, int* out) { return quadricrandsample(n, k, out); },
        [&](const float* model, int* found, int* count) {
          return quadricdistfn(model, s, data, npts, t, centred.data(), found, count);
        });
  } catch (const std::bad_alloc&) {
    *ninliers = 0;
    return -1;
  }
}

// ---- Distance passes ---------------------------------------------------------------------------
// Each pass stores every point index and advances the count only for an inlier, so the loop has
// no data-dependent branch (the set is still in ascending point order). A NaN residual (a model
// that cannot be evaluated at a point) never counts.

int CAnteriorSegmentModule::polydistfn(const double* model, int s, const double* data,
                                       const double* xSquared, int npts, double t, float* work,
                                       int* inliers, int* ninliers) {
  // The trial model is always a parabola, whatever degree the final refit uses.
  double c[3];
  if (Numerics::polyfit(model, model + s, s, 2, c) != 0) return -1;
  // polyval of degree 2, term by term in its order, with the squares of the A-scan positions
  // computed once per fit instead of once per trial.
  const double* x = data;
  const double* y = data + npts;
  for (int i = 0; i < npts; ++i) {
    double v = 0.0;
    v += c[0] * xSquared[i];
    const double fitted = v + c[1] * x[i] + c[2];
    work[i] = std::fabs(static_cast<float>(fitted - y[i]));
  }
  const float tf = static_cast<float>(t);
  int count = 0;
  for (int i = 0; i < npts; ++i) {
    inliers[count] = i;
    count += work[i] < tf;
  }
  *ninliers = count;
  return 0;
}

int CAnteriorSegmentModule::quaddistfn(const float* model, int s, const float* data, int npts,
                                       float t, float* work, int* inliers, int* ninliers) {
  // The conic is fitted about the sample's mean depth, which keeps the origin away from the curve
  // (the fit fixes the constant term to -1).
  const float* my = model + s;
  float ybar = 0.0f;
  if (SampleMean(my, s, &ybar) != 0) return -1;
  for (int j = 0; j < s; ++j) work[j] = static_cast<float>(double(my[j]) - ybar);
  float c[6];
  if (Numerics::quadraticfitr(model, work, s, c) != 0) return -1;

  const double c0 = c[0], c1 = c[1], c2 = c[2], c3 = c[3], c4 = c[4], c5 = c[5];
  const float* x = data;
  const float* y = data + npts;
  int count = 0;
  for (int i = 0; i < npts; ++i) {
    const double xi = x[i];
    const float B = static_cast<float>(c1 * xi + c4);
    const float D = static_cast<float>(double(B) * B - 4.0 * c2 * (c0 * xi * xi + c3 * xi + c5));
    // The branch of the conic with the positive root; no real solution means no inlier.
    const float yhat =
        static_cast<float>((std::sqrt(std::max(double(D), 0.0)) - B) / (2.0 * c2) + ybar);
    const float diff = static_cast<float>(double(y[i]) - yhat);
    inliers[count] = i;
    count += (D >= 0.0f) & (std::fabs(diff) < t);
  }
  *ninliers = count;
  return 0;
}

int CAnteriorSegmentModule::quadricdistfn(const float* model, int s, const float* data, int npts,
                                          float t, float* work, int* inliers, int* ninliers) {
  // The surface is fitted about the sample's mean height (constant term fixed to -1).
  const float* mz = model + 2 * s;
  float zbar = 0.0f;
  if (SampleMean(mz, s, &zbar) != 0) return -1;
  for (int j = 0; j < s; ++j) work[j] = static_cast<float>(double(mz[j]) - zbar);
  float c[10];
  if (Numerics::quadricfit(model, model + s, work, s, c) != 0) return -1;

  const double c0 = c[0], c1 = c[1], c2 = c[2], c3 = c[3], c4 = c[4], c5 = c[5], c6 = c[6],
               c7 = c[7], c8 = c[8], c9 = c[9];
  const float* x = data;
  const float* y = data + npts;
  const float* z = data + 2 * static_cast<std::size_t>(npts);
  int count = 0;
  for (int i = 0; i < npts; ++i) {
    const double xi = x[i], yi = y[i];
    const float B = static_cast<float>(c5 * yi + c4 * xi + c8);
    const float C =
        static_cast<float>(c1 * yi * yi + c0 * xi * xi + c3 * xi * yi + c6 * xi + c7 * yi + c9);
    const float D = static_cast<float>(double(B) * B - 4.0 * c2 * C);
    // The sheet of the surface with the negative root; no real solution means no inlier.
    const float zhat =
        static_cast<float>((-double(B) - std::sqrt(std::max(double(D), 0.0))) / (2.0 * c2) + zbar);
    const float diff = static_cast<float>(double(z[i]) - zhat);
    inliers[count] = i;
    count += (D >= 0.0f) & (std::fabs(diff) < t);
  }
  *ninliers = count;
  return 0;
}

// ---- Float front ends of the fits --------------------------------------------------------------

int CAnteriorSegmentModule::polyfitWrapper(const float* x, const float* y, int n, int m, float* p) {
  if (n > kWrapperCapacity || m + 1 > kWrapperCapacity) return -1;
  double xd[kWrapperCapacity], yd[kWrapperCapacity], pd[kWrapperCapacity];
  for (int i = 0; i < n; ++i) {
    xd[i] = x[i];
    yd[i] = y[i];
  }
  const int status = Numerics::polyfit(xd, yd, n, m, pd);
  if (status == 0)
    for (int j = 0; j <= m; ++j) p[j] = static_cast<float>(pd[j]);
  return status;
}

int CAnteriorSegmentModule::polyvalWrapper(const float* p, const float* x, int n, int m, float* y) {
  if (n > kWrapperCapacity || m + 1 > kWrapperCapacity || m < 1) return -1;
  if (n < 1) return 0;  // no abscissae, nothing to evaluate
  double pd[kWrapperCapacity], xd[kWrapperCapacity], yd[kWrapperCapacity];
  for (int j = 0; j <= m; ++j) pd[j] = p[j];
  for (int i = 0; i < n; ++i) xd[i] = x[i];
  Numerics::polyval(pd, xd, n, m, yd);
  for (int i = 0; i < n; ++i) y[i] = static_cast<float>(yd[i]);
  return 0;
}

int CAnteriorSegmentModule::quadraticfitrWrapper(const float* x, const float* y, int n, float* p) {
  if (n > kWrapperCapacity) return -1;
  double xd[kWrapperCapacity], yd[kWrapperCapacity], pd[6];
  for (int i = 0; i < n; ++i) {
    xd[i] = x[i];
    yd[i] = y[i];
  }
  const int status = Numerics::quadraticfitr(xd, yd, n, pd);
  if (status == 0)
    for (int j = 0; j < 6; ++j) p[j] = static_cast<float>(pd[j]);
  return status;
}

}  // namespace Talvex::SDOCT::Algorithms
