#include "engines/mirror_attenuation/CMirrorImageAttenuation.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "common/analysis/Regions.h"
#include "core/AlgorithmException.h"
#include "engines/base/LibraryStatus.h"
#include "platform/signal/TalvexIpps.h"

namespace Talvex::SDOCT::Algorithms {

namespace {

using Engines::RequireSuccess;
using Platform::Ipp16s;
using Platform::Ipp32f;

constexpr float kMissing = -1.0f;
constexpr const char* kAllocationFailed = "Memory allocation failed.";

bool Present(float v) { return v != kMissing; }

// Where the mirrored corneal apex lies: nearest the left edge, the right edge or the centre.
enum class ApexSide { Left = 0, Right = 1, Centre = 2 };

std::unique_ptr<std::uint8_t[]> AllocateMask(size_t n) {
  std::unique_ptr<std::uint8_t[]> mask(new (std::nothrow) std::uint8_t[n]);
  if (!mask) throw AlgorithmException(kAllocationFailed);
  return mask;
}

// A mask of ones, cleared wherever the working mask is 0.
std::unique_ptr<std::uint8_t[]> MaskFrom(const std::vector<std::uint8_t>& work) {
  std::unique_ptr<std::uint8_t[]> mask = AllocateMask(work.size());
  for (size_t i = 0; i < work.size(); ++i) mask[i] = work[i] != 0 ? 1 : 0;
  return mask;
}

// The anterior surface folded about depth c: (c - a) + c; missing values stay missing.
std::vector<float> MirroredLayer(const float* anterior, int width, int c) {
  std::vector<float> m(anterior, anterior + width);
  for (float& v : m)
    if (Present(v)) v = static_cast<float>((c - static_cast<double>(v)) + c);
  return m;
}

ApexSide ClassifyApex(const std::vector<float>& mirrored, int width) {
  Ipp32f maximum = 0.0f;
  int k = 0;
  TALVEX_IPP(ippsMaxIndx_32f, mirrored.data(), width, &maximum, &k);
  const std::array<Ipp16s, 3> distance = {static_cast<Ipp16s>(k), static_cast<Ipp16s>(width - k),
                                          static_cast<Ipp16s>(std::abs(k - width / 2))};
  Ipp16s smallest = 0;
  int side = 0;
  TALVEX_IPP(ippsMinIndx_16s, distance.data(), 3, &smallest, &side);
  return static_cast<ApexSide>(side);
}

// The A-scan in first .. last where both surfaces are present and closest (the first one on
// ties), or -1 when they share none.
int ClosestApproach(const float* m, const float* p, int first, int last, int ascanLength) {
  double best = 2.0 * ascanLength;
  int at = -1;
  for (int i = first; i <= last; ++i) {
    if (!Present(m[i]) || !Present(p[i])) continue;
    const double d = std::fabs(static_cast<double>(m[i]) - p[i]);
    if (d < best) best = d, at = i;
  }
  return at;
}

struct Bounds {
  int left = -1, right = -1;
  bool Valid() const { return left >= 0 && right >= 0; }
};

Bounds MirrorBounds(const std::vector<float>& m, const float* p, int width, int ascanLength) {
  Bounds b;
  switch (ClassifyApex(m, width)) {
    case ApexSide::Left: {
      const auto first = std::find_if(m.begin(), m.end(), Present);
      b.left = first == m.end() ? 0 : static_cast<int>(first - m.begin());
      b.right = ClosestApproach(m.data(), p, 0, width - 1, ascanLength);
      break;
    }
    case ApexSide::Right: {
      b.right = width - 1;
      for (int i = width - 1; i >= 1; --i)
        if (Present(m[i])) {
          b.right = i;
          break;
        }
      b.left = ClosestApproach(m.data(), p, 0, width - 1, ascanLength);
      break;
    }
    case ApexSide::Centre:
      b.left = ClosestApproach(m.data(), p, 0, width / 2 - 1, ascanLength);
      b.right = ClosestApproach(m.data(), p, width / 2, width - 1, ascanLength);
      break;
  }
  return b;
}

// Segment ends beyond this many samples are junk, not layer positions: such a segment is not
// drawn (its unit-step sweeps would not end).
constexpr float kLargestCoordinate = 1.0e7f;

bool Drawable(float v) { return std::fabs(v) <= kLargestCoordinate; }

// trunc(v) when it lands in 0 .. limit - 1.
bool IndexOf(double v, int limit, int* index) {
  if (!(v > -1.0 && v < limit)) return false;
  *index = static_cast<int>(v);
  return true;
}

}  // namespace

void CMirrorImageAttenuation::DrawLine(float x1, float x2, float y1, float y2,
                                       std::uint8_t* image) const {
  auto put = [&](double x, double y) {
    int a = 0, z = 0;
    if (IndexOf(x, bscanWidth_, &a) && IndexOf(y, ascanLength_, &z))
      image[static_cast<size_t>(a) * ascanLength_ + z] = 255;
  };
  if (!Drawable(x1) || !Drawable(x2) || !Drawable(y1) || !Drawable(y2)) return;
  // A vertical segment has an infinite slope and a zero inverse slope.
  float s = 0.0f, t = 0.0f;
  if (x1 != x2) {
    s = static_cast<float>((static_cast<double>(y2) - y1) / (static_cast<double>(x2) - x1));
    const float b = static_cast<float>(y1 - static_cast<double>(s) * x1);
    for (float x = std::min(x1, x2); x < std::max(x1, x2); x += 1.0f)
      put(x, static_cast<double>(x) * s + b + 0.5);
    if (s != 0.0f) t = static_cast<float>(1.0 / s);
  }
  if (y1 == y2) return;  // a horizontal segment has no axial extent
  const float e = static_cast<float>(x1 - static_cast<double>(t) * y1);
  for (float y = std::min(y1, y2); y < std::max(y1, y2); y += 1.0f)
    put(static_cast<double>(y) * t + e, static_cast<double>(y) + 0.5);
}

void CMirrorImageAttenuation::OutlineMirrorRegion(const float* m, const float* p,
                                                  std::uint8_t* work) const {
  const Bounds b =
      MirrorBounds(std::vector<float>(m, m + bscanWidth_), p, bscanWidth_, ascanLength_);
  if (!b.Valid()) return;
  for (const float* layer : {p, m})
    for (int i = b.left; i < b.right; ++i)
      if (Present(layer[i]) && Present(layer[i + 1]))
        DrawLine(static_cast<float>(i), static_cast<float>(i + 1), layer[i], layer[i + 1], work);
  DrawLine(static_cast<float>(b.left), static_cast<float>(b.left), p[b.left], m[b.left], work);
  DrawLine(static_cast<float>(b.right), static_cast<float>(b.right), p[b.right], m[b.right], work);
}

void CMirrorImageAttenuation::FillMirrorRegion(std::uint8_t* work, const float* irisLens) const {
  std::vector<std::uint8_t*> rows(bscanWidth_);
  for (int i = 0; i < bscanWidth_; ++i) rows[i] = work + static_cast<size_t>(i) * ascanLength_;
  RequireSuccess(
      Common::Algorithms::Analysis::imfillholes(rows.data(), ascanLength_, bscanWidth_, 4, 0),
      "TalvexAlgorithm: imfillholes() failed.");
  // Keep the part at least kIrisLensMargin samples above the iris/lens; an A-scan without
  // iris/lens keeps nothing.
  for (int i = 0; i < bscanWidth_; ++i) {
    const double bottom = std::trunc(static_cast<double>(irisLens[i]));
    for (int z = 0; z < ascanLength_; ++z)
      if (!(z + kIrisLensMargin <= bottom)) rows[i][z] = 0;
  }
}

void CMirrorImageAttenuation::Initialize(const float* anteriorLayer, const float* posteriorLayer,
                                         const float* irisLensLayer, int bscanWidth,
                                         int ascanLength) {
  if (anteriorLayer == nullptr) throw AlgorithmException("Iutput anterior layer is NULL.");
  if (posteriorLayer == nullptr) throw AlgorithmException("Iutput posterior layer is NULL.");
  if (irisLensLayer == nullptr) throw AlgorithmException("Iutput iris/lens layer is NULL.");
  mirrorMask_.reset();
  anteriorMask_.reset();
  bscanWidth_ = bscanWidth;
  ascanLength_ = ascanLength;
  const int fold = ascanLength / 2 - kFoldAboveMiddle;
  const std::vector<float> mirrored = MirroredLayer(anteriorLayer, std::max(bscanWidth, 0), fold);
  const size_t n = static_cast<size_t>(bscanWidth) * std::max(ascanLength, 0);

  std::vector<std::uint8_t> work(n, 0);
  OutlineMirrorRegion(mirrored.data(), posteriorLayer, work.data());
  FillMirrorRegion(work.data(), irisLensLayer);
  Mask mirror = MaskFrom(work);

  std::fill(work.begin(), work.end(), 0);
  for (int i = 0; i < bscanWidth; ++i) {
    const float a = anteriorLayer[i];
    const double depth = Present(a) ? std::trunc(static_cast<double>(a)) : ascanLength;
    const int d = static_cast<int>(std::clamp(depth, 0.0, static_cast<double>(ascanLength)));
    std::fill_n(work.begin() + static_cast<std::ptrdiff_t>(i) * ascanLength, d, 1);
  }
  anteriorMask_ = MaskFrom(work);
  mirrorMask_ = std::move(mirror);
}

void CMirrorImageAttenuation::AttenuateMirrorImage(std::uint8_t* image, int bscanwidth,
                                                   int ascanlen, float percent) const {
  if (image == nullptr) throw AlgorithmException("Input image is NULL.");
  if (!mirrorMask_ || !anteriorMask_) throw AlgorithmException("Initialization is missing.");
  if (bscanwidth <= 0 || ascanlen <= 0) return;
  const long long n = static_cast<long long>(bscanwidth) * ascanlen;
  if (n > static_cast<long long>(bscanWidth_) * ascanLength_)
    throw AlgorithmException("B-scan is larger than the mirror masks.");
  // The masks hold only 0 and 1, so every masked sample takes one factor: a table of the 256
  // scaled grey levels, each trunc(f * sample) reduced to its low 8 bits.
  const float f = static_cast<float>(1.0 - static_cast<double>(percent));
  std::array<std::uint8_t, 256> scaled{};
  for (int v = 0; v < 256; ++v) {
    const double x = std::trunc(static_cast<double>(f) * v);
    const double low = std::isfinite(x) ? std::fmod(x, 256.0) : 0.0;
    scaled[v] = static_cast<std::uint8_t>(low < 0.0 ? low + 256.0 : low);
  }
  for (const Mask* mask : {&anteriorMask_, &mirrorMask_}) {
    const std::uint8_t* m = mask->get();
    for (long long i = 0; i < n; ++i)
      if (m[i] != 0) image[i] = scaled[image[i]];
  }
}

}  // namespace Talvex::SDOCT::Algorithms
