// Hole filling of the cornea dewarp engine: the 7 x 7 median at the output pixels that no source
// pixel reached.
#pragma once

#include <cstdint>

namespace Talvex::SDOCT::Algorithms::DewarpDetail {

// For every 0 byte of `image` (width A-scans of length samples, A-scan after A-scan) at least 3
// A-scans and 3 samples from the image's edges, writes at the same place of `medians` the median
// (rank 24 of 49) of its 7 x 7 neighbourhood in `image`; no other byte of `medians` is read or
// written. Needs width and length of at least 7.
void MedianAtHoles(const std::uint8_t* image, int width, int length, std::uint8_t* medians);

// Bytes of work area FillHolesWithMedians needs for A-scans of `length` samples.
inline long long HoleFillWorkSize(int length) { return 6LL * length; }

// The same medians written into `image` itself: every 0 byte at least 3 A-scans and 3 samples
// from the edges takes the median of its neighbourhood in the image as given (the other holes
// still 0). `work` holds HoleFillWorkSize(length) bytes. Needs width and length of at least 7.
void FillHolesWithMedians(std::uint8_t* image, int width, int length, std::uint8_t* work);

}  // namespace Talvex::SDOCT::Algorithms::DewarpDetail
