// CCorneaVertex: the corneal vertex of a radial scan in the en-face plane, by four methods.
//
//   Q  robust quadric surface through the anterior surface near the scan centre; the vertex is
//      the node of a square grid where the surface is shallowest;
//   Z  Zernike reconstruction of the anterior elevation on a square grid; the vertex is the
//      shallowest node;
//   M  robust parabola along each meridian; the vertex is the mean of the meridian apexes;
//   S  specular reflection: the A-scan of each B-scan where the beam meets the anterior surface
//      at normal incidence, found by a Gaussian fit to the brightness profile below the cornea;
//      the vertex is the mean of those positions.
//
// Layers hold one depth per A-scan in pixels, -1 = no value; a stack is numLayers rows of
// widthPix values, in ascending meridian order with angles in radians (VReorderLayers). The
// A-scans of the first half of a meridian (index < widthPix / 2) lie in direction theta + pi,
// the others in direction theta; en-face x = cos(direction) |r|, y = sin(direction) |r|.
// depthPix samples span depthMu micrometres; scan lengths are micrometres.
//
// The results are (column, row) positions of two floats, in the pixels of each method's grid:
//   Q  a widthPix x widthPix grid over [-D/2, D/2]^2, D the longest scan length, x along a row
//      and y down the rows: node (c, r) at x = -D/2 + c D / (widthPix - 1);
//   Z  the grid of the Zernike reconstruction, node (c, r) at x = -R + 2 R c / (widthPix - 1),
//      R = trunc(widthMu / 2 + 0.5);
//   M  map pixels of L / widthPix micrometres around widthPix / 2 (integer division);
//   S  A-scans around numascans * 0.5.
//
// The engine refuses B-scans of more than kMaxWidth A-scans and more than kMaxMeridians B-scans
// ("Input B-scan width exceeds 2048 A-scans.", "Number of meridians exceeds 360.") and sizes
// below one ("Input B-scan width must be at least 1 A-scan.", "Number of meridians must be at
// least 1."), before it reads or writes anything.
#pragma once

#include <cstdint>

#include "engines/base/CAnteriorSegmentModule.h"

namespace Talvex::SDOCT::Algorithms {

class CCorneaVertex : public CAnteriorSegmentModule {
 public:
  static constexpr int kMaxWidth = 2048;
  static constexpr int kMaxMeridians = 360;

  static constexpr const char* kWidthLimit = "Input B-scan width exceeds 2048 A-scans.";
  static constexpr const char* kMeridianLimit = "Number of meridians exceeds 360.";
  static constexpr const char* kWidthTooSmall = "Input B-scan width must be at least 1 A-scan.";
  static constexpr const char* kMeridiansTooFew = "Number of meridians must be at least 1.";

  CCorneaVertex() = default;
  ~CCorneaVertex() override = default;

  // Method Q. layerData (numLayers x widthPix, sorted) is scaled to micrometres and leveled in
  // place; scanLengthMu holds one scan length per B-scan. Each meridian is leveled by CorrectZ
  // over its central min(L, 4000 um) (fit width widthPix, or trunc(widthPix * 4000 / L) when
  // L >= 4000 um); the samples within roiRadius of the centre go to a robust quadric (minimum
  // count trunc(n * 0.25), distance 10 um, probability 0.98, 100 / 300 trials) fitted to the
  // leveled depths moved 1 mm down (a fit with its constant fixed cannot pass through the
  // origin, where the leveled apex lies; the move leaves the shallowest node), which is solved
  // for its depth z = (sqrt(B^2 - 4AC) - B) / (2A) at every grid node (1.0e16 where it has no
  // real solution). The fits draw from the engine's random array, which this method never
  // installs: a fresh engine draws from the library's default array.
  // The grid is searched node by node in row-major order (the first node of the smallest depth
  // wins) without storing it. Throws "CorrectZ() failed.", "QuadricCoeff() failed.",
  // "IPP: ippsMax_32f() failed." and the limits above.
  void CorneaVertexQ(float* layerData, const float* angles, int numLayers, int widthPix,
                     int depthPix, float depthMu, const float* scanLengthMu, float roiRadius,
                     float* vertexPosition);

  // Method Z on a copy of layerData (numLayers x widthPix, sorted; not modified): each row
  // leveled by CorrectZ (stack overload), scaled to micrometres (missing samples 0.0) and
  // reconstructed by the regular radial Zernike fit of order maxOrder with meridian b at
  // b * pi / numLayers and maxRadius = widthMu / 2; grid nodes exactly 0.0 never win. angles only
  // order the rows. The shallowest node is found without the whole grid (see
  // CorneaVertexZernike.cpp): work memory about T + 6 doubles per sample, T = (maxOrder + 1)
  // (maxOrder + 2) / 2. Throws "CorrectZ() failed.", "IPP: ippsMulC_64f_I() failed.",
  // "IPP: ippiMinIndx_32f_C1R() failed.", the messages of the Zernike reconstruction and the
  // limits above.
  void CorneaVertexZ(const float* layerData, const float* angles, int numLayers, int depthPix,
                     int widthPix, int depthMu, int widthMu, int maxOrder, float* vertexPosition);

