#include "interface/CorneaMapScan.h"

#include <algorithm>
#include <cmath>

#include "common/data_structures/CLineSpace.h"
#include "engines/base/LibraryStatus.h"
#include "engines/cornea_map/CCorneaMapSubfield.h"
#include "platform/signal/TalvexIpps.h"

namespace Talvex::SDOCT::Algorithms::Detail {

namespace {
constexpr float kDegreesToRadians = 0.017453292f;
constexpr float kPi = 3.1415927f;
// The mask searches for the outermost confident posterior A-scan only this far from the middle
// of the B-scan outward: the central A-scans say nothing about the periphery.
constexpr int kCentralAscans = 100;
}  // namespace

std::vector<float> RadialScan::Arrange(const float* layerData) const {
  const size_t w = static_cast<size_t>(bscanwidth);
  std::vector<float> sorted(source.size() * w);
  for (size_t k = 0; k < source.size(); ++k) {
    const float* row = layerData + static_cast<size_t>(source[k]) * w;
    float* out = sorted.data() + k * w;
    if (reversed[k])
      std::reverse_copy(row, row + w, out);
    else
      std::copy(row, row + w, out);
  }
  return sorted;
}

float ScanLength(const float* fovMuData, float theta) {
  const double c = std::cos(static_cast<double>(theta)), s = std::sin(static_cast<double>(theta));
  const double f0 = fovMuData[0], f1 = fovMuData[1];
  return static_cast<float>(2.0 * std::sqrt(f0 * f0 * c * c + f1 * f1 * s * s));
}

RadialScan PrepareRadialScan(const float* AngleData, int numbscans, int bscanwidth,
                             const float* fovMuData) {
  const int n = std::max(numbscans, 0);
  RadialScan scan;
  scan.bscanwidth = bscanwidth;
  std::vector<float> angles(n), lengths(n);
  std::vector<bool> reversed(n);
  for (int b = 0; b < n; ++b) {
    float a = static_cast<float>(180.0 - AngleData[b]);
    if (a < 0.0f) a = static_cast<float>(a + 360.0);
    reversed[b] = !(a > 180.0f);
    angles[b] = reversed[b] ? a : static_cast<float>(a - 180.0);
  }
  TALVEX_IPP(ippsMulC_32f_I, kDegreesToRadians, angles.data(), numbscans);
  for (int b = 0; b < n; ++b) lengths[b] = ScanLength(fovMuData, angles[b]);
  scan.source.resize(n);
  TALVEX_IPP(ippsSortIndexAscend_32f_I, angles.data(), scan.source.data(), numbscans);
  scan.angles = std::move(angles);
  for (int k = 0; k < n; ++k) {
    scan.lengths.push_back(lengths[scan.source[k]]);
    scan.reversed.push_back(reversed[scan.source[k]]);
  }
  return scan;
}

// The transpose followed by the mirror of the rows is a quarter turn: display element (y, x) is
// engine element (x, W - 1 - y). It is done in place, four elements at a time along their cycle,
// in tiles so that the column-wise sides of the cycles stay in cache.
void ToDisplayOrientation(float* map, int width) {
  if (map == nullptr || width < 1) Engines::ThrowIppFailure("ippiTranspose_32f_C1IR");
  constexpr int kTile = 16;
  const int last = width - 1, half = width / 2;
  const auto at = [map, width](int y, int x) -> float& {
    return map[static_cast<size_t>(y) * width + x];
  };
  for (int y0 = 0; y0 < half; y0 += kTile) {
    const int y1 = std::min(y0 + kTile, half);
    for (int x0 = y0; x0 < last - y0; x0 += kTile) {
      for (int y = y0; y < y1; ++y) {
        for (int x = std::max(x0, y); x < std::min(x0 + kTile, last - y); ++x) {
          const float t = at(y, x);
          at(y, x) = at(x, last - y);
          at(x, last - y) = at(last - y, last - x);
          at(last - y, last - x) = at(last - x, y);
          at(last - x, y) = t;
        }
      }
    }
  }
}

void CorneaMapMask(int numbscans, int bscanwidth, const float* fov, const float* angles,
                   const float* confidence, std::uint8_t* mask) {
  const float halfSector = kPi / numbscans;
  const float c = static_cast<float>((bscanwidth - 1) * 0.5);
  const int h = bscanwidth / 2;
  const CCorneaMapSubfield subfield;
  for (int b = 0; b < numbscans; ++b) {
    const float* conf = confidence + static_cast<size_t>(b) * bscanwidth;
    int i1 = 0, i2 = bscanwidth - 1;
    for (int i = 0; i <= h - kCentralAscans - 1; ++i) {
      if (conf[i] == 1.0f) {
        i1 = i;
        break;
      }
    }
    for (int i = bscanwidth - 1; i > h + kCentralAscans; --i) {
      if (conf[i] == 1.0f) {
        i2 = i;
        break;
      }
    }
    const float L = fov[b];
    const auto x =
        Common::Algorithms::DataStructures::CLineSpace<float>::linspace(-L / 2, L / 2, bscanwidth);
    if (!x) return;
    const float r1 = static_cast<float>(bscanwidth * std::fabs(x->getdata()[i1]) / L);
    const float r2 = static_cast<float>(bscanwidth * std::fabs(x->getdata()[i2]) / L);
    if (r1 < bscanwidth * 0.5f)
      subfield.MaskROI(bscanwidth, c, c, r1, bscanwidth - r1,
                       static_cast<float>(angles[b] + kPi - halfSector), 2 * halfSector, mask);
    if (r2 < bscanwidth * 0.5f)
      subfield.MaskROI(bscanwidth, c, c, r2, bscanwidth - r2,
                       static_cast<float>(angles[b] - halfSector), 2 * halfSector, mask);
  }
}

}  // namespace Talvex::SDOCT::Algorithms::Detail
