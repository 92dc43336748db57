// Synthetic eye: a simulator of spectral-domain anterior-segment OCT scans with exact ground truth.
//
// A parametric model eye (conic corneal surfaces, epithelium, Bowman layer, anterior chamber, iris,
// anterior lens surface, limbus and sclera) is scanned by a model scanner (a beam that pivots
// across the scan on a scan surface with sag), every A-scan is ray traced through the eye (Snell's
// law with the phase index at every refracting surface, optical path with the group index), and a
// B-scan is formed from the traced tissue: reflectivities, axial and lateral point-spread
// functions, fully developed speckle, a noise floor, the spectral-domain sensitivity roll-off, the
// specular reflection at near-normal incidence, the mirror image of wide-field scans and the
// 40·log10 compression to 8 bits. The traced geometry is returned as ground truth.
//
// Conventions shared with the Talvex library:
// - A B-scan is 8-bit, `bscanWidth` A-scans of `ascanLength` samples, stored A-scan after A-scan
//   (each A-scan contiguous, depth index 0 first); a volume is B-scan after B-scan. In a picture
//   A-scans are image columns and depth runs downward.
// - The depth axis of an A-scan is optical path length from the scan surface. The library's
//   physical depth figures are tissue-equivalent micrometres: the optical path of the A-scan
//   divided by the reference group index 1.386. An A-scan of `ascanLength` samples spans
//   `scanDepthMm` tissue-equivalent millimetres, i.e. 1.386 · `scanDepthMm` of optical path.
// - Layer arrays hold one float per A-scan, B-scan after B-scan: the depth position in fractional
//   samples, -1 where the A-scan has no value or the surface lies outside the image.
// - Grey values follow the 40·log10 amplitude scale of the library's step templates (20·log10 of
//   the detected intensity): air about 25, stroma about 70, the specular apex peak above 120.
//   A device export (DeviceExport.h) maps a scan onto the grey scale of a clinical device's
//   exported pictures; frames without a cornea come from NoCorneaFrames.h.
// - Radial scans use the scanner's angle convention: the A-scan at normalised lateral position x
//   (-1 at A-scan 0, +1 at the last) of a B-scan at angle a (degrees) lies at
//   x · F · (cos a, -sin a) in the en-face plane (X to the right, Y up as the examiner sees the
//   eye); F = sqrt(f0² cos² a + f1² sin² a) from the half extents f0 (along 0°) and f1 (along 90°).
//   The library turns a into 180 - a and reverses B-scans with converted angles up to 180°.
//
// Geometry is in millimetres in the eye frame: X right, Y up, Z depth (downward, into the eye),
// origin at the apex of the undeformed anterior corneal surface. The scanner frame has the same
// axes, Z = 0 at the zero-delay point of the central A-scan.
//
// Nothing here reads files or the environment, and every result is a pure function of the model,
// the protocol, the render settings and the seed (own fixed pseudo-random generator, own
// arithmetic for the Gaussian draws and the logarithm).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Talvex {
namespace Synthetic {

// Reference group index that turns optical path into tissue-equivalent depth.
constexpr double kReferenceGroupIndex = 1.386;

// A conic corneal surface: a toric conicoid x²/Ru + y²/Rv + (1 + Q) z² / sqrt(Ru Rv) - 2 z = 0
// in its own principal axes (x along `axisDeg`), apex at depth `apexDepthMm` on the eye axis.
// With Ru = Rv = R it is the usual rotationally symmetric conic of apical radius R and
// asphericity Q (Q = 0 sphere, Q < 0 prolate, Q > 0 oblate).
struct ConicSurface {
  double radiusMm = 7.7;       // apical radius along the principal axis `axisDeg` (Ru)
  double radiusOtherMm = 7.7;  // apical radius along the perpendicular axis (Rv)
  double axisDeg = 0.0;        // direction of the Ru axis in the en-face plane
  double asphericity = 0.0;    // Q
  double apexDepthMm = 0.0;    // depth of the apex below the anterior apex
};

// A keratoconus-like cone: a Gaussian forward bulge of both corneal surfaces centred at
// (centreXMm, centreYMm) with standard deviation sigmaMm; the posterior surface bulges more than
// the anterior one, which thins the cornea over the cone, and the epithelium thins over its apex.
struct ConeDeformation {
  double centreXMm = 0.0, centreYMm = 0.0;
  double sigmaMm = 1.0;
  double anteriorBulgeMm = 0.0;   // forward (negative depth) displacement of the anterior surface
  double posteriorBulgeMm = 0.0;  // forward displacement of the posterior surface
  double epitheliumThinningUm = 0.0;
};

// Epithelium thickness (µm, along the anterior surface normal to first order) at (X, Y) mm:
// centralUm + inferiorGradientUmPerMm · max(0, -Y) + radialGradientUmPerMm2 · (X² + Y²), less
// the cone's thinning.
struct EpitheliumProfile {
  double centralUm = 53.0;
  double inferiorGradientUmPerMm = 0.0;
  double radialGradientUmPerMm2 = 0.0;
};

// Phase (refraction) and group (optical path) index of a medium.
struct MediumIndex {
  double phase = 1.0;
  double group = 1.0;
};

// The model eye. The anterior surface is the anterior conic up to the limbus and continues
// beyond it as the scleral surface (tangent at the limbus, radius `scleraRadiusMm`); the posterior
// corneal surface ends at the angle (`angleRadiusMm`), where the iris root meets it.
struct ModelEye {
  std::string name = "custom";
  ConicSurface anterior;
  ConicSurface posterior{6.8, 6.8, 0.0, 0.0, 0.5};  // apexDepthMm = central corneal thickness
  ConeDeformation cone;
  EpitheliumProfile epithelium;
  double bowmanThicknessUm = 12.0;
  double limbusRadiusMm = 5.9;
  double scleraRadiusMm = 11.5;
  double angleRadiusMm = 5.6;  // en-face radius of the angle recess and of the iris root
  double pupilRadiusMm = 2.5;
  double irisThicknessMm = 0.45;  // greatest iris thickness (at the collarette)
  double irisRootThicknessMm = 0.22;
  double irisBowMm = 0.12;   // forward bow of the iris between root and pupil
  double lensDepthMm = 3.6;  // depth of the anterior lens apex (anterior chamber depth)
  double lensRadiusMm = 10.0;
  MediumIndex cornea{1.376, 1.386};
  MediumIndex aqueous{1.336, 1.345};
  MediumIndex lens{1.386, 1.406};
};

// Presets. Gullstrand exact schematic eye: anterior 7.7 mm, posterior 6.8 mm, 0.5 mm thick,
// n 1.376 / 1.336, anterior chamber 3.6 mm, lens 10 mm.
ModelEye GullstrandEye();
// Navarro eye: anterior 7.72 mm with Q -0.26, posterior 6.50 mm, 0.55 mm thick, chamber 3.05 mm.
ModelEye NavarroEye();
// Keratoconus-like cornea: inferotemporal cone (temporal is the examiner's left for a right
// eye), thinnest point about 450 µm about 0.8 mm off centre, steeper and thinner epithelium over
// the cone.
ModelEye KeratoconusEye();
// Post-myopic-refractive-surgery cornea: flattened oblate centre (R 8.6 mm, Q +0.7), thinner
// centre (470 µm), thicker central epithelium.
ModelEye PostRefractiveEye();
// The preset named "gullstrand", "navarro", "keratoconus" or "post-refractive"; false when the
// name is unknown (eye unchanged).
bool PresetByName(const std::string& name, ModelEye* eye);

// Surfaces of the model eye, for sag and intersection queries.
enum class Surface { Anterior, Bowman, Posterior, IrisFront, IrisBack, Lens };

// Depth (mm) of a surface at en-face position (X, Y) in the eye frame. Defined everywhere (the
// conics are clamped where they turn over); use SurfaceCovers for the extent of the surface.
double SurfaceSag(const ModelEye& eye, Surface s, double x, double y);
// True when the surface exists at (X, Y): cornea surfaces inside the limbus (Bowman) or the angle
// (posterior), iris between pupil and root, lens inside the pupil-facing region (r < 4.5 mm);
// the anterior surface (cornea and sclera) everywhere.
bool SurfaceCovers(const ModelEye& eye, Surface s, double x, double y);

// Corneal thickness (µm) at the posterior surface point above en-face position (X, Y): the
// distance from that point along the posterior surface normal to the anterior surface. -1 when
// the posterior surface does not exist there.
double ThicknessAlongPosteriorNormal(const ModelEye& eye, double x, double y);
// Epithelium thickness (µm) at the anterior surface point above (X, Y): the distance along the
// anterior surface normal to the Bowman surface. -1 outside the limbus.
double EpitheliumAlongAnteriorNormal(const ModelEye& eye, double x, double y);

// Corneal power by Gaussian (paraxial) optics at the apex, dioptres. Curvatures are the principal
// curvatures of the deformed surfaces at the eye axis; anterior = (n_cornea - 1) · c_a, posterior
// = (n_aqueous - n_cornea) · c_p, total = anterior + posterior - (t / n_cornea) · anterior ·
// posterior with t the central thickness (equivalent power of the thick lens in air). The
// meridional values use the flat and steep principal curvatures; the keratometric value is
// 337.5 / R with R the mean anterior radius in mm (index 1.3375). Gullstrand: +48.83, -5.88,
// +43.05 D (keratometric 43.83 D).
struct CornealPower {
  double anterior = 0, posterior = 0, total = 0;  // from the mean principal curvature
  double anteriorFlat = 0, anteriorSteep = 0;     // along the principal meridians
  double totalFlat = 0, totalSteep = 0;
  double flatMeridianDeg = 0;  // en-face direction of the flat meridian
  double keratometric = 0;
};
CornealPower ComputeCornealPower(const ModelEye& eye);

// Corneal power as a radial-scan measurement fits it, evaluated on the exact surfaces. Along each
// meridian (scanner angle a: the line through the eye-frame origin in direction (cos a, -sin a))
// a least-squares parabola z = A s^2 + B s + C is fitted to the anterior sag over the zone
// |s| <= r, then again over the zone centred on the first vertex; the anterior radius is the
// radius of curvature at the second vertex s_a. The posterior parabola is fitted over the zone
// centred on s_a and its radius taken at its own vertex. Powers: anterior (n_cornea - 1) / Ra,
// posterior (n_aqueous - n_cornea) / Rp, total Pa + Pp - t / n_cornea Pa Pp with t the axial
// thickness at s_a; each averaged over the meridians. Over a zone of finite radius the parabola
// takes up the flattening of a sphere or of a prolate conic away from the apex, so it reads
// steeper than the paraxial power of ComputeCornealPower (Gullstrand, r = 1.5 mm: anterior
// +0.40 D, total +0.34 D).
struct MeridianFitPower {
  double zoneRadiusMm = 0;
  double anterior = 0, posterior = 0, total = 0;
};
MeridianFitPower ComputeMeridianFitPower(const ModelEye& eye, const std::vector<double>& anglesDeg,
                                         double zoneRadiusMm);
// Zone radius of the fit power that SimulateScan puts into the truth of radial scans.
constexpr double kFitPowerZoneRadiusMm = 1.5;

// A thickness map on a Cartesian grid: `width` x `width` values, row-major, row 0 at the top
// (largest Y), column 0 at the left (smallest X), pixel (c, r) at X = (c - (width-1)/2) · pitch,
// Y = ((width-1)/2 - r) · pitch with pitch = diameterMm / (width - 1). µm; -1 outside the circle
// of diameter diameterMm. The thinnest point is refined below the grid pitch.
struct ThicknessMap {
  int width = 0;
  double diameterMm = 0.0;
  std::vector<float> values;
  double thinnestXMm = 0, thinnestYMm = 0, thinnestUm = 0;
};
// Pachymetry (ThicknessAlongPosteriorNormal) and epithelium (EpitheliumAlongAnteriorNormal) maps.
ThicknessMap PachymetryMap(const ModelEye& eye, int width, double diameterMm);
ThicknessMap EpitheliumMap(const ModelEye& eye, int width, double diameterMm);

enum class ScanType { Radial, Line, WideField };

// The scanner and the scan pattern. Every B-scan is a line through the scan centre at angle a:
// A-scan j at x = -1 + 2 j / (bscanWidth - 1) starts on the scan surface at lateral position x·F
// and axial position S·x² and runs in direction (axial cos(T·x), lateral -sin(T·x)), the
// dewarping convention (with F, T and S from the horizontal and vertical values by
// sqrt(h² cos² a + v² sin² a)). The eye's anterior apex sits at (eyeXMm, eyeYMm, apexDepthMm) in
// the scanner frame, plus the motion shift of each B-scan.
struct ScanProtocol {
  ScanType type = ScanType::Radial;
  int numBscans = 16;                  // meridians of a radial scan (1 for line and wide-field)
  int bscanWidth = 1024;               // A-scans per B-scan
  int ascanLength = 1024;              // samples per A-scan
  double firstAngleDeg = 0.0;          // angle of B-scan 0; radial B-scan b at first + b·180/N
  double halfFieldMm[2] = {4.0, 4.0};  // f0 (along 0°), f1 (along 90°)
  double halfTelecentricityDeg[2] = {2.0, 2.0};  // horizontal, vertical
  double scanSagMm[2] = {0.0, 0.0};              // horizontal, vertical
  double scanDepthMm = 2.3;                      // tissue-equivalent depth of the whole A-scan
  double apexDepthMm = 0.25;          // air distance from zero delay to the anterior apex
  double eyeXMm = 0.0, eyeYMm = 0.0;  // en-face position of the eye's apex
  // Tilt of the eye about its anterior apex: the eye's axis turned toward +X (about the Y axis),
  // then toward +Y (about the X axis), degrees. The truth's surface points stay in the eye frame.
  double eyeTiltDeg[2] = {0.0, 0.0};
  // Eye motion between B-scans: either given per B-scan (three values each: X, Y, Z mm; empty =
  // none) or drawn from the seed, uniform in ±lateral / ±axial, B-scan 0 unshifted.
  std::vector<double> motionMm;
  double randomMotionLateralMm = 0.0;
  double randomMotionAxialMm = 0.0;
};
// Ready-made protocols: radial corneal scan (8 mm, 2.3 mm deep), line scan (one B-scan at
// angleDeg) and wide-field scan (16 mm, 7 mm deep, mirror image on in the render settings of
// WideFieldRendering).
ScanProtocol RadialProtocol(int meridians, int bscanWidth, int ascanLength);
ScanProtocol LineProtocol(double angleDeg, int bscanWidth, int ascanLength);
ScanProtocol WideFieldProtocol(double angleDeg, int bscanWidth, int ascanLength);

// Image formation. Tissue levels are the mean displayed grey values of uniform tissue (the
// 40·log10 scale); peak levels are the grey value at the centre of a boundary reflection at
// normal incidence, before the specular term.
struct RenderSettings {
  bool speckle = true;                // complex Gaussian scatterer field; false: smooth levels
  bool noise = true;                  // complex Gaussian noise floor; false: no noise
  bool specular = true;               // near-normal-incidence reflection and its vertical streak
  bool mirrorImage = false;           // fold the conjugate image about mirrorFoldSample
  double axialResolutionUm = 6.0;     // FWHM of the amplitude PSF in tissue-equivalent µm
  double lateralResolutionUm = 15.0;  // FWHM of the lateral amplitude PSF
  double noiseLevel = 25.0;           // mean grey value of the noise floor
  double rollOffDb = 6.0;             // intensity loss at the last sample (Gaussian in depth)
  // Bowman's layer is a bright band of its own thickness that begins at the Bowman surface (the
  // anterior border of the layer, where the epithelium ends): compact collagen scatters more than
  // the epithelium above it and the stroma below, so in the image the epithelium ends where the
  // grey level rises into the bright line, not at the line's centre.
  double epitheliumLevel = 76.0, stromaLevel = 70.0, bowmanLevel = 94.0, scleraLevel = 100.0;
  double irisLevel = 100.0, irisPigmentLevel = 118.0, lensLevel = 32.0;
  double anteriorPeakLevel = 118.0;  // air/tear film at normal incidence
  // A reflection centred on the Bowman surface (-400: none; the small index step between
  // epithelium and Bowman's layer reflects far less than the layer scatters).
  double bowmanPeakLevel = -400.0, posteriorPeakLevel = 96.0, irisPeakLevel = 108.0;
  double lensPeakLevel = 100.0;
  double obliqueLossDbPerDeg = 0.25;  // reflection loss with incidence angle (grey levels/degree)
  double specularWidthDeg = 0.35;     // Gaussian width of the specular lobe in incidence angle
  double specularPeakLevel = 300.0;   // added specular amplitude at exact normal incidence
  double streakLevel = 135.0;         // grey level of the vertical streak at normal incidence
  double mirrorAttenuationDb = 18.0;  // grey levels by which the mirror image is darker
  int mirrorFoldSample = -1;          // fold line; -1: ascanLength / 2 - 20
  // Hyporeflective band at the base of the epithelium, just above the Bowman layer, of this
  // thickness (µm along the beam; 0: none) and tissue level.
  double basalBandUm = 0.0, basalBandLevel = 58.0;
  // Interfaces as pure reflection peaks: the air above the cornea, the epithelium, the Bowman band
  // and everything below the posterior surface scatter and attenuate like the stroma, so that the
  // tissue level is the same on both sides of each corneal surface, and the anterior and posterior
  // surfaces are thin bright lines centred on the exact interfaces (no Bowman reflection, no iris
  // or lens). For checking that a segmentation places surfaces without bias.
  bool interfacePeaksOnly = false;
};
RenderSettings WideFieldRendering();

// Grey levels of a device-exported B-scan (or scan), measured on the exported pixels in regions cut
// from the truth surfaces, with a margin of m = ceil(2 · axial FWHM / sample pitch) + 2 samples
// from every surface and without the streak's A-scans (nor those of the simulated specular streak):
// - air: samples above anterior - m;
// - stroma: from b + m below the Bowman surface down to posterior - m, b = max(3, 20 µm / pitch);
// - anteriorPeak: median over A-scans of the brightest sample within 2 samples of the anterior
//   surface;
// - posteriorStroma: the b samples ending at posterior - m;
// - aqueous: the b samples from posterior + m (black, 0, where the fan mask covers them).
// A level is -1 where its region holds no sample.
struct DeviceLevels {
  bool valid = false;
  double air = -1, stroma = -1, anteriorPeak = -1, posteriorStroma = -1, aqueous = -1;
};

// What a device export did to one B-scan.
struct DeviceExportTruth {
  DeviceLevels levels;
  // The fan mask: samples [maskTop, maskBottom) of each A-scan are blanked; -1: no mask there.
  std::vector<float> maskTop, maskBottom;
  int streakFirst = -1, streakLast = -1;  // A-scans of the saturated streak's core; -1: none
};

// Ground truth of one B-scan (all arrays bscanWidth long).
struct BscanTruth {
  double angleDeg = 0;               // scanner angle of the B-scan
  double halfLengthMm = 0;           // F
  double halfTelecentricityDeg = 0;  // T
  double scanSagMm = 0;              // S
  double motionMm[3] = {0, 0, 0};    // applied eye shift (X, Y, Z)
  // The same motion as the library's motion correction reports it for this meridian: the shift
  // in micrometres that puts the meridian back, -1000 · motionMm. X and Y lie in the en-face frame
  // of the meridian angles (X along 0°, Y along 90°), Z along depth in micrometres of air, the
  // unit of anterior-surface depths read at the optical path of a sample
  // (kReferenceGroupIndex · scanDepthMm / ascanLength). The correction finds it up to one shift
  // common to all meridians, and reports meridians in ascending order of the library's
  // normalised angle (180 - angleDeg, + 360 when negative, - 180 when above 180).
  double motionCorrectionUm[3] = {0, 0, 0};
  // Image positions (fractional samples, -1 outside the image or where the beam misses).
  std::vector<float> anterior, bowman, posterior, irisLens;
  // Physical surface points (eye frame, mm) where the beam meets the anterior and posterior
  // surfaces; meaningful where the corresponding image position is valid, 0 elsewhere.
  std::vector<float> anteriorX, anteriorY, anteriorZ, posteriorX, posteriorY, posteriorZ;
  std::vector<float> thicknessUm;   // along the posterior normal at the posterior point; -1
  std::vector<float> incidenceDeg;  // beam to anterior surface normal; -1 where it misses
  // Specular streak: A-scans whose incidence angle is within 2.5 lobe widths; -1 when none.
  int specularFirst = -1, specularLast = -1;
  double specularCentre = -1;  // A-scan (fractional) of the smallest incidence angle
  DeviceExportTruth device;    // filled by a device export (DeviceExport.h)
  // Mirror image (render settings with mirrorImage): the fold sample f (-1 without a mirror
  // image) and the image positions 2·f - z of the folded anterior and posterior corneal surfaces
  // (-1 where the surface is missing or its fold lies outside the image). Everything below the
  // anterior surface folds to above mirrorAnterior, so the mirror image occupies the samples of
  // each A-scan above mirrorAnterior (the folded cornea lies between mirrorPosterior and
  // mirrorAnterior); in a wide-field scan it falls into the anterior chamber there.
  int mirrorFoldSample = -1;
  std::vector<float> mirrorAnterior, mirrorPosterior;
};

// The corneal vertex of a scan by its two definitions, as en-face positions in the scanner
// frame (mm; X right, Y up, as the scan pattern's angles), for the protocol's eye position and
// tilt without eye motion:
// - apex: the point of the anterior surface nearest the scanner (smallest scanner-frame depth;
//   with a tilted eye it is not the eye's own apex);
// - normal incidence: the point where a beam of the scan pattern meets the anterior surface
//   along the surface normal (the specular reflection), with the beam's start on the scan
//   surface; with a telecentric scanner it is the apex.
struct VertexTruth {
  double apexXMm = 0, apexYMm = 0, apexDepthMm = 0;  // depth: scanner frame, air distance
  double normalXMm = 0, normalYMm = 0;               // where the normal beam meets the surface
  double normalScanXMm = 0, normalScanYMm = 0;       // where that beam leaves the scan surface
  double normalIncidenceDeg = 0;                     // residual incidence of the search (~0)
};
// Both vertices of `eye` scanned with `protocol` (its eye position and tilt, no motion), found by
// direct search to 1e-7 mm.
VertexTruth ComputeVertexTruth(const ModelEye& eye, const ScanProtocol& protocol);

struct ScanTruth {
  std::vector<BscanTruth> bscans;
  VertexTruth vertex;
  ThicknessMap pachymetry, epithelium;
  CornealPower power;
  // Radial scans: the fit power over the scan's meridians, zone radius kFitPowerZoneRadiusMm.
  MeridianFitPower fitPower;
  DeviceLevels deviceLevels;  // of all B-scans together, when the scan was device-exported
};

// A simulated scan: the volume in the library's layout and its ground truth.
struct SimulatedScan {
  int numBscans = 0, bscanWidth = 0, ascanLength = 0;
  std::vector<std::uint8_t> volume;  // numBscans · bscanWidth · ascanLength bytes
  ScanTruth truth;
};

// Simulates the scan of `eye` with `protocol` and `render`, speckle and noise drawn from `seed`.
// The truth maps are `mapWidth` x `mapWidth` over the scan diameter 2 · max(f0, f1) (0 skips
// them). Throws std::invalid_argument for sizes below 2 or above 8192, or no B-scans.
SimulatedScan SimulateScan(const ModelEye& eye, const ScanProtocol& protocol,
                           const RenderSettings& render, std::uint64_t seed, int mapWidth = 101);

// Repeated acquisitions of one eye: every repeat has its own speckle and noise (its own seed), the
// eye shifted en face by up to maxShiftUm (uniform over the disc) and tilted by up to maxTiltDeg
// toward X and toward Y (uniform), all drawn from the seed.
struct RepeatSettings {
  int repeats = 3;
  double maxShiftUm = 50.0;
  double maxTiltDeg = 0.5;
};
struct RepeatScan {
  std::uint64_t seed = 0;      // speckle and noise seed of this repeat
  double shiftUm[2] = {0, 0};  // applied eye shift (X, Y)
  double tiltDeg[2] = {0, 0};  // applied tilt (toward X, toward Y)
  ScanProtocol protocol;       // the protocol of this repeat (shift and tilt included)
  SimulatedScan scan;          // SimulateScan(eye, protocol, render, seed, mapWidth)
};
// Throws std::invalid_argument for repeats outside 1..64 or negative limits.
std::vector<RepeatScan> SimulateRepeatScans(const ModelEye& eye, const ScanProtocol& protocol,
                                            const RenderSettings& render,
                                            const RepeatSettings& repeat, std::uint64_t seed,
                                            int mapWidth = 0);

// The demo's built-in data: a Gullstrand radial scan of `meridians` B-scans of `bscanWidth` x
// `ascanLength` with the default scanner and rendering.
SimulatedScan SimulateGullstrandRadialScan(int meridians, int bscanWidth, int ascanLength,
                                           std::uint64_t seed);

}  // namespace Synthetic
}  // namespace Talvex
