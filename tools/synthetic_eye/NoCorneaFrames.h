// B-scans without a cornea, for testing that a cornea detector says "no cornea": speckle-like
// texture at any level and grain size, uniform grey, air with a faint noise floor, a single
// bright half-plane (one straight edge), an eyelid-like bright band and an iris-only region (a
// textured band with a pupil gap and no corneal surfaces above it). Grey levels are those of a
// device export (air near 0). Every frame is a pure function of its settings and the seed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Talvex {
namespace Synthetic {

enum class NoCorneaKind { Speckle, Uniform, Air, HalfPlane, Eyelid, Iris };

// "speckle", "uniform", "air", "half-plane", "eyelid", "iris"; false for another name.
bool NoCorneaKindByName(const std::string& name, NoCorneaKind* kind);
const char* NoCorneaKindName(NoCorneaKind kind);

struct NoCorneaFrame {
  NoCorneaKind kind = NoCorneaKind::Speckle;
  int bscanWidth = 1020, ascanLength = 640;
  double level = 60.0;     // mean grey of the textured region (the whole frame when uniform)
  double contrast = 12.0;  // standard deviation of the texture, grey levels
  // Grain of the speckle texture: standard deviation (A-scans, samples) of the Gaussian that
  // correlates the underlying complex field; 0 gives one grain per pixel.
  double grainAscans = 1.5, grainSamples = 1.5;
  double floorLevel = 2.0, floorNoise = 2.0;  // the air: mean and spread of its noise floor
  // Half-plane edge, eyelid band centre and iris band top at the centre A-scan, as a fraction of
  // the depth; the half-plane's edge is tilted by edgeTiltDeg (in pixel units).
  double edgeDepth = 0.4;
  double edgeTiltDeg = 0.0;
  double bandFraction = 0.2;  // eyelid and (greatest) iris thickness as a fraction of the depth
};

// One B-scan in the library's layout (A-scan after A-scan, depth contiguous). Throws
// std::invalid_argument for sizes outside 2-8192, negative grain or noise, or edgeDepth or
// bandFraction outside 0-1.
std::vector<std::uint8_t> SimulateNoCorneaFrame(const NoCorneaFrame& frame, std::uint64_t seed);

}  // namespace Synthetic
}  // namespace Talvex
