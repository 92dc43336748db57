// CForceSkeleton: thinning of a binary edge image to lines one pixel wide.
//
// ForceThin works on a padded complement P of the image ((rows + 2) x (cols + 2), 1 = background,
// 0 = edge, a background frame) in four stages:
//   1. spurs: edge pixels with at most two edge neighbours and an 8-connectivity number below 2
//      (isolated pixels and the end pixels of lines) are removed, all at once;
//   2. notches: edge pixels deep inside thick edges whose 5 x 5 neighbourhood matches one of ten
//      notch patterns (a background notch one or two pixels wide reaching down or up to the
//      pixel) are removed, in raster order, first with five pattern pairs and, when that removed
//      anything, with three and with one;
//   3. two-sub-iteration thinning: edge pixels with 2 to 6 edge neighbours, exactly one
//      edge-to-background change around them and no edge on one side (N E W / N S W in the first
//      sub-iteration, N E S / E S W in the second) are removed until nothing changes;
//   4. staircases: a pixel whose upper neighbour and one side neighbour are edges while the
//      diagonal between them and the opposite diagonal are background is removed, in raster order,
//      so that diagonal lines keep only their 8-connected pixels.
// Thick regions thin to their medial lines; a region that thins down to a 2 x 2 block vanishes in
// stage 3, as do isolated pixels in stage 1.
#pragma once

#include <cstdint>

namespace Talvex::Common::Algorithms::Analysis {

class CForceSkeleton {
 public:
  // Thins image (rows x cols bytes, row-major; 0 background, non-zero edge) in place; on return
  // it holds 1 on the skeleton and 0 elsewhere. 0, or -1 for a null image, a non-positive size or
  // a failed allocation (image unchanged then).
  int ForceThin(std::uint8_t* image, int cols, int rows);
};

}  // namespace Talvex::Common::Algorithms::Analysis
