// The dewarping operations of CCorneaDewarpingAlgorithm: per B-scan, the scan model of its
// direction, the image correction and the layers carried through it.
#include <algorithm>
#include <memory>
#include <vector>

#include "core/AlgorithmException.h"
#include "engines/dewarping/CCorneaDewarp.h"
#include "interface/CCorneaDewarpingAlgorithm.h"
#include "interface/FacadeSupport.h"

namespace Talvex::SDOCT::Algorithms {

namespace {

constexpr const char* kCorneaMissing = "dewarping initialization is missing.";
constexpr const char* kHDMissing = "DewarpBscans: parameter initialization is missing.";

// A layer of the whole volume, with the helpers the operations share.
using Layer = std::vector<float>;

void RaisePosterior(const float* anterior, float* posterior, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i)
    if (posterior[i] < anterior[i]) posterior[i] = anterior[i];
}

void RestoreMissing(const float* input, float* output, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i)
    if (input[i] == -1.0f) output[i] = -1.0f;
}

// Gap-bridged work copy of a volume's layer.
Layer WorkCopy(const float* layer, int numbscans, int bscanwidth) {
  Layer work(layer, layer + static_cast<std::size_t>(numbscans) * bscanwidth);
  Detail::NaN2Repeat(work.data(), numbscans, bscanwidth);
  return work;
}

// The engine of one call with its angle array and the sizes of the call.
struct Pass {
  std::unique_ptr<CCorneaDewarp> engine = std::make_unique<CCorneaDewarp>();
  std::vector<float> angles;
  int width, length, outLength;
  float nRef;

  Pass(int bscanwidth, int ascanlen, int dewarpascanlen, float n_ref)
      : angles(std::max(bscanwidth, 1)),
        width(bscanwidth),
        length(ascanlen),
        outLength(dewarpascanlen),
        nRef(n_ref) {}

  // Carries layer `in` of one B-scan through the refraction at `surface` into `out`.
  void Carry(const float* surface, const float* in, float shift, float* out) {
    std::fill(angles.begin(), angles.end(), 0.0f);
    engine->DewarpSurfaces(1, width, length, surface, in, true, angles.data(), nRef, shift, out,
                           outLength);
  }
  void Image(const std::uint8_t* bscan, const float* surface, float shift, std::uint8_t* out) {
    engine->DewarpBscans(bscan, 1, width, length, surface, true, angles.data(), nRef, shift, true,
                         out, outLength);
  }
};

}  // namespace

// One refraction at the anterior surface (smoothed or as given) for the image, with the
// anterior, Bowman (if given) and posterior layers carried along.
void CCorneaDewarpingAlgorithm::ImageAndLayers(const std::uint8_t* volumeData, int numbscans,
                                               int bscanwidth, int ascanlen, bool smooth,
                                               float bsplineWavelength, const float* AnteriorData,
                                               const float* BowmanData, const float* PosteriorData,
                                               std::uint8_t* dewarpVolumeData, int dewarpascanlen,
                                               float* dewarpAnteriorData, float* dewarpBowmanData,
                                               float* dewarpPosteriorData) const {
  RequireDirections(numbscans);
  Pass pass(bscanwidth, ascanlen, dewarpascanlen, m_n_ref);
  std::vector<float> surface(std::max(bscanwidth, 1));
  for (int b = 0; b < numbscans; ++b) {
    const std::size_t row = static_cast<std::size_t>(b) * bscanwidth;
    SetUpFirstPass(*pass.engine, b);
    if (smooth) {
      std::fill(surface.begin(), surface.end(), 0.0f);
      pass.engine->DewarpSmoothLayer(AnteriorData + row, bscanwidth, bsplineWavelength,
                                     surface.data());
    } else {
      std::copy(AnteriorData + row, AnteriorData + row + bscanwidth, surface.begin());
    }
    pass.Image(volumeData + row * ascanlen, surface.data(), 0.0f,
               dewarpVolumeData + row * dewarpascanlen);
    pass.Carry(surface.data(), AnteriorData + row, 0.0f, dewarpAnteriorData + row);
    if (BowmanData) pass.Carry(surface.data(), BowmanData + row, 0.0f, dewarpBowmanData + row);
    pass.Carry(surface.data(), PosteriorData + row, 0.0f, dewarpPosteriorData + row);
  }
}

