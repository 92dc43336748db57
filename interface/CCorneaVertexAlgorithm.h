// CCorneaVertexAlgorithm: the corneal vertex of a radial scan in the en-face plane, by four
// methods. The vertex centres thickness and power maps: the apex of the anterior surface (Q, Z,
// M) or the point where the scanner's beam meets the anterior surface at normal incidence (S).
//
//   CorneaVertexQ  robust quadric surface through the anterior surface within roiRadius of the
//                  centre; vertex = the shallowest node of a widthPix x widthPix grid
//   CorneaVertexZ  Zernike reconstruction of the anterior elevation; vertex = the shallowest
//                  node of its widthPix x widthPix grid
//   CorneaVertexM  robust parabola per meridian; vertex = the mean of the meridian apexes
//   CorneaVertexS  specular reflection per B-scan; vertex = the mean of the reflection positions
//
// **WHERE THE CALLER'S ARRAYS ARE CHANGED:**
//   **CorneaVertexZ reorders the rows of layerDate in place: on return they are sorted by
//   meridian angle, and rows whose converted angle is at most 180 degrees are reversed.**
//   **CorneaVertexS modifies the B-scans: the cornea of every B-scan (from 5 samples above the
//   anterior surface to 5 below the posterior surface) is set to 0 in bscansData.**
//   CorneaVertexQ and CorneaVertexM work on copies and change nothing.
//
// Per-call facade: no state, no Initialize; each call builds its engine on the stack.
//
// Arguments:
//   layerData / layerDate  anterior surface, numLayers rows of widthPix floats: depth in
//                  samples, -1 = no value. Q and Z want the surface in a Cartesian frame (a
//                  dewarped layer), where depth samples and lateral positions are in scale.
//   angleData      meridian angles in degrees (Q, Z, M), one per row, in the scanner's
//                  convention: a becomes 180 - a (+360 when negative), rows with a converted
//                  angle of at most 180 are reversed, and the A-scans of the second half of a
//                  row lie in the converted direction (x = cos, y = sin). Z lays the sorted rows
//                  out at b * 180 / numLayers degrees: its angles must convert to 0, 180 / N, ...
//                  (for example a_b = 180 - b * 180 / N).
//   depthPix, depthMu  depthPix samples span depthMu micrometres (of the layers' depth axis).
//   fovMuData      half extents f0, f1 of the elliptical scan field, micrometres; meridian theta
//                  is L = 2 sqrt(f0^2 cos^2 theta + f1^2 sin^2 theta) long.
//   widthMu        (Z) scan length in micrometres; maxOrder the radial order of the expansion.
//                  Z needs about ((maxOrder + 1)(maxOrder + 2) / 2 + 5) * widthPix^2 doubles.
//   roiRadius      (Q, M) radius of the central region fitted, micrometres.
//   RandomvaluesData, nRandom  (M) the caller's non-negative random integers for the robust
//                  parabolas. Q draws from the library's fixed default array instead.
//   bscansData     (S) numbscan B-scans of numascans A-scans of ascanlen bytes; anteriorData,
//                  posteriorData their surfaces (numbscan x numascans, samples, -1 = none).
//   angleData (S)  radians, used as given: the direction of the A-scans of the second half of
//                  each B-scan (index above numascans / 2) in the frame of the result.
//   ccthreh        (S) least normalised correlation of the profile with its Gaussian fit.
//
// vertexPosition receives (column, row) as two floats:
//   Q  grid node over [-D/2, D/2]^2, D the longest meridian: x = -D/2 + column D / (widthPix - 1)
//   Z  grid node over [-R, R]^2, R = trunc(widthMu / 2 + 0.5): x = -R + column 2R / (widthPix-1)
//   M  widthPix / 2 (integer division) plus the offset in pixels of L / widthPix micrometres;
//      (0, 0) when no meridian gives a parabola
//   S  numascans * 0.5 plus the offset in A-scans; (-1, -1) when no B-scan shows a reflection
// y (the row) grows with the en-face y of the converted angles (90 degrees). M and S average
// per-meridian positions, each the projection of the vertex onto its meridian: where every
// meridian sees the apex, the mean lies halfway between the scan centre and the apex.
//
// Limits: at most 2048 A-scans per B-scan (widthPix, numascans) and 360 meridians (numLayers,
// numbscan): "Input B-scan width exceeds 2048 A-scans.", "Number of meridians exceeds 360.";
// below one: "Input B-scan width must be at least 1 A-scan.", "Number of meridians must be at
// least 1.". Other failures: the engine's fixed messages ("CorrectZ() failed.",
// "QuadricCoeff() failed.", "ParabolaCoeff() failed.", "TalvexAlgorithm: gaussfit() failed.",
// the IPP messages of the primitives).
#pragma once

#include <cstdint>

namespace Talvex::SDOCT::Algorithms {

class CCorneaVertexAlgorithm {
 public:
  void CorneaVertexQ(const float* layerData, const float* angleData, int numLayers, int widthPix,
                     int depthPix, float depthMu, const float* fovMuData, float roiRadius,
                     float* vertexPosition);

  void CorneaVertexZ(float* layerDate, const float* angleData, int numLayers, int depthPix,
                     int widthPix, int depthMu, int widthMu, int maxOrder, float* vertexPosition);

  void CorneaVertexM(const float* layerData, const float* angleData, int numLayers, int widthPix,
                     int depthPix, float depthMu, const float* fovMuData, float roiRadius,
                     const int* RandomvaluesData, std::uint32_t nRandom, float* vertexPosition);

  void CorneaVertexS(std::uint8_t* bscansData, int numbscan, int numascans, int ascanlen,
                     const float* anteriorData, const float* posteriorData, const float* angleData,
                     float ccthreh, float* vertexPosition);

  // Nothing to release: the facade holds no engine between calls.
  void Dispose() {}
};

}  // namespace Talvex::SDOCT::Algorithms
