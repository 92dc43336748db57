// Gap closing in binary edge images: edge pixels that lie close together are joined by digital
// straight lines, so that an edge broken by noise or a weak stretch becomes one connected line.
#pragma once

#include <cstdint>

namespace Talvex::Common::Algorithms::Analysis {

// image: rows row pointers of cols bytes (0 background, non-zero edge), changed in place. Every
// pair of input edge pixels within dist rows and dist columns of each other (a square window) is
// joined, by a line drawn from each of the two toward the other: one pixel per step along the axis
// of the larger difference (columns on a tie), the other coordinate trunc(start + k * slope + 0.5)
// at step k, every pixel from the start up to but excluding the end set to 1. Only edge pixels of
// the input are joined (drawn lines do not seed further lines). dist < 1, a null image or a
// non-positive size leave the image as it is.
void edgelinking(std::uint8_t** image, int rows, int cols, int dist);

}  // namespace Talvex::Common::Algorithms::Analysis
