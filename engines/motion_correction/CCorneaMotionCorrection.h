// CCorneaMotionCorrection: eye motion between the meridians of a radial cornea scan.
//
// The meridians of a radial scan are acquired one after the other, and the eye moves between
// them. The engine estimates, for every meridian, a lateral shift (x, y) and an axial shift (z)
// in micrometres that put the anterior surfaces of all meridians on one common smooth surface:
// a quadric z(x, y) fitted to all surface points, the shifts minimising the mean squared residual
// of that fit under bounds with the bounded quasi-Newton solver.
//
// Only what the surface shape can reveal is recovered: a shift common to all meridians leaves
// the fit unchanged, and on a rotationally symmetric cornea a meridian moved across its own
// direction still samples the same surface, so that component is barely constrained and stays
// near its start value of 0. The shift along each meridian and the axial shift are well defined.
//
// Layers hold one depth per A-scan in pixels (0 = first sample of the A-scan), -1 = no value; a
// stack is numLayers rows of numSamples values. Angles are radians in ascending order, the first
// A-scan of a meridian lying on the side opposite to its angle.
//
// The engine keeps no state between calls; a caller builds it for one call.
#pragma once

#include "engines/base/CAnteriorSegmentModule.h"
#include "engines/motion_correction/QuadricResidual.h"

namespace Talvex::SDOCT::Algorithms {

class CCorneaMotionCorrection : public CAnteriorSegmentModule {
 public:
  // The solution vector of 3 shifts per meridian lives in 1024 values.
  static constexpr int kMaxMeridians = 341;
  // Samples per meridian the per-meridian parabola fit can take.
  static constexpr int kMaxSamples = CAnteriorSegmentModule::kMaxFitPoints;
  // Half width (um) of the central zone whose samples give each meridian's apex depth.
  static constexpr float kApexRoiRadiusUm = 3000.0f;

  static constexpr const char* kLayersNull = "Input layers are NULL.";
  static constexpr const char* kAnglesNull = "Input angles are NULL.";
  static constexpr const char* kShiftsNull = "Output shift array is NULL.";
  static constexpr const char* kBadSize =
      "Motion correction: numLayers, numSamples and subSampleFactor must be at least 1.";
  static constexpr const char* kTooManyMeridians =
      "Motion correction: at most 341 meridians (3 shifts each in a solution of 1024 values).";
  static constexpr const char* kTooManySamples =
      "Motion correction: at most 2048 samples per meridian.";
  static constexpr const char* kParabolaFailed = "ParabolaCoeff() failed.";
  static constexpr const char* kQuadricFitFailed = "TalvexAlgorithm: quadricfit() failed.";

  // Surface points and work arrays handed to the solver and passed back to ObjectiveFunction.
  // X, Y, Z: numLayers * numSamples coordinates (um), meridian after meridian; Z = -1 marks a
  // sample without a value. ShiftedX/Y/Z: work arrays of the same length. reduced: when set, the
  // same points factored per meridian (built from X, Y, Z), through which ObjectiveFunction
  // evaluates much faster; when null it works on the arrays directly.
  struct ObjectiveFunctionInput {
    double* X;
    double* Y;
    double* Z;
    double* ShiftedX;
    double* ShiftedY;
    double* ShiftedZ;
    int numLayers;
    int numSamples;
    CQuadricResidual* reduced = nullptr;
  };

  CCorneaMotionCorrection() = default;
  ~CCorneaMotionCorrection() override = default;

  // Shifts of numLayers meridians of numSamples anterior-surface depths each (layers, read only),
  // angles anglesrad (radians, ascending), depth2um micrometres per depth pixel, fovum the scan
  // length of a meridian (um), randomvalues/nrandom the robust fits' random values.
  // xyz receives 3 * numLayers values: all x shifts, then all y shifts, then all z shifts (um),
  // in meridian order; z is the full axial shift that brings the meridian's apex to depth 0.
  //
  // Returns 0 when the solver converged or stopped at its limit of 100 iterations: the iterate
  // reached then is as good an estimate as the budget gives, and is returned. Returns -1 when
  // the solver failed (L-BFGS-B ended abnormally or with an error, or a gradient failed); xyz is
  // then left untouched. Throws kLayersNull, kAnglesNull, kShiftsNull, kBadSize,
  // kTooManyMeridians, kTooManySamples, "IPP: ippsMulC_32f_I() failed.",
  // "SetRandomArray() failed.", kParabolaFailed (a meridian with too few values within 3 mm of
  // the centre, or fovum <= 0, which leaves no lateral extent), and the objective's failures
  // (kQuadricFitFailed for a non-finite depth or points that shape no surface, and the IPP
  // messages of ObjectiveFunction).
  int MotionCorrectionParam(const float* layers, int numLayers, int numSamples,
                            const float* anglesrad, float depth2um, float fovum,
                            const int* randomvalues, int nrandom, double* xyz);

  // Aligns each meridian axially: a robust parabola through its samples within roiRadius of the
  // scan centre (positions linspace(-fovMu / 2, fovMu / 2, widthPix)) gives the apex depth z0[i],
  // which is subtracted from every value of the meridian other than -1 (layers in place).
  // angles is not used: the apex lies at the centre of every meridian. Throws kParabolaFailed or
  // "SetRandomArray() failed.".
  void ShiftZtoZeros(float* layers, const float* angles, int numLayers, int widthPix, float fovMu,
                     float roiRadius, const int* randomvalues, int nrandom, float* z0);

  // The solver's objective: with k = *n / 3 meridians, shifts every meridian's points by
  // (x[i], x[k + i], x[2k + i]), keeps the points with a value, centres their depths on their
  // mean, fits a quadric and writes the mean squared residual over the points where the quadric
  // has a real depth into f[0] (the mean squared centred depth when it has none). objdata is an
  // ObjectiveFunctionInput; with its reduced factors set the value is the same up to rounding.
  // Throws kQuadricFitFailed, "IPP: ippsAddC_64f() failed.", "IPP: ippsMean_64f() failed." or
  // "IPP: ippsAddC_64f_I() failed.".
  static void ObjectiveFunction(int* m, int* n, double* x, double* f, void* objdata);

 protected:
  // The bounded minimisation of ObjectiveFunction over the 3 * numLayers shifts in solution (all
  // 0 on entry): lateral shifts within +-fovum / 4, axial within +-200 um, the objective
  // evaluated through the per-meridian factors of the points. Returns the solver's
  // result: 0 converged, 1 iteration limit, -1 failure. Virtual so that a derived engine can
  // stand in for the solver and reproduce outcomes no well-posed surface provokes.
  virtual int Minimise(ObjectiveFunctionInput& input, float fovum, double* solution);
};

}  // namespace Talvex::SDOCT::Algorithms