void CCorneaDewarpingAlgorithm::DewarpCornea(const std::uint8_t* volumeData, int numbscans,
                                             int bscanwidth, int ascanlen, float bsplineWavelength,
                                             const float* AnteriorData, const float* BowmanData,
                                             const float* PosteriorData,
                                             std::uint8_t* dewarpVolumeData, int dewarpascanlen,
                                             float* dewarpAnteriorData, float* dewarpBowmanData,
                                             float* dewarpPosteriorData) {
  if (!m_CorneaIntitialized) throw AlgorithmException(kCorneaMissing);
  ImageAndLayers(volumeData, numbscans, bscanwidth, ascanlen, true, bsplineWavelength, AnteriorData,
                 BowmanData, PosteriorData, dewarpVolumeData, dewarpascanlen, dewarpAnteriorData,
                 dewarpBowmanData, dewarpPosteriorData);
}

void CCorneaDewarpingAlgorithm::DewarpCornea(const std::uint8_t* volumeData, int numbscans,
                                             int bscanwidth, int ascanlen, float bsplineWavelength,
                                             const float* AnteriorData, const float* PosteriorData,
                                             std::uint8_t* dewarpVolumeData, int dewarpascanlen,
                                             float* dewarpAnteriorData,
                                             float* dewarpPosteriorData) {
  if (!m_CorneaIntitialized) throw AlgorithmException(kCorneaMissing);
  ImageAndLayers(volumeData, numbscans, bscanwidth, ascanlen, true, bsplineWavelength, AnteriorData,
                 nullptr, PosteriorData, dewarpVolumeData, dewarpascanlen, dewarpAnteriorData,
                 nullptr, dewarpPosteriorData);
}

void CCorneaDewarpingAlgorithm::DewarpHDCorneaAnt(
    const std::uint8_t* volumeData, int numbscans, int bscanwidth, int ascanlen,
    const float* AnteriorData, const float* PosteriorData, std::uint8_t* dewarpVolumeData,
    int dewarpascanlen, float* dewarpAnteriorData, float* dewarpPosteriorData) {
  if (!m_HDCorneaIntitialized) throw AlgorithmException(kHDMissing);
  ImageAndLayers(volumeData, numbscans, bscanwidth, ascanlen, false, 0.0f, AnteriorData, nullptr,
                 PosteriorData, dewarpVolumeData, dewarpascanlen, dewarpAnteriorData, nullptr,
                 dewarpPosteriorData);
}

