// The synthetic eye's truth in the conventions of the pachymetry road, for the demo's report and
// the end-to-end tests.
//
// The map engine states the thickness of an A-scan where its anterior point lies (the distance
// from there to the posterior surface, which is the posterior normal through that point), while
// the simulator's pachymetry is stated at the foot of the posterior normal. The true value at an
// en-face position is therefore taken from the posterior normal whose anterior end lies there.
// The epithelium is measured along the anterior normal from the anterior point on both sides.
#pragma once

#include <functional>
#include <vector>

#include "tools/cornea_report/PachymetryRoad.h"
#include "tools/synthetic_eye/SyntheticEye.h"

namespace Talvex::Tools {

// Thickness in um at en-face (x, y) um of the scan frame (x right, y up); -1 where there is none.
using ThicknessField = std::function<double(double xUm, double yUm)>;

// True pachymetry at the anterior end of the posterior normal, and true epithelium, of `eye`
// scanned with `protocol` (its en-face eye position; no tilt).
ThicknessField TruePachymetry(const Synthetic::ModelEye& eye,
                              const Synthetic::ScanProtocol& protocol);
ThicknessField TrueEpithelium(const Synthetic::ModelEye& eye,
                              const Synthetic::ScanProtocol& protocol);

// Figures of a thickness field on the road's layout: the mean of every region (centre disc,
// then ring by ring the sectors, sector 0 centred on +x, counter-clockwise), the thinnest point
// within the options' search radius, and the central, smallest and largest value within
// zoneRadiusMm. Sampled on a square grid of pitchUm about the centre.
struct FieldSummary {
  std::vector<double> sectorMean;
  double thinnestXUm = 0, thinnestYUm = 0, thinnestUm = -1;
  double centralUm = -1, minUm = -1, maxUm = -1;
};
FieldSummary SummariseField(const ThicknessField& field, const RoadOptions& options,
                            double zoneRadiusMm = 3.0, double pitchUm = 40.0);
// The same central, smallest and largest value of a road map (bilinear at the grid's points).
void MapRange(const MapResult& map, const MapGeometry& g, double zoneRadiusMm, double pitchUm,
              double* centralUm, double* minUm, double* maxUm);

// Map minus truth at the points of a grid of pitchUm inside zoneRadiusMm.
struct MapError {
  double mean = 0, rms = 0, max = 0;
  int count = 0, missing = 0;  // compared points, points where the map has no value
};
MapError CompareMap(const MapResult& map, const MapGeometry& g, const ThicknessField& truth,
                    double zoneRadiusMm = 3.0, double pitchUm = 80.0);

}  // namespace Talvex::Tools
