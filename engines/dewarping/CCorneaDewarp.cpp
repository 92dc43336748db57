// Scan model, per-B-scan tables and image correction of the cornea dewarp engine.
#include "engines/dewarping/CCorneaDewarp.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "common/data_structures/CLineSpace.h"
#include "common/filters/LinearFilters.h"
#include "core/AlgorithmException.h"
#include "engines/base/LibraryStatus.h"
#include "engines/dewarping/DewarpHoleMedian.h"
#include "engines/dewarping/DewarpPlacement.h"
#include "platform/image/TalvexIppiAdvanced.h"

namespace Talvex::SDOCT::Algorithms {

using DewarpDetail::FillHolesWithMedians;
using DewarpDetail::NearestSample;

namespace {
constexpr const char* kWidthLimitImage =
    "Maximum number of Ascan in a Bscan must be smaller than 1025.";
constexpr const char* kLengthLimit =
    "Maximum number of Ascan in a Bscan must be smaller than 2049.";
constexpr const char* kConv1DFailed = "TalvexAlgorithm: Conv1D() failed.";

// Differences over a sequence: one-sided at both ends, halved central differences inside.
void Differences(const float* v, int n, double* slope) {
  if (n < 2) {
    for (int j = 0; j < n; ++j) slope[j] = 0.0;
    return;
  }
  slope[0] = static_cast<double>(v[1]) - v[0];
  for (int j = 1; j < n - 1; ++j) slope[j] = (static_cast<double>(v[j + 1]) - v[j - 1]) * 0.5;
  slope[n - 1] = static_cast<double>(v[n - 1]) - v[n - 2];
}
}  // namespace

void CCorneaDewarp::Initialize(float nPhase, float nGroup, float halfScanAngleDeg,
                               float halfScanWidth, float scanSag, float scanWidth,
                               float scanDepth) {
  n_phase = nPhase;
  n_group = nGroup;
  half_scan_angle = static_cast<float>(static_cast<double>(pi) * halfScanAngleDeg / 180.0);
  half_scan_width = halfScanWidth;
  scan_sag = scanSag;
  scan_width = scanWidth;
  scan_depth = scanDepth;
}

void CCorneaDewarp::FillSampleDepths(int ascanlen, float nn) {
  for (int k = 0; k < ascanlen; ++k)
    sampleDepth[k] = static_cast<float>(static_cast<double>(k) / ascanlen * nn * scan_depth);
}

void CCorneaDewarp::FillSmoothingKernel(int bscanwidth) {
  // Raised cosine of 2h + 1 taps, h about a twelfth of the B-scan; a B-scan too narrow for one
  // tap on each side keeps the raw slopes (a single tap of weight 1).
  const int h = NearestSample(bscanwidth / 12.0, kMaxSize);
  if (h == 0) {
    kernel[0] = 1.0;
    kernelLength = 1;
    return;
  }
  for (int i = -h; i <= h; ++i)
    kernel[i + h] = std::cos(static_cast<float>(static_cast<double>(i) / h * pi)) + 1.0;
  kernelLength = 2 * h + 1;
}

void CCorneaDewarp::SmoothSlopes(int bscanwidth) {
  using Common::Algorithms::Filters::Conv1D;
  Engines::RequireSuccess(
      Conv1D(slopeAxial.data(), bscanwidth, kernel.data(), kernelLength, slopeAxial.data()),
      kConv1DFailed);
  Engines::RequireSuccess(
      Conv1D(slopeLateral.data(), bscanwidth, kernel.data(), kernelLength, slopeLateral.data()),
      kConv1DFailed);
}

void CCorneaDewarp::GeneralPreComputation(const float* layer, int bscanwidth, int ascanlen,
                                          const float* ray_angles, bool pivoit) {
  if (bscanwidth < 1) return;
  if (lateralWidth_ != bscanwidth) {  // once per B-scan width, not per B-scan
    using Common::Algorithms::DataStructures::CLineSpace;
    const auto x = CLineSpace<float>::linspace(-1.0f, 1.0f, bscanwidth);
    lateral_.assign(x->getdata(), x->getdata() + bscanwidth);
    lateralWidth_ = bscanwidth;
  }
  const float* xv = lateral_.data();
  for (int j = 0; j < bscanwidth; ++j) {
    const float angle =
        pivoit ? static_cast<float>(static_cast<double>(half_scan_angle) * xv[j]) : ray_angles[j];
    sagTerm[j] = static_cast<float>(static_cast<double>(scan_sag) * xv[j] * xv[j]);
    lateralBase[j] = static_cast<float>(static_cast<double>(xv[j]) * half_scan_width);
    beamAxial[j] = std::cos(angle);
    beamLateral[j] = -std::sin(angle);
    const double zs = sampleDepth[NearestSample(layer[j], ascanlen - 1)];
    if (pivoit) {
      surfaceAxial[j] = static_cast<float>(std::cos(angle) * zs + sagTerm[j]);
      surfaceLateral[j] = static_cast<float>(-std::sin(angle) * zs + lateralBase[j]);
    } else {
      surfaceAxial[j] = static_cast<float>(zs + sagTerm[j]);
      surfaceLateral[j] = lateralBase[j];
    }
  }
  FillSmoothingKernel(bscanwidth);
  Differences(surfaceAxial.data(), bscanwidth, slopeAxial.data());
  Differences(surfaceLateral.data(), bscanwidth, slopeLateral.data());
  SmoothSlopes(bscanwidth);
}

CCorneaDewarp::Refraction CCorneaDewarp::Refract(int j) const {
  const double dA = beamAxial[j], dL = beamLateral[j];
  double nA = slopeLateral[j], nL = -slopeAxial[j];
  const double len = std::sqrt(static_cast<float>(nA * nA + nL * nL));
  nA /= len;
  nL /= len;
  const double cosI = nA * dA + nL * dL;
  Refraction r{};
  r.tAxial = dA - cosI * nA;
  r.tLateral = dL - cosI * nL;
  const double tA = r.tAxial / n_phase, tL = r.tLateral / n_phase;
  r.q = tA * tA + tL * tL;
  const double along = std::sqrt(static_cast<float>(1.0 - r.q));
  r.rAxial = along * nA + tA;
  r.rLateral = along * nL + tL;
  return r;
}

namespace {

// Output pixels of traced points: the column nearest(l * toColumn + width / 2) and the sample
// nearest(a * toSample - offset), each inside the image and not 0 (as DewarpDetail::InnerIndex).
struct PixelGrid {
  double toColumn, halfWidth, width, toSample, offset, length;

