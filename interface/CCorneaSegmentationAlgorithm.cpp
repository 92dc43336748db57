#include "interface/CCorneaSegmentationAlgorithm.h"

#include <algorithm>
#include <memory>

#include "common/data_structures/CVector.h"
#include "engines/cornea_segmentation/CCorneaSegmentation.h"
#include "engines/cornea_segmentation/CResidualStroma.h"

namespace Talvex::SDOCT::Algorithms {

namespace {

constexpr const char* kMissingInitialization =
    "CCorneaSegmentationAlgorithm::SegmentCornea: parameter initialization is missing.";

}  // namespace

CCorneaSegmentationAlgorithm::CCorneaSegmentationAlgorithm() = default;
CCorneaSegmentationAlgorithm::~CCorneaSegmentationAlgorithm() = default;

void CCorneaSegmentationAlgorithm::Initialize(const CorneaSegParameter& parameters) {
  corneaSegment_.Replace().Configure(parameters);
}

void CCorneaSegmentationAlgorithm::SegmentCornea(const std::uint8_t* volumeData, int numBscans,
                                                 int bscanWidth, int ascanLength,
                                                 const int* RandomvaluesData, std::uint32_t nRandom,
                                                 std::uint8_t* volumeBufferData,
                                                 float* AnteriorData, float* PosteriorData,
                                                 float* AnteriorConfidenceData,
                                                 float* PosteriorConfidenceData) {
  corneaSegment_.Require(kMissingInitialization)
      .SegmentCornea(volumeData, numBscans, bscanWidth, ascanLength, RandomvaluesData, nRandom,
                     volumeBufferData, AnteriorData, PosteriorData, AnteriorConfidenceData,
                     PosteriorConfidenceData);
}

void CCorneaSegmentationAlgorithm::SegmentAnterior(
    const std::uint8_t* volumeData, int numBscans, int bscanWidth, int ascanLength,
    const int* RandomvaluesData, std::uint32_t nRandom, std::uint8_t* volumeBufferData,
    float* AnteriorData, float* AnteriorConfidenceData) {
  corneaSegment_.Require(kMissingInitialization)
      .SegmentCornea(volumeData, numBscans, bscanWidth, ascanLength, RandomvaluesData, nRandom,
                     volumeBufferData, AnteriorData, nullptr, AnteriorConfidenceData, nullptr);
}

void CCorneaSegmentationAlgorithm::SegmentPosterior(
    const std::uint8_t* volumeData, int numBscans, int bscanWidth, int ascanLength,
    const int* RandomvaluesData, std::uint32_t nRandom, std::uint8_t* volumeBufferData,
    float* PosteriorData, float* PosteriorConfidenceData) {
  corneaSegment_.Require(kMissingInitialization)
      .SegmentCornea(volumeData, numBscans, bscanWidth, ascanLength, RandomvaluesData, nRandom,
                     volumeBufferData, nullptr, PosteriorData, nullptr, PosteriorConfidenceData);
}

void CCorneaSegmentationAlgorithm::SegmentHDCornea(const std::uint8_t* volumeData, int numBscans,
                                                   int bscanWidth, int ascanLength,
                                                   const int* RandomvaluesData,
                                                   std::uint32_t nRandom,
                                                   std::uint8_t* volumeBufferData,
                                                   float* AnteriorData, float* PosteriorData) {
  CCorneaSegmentation& engine = corneaSegment_.Require(kMissingInitialization);
  numBscans = std::min(numBscans, 1);
  engine.SegmentCornea(volumeData, numBscans, bscanWidth, ascanLength, RandomvaluesData, nRandom,
                       volumeBufferData, AnteriorData, PosteriorData, nullptr, nullptr);
  if (numBscans < 1) return;
  // A layer the caller did not ask for (null) is neither segmented nor smoothed.
  for (float* layer : {AnteriorData, PosteriorData})
    if (layer != nullptr) engine.SmoothLayer(layer, bscanWidth, engine.bsplineWavelength, layer);
}

void CCorneaSegmentationAlgorithm::SegmentBowman(const std::uint8_t* volumeData, int numBscans,
                                                 int bscanWidth, int ascanLength,
                                                 const float* AnteriorData, float* BowmanData,
                                                 float* BowmanConfidenceData) {
  corneaSegment_.Require(kMissingInitialization)
      .SegmentBowman(volumeData, numBscans, bscanWidth, ascanLength, AnteriorData, BowmanData,
                     BowmanConfidenceData);
}

void CCorneaSegmentationAlgorithm::ResidualStroma(const float* layerInData, int bscanwidth,
                                                  int ascanlen, int depthum, int widthum,
                                                  float coffset, float* layerOutData) {
  CResidualStroma engine;
  if (layerInData == nullptr || bscanwidth < 1 || bscanwidth > CResidualStroma::kMaxLayerLength) {
    // Nothing to copy: the engine reports the null or oversized layer, or has nothing to do.
    float unused = 0.0f;
    engine.ResidualStroma(layerInData != nullptr ? &unused : nullptr, bscanwidth, ascanlen, depthum,
                          widthum, coffset, layerOutData);
    return;
  }
  // The engine fills the gaps of its input: it works on a copy with its end gaps repeated.
  Common::Algorithms::DataStructures::CVector<float> copy(bscanwidth);
  std::copy(layerInData, layerInData + bscanwidth, copy.getdata());
  Detail::NaN2Repeat(copy.getdata(), 1, bscanwidth);
  engine.ResidualStroma(copy.getdata(), bscanwidth, ascanlen, depthum, widthum, coffset,
                        layerOutData);
  for (int i = 0; i < bscanwidth; ++i)
    if (layerInData[i] == -1.0f) layerOutData[i] = -1.0f;
}

void CCorneaSegmentationAlgorithm::SmoothLayer(const float* layerInData, int numBscans,
                                               int bscanWidth, float bsplineWavelength,
                                               float* layerOutData) {
  if (numBscans < 1) return;
  if (layerInData == nullptr) throw AlgorithmException("Input layer is NULL.");
  if (layerOutData == nullptr) throw AlgorithmException("Output layer is NULL.");
  CCorneaSegmentation engine;
  for (int b = 0; b < numBscans; ++b) {
    const long long offset = static_cast<long long>(b) * bscanWidth;
    engine.SmoothLayer(layerInData + offset, bscanWidth, bsplineWavelength, layerOutData + offset);
  }
}

void CCorneaSegmentationAlgorithm::ReorderBscansLayers(std::uint8_t* volumeData, int numBscans,
                                                       int bscanWidth, int ascanLength,
                                                       float* AnteriorData, float* PosteriorData,
                                                       float* AnteriorConfidenceData,
                                                       float* PosteriorConfidenceData,
                                                       float* angleData, int* orderIdxData) {
  CCorneaSegmentation engine;
  engine.ReorderBscansLayers(volumeData, numBscans, bscanWidth, ascanLength, AnteriorData,
                             PosteriorData, AnteriorConfidenceData, PosteriorConfidenceData,
                             angleData, orderIdxData);
}

void CCorneaSegmentationAlgorithm::ReorderBscansLayers(
    std::uint8_t* volumeData, int numBscans, int bscanWidth, int ascanLength, float* AnteriorData,
    float* PosteriorData, float* BowmanData, float* AnteriorConfidenceData,
    float* PosteriorConfidenceData, float* BowmanConfidenceData, float* angleData,
    int* orderIdxData) {
  CCorneaSegmentation engine;
  engine.ReorderBscansLayers(volumeData, numBscans, bscanWidth, ascanLength, AnteriorData,
                             PosteriorData, BowmanData, AnteriorConfidenceData,
                             PosteriorConfidenceData, BowmanConfidenceData, angleData,
                             orderIdxData);
}

std::vector<CorneaBscanOutcome> CCorneaSegmentationAlgorithm::LastBscanOutcomes() const {
  const CCorneaSegmentation* engine = corneaSegment_.Get();
  return engine != nullptr ? engine->lastOutcomes : std::vector<CorneaBscanOutcome>();
}

void CCorneaSegmentationAlgorithm::Dispose() { corneaSegment_.Release(); }

}  // namespace Talvex::SDOCT::Algorithms
