// CCorneaMotionCorrectionAlgorithm: eye motion between the meridians of a radial cornea scan.
#pragma once

namespace Talvex::SDOCT::Algorithms {

// Per-call facade: no state, no Initialize; each call builds its engine and destroys it before
// returning (also when it throws).
class CCorneaMotionCorrectionAlgorithm {
 public:
  // Estimates, for every meridian, the lateral (x, y) and axial (z) shift in micrometres that puts
  // its anterior surface on one smooth surface (a quadric) common to all meridians.
  //
  //   layersData      numLayers * numSamples floats, the anterior surface of each meridian, row
  //                   after row: depth in pixels, -1 = no value. Read only.
  //   numLayers       meridians, 1 to 341.
  //   numSamples      A-scans per meridian.
  //   subSampleFactor every subSampleFactor-th A-scan is used (>= 1); the
  //                   trunc(numSamples / subSampleFactor + 0.5) A-scans kept must not exceed 2048.
  //                   The kept A-scans are taken as spread evenly over fovum, but above 2 they
  //                   stop one step or more short of the last A-scan: every meridian then reads
  //                   slightly shifted along itself, which biases the along-meridian shifts by a
  //                   few micrometres (about 5 um RMS at every 4th of 1024 A-scans over 8 mm).
  //   anglesData      numLayers meridian angles a in degrees: the A-scan at normalised position
  //                   x (-1 for the first, +1 for the last) lies at x * fovum / 2 * (cos a, -sin a)
  //                   in the en-face frame of the shifts.
  //   depth2um        micrometres per depth pixel. The anterior surface is seen through air, so
  //                   raw image depths read at the optical path of a sample (or dewarped depths
  //                   at their physical pitch) give z in physical micrometres.
  //   fovum           scan length of a meridian in micrometres.
  //   RandomvaluesData, nRandom  random integers of the robust apex fits.
  //   xyzData         3 * numLayers doubles out: all x shifts, then all y shifts, then all z
  //                   shifts, meridians in ascending order of their angle as the library
  //                   normalises it (a = 180 - angle, + 360 when negative, - 180 when above 180).
  //                   x, y in the en-face frame of the angle convention (x along a = 0, y along
  //                   a = -90 degrees), z along depth. Adding a meridian's
  //                   shifts to its points puts the apex of the common surface near depth 0.
  //
  // What the surface reveals: a shift common to all meridians is arbitrary (the solution starts
  // from no shift and keeps about none), and on a rotationally symmetric cornea the component
  // of a meridian's lateral shift across its own direction is barely constrained (the meridian
  // still samples the same surface); the component along the meridian and z are recovered.
  //
  // Returns 0 on success, including when the solver stopped at its limit of 100 iterations (its
  // last iterate is the estimate). Returns -1 when the solver fails (L-BFGS-B ends abnormally or
  // with an error, or a gradient fails); xyzData is then left untouched.
  //
  // Throws AlgorithmException: "Input layers are NULL.", "Input angles are NULL.",
  // "Output shift array is NULL.",
  // "Motion correction: numLayers, numSamples and subSampleFactor must be at least 1.",
  // "Motion correction: at most 341 meridians (3 shifts each in a solution of 1024 values).",
  // "Motion correction: at most 2048 samples per meridian.", "SetRandomArray() failed." (null
  // random values), "ParabolaCoeff() failed." (a meridian with too few values within 3 mm of
  // the centre for its apex fit, or fovum <= 0), "TalvexAlgorithm: quadricfit() failed." (a
  // non-finite depth, or points that shape no surface), and the IPP messages "IPP: ippsMulC_32f_I()
  // failed.", "IPP: ippsSortIndexAscend_32f_I() failed.", "IPP: ippsAddC_64f() failed.", "IPP:
  // ippsMean_64f() failed.", "IPP: ippsAddC_64f_I() failed.".
  //
  // The solver prints every objective value it accepts to standard output ("%fl\n").
  int MotionCorrectionParam(const float* layersData, int numLayers, int numSamples,
                            int subSampleFactor, const float* anglesData, float depth2um,
                            float fovum, const int* RandomvaluesData, int nRandom, double* xyzData);

  // Nothing to release: the facade holds no engine between calls.
  void Dispose() {}
};

}  // namespace Talvex::SDOCT::Algorithms
