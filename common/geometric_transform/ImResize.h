// Resampling of B-scans and maps to a new size.
#pragma once

#include <cstdint>

namespace Talvex::Common::Algorithms::GeometricTransform {

// Resamples a srcRows x srcCols row-major image into dstRows x dstCols.
// Mapping: x_src = x_dst / xFactor with xFactor = dstCols / srcCols (and likewise for rows,
// factors divided in single precision), no half-pixel shift, edge pixels replicated.
// method: 0 nearest neighbour, 1 linear, 2 cubic (4-point Lagrange); any other value is linear.
// 8-bit results are rounded to nearest and saturated. Returns 0, or -1 on any failure.
int ImResize(const float* src, int srcRows, int srcCols, int method, float* dst, int dstRows,
             int dstCols);
int ImResize(const std::uint8_t* src, int srcRows, int srcCols, int method, std::uint8_t* dst,
             int dstRows, int dstCols);

}  // namespace Talvex::Common::Algorithms::GeometricTransform
