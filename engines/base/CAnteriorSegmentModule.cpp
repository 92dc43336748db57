#include "engines/base/CAnteriorSegmentModule.h"

#include <cstring>

namespace Talvex::SDOCT::Algorithms {

// The exclusion flags start cleared so that a fresh engine never samples from flags nobody set.
CAnteriorSegmentModule::CAnteriorSegmentModule() {
  std::memset(m_excludeFlags, 0, sizeof(m_excludeFlags));
}

CAnteriorSegmentModule::~CAnteriorSegmentModule() = default;

}  // namespace Talvex::SDOCT::Algorithms
