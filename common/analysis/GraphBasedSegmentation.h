// Minimum-cost path through a cost image: the search behind every traced layer boundary.
#pragma once

namespace Talvex::Common::Algorithms::Analysis {

// Finds, for every row of the cost image, the column of the path of least total cost whose column
// changes by at most searchWindow between adjacent rows.
//
//   image         height rows x width floats, row-major; each row is one step of the path (one
//                 A-scan), each column a candidate position (one depth sample). Low cost = likely
//                 boundary. Values must stay far below 1e10.
//   searchWindow  m, the largest column change between adjacent rows (0 .. 500).
//   layer         height outputs: the chosen column of each row, a whole number.
//   flipcc        reverse the accumulated rows before tracing (the output is still in the
//                 caller's row order); every caller in the library passes false.
//
// Dynamic programme A[r][c] = C[r][c] + min_{|k - c| <= m} A[r-1][k] over the columns
// m .. width-m-1 (the first and last m columns are never chosen; they hold the unreachable marker
// 1e10), then a trace back from the lowest-index minimum of the last row, taking the lowest column
// on ties within each window. Preconditions: height >= 1, width >= 2m + 1.
//
// Returns 0, or -1 (layer untouched) when searchWindow is outside 0 .. 500, height < 1,
// width < 2m + 1, height > 4096 with flipcc true, or allocation fails.
int GraphBasedSegmentation(const float* image, int height, int width, int searchWindow,
                           float* layer, bool flipcc);
int GraphBasedSegmentation(const float* image, int height, int width, int searchWindow,
                           double* layer, bool flipcc);

}  // namespace Talvex::Common::Algorithms::Analysis