// First refraction at the anterior surface, second at the corrected posterior surface of the
// corrected image, the beams entering the second medium with the turn they got at the first.
// IrisLensData null: cornea only (no shift expected, none carried).
void CCorneaDewarpingAlgorithm::TwoRefractions(
    const std::uint8_t* volumeData, int numbscans, int bscanwidth, int ascanlen, float shift,
    const float* AnteriorData, const float* PosteriorData, const float* IrisLensData,
    std::uint8_t* dewarpAntVolumeData, std::uint8_t* dewarpPstVolumeData, int dewarpascanlen,
    float* dewarpAnteriorData, float* dewarpPosteriorData, float* dewarpIrisLensData) const {
  RequireDirections(numbscans);
  const std::size_t n = static_cast<std::size_t>(std::max(numbscans, 0)) * std::max(bscanwidth, 0);
  Layer ant = WorkCopy(AnteriorData, numbscans, bscanwidth);
  Layer pst = WorkCopy(PosteriorData, numbscans, bscanwidth);
  Layer iris = IrisLensData ? WorkCopy(IrisLensData, numbscans, bscanwidth) : Layer();
  RaisePosterior(ant.data(), pst.data(), n);
  Pass pass(bscanwidth, ascanlen, dewarpascanlen, m_n_ref);
  std::vector<float> saved(std::max(bscanwidth, 1));
  for (int b = 0; b < numbscans; ++b) {
    const std::size_t row = static_cast<std::size_t>(b) * bscanwidth;
    float *a = ant.data() + row, *p = pst.data() + row;
    std::uint8_t* antImage = dewarpAntVolumeData + row * dewarpascanlen;
    SetUpFirstPass(*pass.engine, b);
    pass.Image(volumeData + row * ascanlen, a, shift, antImage);
    pass.Carry(a, a, shift, dewarpAnteriorData + row);
    pass.Carry(a, p, shift, dewarpPosteriorData + row);
    // The angle array now holds the turn of the beams along the corrected posterior surface.
    Detail::NaN2Repeat(pass.angles.data(), 1, bscanwidth);
    std::copy(pass.angles.begin(), pass.angles.end(), saved.begin());
    if (IrisLensData) pass.Carry(a, iris.data() + row, shift, dewarpIrisLensData + row);
    // The corrected layers become the work layers of the second refraction.
    std::copy(dewarpAnteriorData + row, dewarpAnteriorData + row + bscanwidth, a);
    std::copy(dewarpPosteriorData + row, dewarpPosteriorData + row + bscanwidth, p);
    Detail::NaN2Repeat(a, 1, bscanwidth);
    Detail::NaN2Repeat(p, 1, bscanwidth);
    RaisePosterior(a, p, bscanwidth);
    SetUpSecondPass(*pass.engine, b);
    std::copy(saved.begin(), saved.end(), pass.angles.begin());
    pass.engine->DewarpBscans(antImage, 1, bscanwidth, dewarpascanlen, p, false, pass.angles.data(),
                              1.0f, 0.0f, false, dewarpPstVolumeData + row * dewarpascanlen,
                              dewarpascanlen);
    if (!IrisLensData) continue;
    float* il = iris.data() + row;
    std::copy(dewarpIrisLensData + row, dewarpIrisLensData + row + bscanwidth, il);
    Detail::NaN2Repeat(il, 1, bscanwidth);
    std::copy(saved.begin(), saved.end(), pass.angles.begin());
    pass.engine->DewarpSurfaces(1, bscanwidth, dewarpascanlen, p, il, false, pass.angles.data(),
                                1.0f, 0.0f, dewarpIrisLensData + row, dewarpascanlen);
    // The iris/lens lies at least 15 samples below the posterior surface.
    for (int j = 0; j < bscanwidth; ++j) {
      float& v = dewarpIrisLensData[row + j];
      v = std::max(v, dewarpPosteriorData[row + j] + 15.0f);
    }
  }
  RestoreMissing(AnteriorData, dewarpAnteriorData, n);
  RestoreMissing(PosteriorData, dewarpPosteriorData, n);
  if (IrisLensData) RestoreMissing(IrisLensData, dewarpIrisLensData, n);
}

void CCorneaDewarpingAlgorithm::DewarpHDCorneaAntPst(
    const std::uint8_t* volumeData, int numbscans, int bscanwidth, int ascanlen,
    const float* AnteriorData, const float* PosteriorData, std::uint8_t* dewarpAntVolumeData,
    std::uint8_t* dewarpPstVolumeData, int dewarpascanlen, float* dewarpAnteriorData,
    float* dewarpPosteriorData) {
  if (!m_HDCorneaIntitialized) throw AlgorithmException(kHDMissing);
  TwoRefractions(volumeData, numbscans, bscanwidth, ascanlen, 0.0f, AnteriorData, PosteriorData,
                 nullptr, dewarpAntVolumeData, dewarpPstVolumeData, dewarpascanlen,
                 dewarpAnteriorData, dewarpPosteriorData, nullptr);
}

