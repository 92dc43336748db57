// Motion correction on meridians drawn from a sphere with known eye motion (the oracle: the
// sphere's depth at each A-scan's en-face position, computed here), the meridian conventions of
// the facade, and its refusals and failure results.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "engines/motion_correction/CCorneaMotionCorrection.h"
#include "interface/Talvex.h"

namespace Talvex::SDOCT::Algorithms {
namespace {

constexpr double kRadiusUm = 7800.0, kApexUm = 500.0, kFovUm = 8000.0, kDepth2um = 2.0;
constexpr int kSamples = 201;

// Meridians at scanner angles (degrees) whose A-scan at normalised position x (-1 first, +1 last)
// lies at x * fov / 2 * (cos a, -sin a) en face, the eye moved by motion[b] (x, y, z um).
struct Scan {
  std::vector<float> angles;
  std::vector<double> motion;  // 3 per meridian
  std::vector<float> layers;   // depth pixels

  Scan(std::vector<float> a, std::vector<double> m) : angles(std::move(a)), motion(std::move(m)) {
    const int n = static_cast<int>(angles.size());
    layers.resize(static_cast<std::size_t>(n) * kSamples);
    for (int b = 0; b < n; ++b) {
      const double rad = angles[b] * M_PI / 180.0;
      for (int j = 0; j < kSamples; ++j) {
        const double r = (-1.0 + 2.0 * j / (kSamples - 1)) * kFovUm / 2;
        const double x = r * std::cos(rad) - motion[3 * b];
        const double y = -r * std::sin(rad) - motion[3 * b + 1];
        const double sag = kRadiusUm - std::sqrt(kRadiusUm * kRadiusUm - x * x - y * y);
        layers[b * kSamples + j] =
            static_cast<float>((kApexUm + motion[3 * b + 2] + sag) / kDepth2um);
      }
    }
  }
  int Meridians() const { return static_cast<int>(angles.size()); }
};

std::vector<int> RandomValues() {
  std::vector<int> v(2000);
  for (std::size_t i = 0; i < v.size(); ++i)
    v[i] = static_cast<int>((static_cast<std::uint32_t>(i) * 2654435761u) >> 1);
  return v;
}

int Correct(const Scan& s, double* xyz, int subSample = 1, float fov = kFovUm) {
  static const std::vector<int> random = RandomValues();
  CCorneaMotionCorrectionAlgorithm correction;
  return correction.MotionCorrectionParam(s.layers.data(), s.Meridians(), kSamples, subSample,
                                          s.angles.data(), kDepth2um, fov, random.data(),
                                          static_cast<int>(random.size()), xyz);
}

// Four meridians moved along themselves by t (um), the moves summing to zero so that no shift
// common to all meridians is involved; axial moves summing to zero too. Given in scrambled order,
// one angle above 180 degrees.
Scan MovedAlongMeridians() {
  const double t1 = 30.0, t3 = -10.0;
  const double t0 = -(t1 - t3) / std::sqrt(2.0), t2 = -(t1 + t3) / std::sqrt(2.0);
  // Scanner angles 0, 45, 90, 135 degrees; 135 is scanned as 315 (same line, reversed).
  const std::vector<float> angles = {90.0f, 0.0f, 315.0f, 45.0f};
  const double along[4] = {t2, t0, -t3, t1};
  const double axial[4] = {10.0, -25.0, 30.0, -15.0};
  std::vector<double> motion;
  for (int b = 0; b < 4; ++b) {
    const double rad = angles[b] * M_PI / 180.0;
    motion.insert(motion.end(), {along[b] * std::cos(rad), -along[b] * std::sin(rad), axial[b]});
  }
  return Scan(angles, motion);
}

TEST(CorneaMotionCorrection, RecoversMotionAlongTheMeridiansInAscendingNormalisedAngleOrder) {
  const Scan s = MovedAlongMeridians();
  std::vector<double> xyz(12, 0.0);
  ASSERT_EQ(Correct(s, xyz.data()), 0);
  // Normalised angles: 90 -> 90, 0 -> 180, 315 -> 135, 45 -> 135 ... sorted: 45, 90, 135, 180
  // come from the input meridians 2 (315 -> -135 + 360 - 180 = 45), 0, 3, 1.
  const int order[4] = {2, 0, 3, 1};
  for (int i = 0; i < 4; ++i) {
    const double* m = &s.motion[3 * order[i]];
    EXPECT_NEAR(xyz[i], -m[0], 0.5) << i;
    EXPECT_NEAR(xyz[4 + i], -m[1], 0.5) << i;
    // The axial shift brings the apex of the parabola through each meridian's central 6 mm to
    // depth 0: the sphere's apex lies about 2 um below that vertex.
    EXPECT_NEAR(xyz[8 + i] + m[2], xyz[8] + s.motion[3 * order[0] + 2], 0.5) << i;
    EXPECT_NEAR(xyz[8 + i], -(kApexUm + m[2]), 3.0) << i;
  }
}

TEST(CorneaMotionCorrection, MeridiansOnOneSphereNeedNoShiftButTheirApexDepth) {
  const Scan s({0.0f, 60.0f, 120.0f}, std::vector<double>(9, 0.0));
  std::vector<double> xyz(9, 1.0);
  ASSERT_EQ(Correct(s, xyz.data()), 0);
  for (int i = 0; i < 6; ++i) EXPECT_NEAR(xyz[i], 0.0, 1e-3);
  // z is minus each meridian's apex depth, the same for all three up to the robust fits.
  EXPECT_NEAR(xyz[7], xyz[6], 0.1);
  EXPECT_NEAR(xyz[8], xyz[6], 0.1);
  EXPECT_NEAR(xyz[6], -kApexUm, 3.0);
}

TEST(CorneaMotionCorrection, NegativeDepthsCountAsMissingAndFarSamplesStillShapeTheSurface) {
  Scan s = MovedAlongMeridians();
  std::vector<double> reference(12), negative(12), trimmed(12);
  Scan missing = s;
  for (int b = 0; b < 4; ++b) missing.layers[b * kSamples + 7] = -1.0f;
  ASSERT_EQ(Correct(missing, reference.data()), 0);
  for (int b = 0; b < 4; ++b) s.layers[b * kSamples + 7] = -0.25f;
  ASSERT_EQ(Correct(s, negative.data()), 0);
  EXPECT_EQ(negative, reference);
  // The outer samples (beyond 3 mm) take no part in the apex fits but do in the surface fit:
  // removing them changes the result.
  for (int b = 0; b < 4; ++b)
    for (int j = 0; j < 20; ++j) missing.layers[b * kSamples + j] = -1.0f;
  ASSERT_EQ(Correct(missing, trimmed.data()), 0);
  EXPECT_NE(trimmed, reference);
}

TEST(CorneaMotionCorrection, RefusesMissingArraysAndSizesBeyondItsWorkingArrays) {
  const Scan s = MovedAlongMeridians();
  std::vector<double> xyz(12);
  std::vector<int> random = RandomValues();
  CCorneaMotionCorrectionAlgorithm c;
  const auto message = [&](const float* layers, int n, int ns, int f, const float* angles,
                           const int* rv, double* out) {
    try {
      c.MotionCorrectionParam(layers, n, ns, f, angles, 1.0f, 8000.0f, rv, 2000, out);
    } catch (const AlgorithmException& e) {
      return std::string(e.what());
    }
    return std::string("no exception");
  };
  const float* L = s.layers.data();
  const float* A = s.angles.data();
  EXPECT_EQ(message(nullptr, 4, kSamples, 1, A, random.data(), xyz.data()),
            "Input layers are NULL.");
  EXPECT_EQ(message(L, 4, kSamples, 1, nullptr, random.data(), xyz.data()),
            "Input angles are NULL.");
  EXPECT_EQ(message(L, 4, kSamples, 1, A, random.data(), nullptr), "Output shift array is NULL.");
  EXPECT_EQ(message(L, 4, kSamples, 1, A, nullptr, xyz.data()), "SetRandomArray() failed.");
  const std::string badSize =
      "Motion correction: numLayers, numSamples and subSampleFactor must be at least 1.";
  EXPECT_EQ(message(L, 0, kSamples, 1, A, random.data(), xyz.data()), badSize);
  EXPECT_EQ(message(L, 4, kSamples, 0, A, random.data(), xyz.data()), badSize);
  std::vector<float> big(342 * 4100, 100.0f), angles(342, 0.0f);
  EXPECT_EQ(message(big.data(), 342, 4, 1, angles.data(), random.data(), xyz.data()),
            "Motion correction: at most 341 meridians (3 shifts each in a solution of 1024 "
            "values).");
  // 4097 A-scans keep 2049 at every second one; 4100 at every second keep 2050.
  EXPECT_EQ(message(big.data(), 4, 4097, 2, A, random.data(), xyz.data()),
            "Motion correction: at most 2048 samples per meridian.");
}

TEST(CorneaMotionCorrection, ReportsFailedFitsWithTheirMessages) {
  Scan s = MovedAlongMeridians();
  std::vector<double> xyz(12);
  // A meridian without values in its central 3 mm has no apex.
  Scan hole = s;
  for (int j = 0; j < kSamples; ++j) hole.layers[kSamples + j] = -1.0f;
  try {
    Correct(hole, xyz.data());
    ADD_FAILURE() << "no exception";
  } catch (const AlgorithmException& e) {
    EXPECT_STREQ(e.what(), "ParabolaCoeff() failed.");
  }
  // A non-finite depth outside the apex zones reaches the surface fit, which cannot use it.
  Scan sparse = s;
  sparse.layers[3] = std::numeric_limits<float>::quiet_NaN();
  try {
    Correct(sparse, xyz.data());
    ADD_FAILURE() << "no exception";
  } catch (const AlgorithmException& e) {
    EXPECT_STREQ(e.what(), "TalvexAlgorithm: quadricfit() failed.");
  }
}

// The objective's points: a toric surface with a ripple (so that no quadric fits exactly), some
// samples without a value, over meridians at the given angles (radians). Meridian 5 keeps only
// eight samples, fewer than the quadric has terms.
struct ObjectivePoints {
  std::vector<double> X, Y, Z, work;
  int layers, samples;

