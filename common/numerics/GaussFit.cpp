#include "common/numerics/GaussFit.h"

#include <cmath>
#include <new>
#include <utility>
#include <vector>

#include "platform/matrix/TalvexIppm.h"
#include "platform/signal/TalvexIpps.h"

namespace Talvex::Common::Algorithms::Numerics {

namespace {

using namespace Talvex::Platform;

constexpr float kTwoPi = 6.2831855f;
constexpr int kIterations = 100;
constexpr float kInitialDamping = 1000.0f;

// Gaussian model at the parameters (area, centre, width) and residual y - model; the sum of
// squared residuals into *ssr. `square` is scratch of n floats.
bool Evaluate(const float* x, const float* y, int n, float area, float mu, float sigma,
              float* model, float* residual, float* square, float* ssr) {
  const float peak = area / std::sqrt(kTwoPi * sigma * sigma);
  for (int i = 0; i < n; ++i) {
    const float u = (x[i] - mu) / sigma;
    model[i] = peak * std::exp(-0.5f * u * u);
  }
  if (ippsSub_32f(model, y, residual, n) != ippStsNoErr) return false;
  if (ippsSqr_32f(residual, square, n) != ippStsNoErr) return false;
  return ippsSum_32f(square, n, ssr, ippAlgHintAccurate) == ippStsNoErr;
}

// Squared length of a 3-vector through the primitives (kept alongside each step for inspection;
// it takes part in no decision).
bool SquaredLength(const float* v, float* out) {
  float sq[3];
  if (ippsSqr_32f(v, sq, 3) != ippStsNoErr) return false;
  return ippsSum_32f(sq, 3, out, ippAlgHintAccurate) == ippStsNoErr;
}

}  // namespace

int CGaussFit::gaussfit(const float* x, const float* y, int n, float* area, float* center,
                        float* sigma) {
  if (x == nullptr || y == nullptr || area == nullptr || center == nullptr || sigma == nullptr ||
      n < 1)
    return -1;
  try {
    float A = *area, mu = *center, s = *sigma;

    // Start values for the parameters passed as 0.
    if (mu == 0) {
      int best = -1;
      for (int k = 1; k + 1 < n; ++k) {
        const bool peak = y[k] - y[k - 1] > 0 && y[k + 1] - y[k] < 0;
        if (peak && (best < 0 || y[k] > y[best])) best = k;
      }
      if (best >= 0) {
        mu = static_cast<float>(best);
      } else {
        float top = 0;
        int index = 0;
        if (ippsMaxIndx_32f(y, n, &top, &index) != ippStsNoErr) return -1;
        mu = x[index];
      }
    }
    if (s == 0) {
      float ymax = 0;
      if (ippsMax_32f(y, n, &ymax) != ippStsNoErr) return -1;
      const float threshold = ymax / n + 0.5f * ymax;
      int i0 = 0;
      for (int i = 0; i < n; ++i) {
        if (y[i] > threshold) {
          i0 = i;
          break;
        }
      }
      s = std::fabs(mu - x[i0]);
      if (s < 1e-8f) s = x[n - 1] * 0.5f;
    }
    if (A == 0) {
      if (n < 2) return -1;
      std::vector<float> spacing(static_cast<size_t>(n) - 1);
      for (int i = 0; i + 1 < n; ++i) spacing[i] = x[i + 1] - x[i];
      float meanSpacing = 0, sum = 0;
      if (ippsMean_32f(spacing.data(), n - 1, &meanSpacing, ippAlgHintAccurate) != ippStsNoErr)
        return -1;
      if (ippsSum_32f(y, n, &sum, ippAlgHintAccurate) != ippStsNoErr) return -1;
      A = meanSpacing * (sum - 0.5f * (y[0] + y[n - 1]));
    }

    std::vector<float> buffers(5 * static_cast<size_t>(n));
    float* model = buffers.data();
    float* residual = model + n;
    float* trialModel = residual + n;
    float* trialResidual = trialModel + n;
    float* square = trialResidual + n;

    float lambda = kInitialDamping;
    float ssr = 0;
    bool evaluated = false;
    for (int iteration = 0; iteration < kIterations; ++iteration) {
      *area = A;
      *center = mu;
      *sigma = s;
      if (s == 0 || A == 0) return 0;
      if (!evaluated && !Evaluate(x, y, n, A, mu, s, model, residual, square, &ssr)) return -1;
      evaluated = true;

      // Normal equations of the damped Gauss-Newton step.
      float jtj[3][3] = {}, jtr[3] = {};
      const float s2 = s * s, s3 = s2 * s;
      for (int i = 0; i < n; ++i) {
        const float g = model[i], dx = x[i] - mu;
        const float j[3] = {g / A, g * dx / s2, g * (dx * dx / s3 - 1 / s)};
        for (int r = 0; r < 3; ++r) {
          for (int c = 0; c < 3; ++c) jtj[r][c] += j[r] * j[c];
          jtr[r] += j[r] * residual[i];
        }
      }
      for (int r = 0; r < 3; ++r) jtj[r][r] *= 1 + lambda;
      float inverse[3][3], step[3];
      const int row = 3 * sizeof(float), col = sizeof(float);
      if (ippmInvert_m_32f(&jtj[0][0], row, col, nullptr, &inverse[0][0], row, col, 3) !=
          ippStsNoErr)
        return -1;
      if (ippmMul_mv_32f(&inverse[0][0], row, col, 3, 3, jtr, col, 3, step, col) != ippStsNoErr)
        return -1;
      const float next[3] = {A + step[0], mu + step[1], s + step[2]};

      float trialSsr = 0;
      if (!Evaluate(x, y, n, next[0], next[1], next[2], trialModel, trialResidual, square,
                    &trialSsr))
        return -1;
      lambda = trialSsr > ssr ? lambda * 10 : lambda / 10;
      float stepLength = 0, parameterLength = 0;
      if (!SquaredLength(step, &stepLength) || !SquaredLength(next, &parameterLength)) return -1;

      // The step is taken whether or not it improved the fit.
      A = next[0];
      mu = next[1];
      s = next[2];
      ssr = trialSsr;
      std::swap(model, trialModel);
      std::swap(residual, trialResidual);
    }
    return 0;
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

}  // namespace Talvex::Common::Algorithms::Numerics