  // Method M. layerData is read only. The caller's random values are installed first
  // (SetRandomArray). Per meridian, the samples with |r| <= roiRadius go to a robust parabola
  // (minimum count q = trunc(m * 0.25), distance 5 um, probability 0.98, 100 / 300 trials); a
  // meridian with no more than q inliers contributes nothing. The meridian apex s* = -b / (2a)
  // lies at widthPix * |s*| / L map pixels from widthPix / 2 in direction theta (s* > 0) or
  // theta + pi. Result: the mean apex, one meridian's apex, or (0, 0) when none contributes.
  // Throws "SetRandomArray() failed.", "ParabolaCoeff() failed.", "IPP: ippsMean_32f() failed."
  // and the limits above.
  void CorneaVertexM(const float* layerData, const float* angles, int numLayers, int widthPix,
                     int depthPix, float depthMu, const float* scanLengthMu, float roiRadius,
                     const int* randomValues, std::uint32_t nRandom, float* vertexPosition);

  // Method S over numbscan B-scans of numascans A-scans of ascanlen bytes. angles (radians) are
  // the directions of the A-scans of the second half of each B-scan (index above numascans / 2),
  // used as given. THE CORNEA OF EVERY B-SCAN IS BLANKED IN THE CALLER'S IMAGES (see
  // MeridianSpecularReflection). Result: numascans * 0.5 plus the mean displacement of the
  // reflection positions, or (-1, -1) when no B-scan shows a reflection. Throws the messages of
  // MeridianSpecularReflection, "IPP: ippsMean_32f() failed." and the limits above (width:
  // numascans, meridians: numbscan).
  void CorneaVertexS(std::uint8_t* bscans, int numbscan, int numascans, int ascanlen,
                     const float* anterior, const float* posterior, const float* angles,
                     float ccthreh, float* vertexPosition);

  // Meridian leveling: the samples of index npts / 2 - fitnpts / 2 .. npts / 2 + fitnpts / 2 - 1
  // with z != nan, when more than 50, are fitted by a robust parabola in r (minimum count
  // trunc(count * 0.1), distance 5.0, probability 0.98, 100 / 300 trials) whose value at r = 0
  // is subtracted from every z != nan of the row. 0, or -1 when the fit fails.
  int CorrectZ(const float* r, float* z, int npts, int fitnpts, float nan);

  // Stack leveling: each of the numLayers rows of npts values with more than 5 values != nan is
  // fitted by a least-squares parabola in the A-scan index, whose value at index (npts - 1) / 2
  // (integer division) is subtracted from its values != nan. 0, or -1 when a fit fails.
  int CorrectZ(float* z, int numLayers, int npts, float nan);

  // Reflection column of one B-scan im (numascan A-scans of ascanlen bytes), or -1:
  //   1. the cornea is blanked IN PLACE: samples trunc(anterior - 5) (at least 0) up to, not
  //      including, min(trunc(posterior + 5), ascanlen - 1) of every A-scan with both surfaces
  //      (values != nan) set to 0;
  //   2. a 5 x 5 maximum filter of the interior (2-pixel margin left at 0);
  //   3. the profile of A-scan sums, less its mean, smoothed by five ones, negatives set to 0,
  //      the outer trunc(numascan / 6) entries (and one more at the end) set to 0, normalised to
  //      unit sum; a profile without any positive entry has no reflection (-1);
  //   4. a Gaussian fitted to it (automatic start); its centre is returned when the normalised
  //      cross-correlation of profile and Gaussian exceeds threshold, else -1.
  // Throws "IPP: ippiFilterMax_8u_C1R() failed.", "IPP: ippiSum_8u_C1R() failed.",
  // "IPP: ippsMean_32f() failed.", "IPP: ippsAddC_32f_I() failed.",
  // "TalvexAlgorithm: Conv1D() failed.", "IPP: ippsSum_32f() failed.",
  // "TalvexAlgorithm: gaussfit() failed." and "IPP: ippsMeanStdDev_32f() failed.".
  float MeridianSpecularReflection(std::uint8_t* im, int numascan, int ascanlen,
                                   const float* anterior, const float* posterior, int npts,
                                   float nan, float threshold);

  // Normalised cross-correlation sum (f2 - mean2)(f1 - mean1) / (std1 std2 (n - 1)) of two
  // profiles of n >= 2 values. Throws "IPP: ippsMeanStdDev_32f() failed.".
  static float NormalizedCC(const float* f1, const float* f2, int n);

  // The meridian reordering of the engine base (ReorderLayers).
  void VReorderLayers(float* layersIn, float* layersOut, int numLayers, int widthPix,
                      float* angles);

  // Refuses widths and meridian counts outside 1 .. kMaxWidth and 1 .. kMaxMeridians.
  static void RequireLimits(int width, int meridians);
};

}  // namespace Talvex::SDOCT::Algorithms