  ObjectivePoints(int numLayers, int numSamples) : layers(numLayers), samples(numSamples) {
    const std::size_t n = static_cast<std::size_t>(numLayers) * numSamples;
    X.resize(n), Y.resize(n), Z.resize(n), work.resize(3 * n);
    for (int i = 0; i < numLayers; ++i) {
      const double theta = M_PI * i / numLayers;
      for (int j = 0; j < numSamples; ++j) {
        const std::size_t k = static_cast<std::size_t>(i) * numSamples + j;
        const double r = (-1.0 + 2.0 * j / (numSamples - 1)) * kFovUm / 2;
        X[k] = r * std::cos(theta), Y[k] = r * std::sin(theta);
        Z[k] = X[k] * X[k] / 15600.0 + Y[k] * Y[k] / 15000.0 + 3.0 * std::sin(r / 400.0 + i);
        if ((j * 7 + i) % 23 == 0 || (i == 5 && j % 64 != 3)) Z[k] = -1.0;
      }
    }
  }
  CCorneaMotionCorrection::ObjectiveFunctionInput Input(CQuadricResidual* reduced) {
    const std::size_t n = X.size();
    return {X.data(), Y.data(), Z.data(), work.data(), work.data() + n, work.data() + 2 * n,
            layers,   samples,  reduced};
  }
};

TEST(CorneaMotionCorrection, ReducedObjectiveMatchesTheStraightforwardOneOnRandomShifts) {
  ObjectivePoints points(16, 512);
  CQuadricResidual reduced(points.X.data(), points.Y.data(), points.Z.data(), 16, 512);
  auto direct = points.Input(nullptr);
  auto fast = points.Input(&reduced);
  int m = 1, n = 48;
  const auto both = [&](std::vector<double>& x, double* a, double* b) {
    CCorneaMotionCorrection::ObjectiveFunction(&m, &n, x.data(), a, &direct);
    CCorneaMotionCorrection::ObjectiveFunction(&m, &n, x.data(), b, &fast);
  };
  std::uint32_t state = 12345u;
  const auto uniform = [&](double bound) {
    state = state * 1664525u + 1013904223u;
    return bound * (2.0 * (state >> 8) / 16777216.0 - 1.0);
  };
  double worstValue = 0.0, worstSlope = 0.0;
  // A difference that is not a number must not slip through a plain maximum.
  const auto note = [&worstValue](double a, double b) {
    const double d = std::fabs(a - b) / a;
    if (!(d <= worstValue)) worstValue = d;
  };
  double noise[2] = {0.0, 0.0};  // slopes at the gradient's step off those at 1e-4: both objectives
  for (int trial = 0; trial < 12; ++trial) {
    std::vector<double> x(48);
    // Small shifts as near a solution, large ones up to the bounds.
    const double lateral = trial < 6 ? 50.0 : kFovUm / 4, axial = trial < 6 ? 30.0 : 200.0;
    for (int v = 0; v < 48; ++v) x[v] = uniform(v < 32 ? lateral : axial);
    double a = 0.0, b = 0.0;
    both(x, &a, &b);
    ASSERT_GT(a, 0.1) << trial;
    note(a, b);
    // Steps of one variable from there, as the finite-difference gradient takes them, and the
    // slopes they give: at 1e-4 rounding hardly shows, at 1e-6 it does.
    for (const int v : {trial, 16 + 2 * trial, 47 - trial}) {
      double slope[2][2] = {{0.0, 0.0}, {0.0, 0.0}};  // [step 1e-6, 1e-4][direct, reduced]
      for (const int s : {0, 1}) {
        const double h = s == 0 ? 1e-6 : 1e-4;
        for (const double step : {h, -h}) {
          std::vector<double> y = x;
          y[v] += step;
          both(y, &a, &b);
          note(a, b);
          slope[s][0] += a / (2 * step), slope[s][1] += b / (2 * step);
        }
      }
      worstSlope = std::max(worstSlope,
                            std::fabs(slope[1][0] - slope[1][1]) / (std::fabs(slope[1][0]) + 1.0));
      for (const int o : {0, 1}) noise[o] += std::fabs(slope[0][o] - slope[1][0]);
    }
  }
  std::printf(
      "reduced objective: largest relative difference %.3g; slopes at step 1e-4 within %.3g; "
      "summed deviation of the slopes at step 1e-6 %.3g (straightforward %.3g)\n",
      worstValue, worstSlope, noise[1], noise[0]);
  EXPECT_LT(worstValue, 1e-10);
  EXPECT_LT(worstSlope, 1e-4);
  // Every meridian but the moved one enters both sides of a difference alike, so the reduced
  // objective's slopes carry less rounding noise, not more.
  EXPECT_LE(noise[1], noise[0]);
}

// The engine with the solver replaced by one that reports a given result after scribbling over
// its solution.
class EngineWithSolverResult : public CCorneaMotionCorrection {
 public:
  explicit EngineWithSolverResult(int result) : result_(result) {}

