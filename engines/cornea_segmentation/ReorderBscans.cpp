// Orientation and order of the B-scans of a radial scan. Each meridian B-scan is brought to run in
// one common lateral direction (mirrored, with its layers and confidences, when its scan angle
// points the other way), and the meridians are listed in ascending angle over 0 .. 180 degrees.
#include <algorithm>
#include <array>
#include <cstddef>

#include "core/AlgorithmException.h"
#include "engines/base/LibraryStatus.h"
#include "engines/cornea_segmentation/CCorneaSegmentation.h"
#include "platform/image/TalvexIppiBasic.h"
#include "platform/signal/TalvexIpps.h"

namespace Talvex::SDOCT::Algorithms {

namespace {

constexpr int kMaxRadialBscans = 2048;
constexpr int kMaxRadialWidth = 2048;
constexpr int kRowArrays = 6;  // anterior, posterior, Bowman, and their confidences

// angles receive the sorted meridian angles, orderIdx the B-scan of each; rows[] are the layer and
// confidence arrays to flip along with the volume (null entries are skipped).
void Reorder(std::uint8_t* volume, int numBscans, int bscanWidth, int ascanLen,
             const std::array<float*, kRowArrays>& rows, float* angles, int* orderIdx) {
  if (numBscans > kMaxRadialBscans) throw AlgorithmException("Number of B-scans exceeds 2048.");
  if (bscanWidth > kMaxRadialWidth) throw AlgorithmException("B-scan width exceeds 2048 A-scans.");
  // Without angles or an index array the sort has nothing to work on; fail as it would, before
  // anything is flipped.
  if (angles == nullptr || orderIdx == nullptr)
    Engines::ThrowIppFailure("ippsSortIndexAscend_32f_I");

  std::array<float, kMaxRadialBscans> meridian{};
  const std::size_t width = bscanWidth > 0 ? static_cast<std::size_t>(bscanWidth) : 0;
  const bool sized = bscanWidth > 0 && ascanLen > 0;
  const std::size_t bscanBytes = sized ? width * static_cast<std::size_t>(ascanLen) : 0;

  for (int b = 0; b < numBscans; ++b) {
    double a = 180.0 - static_cast<double>(angles[b]);
    if (a < 0.0) a += 360.0;
    if (a <= 180.0) {
      meridian[b] = static_cast<float>(a);
      for (float* row : rows) {
        if (row == nullptr) continue;
        float* r = row + static_cast<std::size_t>(b) * width;
        std::reverse(r, r + width);
      }
      // Reverse the A-scan order of the B-scan (its rows). A null volume or an empty B-scan is
      // refused by the mirror itself.
      std::uint8_t* image =
          volume != nullptr && sized ? volume + static_cast<std::size_t>(b) * bscanBytes : volume;
      TALVEX_IPP(ippiMirror_8u_C1IR, image, ascanLen, Platform::IppiSize{ascanLen, bscanWidth},
                 Platform::ippAxsHorizontal);
    } else {
      meridian[b] = static_cast<float>(a - 180.0);
    }
  }

  TALVEX_IPP(ippsSortIndexAscend_32f_I, meridian.data(), orderIdx, numBscans);
  std::copy(meridian.begin(), meridian.begin() + numBscans, angles);
}

}  // namespace

void CCorneaSegmentation::ReorderBscansLayers(std::uint8_t* volume, int numBscans, int bscanWidth,
                                              int ascanLen, float* anteriorLayer,
                                              float* posteriorLayer, float* anteriorConfidence,
                                              float* posteriorConfidence, float* angles,
                                              int* orderIdx) {
  Reorder(
      volume, numBscans, bscanWidth, ascanLen,
      {anteriorLayer, posteriorLayer, nullptr, anteriorConfidence, posteriorConfidence, nullptr},
      angles, orderIdx);
}

void CCorneaSegmentation::ReorderBscansLayers(std::uint8_t* volume, int numBscans, int bscanWidth,
                                              int ascanLen, float* anteriorLayer,
                                              float* posteriorLayer, float* bowmanLayer,
                                              float* anteriorConfidence, float* posteriorConfidence,
                                              float* bowmanConfidence, float* angles,
                                              int* orderIdx) {
  Reorder(volume, numBscans, bscanWidth, ascanLen,
          {anteriorLayer, posteriorLayer, bowmanLayer, anteriorConfidence, posteriorConfidence,
           bowmanConfidence},
          angles, orderIdx);
}

}  // namespace Talvex::SDOCT::Algorithms