void CCorneaDewarpingAlgorithm::DewarpHDFieldAntPst(
    const std::uint8_t* volumeData, int numbscans, int bscanwidth, int ascanlen, float ascanShift,
    const float* AnteriorData, const float* PosteriorData, const float* IrisLensData,
    std::uint8_t* dewarpAntVolumeData, std::uint8_t* dewarpPstVolumeData, int dewarpascanlen,
    float* dewarpAnteriorData, float* dewarpPosteriorData, float* dewarpIrisLensData) {
  if (!m_HDFieldIntitialized) throw AlgorithmException(kHDMissing);
  TwoRefractions(volumeData, numbscans, bscanwidth, ascanlen, ascanShift, AnteriorData,
                 PosteriorData, IrisLensData, dewarpAntVolumeData, dewarpPstVolumeData,
                 dewarpascanlen, dewarpAnteriorData, dewarpPosteriorData, dewarpIrisLensData);
}

void CCorneaDewarpingAlgorithm::DewarpHDFieldAnt(const std::uint8_t* volumeData, int numbscans,
                                                 int bscanwidth, int ascanlen, float ascanShift,
                                                 const float* AnteriorData,
                                                 std::uint8_t* dewarpAntVolumeData,
                                                 int dewarpascanlen) {
  if (!m_HDFieldIntitialized) throw AlgorithmException(kHDMissing);
  RequireDirections(numbscans);
  Layer ant = WorkCopy(AnteriorData, numbscans, bscanwidth);
  Pass pass(bscanwidth, ascanlen, dewarpascanlen, m_n_ref);
  for (int b = 0; b < numbscans; ++b) {
    const std::size_t row = static_cast<std::size_t>(b) * bscanwidth;
    SetUpFirstPass(*pass.engine, b);
    pass.Image(volumeData + row * ascanlen, ant.data() + row, ascanShift,
               dewarpAntVolumeData + row * dewarpascanlen);
  }
}

void CCorneaDewarpingAlgorithm::DewarpHDFieldAnt(
    const std::uint8_t* volumeData, int numbscans, int bscanwidth, int ascanlen, float ascanShift,
    const float* AnteriorData, const float* PosteriorData, const float* IrisLensData,
    std::uint8_t* dewarpVolumeData, int dewarpascanlen, float* dewarpAnteriorData,
    float* dewarpPosteriorData, float* dewarpIrisLensData) {
  if (!m_HDFieldIntitialized) throw AlgorithmException(kHDMissing);
  RequireDirections(numbscans);
  const std::size_t n = static_cast<std::size_t>(std::max(numbscans, 0)) * std::max(bscanwidth, 0);
  Layer ant = WorkCopy(AnteriorData, numbscans, bscanwidth);
  Layer pst = WorkCopy(PosteriorData, numbscans, bscanwidth);
  RaisePosterior(ant.data(), pst.data(), n);
  Pass pass(bscanwidth, ascanlen, dewarpascanlen, m_n_ref);
  for (int b = 0; b < numbscans; ++b) {
    const std::size_t row = static_cast<std::size_t>(b) * bscanwidth;
    const float* a = ant.data() + row;
    SetUpFirstPass(*pass.engine, b);
    pass.Image(volumeData + row * ascanlen, a, ascanShift, dewarpVolumeData + row * dewarpascanlen);
    pass.Carry(a, a, ascanShift, dewarpAnteriorData + row);
    pass.Carry(a, pst.data() + row, ascanShift, dewarpPosteriorData + row);
    pass.Carry(a, IrisLensData + row, ascanShift, dewarpIrisLensData + row);
  }
  RestoreMissing(AnteriorData, dewarpAnteriorData, n);
  RestoreMissing(PosteriorData, dewarpPosteriorData, n);
}

}  // namespace Talvex::SDOCT::Algorithms