  // column[k] and sample[k] for k = from .. to - 1 of the points axial(k), lateral(k); column -1
  // where the point falls outside. Branch-free, so that the samples go through in vector lanes.
  template <typename Axial, typename Lateral>
  void Place(int from, int to, Axial axial, Lateral lateral, int* column, int* sample) const {
    for (int k = from; k < to; ++k) {
      const double c = lateral(k) * toColumn + halfWidth + 0.5;
      const double p = axial(k) * toSample - offset + 0.5;
      const bool inside = (c >= 1.0) & (c < width) & (p >= 1.0) & (p < length);
      column[k] = inside ? static_cast<int>(inside ? c : 0.0) : -1;
      sample[k] = static_cast<int>(inside ? p : 0.0);
    }
  }
};

}  // namespace

template <typename Place>
void CCorneaDewarp::TraceAScan(int j, int s, int ascanlen, float offset, bool mode, int bscanwidth,
                               int dewarpascanlen, Place place) {
  const double W = bscanwidth;
  // Millimetres to output pixels, laterally and axially (products, not quotients, per sample).
  const PixelGrid grid{W / scan_width,
                       W / 2,
                       W,
                       ascanlen / static_cast<double>(scan_depth),
                       offset,
                       static_cast<double>(dewarpascanlen)};
  int* column = traceColumn.data();
  int* sample = traceSample.data();
  const float* depth = sampleDepth.data();
  if (mode) {
    const double beamA = beamAxial[j], beamL = beamLateral[j];
    const double sag = sagTerm[j], base = lateralBase[j];
    grid.Place(
        0, s, [&](int k) { return depth[k] * beamA + sag; },
        [&](int k) { return depth[k] * beamL + base; }, column, sample);
  } else {
    for (int k = 0; k < s; ++k) column[k] = j, sample[k] = k;
  }
  const Refraction r = Refract(j);
  const double inTissue = 1.0 / n_group;  // optical path to physical length below the surface
  const double atSurface = sampleDepth[s];
  const double surfaceA = surfaceAxial[j], surfaceL = surfaceLateral[j];
  const auto below = [&](int k) { return (static_cast<double>(depth[k]) - atSurface) * inTissue; };
  grid.Place(
      s, ascanlen, [&](int k) { return r.rAxial * below(k) + surfaceA; },
      [&](int k) { return r.rLateral * below(k) + surfaceL; }, column, sample);
  // In order of k: where samples crowd onto one pixel, the last one is kept.
  for (int k = 0; k < ascanlen; ++k)
    if (column[k] >= 0) place(static_cast<long long>(column[k]) * dewarpascanlen + sample[k], k);
}

void CCorneaDewarp::FillHoles(int bscanwidth, std::uint8_t* dewarpBscan, int dewarpascanlen) {
  // The unreached background takes the value of the last byte; it is cleared and refilled from
  // the median of its neighbourhood. Pixels within 3 of the image edge have no full 7 x 7
  // neighbourhood and stay cleared.
  if (bscanwidth < 7 || dewarpascanlen < 7) Engines::ThrowIppFailure("ippiFilterMedian_8u_C1R");
  const long long total = static_cast<long long>(bscanwidth) * dewarpascanlen;
  const std::uint8_t background = dewarpBscan[total - 1];
  for (long long i = 0; i < total; ++i)
    dewarpBscan[i] = dewarpBscan[i] == background ? std::uint8_t{0} : dewarpBscan[i];
  FillHolesWithMedians(dewarpBscan, bscanwidth, dewarpascanlen, holeWork_);
}

void CCorneaDewarp::DewarpBscan(const std::uint8_t* bscan, int bscanwidth, int ascanlen,
                                const float* layer, float* xMap, float* yMap,
                                std::uint8_t* /*maxDewarpBscan*/, float offset, bool mode,
                                std::uint8_t* dewarpBscan, int dewarpascanlen) {
  if (!mode && dewarpascanlen < ascanlen) throw AlgorithmException(kKeepAboveNeedsLength);
  for (int j = 0; j < bscanwidth; ++j) {
    const auto place = [&](long long at, int k) {
      xMap[at] = static_cast<float>(k);
      yMap[at] = static_cast<float>(j);
    };
    TraceAScan(j, NearestSample(layer[j], ascanlen - 1), ascanlen, offset, mode, bscanwidth,
               dewarpascanlen, place);
  }
  using namespace Platform;
  TALVEX_IPP(ippiRemap_8u_C1R, bscan, IppiSize{ascanlen, bscanwidth}, ascanlen,
             IppiRect{0, 0, ascanlen, bscanwidth}, xMap, 4 * dewarpascanlen, yMap,
             4 * dewarpascanlen, dewarpBscan, dewarpascanlen, IppiSize{dewarpascanlen, bscanwidth},
             IPPI_INTER_CUBIC);
  FillHoles(bscanwidth, dewarpBscan, dewarpascanlen);
}

void CCorneaDewarp::ScatterBscan(const std::uint8_t* bscan, int bscanwidth, int ascanlen,
                                 const float* layer, float offset, bool mode,
                                 std::uint8_t* dewarpBscan, int dewarpascanlen) {
  // Every map position is a whole source pixel inside the B-scan, where the remap reads that
  // pixel as it stands; an output pixel no sample reaches keeps the zero-filled maps' position
  // (0, 0). Writing the pixels in the maps' order (A-scan after A-scan, sample after sample: the
  // last write wins) gives the remapped image without the maps.
  const long long total = static_cast<long long>(bscanwidth) * dewarpascanlen;
  std::fill_n(dewarpBscan, total, bscan[0]);
  for (int j = 0; j < bscanwidth; ++j) {
    const std::uint8_t* source = bscan + static_cast<long long>(j) * ascanlen;
    const auto place = [&](long long at, int k) { dewarpBscan[at] = source[k]; };
    TraceAScan(j, NearestSample(layer[j], ascanlen - 1), ascanlen, offset, mode, bscanwidth,
               dewarpascanlen, place);
  }
  FillHoles(bscanwidth, dewarpBscan, dewarpascanlen);
}

void CCorneaDewarp::DewarpBscans(const std::uint8_t* bscans, int numbscans, int bscanwidth,
                                 int ascanlen, const float* layer, bool pivoit,
                                 const float* ray_angles, float nn, float offset, bool mode,
                                 std::uint8_t* dewarpBscans, int dewarpascanlen) {
  if (bscanwidth > kMaxSize) throw AlgorithmException(kWidthLimitImage);
  if (ascanlen > kMaxSize) throw AlgorithmException(kLengthLimit);
  if (!mode && dewarpascanlen < ascanlen) throw AlgorithmException(kKeepAboveNeedsLength);
  if (numbscans < 1 || bscanwidth < 1 || ascanlen < 1 || dewarpascanlen < 1) return;
  FillSampleDepths(ascanlen, nn);
  for (int b = 0; b < numbscans; ++b) {
    const std::size_t row = static_cast<std::size_t>(b) * bscanwidth;
    GeneralPreComputation(layer + row, bscanwidth, ascanlen,
                          ray_angles ? ray_angles + row : nullptr, pivoit);
    ScatterBscan(bscans + row * ascanlen, bscanwidth, ascanlen, layer + row, offset, mode,
                 dewarpBscans + row * dewarpascanlen, dewarpascanlen);
  }
}

void CCorneaDewarp::DewarpSmoothLayer(const float* layer, int bscanWidth, float smooth,
                                      float* smoothLayer) {
  SmoothLayer(layer, 1, bscanWidth, smooth, smoothLayer);
}

}  // namespace Talvex::SDOCT::Algorithms
