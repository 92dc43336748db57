// CResidualStroma: the curve that lies a fixed physical distance from a layer along its normal,
// for example the stromal surface left when a given thickness of tissue is removed from the
// anterior surface. Built on the stack for each call; keeps nothing between calls.
#pragma once

#include "engines/base/CAnteriorSegmentModule.h"

namespace Talvex::SDOCT::Algorithms {

class CResidualStroma : public CAnteriorSegmentModule {
 public:
  // The most A-scans a layer may have.
  static constexpr int kMaxLayerLength = 4096;

  // One B-scan's layer layerIn (bscanwidth floats, depth in samples, values < 0 missing) of a
  // B-scan depthum um deep (ascanlen samples) and widthum um wide: layerIn is first replaced by its
  // interpolating cubic spline through the values >= 0; the curve is then taken to micrometres,
  // its tangent estimated by central differences smoothed with a raised-cosine window of about a
  // sixth of the width, and each point moved coffset um against its normal (toward depth 0 for a
  // positive coffset). The moved points that land inside the B-scan are resampled to the A-scans
  // (a later point landing on the same A-scan wins) and interpolated by a cubic spline onto every
  // A-scan of layerOut. A layer of one A-scan is copied unchanged. Throws
  // "ResidualStroma: input layer is NULL.", "ResidualStroma: output layer is NULL.",
  // "ResidualStroma: max layer length must be smaller than 2049." (bscanwidth above 4096),
  // "TalvexAlgorithm: cspline() failed." (for example no value >= 0, or no moved point inside
  // the B-scan) or "TalvexAlgorithm: Conv1D() failed.".
  void ResidualStroma(float* layerIn, int bscanwidth, int ascanlen, int depthum, int widthum,
                      float coffset, float* layerOut);
};

}  // namespace Talvex::SDOCT::Algorithms
