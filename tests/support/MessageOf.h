// The message of the AlgorithmException a call throws, "no exception" when it returns: for tests
// of the library's exact error texts.
#pragma once

#include <string>
#include <utility>

#include "core/AlgorithmException.h"

namespace Talvex::Testing {

template <typename F>
std::string MessageOf(F&& call) {
  try {
    std::forward<F>(call)();
  } catch (const SDOCT::Algorithms::AlgorithmException& e) {
    return e.what();
  }
  return "no exception";
}

}  // namespace Talvex::Testing
