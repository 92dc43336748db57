// Motion correction: input checks, per-meridian axial alignment, the surface points of all
// meridians and the bounded minimisation of the quadric residual over the shifts.
#include "engines/motion_correction/CCorneaMotionCorrection.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "common/data_structures/CLineSpace.h"
#include "common/numerics/Fits.h"
#include "common/numerics/Optimisers.h"
#include "core/AlgorithmException.h"
#include "engines/base/LibraryStatus.h"
#include "platform/signal/TalvexIpps.h"

namespace Talvex::SDOCT::Algorithms {

namespace {

using Common::Algorithms::DataStructures::CLineSpace;
namespace Numerics = Common::Algorithms::Numerics;

// Solver settings: one correction pair, gradient step 1e-6 um, factr 1e7, projected-gradient
// tolerance 1e-5, objective-change tolerance 0.01 um^2, at most 100 iterations.
constexpr long kCorrectionPairs = 1;
constexpr double kGradientStep = 1e-06;
constexpr double kFactr = 10000000.0;
constexpr double kPgtol = 1e-05;
constexpr double kFtol = 0.01;
constexpr int kMaxIterations = 100;
// Bounds of the shifts: a quarter of the scan length laterally, 200 um axially.
constexpr double kAxialBoundUm = 200.0;
constexpr long kBothBounds = 2;

// Robust apex parabola of each meridian.
constexpr float kApexMinPointsFraction = 0.25f;
constexpr float kApexDistThreshUm = 5.0f;
constexpr float kApexProbability = 0.98f;
constexpr int kApexMaxDataTrials = 100;
constexpr int kApexMaxTrials = 300;

constexpr double kPi = 3.141592653589793;

void CheckInputs(const float* layers, int numLayers, int numSamples, const float* angles,
                 const double* xyz) {
  if (layers == nullptr) throw AlgorithmException(CCorneaMotionCorrection::kLayersNull);
  if (angles == nullptr) throw AlgorithmException(CCorneaMotionCorrection::kAnglesNull);
  if (xyz == nullptr) throw AlgorithmException(CCorneaMotionCorrection::kShiftsNull);
  if (numLayers < 1 || numSamples < 1) throw AlgorithmException(CCorneaMotionCorrection::kBadSize);
  if (numLayers > CCorneaMotionCorrection::kMaxMeridians)
    throw AlgorithmException(CCorneaMotionCorrection::kTooManyMeridians);
  if (numSamples > CCorneaMotionCorrection::kMaxSamples)
    throw AlgorithmException(CCorneaMotionCorrection::kTooManySamples);
}

// The surface points of all meridians: meridian i along angle anglesrad[i], sample j at signed
// distance r_j from the centre (negative r on the side opposite to the angle).
struct SurfacePoints {
  std::vector<double> X, Y, Z, work;

  SurfacePoints(const float* depthUm, int numLayers, int numSamples, const float* anglesrad,
                float fovum) {
    const std::size_t total = static_cast<std::size_t>(numLayers) * numSamples;
    X.resize(total);
    Y.resize(total);
    Z.resize(total);
    work.assign(3 * total, 0.0);
    const auto r = CLineSpace<double>::linspace(-fovum / 2.0, fovum / 2.0, numSamples);
    const double* rj = r->getdata();
    for (int i = 0; i < numLayers; ++i) {
      for (int j = 0; j < numSamples; ++j) {
        const double theta = rj[j] >= 0.0 ? anglesrad[i] : anglesrad[i] + kPi;
        const std::size_t k = static_cast<std::size_t>(i) * numSamples + j;
        X[k] = std::cos(theta) * std::fabs(rj[j]);
        Y[k] = std::sin(theta) * std::fabs(rj[j]);
        Z[k] = depthUm[k];
      }
    }
  }

