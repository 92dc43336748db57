// Turning a failed library or primitive call into the library's error.
//
//   RequireSuccess(ImResize(src, rows, cols, 2, dst, outRows, outCols),
//                  "TalvexAlgorithm: ImResize() failed.");
//   TALVEX_IPP(ippsMean_32f, src, n, &mean, ippAlgHintAccurate);
//
// The common library reports failure as -1 and the primitives as a non-zero status; neither
// throws. Engines end the operation with the fixed message of the function that failed: the
// library call's own text, or "IPP: <name>() failed." naming the primitive really called.
#pragma once

#include <string>

#include "core/AlgorithmException.h"
#include "platform/TalvexIppTypes.h"

namespace Talvex::SDOCT::Engines {

// Fixed messages of the library calls that several engine operations make.
namespace Messages {
constexpr const char* kCsplineFailed = "TalvexAlgorithm: cspline() failed.";
constexpr const char* kBsplineFailed = "TalvexAlgorithm: bspline() failed.";
constexpr const char* kGraphSearchFailed = "TalvexAlgorithm: GraphBasedSegmentation() failed.";
constexpr const char* kRansacpolyFailed = "TalvexAlgorithm: ransacpoly() failed.";
constexpr const char* kImResizeFailed = "TalvexAlgorithm: ImResize() failed.";
constexpr const char* kBilateralInitFailed =
    "TalvexAlgorithm: BilateralFilter::BilateralFilterInit() failed.";
constexpr const char* kBilateralFilterFailed =
    "TalvexAlgorithm: BilateralFilter::filterBilateral() failed.";
}  // namespace Messages

// Throws AlgorithmException(message) when status is -1; returns status otherwise (some library
// functions return counts).
inline int RequireSuccess(int status, const char* message) {
  if (status == -1) throw Algorithms::AlgorithmException(message);
  return status;
}

// Throws AlgorithmException("IPP: <name>() failed.").
[[noreturn]] inline void ThrowIppFailure(const char* name) {
  throw Algorithms::AlgorithmException(std::string("IPP: ") + name + "() failed.");
}

// Throws AlgorithmException("IPP: <name>() failed.") when status is not 0.
inline void IppCheck(Platform::IppStatus status, const char* name) {
  if (status != Platform::ippStsNoErr) ThrowIppFailure(name);
}

}  // namespace Talvex::SDOCT::Engines

#define TALVEX_IPP(function, ...) \
  ::Talvex::SDOCT::Engines::IppCheck(::Talvex::Platform::function(__VA_ARGS__), #function)
