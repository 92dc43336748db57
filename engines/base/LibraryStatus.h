// Turning a failed common-library call into the library's error.
//
//   RequireSuccess(ImResize(src, rows, cols, 2, dst, outRows, outCols),
//                  "TalvexAlgorithm: ImResize() failed.");
//
// The common library reports failure as -1 (and never throws); engines end the operation with
// the fixed message of the function that failed.
#pragma once

#include "interface/AlgorithmException.h"

namespace Talvex::SDOCT::Engines {

// Throws AlgorithmException(message) when status is -1; returns status otherwise (some library
// functions return counts).
inline int RequireSuccess(int status, const char* message) {
  if (status == -1) throw Algorithms::AlgorithmException(message);
  return status;
}

}  // namespace Talvex::SDOCT::Engines
