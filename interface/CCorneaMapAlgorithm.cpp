#include "interface/CCorneaMapAlgorithm.h"

#include <vector>

#include "core/AlgorithmException.h"
#include "engines/cornea_map/CCorneaMap.h"
#include "engines/cornea_map/CCorneaMapSubfield.h"
#include "engines/cornea_map/CorneaMapDetail.h"
#include "interface/CorneaMapScan.h"

namespace Talvex::SDOCT::Algorithms {

namespace {

// The thickness of every meridian is measured by fast marching.
constexpr int kFastMarching = 1;
// The thinnest point is searched over a full disc (just short of a whole turn, so that the
// sector test never wraps).
constexpr float kFullTurn = 6.283168f;

CCorneaMap::ThicknessMeasure EngineMeasure(CCorneaMapAlgorithm::ThicknessMeasure measure) {
  return measure == CCorneaMapAlgorithm::ThicknessMeasure::SubPixel
             ? CCorneaMap::ThicknessMeasure::SubPixel
             : CCorneaMap::ThicknessMeasure::GridPixel;
}

}  // namespace

void CCorneaMapAlgorithm::PachymetryMap(
    const float* AnteriorData, const float* PosteriorData, int numbscans, int bscanwidth,
    int ascanlen, float bsplineWavelength, const float* AnteriorConfidenceData,
    const float* PosteriorConfidenceData, float /*confThresh*/, const float* fovMuData,
    float depthMu, const float* AngleData, float* PachymetryMap, std::uint8_t* PachymetryMapMask,
    int pachMapWidth, float pachMapWidthMu, int interp, int regul, float smooth,
    ThicknessMeasure measure) {
  CorneaMapDetail::RequireWidth(bscanwidth);
  const Detail::RadialScan scan =
      Detail::PrepareRadialScan(AngleData, numbscans, bscanwidth, fovMuData);
  std::vector<float> anterior = scan.Arrange(AnteriorData);
  std::vector<float> posterior = scan.Arrange(PosteriorData);
  const std::vector<float> anteriorConf = scan.Arrange(AnteriorConfidenceData);
  const std::vector<float> posteriorConf = scan.Arrange(PosteriorConfidenceData);
  std::vector<float> thickness(anterior.size());
  CCorneaMap engine;
  CCorneaMap::Workspace work;  // one set of work areas for every meridian
  for (int k = 0; k < numbscans; ++k) {
    const size_t row = static_cast<size_t>(k) * bscanwidth;
    float* a = anterior.data() + row;
    float* p = posterior.data() + row;
    engine.MapSmoothLayer(a, bscanwidth, bsplineWavelength, a);
    engine.MapSmoothLayer(p, bscanwidth, bsplineWavelength, p);
    engine.ComputeMap(a, p, 1, ascanlen, bscanwidth, depthMu, scan.lengths[k], kFastMarching,
                      thickness.data() + row, EngineMeasure(measure), work);
    for (int j = 0; j < bscanwidth; ++j)
      if (anteriorConf[row + j] < 0.0f || posteriorConf[row + j] < 0.0f) thickness[row + j] = -1.0f;
  }
  engine.CorneaMap(thickness.data(), numbscans, bscanwidth, scan.lengths.data(), scan.angles.data(),
                   PachymetryMap, pachMapWidth, pachMapWidthMu, interp, regul, smooth);
  Detail::ToDisplayOrientation(PachymetryMap, bscanwidth);
  const size_t pixels = static_cast<size_t>(bscanwidth) * bscanwidth;
  for (size_t i = 0; i < pixels; ++i) PachymetryMapMask[i] = PachymetryMap[i] == -1.0f ? 1 : 0;
  Detail::CorneaMapMask(numbscans, bscanwidth, scan.lengths.data(), scan.angles.data(),
                        posteriorConf.data(), PachymetryMapMask);
}

void CCorneaMapAlgorithm::EpithelialMap(
    const float* AnteriorData, const float* BowmanData, int numbscans, int bscanwidth, int ascanlen,
    float bsplineWavelength, const float* /*AnteriorConfidenceData*/,
    const float* /*BowmanConfidenceData*/, float /*confThresh*/, const float* fovMuData,
    float depthMu, const float* AngleData, float* EpithelialMap, int mapResampleWidth,
    float mapWidthMu, int mapWidth, int interp, int regul, float smooth, const double* dxyzData,
    ThicknessMeasure measure) {
  if (mapWidth < 1 || mapWidth > bscanwidth) throw AlgorithmException(kMapWidthTooLarge);
  CorneaMapDetail::RequireWidth(mapWidth);
  const Detail::RadialScan scan =
      Detail::PrepareRadialScan(AngleData, numbscans, bscanwidth, fovMuData);
  std::vector<float> anterior = scan.Arrange(AnteriorData);
  const std::vector<float> bowman = scan.Arrange(BowmanData);
  // Each meridian keeps its central mapWidth A-scans, spanning that share of its length.
  std::vector<float> widths(numbscans);
  for (int k = 0; k < numbscans; ++k)
    widths[k] = static_cast<float>(
        static_cast<int>(static_cast<double>(mapWidth) * scan.lengths[k] / bscanwidth + 0.5));
  const int first = bscanwidth / 2 - mapWidth / 2;
  std::vector<float> thickness(static_cast<size_t>(numbscans) * mapWidth);
  CCorneaMap engine;
  CCorneaMap::Workspace work;  // one set of work areas for every meridian
  for (int k = 0; k < numbscans; ++k) {
    float* a = anterior.data() + static_cast<size_t>(k) * bscanwidth;
    engine.MapSmoothLayer(a, bscanwidth, bsplineWavelength, a);
    engine.ComputeMap(a + first, bowman.data() + static_cast<size_t>(k) * bscanwidth + first, 1,
                      ascanlen, mapWidth, depthMu, widths[k], kFastMarching,
                      thickness.data() + static_cast<size_t>(k) * mapWidth, EngineMeasure(measure),
                      work);
  }
  engine.CorneaMap(thickness.data(), numbscans, mapWidth, widths.data(), scan.angles.data(),
                   EpithelialMap, mapResampleWidth, mapWidthMu, interp, regul, smooth, dxyzData);
  Detail::ToDisplayOrientation(EpithelialMap, mapWidth);
}

void CCorneaMapAlgorithm::EpithelialMap(
    const float* AnteriorData, const float* BowmanData, int numbscans, int bscanwidth, int ascanlen,
    float bsplineWavelength, const float* AnteriorConfidenceData, const float* BowmanConfidenceData,
    float confThresh, const float* fovMuData, float depthMu, const float* AngleData,
    float* EpithelialMap, int mapResampleWidth, float mapWidthMu, int mapWidth, int interp,
    int regul, float smooth, ThicknessMeasure measure) {
  this->EpithelialMap(AnteriorData, BowmanData, numbscans, bscanwidth, ascanlen, bsplineWavelength,
                      AnteriorConfidenceData, BowmanConfidenceData, confThresh, fovMuData, depthMu,
                      AngleData, EpithelialMap, mapResampleWidth, mapWidthMu, mapWidth, interp,
                      regul, smooth, static_cast<const double*>(nullptr), measure);
}

void CCorneaMapAlgorithm::ComputeSubfields(const float* pachMapData, int widthPix, float widthmm,
                                           float xCenter, float yCenter, float areaPerc,
                                           const float* regionRadiusesData, int numRegion,
                                           int numSubfields, float* subfieldMeanData,
                                           float* subfieldMinData, float* subfieldMaxData) {
  CCorneaMapSubfield engine;
  engine.ComputeSubfields(pachMapData, widthPix, widthmm, xCenter, yCenter, areaPerc,
                          regionRadiusesData, numRegion, numSubfields, subfieldMeanData,
                          subfieldMinData, subfieldMaxData);
}

void CCorneaMapAlgorithm::MinimumCorneaMap(const float* mapData, int widthPix, float widthmm,
                                           float xCenter, float yCenter, float roiRadiusmm,
                                           MapPoint& minPoint) {
  if (mapData == nullptr) throw AlgorithmException("input map is NULL.");
  const CCorneaMapSubfield engine;
  const float radius = static_cast<float>(static_cast<double>(widthPix) * roiRadiusmm / widthmm);
  float pos[2];
  engine.MinimumCorneaMap(mapData, widthPix, xCenter, yCenter, 0.0f, radius, 0.0f, kFullTurn, pos);
  minPoint.x = pos[0];
  minPoint.y = pos[1];
}

void CCorneaMapAlgorithm::AnteriorToPosteriorDistIdx(const float* anteriorLayerData,
                                                     const float* posteriorLayerData, int depthPix,
                                                     int widthPix, float depthMu,
                                                     const float* fovMuData, float angle,
                                                     int* posteriorPosData) {
  CCorneaMap engine;
  engine.AnteriorToPosteriorDistIdx(anteriorLayerData, posteriorLayerData, depthPix, widthPix,
                                    depthMu, Detail::ScanLength(fovMuData, angle),
                                    posteriorPosData);
}

}  // namespace Talvex::SDOCT::Algorithms
