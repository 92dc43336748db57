#include "common/analysis/EdgeLinking.h"

#include <cstdlib>
#include <vector>

namespace Talvex::Common::Algorithms::Analysis {

namespace {

// Sets the pixels of the digital line from (r0, c0) toward (r1, c1), end excluded, in out.
void DrawLine(std::uint8_t* out, int rows, int cols, int r0, int c0, int r1, int c1) {
  const int dr = r1 - r0, dc = c1 - c0;
  const bool alongRows = std::abs(dr) > std::abs(dc);
  const int steps = alongRows ? std::abs(dr) : std::abs(dc);
  const int direction = (alongRows ? dr : dc) < 0 ? -1 : 1;
  const double slope = static_cast<double>(alongRows ? dc : dr) / steps;
  for (int k = 0; k < steps; ++k) {
    const int major = (alongRows ? r0 : c0) + k * direction;
    const int minor = static_cast<int>((alongRows ? c0 : r0) + k * slope + 0.5);
    const int r = alongRows ? major : minor, c = alongRows ? minor : major;
    if (r >= 0 && r < rows && c >= 0 && c < cols) out[static_cast<long long>(r) * cols + c] = 1;
  }
}

}  // namespace

void edgelinking(std::uint8_t** image, int rows, int cols, int dist) {
  if (image == nullptr || rows < 1 || cols < 1 || dist < 1) return;
  std::vector<std::uint8_t> linked(static_cast<size_t>(rows) * cols);
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < cols; ++c) linked[static_cast<size_t>(r) * cols + c] = image[r][c];
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < cols; ++c) {
      if (image[r][c] == 0) continue;
      const int r0 = r - dist < 0 ? 0 : r - dist, r1 = r + dist >= rows ? rows - 1 : r + dist;
      const int c0 = c - dist < 0 ? 0 : c - dist, c1 = c + dist >= cols ? cols - 1 : c + dist;
      for (int rr = r0; rr <= r1; ++rr)
        for (int cc = c0; cc <= c1; ++cc)
          if (image[rr][cc] != 0 && (rr != r || cc != c))
            DrawLine(linked.data(), rows, cols, rr, cc, r, c);
    }
  }
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < cols; ++c) image[r][c] = linked[static_cast<size_t>(r) * cols + c];
}

}  // namespace Talvex::Common::Algorithms::Analysis
