// CorneaBscanOutcome: why a B-scan of a cornea segmentation has (or lacks) surfaces.
#pragma once

#include <cstdint>

namespace Talvex::SDOCT::Algorithms {

enum class CorneaBscanOutcome : std::uint8_t {
  Segmented,         // surfaces traced (and, when the record requires it, judged a cornea)
  NoCandidates,      // fewer than 2 x ransacMinNumPoints A-scans matched the step template
  FitAbandoned,      // candidates enough, but the robust parabola found no consensus
  NoCorneaEvidence,  // surfaces traced, but not those of a cornea: every confidence is -1
};

// A short English name of the outcome for reports: "segmented", "no candidates",
// "fit abandoned", "no cornea evidence".
inline const char* CorneaBscanOutcomeName(CorneaBscanOutcome o) {
  switch (o) {
    case CorneaBscanOutcome::Segmented:
      return "segmented";
    case CorneaBscanOutcome::NoCandidates:
      return "no candidates";
    case CorneaBscanOutcome::FitAbandoned:
      return "fit abandoned";
    case CorneaBscanOutcome::NoCorneaEvidence:
      return "no cornea evidence";
  }
  return "unknown";
}

}  // namespace Talvex::SDOCT::Algorithms
