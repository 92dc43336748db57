#include "interface/CCorneaSegmentationAlgorithm.h"

#include <algorithm>
#include <memory>

#include "engines/cornea_segmentation/CCorneaSegmentation.h"

namespace Talvex::SDOCT::Algorithms {

namespace {

constexpr const char* kMissingInitialization =
    "CCorneaSegmentationAlgorithm::SegmentCornea: parameter initialization is missing.";

void CopyParameters(const CorneaSegParameter& p, CCorneaSegmentation& e) {
  e.sigmaLateral = p.sigmaLateral;
  e.sigmaAxial = p.sigmaAxial;
  e.lateralSubsample = p.lateralSubsample;
  e.axialSubsample = p.axialSubsample;
  e.bilateralMaxKernelWidth = p.bilateralMaxKernelWidth;
  e.bilateralMaxKernelHeight = p.bilateralMaxKernelHeight;
  e.bilateralValSquareSigma = p.bilateralValSquareSigma;
  e.bilateralPosSquareSigma = p.bilateralPosSquareSigma;
  e.lateralXMicron = p.lateralXMicron;
  e.lateralYMicron = p.lateralYMicron;
  e.depthMicron = p.depthMicron;
  e.axialRes1Micron = p.axialRes1Micron;
  e.axialRes2Micron = p.axialRes2Micron;
  e.signal1Level_0 = p.signal1Level_0;
  e.signal1Level_1 = p.signal1Level_1;
  e.signal1Level_2 = p.signal1Level_2;
  e.signal2Level_0 = p.signal2Level_0;
  e.signal2Level_1 = p.signal2Level_1;
  e.signal2Level_2 = p.signal2Level_2;
  e.corrCoeffThresh = p.corrCoeffThresh;
  e.posteriorTopROI = p.posteriorTopROI;
  e.posteriorBottomROI = p.posteriorBottomROI;
  e.gaussXsize = p.gaussXsize;
  e.gaussXsigma = p.gaussXsigma;
  e.gaussYsize = p.gaussYsize;
  e.gaussYsigma = p.gaussYsigma;
  e.ransacMinNumPoints = p.ransacMinNumPoints;
  e.ransacDistThresh = p.ransacDistThresh;
  e.ransacProbability = p.ransacProbability;
  e.ransacMaxDataTrials = p.ransacMaxDataTrials;
  e.ransacMaxTrials = p.ransacMaxTrials;
  e.layerOffset = p.layerOffset;
  e.bsplineWavelength = p.bsplineWavelength;
  e.dropOutsOffset = p.dropOutsOffset;
  e.anteriorConfidenceThreshold = p.anteriorConfidenceThreshold;
  e.posteriorConfidenceThreshold = p.posteriorConfidenceThreshold;
  e.adjustAnterior = p.adjustAnterior;
  e.pachymetryScan = p.pachymetryScan;
}

}  // namespace

CCorneaSegmentationAlgorithm::CCorneaSegmentationAlgorithm() = default;
CCorneaSegmentationAlgorithm::~CCorneaSegmentationAlgorithm() = default;

void CCorneaSegmentationAlgorithm::Initialize(const CorneaSegParameter& parameters) {
  parameters_ = parameters;
  CopyParameters(parameters_, corneaSegment_.Replace());
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
  engine.SmoothLayer(AnteriorData, bscanWidth, engine.bsplineWavelength, AnteriorData);
  engine.SmoothLayer(PosteriorData, bscanWidth, engine.bsplineWavelength, PosteriorData);
}

void CCorneaSegmentationAlgorithm::SmoothLayer(const float* layerInData, int numBscans,
                                               int bscanWidth, float bsplineWavelength,
                                               float* layerOutData) {
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

void CCorneaSegmentationAlgorithm::Dispose() { corneaSegment_.Release(); }

}  // namespace Talvex::SDOCT::Algorithms