  CCorneaMotionCorrection::ObjectiveFunctionInput Input(int numLayers, int numSamples) {
    const std::size_t total = X.size();
    return {
        X.data(),  Y.data(),  Z.data(), work.data(), work.data() + total, work.data() + 2 * total,
        numLayers, numSamples};
  }
};

}  // namespace

int CCorneaMotionCorrection::MotionCorrectionParam(const float* layers, int numLayers,
                                                   int numSamples, const float* anglesrad,
                                                   float depth2um, float fovum,
                                                   const int* randomvalues, int nrandom,
                                                   double* xyz) {
  CheckInputs(layers, numLayers, numSamples, anglesrad, xyz);
  const std::size_t total = static_cast<std::size_t>(numLayers) * numSamples;
  std::vector<float> depthUm(layers, layers + total);
  TALVEX_IPP(ippsMulC_32f_I, depth2um, depthUm.data(), static_cast<int>(total));
  for (float& v : depthUm)
    if (v < 0.0f) v = -1.0f;

  std::vector<float> z0(numLayers, 0.0f);
  ShiftZtoZeros(depthUm.data(), anglesrad, numLayers, numSamples, fovum, kApexRoiRadiusUm,
                randomvalues, nrandom, z0.data());

  SurfacePoints points(depthUm.data(), numLayers, numSamples, anglesrad, fovum);
  ObjectiveFunctionInput input = points.Input(numLayers, numSamples);
  std::vector<double> solution(3 * static_cast<std::size_t>(numLayers), 0.0);
  // The iteration limit is a success: the last iterate is as good an estimate as the solver
  // gives within its budget.
  if (Minimise(input, fovum, solution.data()) == Numerics::kLbfgsFailed) return -1;

  std::copy(solution.begin(), solution.end(), xyz);
  for (int i = 0; i < numLayers; ++i) xyz[2 * numLayers + i] -= z0[i];
  return 0;
}

int CCorneaMotionCorrection::Minimise(ObjectiveFunctionInput& input, float fovum,
                                      double* solution) {
  const int k = input.numLayers;
  const long n = 3L * k;
  CQuadricResidual reduced(input.X, input.Y, input.Z, k, input.numSamples);
  input.reduced = &reduced;
  std::vector<double> lower(n), upper(n);
  std::vector<long> boundTypes(n, kBothBounds);
  for (long v = 0; v < n; ++v) {
    const double bound = v < 2L * k ? fovum / 4.0 : kAxialBoundUm;
    lower[v] = -bound;
    upper[v] = bound;
  }
  const int result = Numerics::lbfgssolver(
      solution, n, kCorrectionPairs, lower.data(), upper.data(), boundTypes.data(), &input,
      &ObjectiveFunction, kGradientStep, kFactr, kPgtol, kFtol, kMaxIterations);
  input.reduced = nullptr;
  return result;
}

void CCorneaMotionCorrection::ShiftZtoZeros(float* layers, const float* /*angles*/, int numLayers,
                                            int widthPix, float fovMu, float roiRadius,
                                            const int* randomvalues, int nrandom, float* z0) {
  SetRandomArray(randomvalues, static_cast<std::uint32_t>(std::max(nrandom, 0)));
  const auto xs = CLineSpace<float>::linspace(-fovMu / 2, fovMu / 2, widthPix);
  std::vector<float> px(widthPix), pz(widthPix);
  for (int i = 0; i < numLayers; ++i) {
    float* row = layers + static_cast<std::size_t>(i) * widthPix;
    int count = 0;
    for (int j = 0; j < widthPix; ++j) {
      if (std::fabs(xs->getdata()[j]) <= roiRadius && row[j] != -1.0f) {
        px[count] = xs->getdata()[j];
        pz[count] = row[j];
        ++count;
      }
    }
    float coeff[3] = {0.0f, 0.0f, 0.0f};
    int inliers = 0;
    const int minPoints = static_cast<int>(count * kApexMinPointsFraction);
    if (ParabolaCoeff(px.data(), pz.data(), count, minPoints, kApexDistThreshUm, kApexProbability,
                      kApexMaxDataTrials, kApexMaxTrials, coeff, inliers) == -1)
      throw AlgorithmException(kParabolaFailed);
    const float centre = 0.0f;
    Common::Algorithms::Numerics::polyval(coeff, &centre, 1, 2, &z0[i]);
    for (int j = 0; j < widthPix; ++j)
      if (row[j] != -1.0f) row[j] = static_cast<float>(double(row[j]) - z0[i]);
  }
}

}  // namespace Talvex::SDOCT::Algorithms
