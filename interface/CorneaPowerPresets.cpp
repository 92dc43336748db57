#include "interface/CorneaPowerPresets.h"

namespace Talvex::SDOCT::Algorithms {

CorneaPowerParameter CorneaPowerPresetStandard() {
  CorneaPowerParameter p;
  // Phase indices of the cornea and the aqueous of the Gullstrand schematic eye, the same as the
  // radial scanner's dewarping uses: the radii then convert to the surface powers that clinical
  // corneal tomography reports (not the keratometric index 1.3375, which folds the posterior
  // surface into the anterior one).
  p.n1 = 1.376f;
  p.n2 = 1.336f;
  // Samples of 5 % of the zone's points (about 19 of the ~380 A-scans of a 3 mm zone at 1024
  // A-scans over 8 mm): enough spread points for a well-conditioned parabola, few enough that a
  // sample free of outliers is likely (0.9^19 = 0.14 with 10 % outliers, so about 35 trials for
  // 99 % confidence).
  p.ransacPercPoints = 0.05f;
  // Inlier band 8 um in depth: about 3.5 samples of 2.25 um, beyond the speckle jitter of a
  // traced surface (2 to 3 um) and the departure of a cornea from a parabola over the zone
  // (below 1 um on a 7.7 mm sphere within 1.5 mm), so that spikes and reflections fall outside.
  p.ransacDistThresh = 8.0f;
  p.ransacProbability = 0.99f;
  p.ransacMaxDataTrials = 100;
  p.ransacMaxTrials = 500;
  // A meridian counts only when over half of its zone's samples lie on the fitted parabola; a
  // fit that explains less is ruled by a blink, a reflection or a lost surface.
  p.inlierPerc = 0.5f;
  return p;
}

}  // namespace Talvex::SDOCT::Algorithms