 protected:
  int Minimise(ObjectiveFunctionInput& input, float, double* solution) override {
    for (int v = 0; v < 3 * input.numLayers; ++v) solution[v] = 99.0;
    return result_;
  }

 private:
  int result_;
};

TEST(CorneaMotionCorrection, SolverFailureGivesMinusOneAndTheIterationLimitASolution) {
  Scan s = MovedAlongMeridians();
  const std::vector<int> random = RandomValues();
  std::vector<float> radians = {0.0f, 0.5f, 1.0f, 1.5f};
  const auto run = [&](int solverResult, std::vector<double>& xyz) {
    EngineWithSolverResult engine(solverResult);
    return engine.MotionCorrectionParam(s.layers.data(), 4, kSamples, radians.data(), kDepth2um,
                                        kFovUm, random.data(), 2000, xyz.data());
  };
  std::vector<double> failed(12, 7.0);
  EXPECT_EQ(run(-1, failed), -1);
  EXPECT_EQ(failed, std::vector<double>(12, 7.0));
  std::vector<double> limited(12, 7.0);
  EXPECT_EQ(run(1, limited), 0);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(limited[i], 99.0);
  for (int i = 8; i < 12; ++i) EXPECT_LT(limited[i], 99.0 - 400.0);  // less the apex depth
}

}  // namespace
}  // namespace Talvex::SDOCT::Algorithms
