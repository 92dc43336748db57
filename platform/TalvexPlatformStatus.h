// Turning a failed primitive into the library's error.
//
//   TALVEX_IPP(ippsMean_32f, src, n, &mean, ippAlgHintAccurate);
//
// calls the primitive and, on a non-zero status, throws
// AlgorithmException("IPP: ippsMean_32f() failed."): the message names the function really called.
#pragma once

#include <string>

#include "interface/AlgorithmException.h"
#include "platform/TalvexIppTypes.h"

namespace Talvex::Platform {

// Throws AlgorithmException("IPP: <name>() failed.").
[[noreturn]] inline void ThrowIppFailure(const char* name) {
  throw SDOCT::Algorithms::AlgorithmException(std::string("IPP: ") + name + "() failed.");
}

// Throws AlgorithmException("IPP: <name>() failed.") when status is not 0.
inline void IppCheck(IppStatus status, const char* name) {
  if (status != ippStsNoErr) ThrowIppFailure(name);
}

}  // namespace Talvex::Platform

#define TALVEX_IPP(function, ...) \
  ::Talvex::Platform::IppCheck(::Talvex::Platform::function(__VA_ARGS__), #function)
