#include "interface/CCorneaMotionCorrectionAlgorithm.h"

#include <vector>

#include "core/AlgorithmException.h"
#include "engines/motion_correction/CCorneaMotionCorrection.h"

namespace Talvex::SDOCT::Algorithms {

namespace {

using Engine = CCorneaMotionCorrection;

void CheckInputs(const float* layersData, int numLayers, int numSamples, int subSampleFactor,
                 const float* anglesData, const double* xyzData) {
  if (layersData == nullptr) throw AlgorithmException(Engine::kLayersNull);
  if (anglesData == nullptr) throw AlgorithmException(Engine::kAnglesNull);
  if (xyzData == nullptr) throw AlgorithmException(Engine::kShiftsNull);
  if (numLayers < 1 || numSamples < 1 || subSampleFactor < 1)
    throw AlgorithmException(Engine::kBadSize);
  if (numLayers > Engine::kMaxMeridians) throw AlgorithmException(Engine::kTooManyMeridians);
}

// Every subSampleFactor-th A-scan of each meridian into numLayers rows of ns values (-1 where a
// row runs out of A-scans).
std::vector<float> SubSample(const float* layersData, int numLayers, int numSamples, int factor,
                             int ns) {
  std::vector<float> rows(static_cast<std::size_t>(numLayers) * ns, -1.0f);
  for (int i = 0; i < numLayers; ++i) {
    const float* in = layersData + static_cast<std::size_t>(i) * numSamples;
    float* out = rows.data() + static_cast<std::size_t>(i) * ns;
    for (int j = 0; j < ns && static_cast<long long>(j) * factor < numSamples; ++j)
      out[j] = in[static_cast<std::size_t>(j) * factor];
  }
  return rows;
}

}  // namespace

int CCorneaMotionCorrectionAlgorithm::MotionCorrectionParam(const float* layersData, int numLayers,
                                                            int numSamples, int subSampleFactor,
                                                            const float* anglesData, float depth2um,
                                                            float fovum,
                                                            const int* RandomvaluesData,
                                                            int nRandom, double* xyzData) {
  CheckInputs(layersData, numLayers, numSamples, subSampleFactor, anglesData, xyzData);
  const int ns = static_cast<int>(static_cast<double>(numSamples) / subSampleFactor + 0.5);
  if (ns > Engine::kMaxSamples) throw AlgorithmException(Engine::kTooManySamples);
  std::vector<float> rows = SubSample(layersData, numLayers, numSamples, subSampleFactor, ns);
  std::vector<float> angles(anglesData, anglesData + numLayers);
  std::vector<float> scratch(rows.size());

  Engine engine;
  // Meridian direction, radians and ascending angle order, as every radial-scan engine has them.
  engine.ReorderLayers(rows.data(), scratch.data(), numLayers, ns, angles.data());
  return engine.MotionCorrectionParam(rows.data(), numLayers, ns, angles.data(), depth2um, fovum,
                                      RandomvaluesData, nRandom, xyzData) == -1
             ? -1
             : 0;
}

}  // namespace Talvex::SDOCT::Algorithms
