// CCorneaDewarp: corrects cornea and wide-field B-scans and their layers for the scan geometry
// and for refraction at one surface.
//
// Scan model: the beam of A-scan j (normalized lateral position x from -1 to +1) starts at lateral
// position x * half_scan_width on a scan surface of axial sag scan_sag * x^2 and either pivots
// across the scan (beam angle x * half scan angle) or follows caller-given beam angles. Along the
// beam the optical depth of sample k is z[k] = k / ascanlen * nn * scan_depth. Below the
// refracting surface the beam is bent by Snell's law with the phase index ratio n_phase (normal
// from the smoothed surface slope) and the optical path is turned into a physical length by the
// group index ratio n_group. The corrected image has the pixel pitch scan_depth / ascanlen axially
// and scan_width / bscanwidth laterally, shifted up by `offset` samples.
//
// Vectors are pairs (axial, lateral); lengths are in the caller's unit (millimetres at the
// facade). Images are stored A-scan after A-scan; layers hold one sample position per A-scan,
// negative = no layer there, -1 written where there is no value.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "engines/base/CAnteriorSegmentModule.h"
#include "engines/dewarping/DewarpHoleMedian.h"

namespace Talvex::SDOCT::Algorithms {

class CCorneaDewarp : public CAnteriorSegmentModule {
 public:
  // Largest number of A-scans per B-scan and of samples per A-scan.
  static constexpr int kMaxSize = 4096;

  CCorneaDewarp() = default;
  ~CCorneaDewarp() override = default;

  // Sets the scan model; half_scan_angle is in degrees (stored in radians). May be called again
  // at any time.
  void Initialize(float n_phase, float n_group, float half_scan_angle, float half_scan_width,
                  float scan_sag, float scan_width, float scan_depth);

  // Fills the per-A-scan tables of one B-scan from its refracting surface `layer` (bscanwidth
  // sample positions). Beam angles are x * half scan angle when pivoit is true, else ray_angles
  // (radians, read only then). Needs the sample depths of DewarpBscans / DewarpSurfaces.
  // A B-scan narrower than 6 A-scans smooths its slopes with a single tap of weight 1.
  void GeneralPreComputation(const float* layer, int bscanwidth, int ascanlen,
                             const float* ray_angles, bool pivoit);

  // Corrects numbscans B-scans (bscanwidth x ascanlen bytes each) into dewarpBscans (bscanwidth x
  // dewarpascanlen bytes each). layer and ray_angles hold numbscans * bscanwidth values. mode
  // true corrects the whole A-scan; mode false keeps everything above the surface in place and
  // refracts only below it, which needs dewarpascanlen >= ascanlen. Each B-scan is the image
  // DewarpBscan gives with zero-filled maps, written without the maps.
  // Throws "Maximum number of Ascan in a Bscan must be smaller than 1025." (bscanwidth > 4096),
  // "Maximum number of Ascan in a Bscan must be smaller than 2049." (ascanlen > 4096),
  // kKeepAboveNeedsLength, and the median failure of DewarpBscan.
  void DewarpBscans(const std::uint8_t* bscans, int numbscans, int bscanwidth, int ascanlen,
                    const float* layer, bool pivoit, const float* ray_angles, float nn,
                    float offset, bool mode, std::uint8_t* dewarpBscans, int dewarpascanlen);

  // Corrects one B-scan with the tables of the last pre-computation. xMap, yMap: zero-filled
  // bscanwidth x dewarpascanlen floats; maxDewarpBscan is not used (the engine keeps its own
  // work area) and may be null. Output pixels that no source pixel reaches are filled from a
  // 7 x 7 median of their neighbourhood (those within 3 pixels of the image edge are left 0).
  // Throws
  // "IPP: ippiRemap_8u_C1R() failed." or "IPP: ippiFilterMedian_8u_C1R() failed." (an output under
  // 7 x 7 pixels, which has no full neighbourhood: the medians themselves cannot fail).
  void DewarpBscan(const std::uint8_t* bscan, int bscanwidth, int ascanlen, const float* layer,
                   float* xMap, float* yMap, std::uint8_t* maxDewarpBscan, float offset, bool mode,
                   std::uint8_t* dewarpBscan, int dewarpascanlen);

