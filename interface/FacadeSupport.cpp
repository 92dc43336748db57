#include "interface/FacadeSupport.h"

namespace Talvex::SDOCT::Algorithms::Detail {

namespace {
constexpr float kMissing = -1.0f;
}

void NaN2Repeat(float* layer, int numbscans, int bscanwidth) {
  for (int b = 0; b < numbscans; ++b) {
    float* row = layer + static_cast<long long>(b) * bscanwidth;
    int first = 0;
    while (first < bscanwidth && row[first] == kMissing) ++first;
    for (int i = 0; i < first && first < bscanwidth; ++i) row[i] = row[first];
  }
  for (int b = 0; b < numbscans; ++b) {
    float* row = layer + static_cast<long long>(b) * bscanwidth;
    int last = bscanwidth - 1;
    while (last >= 0 && row[last] == kMissing) --last;
    for (int i = last + 1; i < bscanwidth && last >= 0; ++i) row[i] = row[last];
  }
}

}  // namespace Talvex::SDOCT::Algorithms::Detail
