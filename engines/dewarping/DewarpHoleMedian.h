// Hole filling of the cornea dewarp engine: the 7 x 7 median at the output pixels that no source
// pixel reached.
#pragma once

#include <cstdint>
#include <vector>

namespace Talvex::SDOCT::Algorithms::DewarpDetail {

// For every 0 byte of `image` (width A-scans of length samples, A-scan after A-scan) at least 3
// A-scans and 3 samples from the image's edges, writes at the same place of `medians` the median
// (rank 24 of 49) of its 7 x 7 neighbourhood in `image`; no other byte of `medians` is read or
// written. Needs width and length of at least 7.
void MedianAtHoles(const std::uint8_t* image, int width, int length, std::uint8_t* medians);

// Window state of the running histogram of one sample: the A-scan its window is on, the grey
// level m it last walked to and the count of its values below m.
struct RowState {
  int at, m, below;
};

// Work area of the hole filling; it grows only, so that it is allocated once for a volume.
struct HoleFillWork {
  std::vector<std::uint8_t> bytes;       // zero counts, grey-hole flags, pending medians
  std::vector<std::uint8_t> histograms;  // one 256-level histogram per sample
  std::vector<RowState> rows;
  std::vector<int> holes;  // the samples of one A-scan's grey holes
  void Reserve(int length);
};

// The same medians written into `image` itself: every 0 byte at least 3 A-scans and 3 samples
// from the edges takes the median of its neighbourhood in the image as given (the other holes
// still 0). Needs width and length of at least 7.
void FillHolesWithMedians(std::uint8_t* image, int width, int length, HoleFillWork& work);

}  // namespace Talvex::SDOCT::Algorithms::DewarpDetail
