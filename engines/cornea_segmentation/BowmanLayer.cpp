// Bowman's layer: the boundary between the epithelium and the Bowman band, traced per B-scan in a
// 100 um band that starts 15 samples below the smoothed anterior surface. The band is averaged
// over 7 neighbouring A-scans, turned into a cost image that is low on a dark-to-bright step along
// depth, resampled 15 times finer along depth, and the cheapest path through it gives the layer at
// a fifteenth of a sample; a smoothing spline then removes what speckle is left.
#include <algorithm>
#include <cmath>

#include "common/analysis/GraphBasedSegmentation.h"
#include "common/data_structures/CLineSpace.h"
#include "common/data_structures/CMatrix.h"
#include "common/data_structures/CVector.h"
#include "common/geometric_transform/ImResize.h"
#include "engines/base/LibraryStatus.h"
#include "engines/cornea_segmentation/CCorneaSegmentation.h"
#include "platform/image/TalvexIppiBasic.h"
#include "platform/signal/TalvexIpps.h"

namespace Talvex::SDOCT::Algorithms {

using Common::Algorithms::DataStructures::CLineSpace;
using Common::Algorithms::DataStructures::CMatrix;
using Common::Algorithms::DataStructures::CVector;
using Engines::RequireSuccess;
using Platform::IppiPoint;
using Platform::IppiSize;

namespace {

constexpr double kBandMicron = 100.0;  // band length
constexpr int kBandOffset = 15;        // band start below the smoothed anterior surface, samples
constexpr int kUpsampling = 15;        // axial refinement of the band
constexpr float kInverseUpsampling = 0.06666667f;
constexpr int kBoxAscans = 7;  // A-scans averaged across each band sample
constexpr int kBowmanSearchWindow = 2;

// Band length in samples, (int)(L * 100 / depthMicron); 0 when that is not a usable length.
int BandLength(int L, int depthMicron) {
  if (depthMicron < 1) return 0;
  const double b = std::trunc(L * kBandMicron / depthMicron);
  return b >= 1.0 && b * kUpsampling <= 1e8 ? static_cast<int>(b) : 0;
}

// Per-call scratch.
struct BowmanScratch {
  BowmanScratch(int W, int L, int B)
      : image(W, L), band(W, B), upsampled(W, kUpsampling * B), anterior(W), start(W) {}
  CMatrix<float> image, band, upsampled;
  CVector<float> anterior;
  CVector<int> start;
};

// Averages every band sample over 7 neighbouring A-scans (A-scans 3 .. W-4; three at either end
// keep their values).
void AverageAcrossAscans(float* band, int W, int B) {
  if (W < kBoxAscans) return;
  const int half = kBoxAscans / 2;
  TALVEX_IPP(ippiFilterBox_32f_C1IR, band + static_cast<long long>(half) * B,
             B * static_cast<int>(sizeof(float)), IppiSize{B, W - 2 * half},
             IppiSize{1, kBoxAscans}, IppiPoint{0, half});
}

}  // namespace

void CCorneaSegmentation::SegmentBowman(const std::uint8_t* volume, int numBscans_, int bscanWidth_,
                                        int ascanLength_, const float* anteriorLayer,
                                        float* bowmanLayer, float* bowmanConfidence) {
  if (volume == nullptr) throw AlgorithmException("Input SD-OCT volume is NULL.");
  if (anteriorLayer == nullptr) throw AlgorithmException("Input anterior layers is NULL.");
  if (bowmanLayer == nullptr) throw AlgorithmException("Output bowman layers is NULL.");
  if (bowmanConfidence == nullptr)
    throw AlgorithmException("Output confidence bowman layers is NULL.");
  const int W = bscanWidth_, L = ascanLength_;
  if (numBscans_ < 1 || W < 1 || L < 1) return;
  const int B = BandLength(L, depthMicron);
  // Without a band of at least one sample there is nothing to resample.
  if (B < 1) throw AlgorithmException(Engines::Messages::kImResizeFailed);
  BowmanScratch s(W, L, B);
  const auto x = CLineSpace<float>::linspace(0.0f, static_cast<float>(W - 1), W);
  const float* xs = x->getdata();
  const float wavelength = static_cast<float>(static_cast<double>(bsplineWavelength) * W);
  for (int b = 0; b < numBscans_; ++b) {
    const long long row = static_cast<long long>(b) * W;
    TALVEX_IPP(ippiConvert_8u32f_C1R, volume + row * L, L, s.image.getdata(),
               L * static_cast<int>(sizeof(float)), IppiSize{L, W});
    float* a = s.anterior.getdata();
    std::copy(anteriorLayer + row, anteriorLayer + row + W, a);
    RequireSuccess(bspline(xs, anteriorLayer + row, W, xs, a, W, wavelength, 2),
                   Engines::Messages::kBsplineFailed);
    std::fill(s.band.getdata(), s.band.getdata() + static_cast<long long>(W) * B, 0.0f);
    ImageROI(a, s.image.getmatrix(), W, L, s.band.getmatrix(), W, B, -kBandOffset, B,
             s.start.getdata());
    AverageAcrossAscans(s.band.getdata(), W, B);
    GaussianDerivitiveBscan(s.band.getdata(), W, B, gaussXsigma, gaussXsize, gaussYsigma,
                            gaussYsize);
    CostImageROI(s.band.getdata(), W, B, 1);
    RequireSuccess(Common::Algorithms::GeometricTransform::ImResize(
                       s.band.getdata(), W, B, 2, s.upsampled.getdata(), W, kUpsampling * B),
                   Engines::Messages::kImResizeFailed);
    float* bowman = bowmanLayer + row;
    RequireSuccess(
        Common::Algorithms::Analysis::GraphBasedSegmentation(
            s.upsampled.getdata(), W, kUpsampling * B, kBowmanSearchWindow, bowman, false),
        Engines::Messages::kGraphSearchFailed);
    TALVEX_IPP(ippsMulC_32f_I, kInverseUpsampling, bowman, W);
    const int* start = s.start.getdata();
    for (int i = 0; i < W; ++i) bowman[i] = static_cast<float>(bowman[i] + start[i]);
    std::fill(bowmanConfidence + row, bowmanConfidence + row + W, 1.0f);
    RequireSuccess(bspline(xs, bowman, W, xs, bowman, W, wavelength, 2),
                   Engines::Messages::kBsplineFailed);
  }
}

}  // namespace Talvex::SDOCT::Algorithms
