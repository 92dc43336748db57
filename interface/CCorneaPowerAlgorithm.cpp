#include "interface/CCorneaPowerAlgorithm.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include "engines/cornea_power/CCorneaPower.h"

namespace Talvex::SDOCT::Algorithms {

namespace {

constexpr const char* kMissingInitialization = "CornealPower: parameter initialization is missing.";

}  // namespace

CCorneaPowerAlgorithm::CCorneaPowerAlgorithm() = default;
CCorneaPowerAlgorithm::~CCorneaPowerAlgorithm() = default;

void CCorneaPowerAlgorithm::Initialize(const CorneaPowerParameter& parameters) {
  corneaPower_.Replace().Configure(parameters);
}

int CCorneaPowerAlgorithm::CornealPower(const float* anteriorLayerData,
                                        const float* posteriorLayerData, const float* angleData,
                                        int numLayers, int widthPix, int depthPix, float depthMu,
                                        const float* fovMuData, float roiRadius,
                                        float centThickness, float& anteriorPower,
                                        float& posteriorPower, float& totalPower) {
  CCorneaPower& engine = corneaPower_.Require(kMissingInitialization);
  if (anteriorLayerData == nullptr) throw AlgorithmException("Input anterior layer is NULL.");
  if (posteriorLayerData == nullptr) throw AlgorithmException("Input posterior layer is NULL.");
  CCorneaPower::CheckSizes(numLayers, widthPix);

  // Reordered copies of both surfaces: the caller's layers and angles stay as they are.
  const std::size_t n = static_cast<std::size_t>(numLayers) * widthPix;
  std::vector<float> anterior(anteriorLayerData, anteriorLayerData + n);
  std::vector<float> posterior(posteriorLayerData, posteriorLayerData + n);
  std::vector<float> scratch(n), angles(angleData, angleData + numLayers);
  engine.PReorderLayers(anterior.data(), scratch.data(), numLayers, widthPix, angles.data());
  std::copy(angleData, angleData + numLayers, angles.begin());
  engine.PReorderLayers(posterior.data(), scratch.data(), numLayers, widthPix, angles.data());

  // Length of every meridian across the elliptical scan field.
  std::vector<float> lengths(numLayers);
  for (int b = 0; b < numLayers; ++b) {
    const double c = std::cos(static_cast<double>(angles[b]));
    const double s = std::sin(static_cast<double>(angles[b]));
    const double f0 = fovMuData[0], f1 = fovMuData[1];
    lengths[b] = static_cast<float>(2.0 * std::sqrt(f0 * f0 * c * c + f1 * f1 * s * s));
  }

  float a = 0, p = 0, t = 0;
  if (engine.CornealPower(anterior.data(), posterior.data(), angles.data(), numLayers, widthPix,
                          depthPix, depthMu, lengths.data(), roiRadius, centThickness, a, p,
                          t) == -1)
    return -1;
  anteriorPower = a;
  posteriorPower = p;
  totalPower = t;
  return 0;
}

void CCorneaPowerAlgorithm::Dispose() { corneaPower_.Release(); }

}  // namespace Talvex::SDOCT::Algorithms
