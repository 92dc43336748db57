// CCorneaMap: corneal thickness maps (pachymetry, epithelium) from the segmented meridians of a
// radial scan.
//
// Two stages:
//   1. per B-scan thickness (ComputeMap, BscanMap): for every A-scan the shortest Euclidean
//      distance from the upper surface point (anterior surface) to the lower surface (posterior
//      surface, or Bowman layer for the epithelium), on a grid of square pixels: the thickness
//      normal to the lower surface, not the axial difference;
//   2. reconstruction (CorneaMap): the thickness samples of all meridians placed at their (x, y)
//      positions on the cornea and fitted onto a square grid, by the regularised grid fit or by a
//      Zernike expansion, resized to the output size and masked to the inscribed circle.
//
// Layers hold one depth per A-scan in pixels (0 = first sample of the A-scan), -1 = no value;
// a stack is numLayers rows of widthPix values. depthPix samples span depthMu micrometres of
// depth, widthPix A-scans span widthMu (fovMu) micrometres laterally. Thickness rows are
// micrometres, -1 = no value. Angles are radians, B-scans in ascending angle order; the first
// A-scan of a meridian lies on the side opposite to its angle.
//
// The engine keeps no state between calls; a caller builds it for one call. A caller measuring
// many B-scans through separate ComputeMap calls may keep their work areas in a Workspace.
#pragma once

#include <cstdint>
#include <memory>

#include "engines/base/CAnteriorSegmentModule.h"

namespace Talvex::SDOCT::Algorithms {

class CCorneaMap : public CAnteriorSegmentModule {
 public:
  // Largest number of A-scans per B-scan (widthPix) of every operation.
  static constexpr int kMaxWidth = 2048;

  // What the per-A-scan thickness measures to.
  //   GridPixel: the distance from the anterior point, rounded to the nearest sample, to the
  //     nearest pixel of the posterior region drawn into the square-pixel grid (the posterior
  //     depth truncated to a whole sample in each column), read back at the A-scan through a
  //     linear lateral resampling. The region's pixels reach up to one sample above the surface,
  //     and the nearest of them is the one reaching highest, so this reads thin: about half a
  //     sample where the posterior surface is level, close to one where it is tilted (on a
  //     550 um shell between concentric circles, 2.93 um samples: 0.8 sample on average). The
  //     read-back maps A-scan i to column i * isoWidth / widthPix rather than to its position
  //     i * (isoWidth - 1) / (widthPix - 1), so with many columns per A-scan the ends of the scan
  //     read a little off laterally (1.0 sample thin on average with 4 columns per A-scan).
  //   SubPixel: the distance from the anterior point (fractional depth, lateral position
  //     i * (isoWidth - 1) / (widthPix - 1)) to the posterior surface itself, the polyline
  //     through the resampled fractional posterior depths. The nearest point is exact: a walk
  //     along the curve from the previous A-scan's point, then an outward scan of the segments
  //     that stops where the lateral gap alone exceeds the best distance (a walk alone stops at
  //     the local minima of a noisy surface and reads up to several micrometres thick). A-scans
  //     the grid measure finds on or inside the posterior region stay without value.
  enum class ThicknessMeasure { GridPixel = 0, SubPixel = 1 };

  CCorneaMap() = default;
  ~CCorneaMap() override = default;

  // Thickness of numLayers B-scans with one common geometry into pachData (numLayers x
  // widthPix, micrometres). The posterior surface of each B-scan is resampled by a cubic spline
  // through its valid samples (value > -1) to isoWidth = trunc(widthMu / depthMu * depthPix +
  // 0.5) columns, so that pixels are square (depthMu / depthPix micrometres), drawn as the
  // region from the posterior depth down, and turned into distances by the exact Euclidean
  // distance transform (method 0) or the platform's fast-marching entry (non-zero method), which
  // computes the same exact distances. No image is drawn: the two distances an A-scan reads
  // (the square-pixel columns its lateral resampling blends, at its anterior depth) are each
  // computed from the columns' posterior depths alone, the values the transform of the whole
  // image holds there, blended as the resampling blends them. The posterior spline is extrapolated
  // over missing samples at the ends of a B-scan and can swing far there; callers bridge such
  // gaps and drop the thickness of those A-scans. A thickness is -1 where the anterior or posterior
  // value is negative, and where the computed value is not positive (anterior point on or below the
  // posterior surface). Work areas are allocated once per call (the overload below takes them from
  // a Workspace instead).
  // Throws "Maximum number of Ascan in a Bscan must be smaller than 2049." (widthPix > 2048, before
  // anything is written), "IPP: ippiTrueDistanceTransformGetBufferSize_8u32f_C1R() failed." /
  // "IPP: ippiFastMarchingGetBufferSize_8u32f_C1R() failed." (sizes below 1, or an image the
  // transform could not take), "TalvexAlgorithm: cspline() failed." (a B-scan with fewer than 2
  // valid posterior samples) and "IPP: ippsMulC_32f_I() failed.".
  void ComputeMap(const float* anteriorLayers, const float* posteriorLayers, int numLayers,
                  int depthPix, int widthPix, float depthMu, float widthMu, int method,
                  float* pachData, ThicknessMeasure measure = ThicknessMeasure::GridPixel);

