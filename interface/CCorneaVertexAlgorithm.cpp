#include "interface/CCorneaVertexAlgorithm.h"

#include <cmath>

#include "common/data_structures/CVector.h"
#include "engines/cornea_vertex/CCorneaVertex.h"

namespace Talvex::SDOCT::Algorithms {

namespace {

using Common::Algorithms::DataStructures::CVector;

// Converts the copied angles (radians, ascending) and puts the layers into the same order, in
// place.
void SortMeridians(CCorneaVertex& engine, float* layers, float* angles, int numLayers,
                   int widthPix) {
  CVector<float> reversed(numLayers * widthPix);
  engine.VReorderLayers(layers, reversed.getdata(), numLayers, widthPix, angles);
}

// A copy of the caller's layers in meridian order, with the angles and the length of each
// meridian of the elliptical scan field with half extents f0, f1.
struct SortedCopy {
  SortedCopy(CCorneaVertex& engine, const float* layerData, const float* angleData, int numLayers,
             int widthPix, const float* fovMuData)
      : layers(numLayers * widthPix, layerData), angles(numLayers, angleData), lengths(numLayers) {
    SortMeridians(engine, layers.getdata(), angles.getdata(), numLayers, widthPix);
    const double f0 = fovMuData[0], f1 = fovMuData[1];
    for (int b = 0; b < numLayers; ++b) {
      const double c = std::cos(angles.getdata()[b]), s = std::sin(angles.getdata()[b]);
      lengths.getdata()[b] = static_cast<float>(2.0 * std::sqrt(f0 * f0 * c * c + f1 * f1 * s * s));
    }
  }
  CVector<float> layers, angles, lengths;
};

}  // namespace

void CCorneaVertexAlgorithm::CorneaVertexQ(const float* layerData, const float* angleData,
                                           int numLayers, int widthPix, int depthPix, float depthMu,
                                           const float* fovMuData, float roiRadius,
                                           float* vertexPosition) {
  CCorneaVertex engine;
  CCorneaVertex::RequireLimits(widthPix, numLayers);
  const SortedCopy c(engine, layerData, angleData, numLayers, widthPix, fovMuData);
  engine.CorneaVertexQ(c.layers.getdata(), c.angles.getdata(), numLayers, widthPix, depthPix,
                       depthMu, c.lengths.getdata(), roiRadius, vertexPosition);
}

void CCorneaVertexAlgorithm::CorneaVertexZ(float* layerDate, const float* angleData, int numLayers,
                                           int depthPix, int widthPix, int depthMu, int widthMu,
                                           int maxOrder, float* vertexPosition) {
  CCorneaVertex engine;
  CCorneaVertex::RequireLimits(widthPix, numLayers);
  // The caller's rows are sorted in place.
  CVector<float> angles(numLayers, angleData);
  SortMeridians(engine, layerDate, angles.getdata(), numLayers, widthPix);
  engine.CorneaVertexZ(layerDate, angles.getdata(), numLayers, depthPix, widthPix, depthMu, widthMu,
                       maxOrder, vertexPosition);
}

void CCorneaVertexAlgorithm::CorneaVertexM(const float* layerData, const float* angleData,
                                           int numLayers, int widthPix, int depthPix, float depthMu,
                                           const float* fovMuData, float roiRadius,
                                           const int* RandomvaluesData, std::uint32_t nRandom,
                                           float* vertexPosition) {
  CCorneaVertex engine;
  CCorneaVertex::RequireLimits(widthPix, numLayers);
  const SortedCopy c(engine, layerData, angleData, numLayers, widthPix, fovMuData);
  engine.CorneaVertexM(c.layers.getdata(), c.angles.getdata(), numLayers, widthPix, depthPix,
                       depthMu, c.lengths.getdata(), roiRadius, RandomvaluesData, nRandom,
                       vertexPosition);
}

void CCorneaVertexAlgorithm::CorneaVertexS(std::uint8_t* bscansData, int numbscan, int numascans,
                                           int ascanlen, const float* anteriorData,
                                           const float* posteriorData, const float* angleData,
                                           float ccthreh, float* vertexPosition) {
  CCorneaVertex engine;
  engine.CorneaVertexS(bscansData, numbscan, numascans, ascanlen, anteriorData, posteriorData,
                       angleData, ccthreh, vertexPosition);
}

}  // namespace Talvex::SDOCT::Algorithms