  // Carries layer2In through the correction refracting at layer1In, numbscans B-scans, into
  // layer2Out. ray_angles (numbscans * bscanwidth) gives the beam angles when pivoit is false and
  // receives, per corrected column, the angle by which the beam ending there was turned at the
  // refracting surface (-1 outside the traced columns). Throws
  // "Maximum number of Ascan in a Bscan must be smaller than 2049." for either size above 4096
  // and "TalvexAlgorithm: cspline() failed.".
  void DewarpSurfaces(int numbscans, int bscanwidth, int ascanlen, const float* layer1In,
                      const float* layer2In, bool pivoit, float* ray_angles, float nn, float offset,
                      float* layer2Out, int dewarpascanlen);

  // One B-scan of DewarpSurfaces with the tables of the last pre-computation. The traced points
  // are interpolated by a cubic spline over the corrected columns between the first and the last
  // of them; a B-scan where no point can be placed gets -1 everywhere (layer and angles), one
  // with a single point gets that point alone.
  void DewarpCurves(int bscanwidth, int ascanlen, const float* layer1In, const float* layer2In,
                    float* ray_angles, float offset, float* layer2Out, int dewarpascanlen);

  // Smooths one B-scan's layer with a smoothing spline of wavelength bscanWidth * smooth.
  void DewarpSmoothLayer(const float* layer, int bscanWidth, float smooth, float* smoothLayer);

  // Refused: pixels above the surface stay in place (mode false) in an output A-scan shorter
  // than the source A-scan.
  static constexpr const char* kKeepAboveNeedsLength =
      "Dewarped A-scan length must be at least the A-scan length when the part above the surface "
      "stays in place.";

 private:
  struct Refraction {
    double tAxial, tLateral;  // tangential part of the beam before the index ratio
    double rAxial, rLateral;  // refracted direction
    double q;                 // squared length of the tangential part after the index ratio
  };
  Refraction Refract(int j) const;
  void FillSampleDepths(int ascanlen, float nn);
  void FillSmoothingKernel(int bscanwidth);
  void SmoothSlopes(int bscanwidth);
  // Places every sample k of A-scan j (surface sample s) in the corrected image: place(at, k)
  // with `at` the output pixel c * dewarpascanlen + p, in order of k.
  template <typename Place>
  void TraceAScan(int j, int s, int ascanlen, float offset, bool mode, int bscanwidth,
                  int dewarpascanlen, Place place);
  // Clears the unreached background and fills it from the 7 x 7 medians.
  void FillHoles(int bscanwidth, std::uint8_t* dewarpBscan, int dewarpascanlen);
  // DewarpBscan without maps: the source pixels written straight into the corrected image.
  void ScatterBscan(const std::uint8_t* bscan, int bscanwidth, int ascanlen, const float* layer,
                    float offset, bool mode, std::uint8_t* dewarpBscan, int dewarpascanlen);

  float n_phase = 1.372f;
  float n_group = 1.383f;
  float half_scan_angle = 0.0f;  // radians
  float half_scan_width = 0.0f;
  float scan_sag = 0.0f;
  float scan_width = 0.0f;
  float scan_depth = 0.0f;
  float pi = 3.1415927f;
  std::array<float, kMaxSize> sampleDepth{};
  std::array<double, kMaxSize> kernel{};
  int kernelLength = 0;
  std::array<float, kMaxSize> sagTerm{};
  std::array<float, kMaxSize> lateralBase{};
  std::array<float, kMaxSize> beamAxial{};
  std::array<float, kMaxSize> beamLateral{};
  std::array<float, kMaxSize> surfaceAxial{};
  std::array<float, kMaxSize> surfaceLateral{};
  std::array<double, kMaxSize> slopeAxial{};
  std::array<double, kMaxSize> slopeLateral{};
  std::array<int, kMaxSize> traceColumn{};  // output pixel of each sample of the traced A-scan
  std::array<int, kMaxSize> traceSample{};
  DewarpDetail::HoleFillWork holeWork_;
  // Work vectors of DewarpCurves: the traced points by corrected column, the points in column
  // order and the spline's grid and values.
  struct CurveWork {
    std::vector<float> sample, column, X, Y, A, grid, values;
  };
  CurveWork curveWork_;
  // Normalised lateral positions -1 .. 1 of the A-scans, for the B-scan width they were made for.
  std::vector<float> lateral_;
  int lateralWidth_ = -1;
};

}  // namespace Talvex::SDOCT::Algorithms