  // Work areas of ComputeMap kept between calls by a caller that measures its B-scans one call at
  // a time (the meridians of a radial scan differ in length, so each is a call of its own): every
  // area only grows, so after the largest B-scan nothing is allocated or cleared again. No result
  // depends on what a workspace held before; a workspace serves one call at a time.
  class Workspace {
   public:
    Workspace();
    ~Workspace();
    Workspace(const Workspace&) = delete;
    Workspace& operator=(const Workspace&) = delete;

   private:
    friend class CCorneaMap;
    struct Areas;
    std::unique_ptr<Areas> areas_;
  };

  // ComputeMap with the work areas of `work` (grown as needed) instead of areas of its own.
  void ComputeMap(const float* anteriorLayers, const float* posteriorLayers, int numLayers,
                  int depthPix, int widthPix, float depthMu, float widthMu, int method,
                  float* pachData, ThicknessMeasure measure, Workspace& work);

  // One B-scan of ComputeMap through the images themselves: the band drawn, transformed and
  // resampled laterally (the same values). Thickness in isotropic pixels (not yet micrometres, no
  // -1 for non-positive values). Work areas: binIm isoWidth x depthPix bytes, distIm isoWidth x
  // depthPix floats, distBuffer the distance transform's buffer for {depthPix, isoWidth}, disImOrg
  // widthPix x depthPix floats (the depth band uses a part of each); pachLine widthPix floats out.
  // Returns 0, or -1 when the distance transform or the lateral resampling fails. Throws
  // "TalvexAlgorithm: cspline() failed." and the width limit of ComputeMap.
  int BscanMap(const float* anteriorLayer, const float* posteriorLayer, int depthPix, int widthPix,
               float depthMu, float widthMu, int method, std::uint8_t* binIm, float* distIm,
               std::uint8_t* distBuffer, float* disImOrg, float* pachLine,
               ThicknessMeasure measure = ThicknessMeasure::GridPixel);

  // Square map (widthPix x widthPix, W = pachMapWidthMu micrometres wide) from the thickness rows
  // of numLayers meridians, reconstructed on an N x N grid (N = pachMapWidthPix):
  //   1. when N != widthPix each row is resampled linearly to N samples over its scan length
  //      fovMu[b] (valid samples only; a source sample of -1 marks destination trunc(i N /
  //      widthPix) as -1);
  //   2. sample j of meridian b lies at radius r = linspace(-L/2, L/2, S)[j] in direction
  //      angles[b] (r >= 0) or angles[b] + pi (r < 0); samples of -1 are left out;
  //   3. interp -1: Zernike expansion of order trunc(smooth) over the radius W / 2; interp 0
  //      (triangle) or 1 (bilinear): the grid fit on nodes linspace(-W/2, W/2, N) on both axes
  //      with regulariser regul (0 gradient, 1 Laplacian; others make the fit fail) and weight
  //      smooth; any other interp means interp 1, regul 0, smooth 20;
  //   4. an N x N grid is resized to widthPix x widthPix by cubic interpolation;
  //   5. every element (i, j) with (j - c)^2 + (i - c)^2 > c^2, c = widthPix / 2, becomes -1.
  // Element [i * widthPix + j] belongs to the i-th node along x and the j-th along y. The Zernike
  // basis area is sized T x max(N^2, number of samples) so that few large meridians on a small
  // grid cannot overrun it.
  // Throws the width limit, "TalvexAlgorithm: linterpol1() failed.", "IPP: ippsAddC_64f_I()
  // failed.", "IPP: ippsCartToPolar_64f() failed.", the Zernike resampling's messages,
  // "TalvexAlgorithm: gridfit() failed." (also for a singular fit, such as smooth 0 with nodes no
  // sample reaches) and "TalvexAlgorithm: ImResize() failed.".
  void CorneaMap(const float* pachData, int numLayers, int widthPix, const float* fovMu,
                 const float* angles, float* corneaMap, int pachMapWidthPix, float pachMapWidthMu,
                 int interp, int regul, float smooth);

  // As above; dxy (2 x numLayers, may be null) shifts meridian b by (dxy[b], dxy[numLayers + b])
  // in the map's length unit before the fit.
  void CorneaMap(const float* mapData, int numLayers, int widthPix, const float* fovMu,
                 const float* angles, float* corneaMap, int reconWidthPix, float mapWidthMu,
                 int interp, int regul, float smooth, const double* dxy);

  // Smoothing spline (cut-off wavelength bscanWidth * smooth A-scans) through the valid values
  // (>= 0) of one layer, evaluated at every A-scan inside their span; smoothLayer may be layer.
  // Outside the span smoothLayer is left unchanged. Throws "TalvexAlgorithm: bspline() failed.".
  void MapSmoothLayer(const float* layer, int bscanWidth, float smooth, float* smoothLayer);

  // For every anterior A-scan i the index of the posterior A-scan j nearest to it in the plane of
  // the B-scan (micrometres; lateral positions linspace(-fovMu/2, fovMu/2, widthPix)), among the
  // j with i - widthPix/8 <= j < i + widthPix/8; gaps of either layer (-1) are filled by a cubic
  // spline through its other values first. An empty window (widthPix < 8) gives 0.
  // Throws the width limit and "TalvexAlgorithm: cspline() failed.".
  void AnteriorToPosteriorDistIdx(const float* anteriorLayer, const float* posteriorLayer,
                                  int depthPix, int widthPix, float depthMu, float fovMu,
                                  int* posteriorPos);
};

}  // namespace Talvex::SDOCT::Algorithms
