// Region fill of masked pixels: the pixels of an 8-bit image under a mask are replaced by the
// smooth (harmonic) interpolation of the pixels around them. Used to repair saturated samples
// before template matching.
#pragma once

namespace Talvex::Common::Algorithms::Numerics {

// Only the 8-bit instance, CROIFill<unsigned char>, exists.
template <typename Pixel>
class CROIFill {
 public:
  // Fills the masked regions of I into IP.
  //
  //   I, IP   height rows of width pixels, row-major; IP may be the same array as I
  //   msk     the same layout; 1 marks a pixel to fill, 0 a pixel to keep
  //
  // The mask is grown by a 3 x 3 maximum over the interior (the outermost rows and columns keep
  // their mask values); the rim is the grown mask's 4-connected outline, never on the image
  // border. Every grown-mask pixel that is not rim is solved for: it equals the mean of its
  // in-image 4-neighbours, with the rim pixels' image values held fixed, so a region touching the
  // image border gets no flux across it. The solution is truncated toward zero (a value within
  // 1e-6 of an integer, solver round-off, counts as that integer, so a harmonic image such as a
  // linear ramp or a constant is reproduced exactly); every other pixel
  // of IP is a copy of I, and pixels outside the grown mask never change.
  //
  // Returns 0, also without writing IP when nothing is to be solved (no fill pixel, or a system
  // of fewer than 5 matrix entries: a lone interior pixel is left alone). Returns -1 when a
  // primitive, the perimeter, the sparse solve or an allocation fails; images narrower or lower
  // than 3 pixels cannot be grown and also give -1.
  int roifill(const Pixel* I, int height, int width, const Pixel* msk, Pixel* IP);
};

extern template class CROIFill<unsigned char>;

}  // namespace Talvex::Common::Algorithms::Numerics
