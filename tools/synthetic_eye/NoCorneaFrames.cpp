// Frames without a cornea: a log-compressed speckle texture (complex Gaussian field correlated by a
// separable Gaussian, intensity on a 10·log10 scale normalised to zero mean and unit spread) laid
// into simple shapes over a noise floor.
#include "tools/synthetic_eye/NoCorneaFrames.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "tools/synthetic_eye/SynthRandom.h"

namespace Talvex {
namespace Synthetic {

namespace {

constexpr double kPi = 3.14159265358979323846;
// 10·log10 of a unit-mean exponential intensity: mean -2.5068 dB, standard deviation 5.5697 dB.
constexpr double kLogExpMean = -2.5068, kLogExpSd = 5.5697;

struct Kind {
  NoCorneaKind kind;
  const char* name;
};
constexpr Kind kKinds[] = {
    {NoCorneaKind::Speckle, "speckle"}, {NoCorneaKind::Uniform, "uniform"},
    {NoCorneaKind::Air, "air"},         {NoCorneaKind::HalfPlane, "half-plane"},
    {NoCorneaKind::Eyelid, "eyelid"},   {NoCorneaKind::Iris, "iris"}};

std::vector<float> Kernel(double sigma) {
  if (sigma < 0.3) return {1.0f};
  const int r = static_cast<int>(std::ceil(3.0 * sigma));
  std::vector<float> k(2 * r + 1);
  for (int t = -r; t <= r; ++t)
    k[t + r] = static_cast<float>(std::exp(-0.5 * t * t / (sigma * sigma)));
  return k;
}

double SumOfSquares(const std::vector<float>& k) {
  double s = 0.0;
  for (float v : k) s += static_cast<double>(v) * v;
  return s;
}

// Convolves field (W A-scans of L samples) along depth (stride 1) or across A-scans (stride L),
// replicating the border.
void Blur(std::vector<float>* field, int W, int L, const std::vector<float>& k, bool across) {
  const int r = static_cast<int>(k.size()) / 2;
  if (r == 0) return;
  const std::vector<float> in = *field;
  const int n = across ? W : L;
  for (int j = 0; j < W; ++j)
    for (int z = 0; z < L; ++z) {
      const int i = across ? j : z;
      float sum = 0.0f;
      for (int t = -r; t <= r; ++t) {
        const int q = std::min(n - 1, std::max(0, i + t));
        sum +=
            k[t + r] * in[across ? static_cast<size_t>(q) * L + z : static_cast<size_t>(j) * L + q];
      }
      (*field)[static_cast<size_t>(j) * L + z] = sum;
    }
}

// Zero-mean, unit-spread log-speckle texture of grain (sigmaA across, sigmaS along depth).
std::vector<float> Texture(int W, int L, double sigmaA, double sigmaS, Detail::Xoshiro256* rng) {
  const size_t n = static_cast<size_t>(W) * L;
  std::vector<float> re(n), im(n);
  for (size_t i = 0; i < n; ++i) {
    re[i] = rng->Normal();
    im[i] = rng->Normal();
  }
  const std::vector<float> ka = Kernel(sigmaA), ks = Kernel(sigmaS);
  for (std::vector<float>* f : {&re, &im}) {
    Blur(f, W, L, ks, false);
    Blur(f, W, L, ka, true);
  }
  const double meanIntensity = 2.0 * SumOfSquares(ka) * SumOfSquares(ks);
  std::vector<float> t(n);
  for (size_t i = 0; i < n; ++i) {
    const double intensity = (re[i] * re[i] + im[i] * im[i]) / meanIntensity;
    t[i] = static_cast<float>((10.0 * std::log10(std::max(intensity, 1e-12)) - kLogExpMean) /
                              kLogExpSd);
  }
  return t;
}

// 0 above `edge`, 1 below it, linear across one sample.
double Below(double z, double edge) { return std::min(1.0, std::max(0.0, z - edge + 0.5)); }

// Share of the textured region at (j, z) for the shaped kinds, 0 to 1.
double Coverage(const NoCorneaFrame& f, int j, int z) {
  const double W = f.bscanWidth, L = f.ascanLength;
  const double x = W > 1 ? 2.0 * j / (W - 1) - 1.0 : 0.0;  // -1 to 1 across the frame
  const double band = f.bandFraction * L;
  switch (f.kind) {
    case NoCorneaKind::HalfPlane:
      return Below(z,
                   f.edgeDepth * L + std::tan(f.edgeTiltDeg * kPi / 180.0) * (j - 0.5 * (W - 1)));
    case NoCorneaKind::Eyelid: {  // a band sagging toward the middle, soft edges
      const double centre = f.edgeDepth * L + 0.06 * L * (1.0 - x * x);
      return Below(z, centre - 0.5 * band) * (1.0 - Below(z, centre + 0.5 * band));
    }
    case NoCorneaKind::Iris: {  // two wedges thinning toward a central pupil gap
      const double fromPupil = (std::fabs(x) - 0.24) / 0.76;
      if (fromPupil <= 0.0) return 0.0;
      const double top = f.edgeDepth * L - 0.04 * L * (1.0 - x * x);
      const double thickness = band * (0.35 + 0.65 * std::min(1.0, 1.8 * fromPupil));
      return Below(z, top) * (1.0 - Below(z, top + thickness));
    }
    default:
      return 1.0;
  }
}

std::uint8_t Grey(double v) {
  return static_cast<std::uint8_t>(std::lround(std::min(255.0, std::max(0.0, v))));
}

}  // namespace

bool NoCorneaKindByName(const std::string& name, NoCorneaKind* kind) {
  for (const Kind& k : kKinds)
    if (name == k.name) {
      *kind = k.kind;
      return true;
    }
  return false;
}

const char* NoCorneaKindName(NoCorneaKind kind) {
  for (const Kind& k : kKinds)
    if (k.kind == kind) return k.name;
  return "speckle";
}

std::vector<std::uint8_t> SimulateNoCorneaFrame(const NoCorneaFrame& f, std::uint64_t seed) {
  const int W = f.bscanWidth, L = f.ascanLength;
  if (W < 2 || L < 2 || W > 8192 || L > 8192 || !(f.grainAscans >= 0.0) ||
      !(f.grainSamples >= 0.0) || !(f.floorNoise >= 0.0) || !(f.contrast >= 0.0) ||
      !(f.edgeDepth >= 0.0 && f.edgeDepth <= 1.0) ||
      !(f.bandFraction >= 0.0 && f.bandFraction <= 1.0))
    throw std::invalid_argument("Synthetic eye: invalid frame settings.");
  std::uint64_t state = seed ^ 0xA54FF53A5F1D36F1ull;
  Detail::Xoshiro256 rng(Detail::SplitMix64(&state));
  std::vector<std::uint8_t> out(static_cast<size_t>(W) * L);
  if (f.kind == NoCorneaKind::Uniform) {
    std::fill(out.begin(), out.end(), Grey(f.level));
    return out;
  }
  std::vector<float> texture;
  if (f.kind != NoCorneaKind::Air) {
    // Eyelid and iris tissue is coarser than the grain of the speckle frames.
    const double coarse =
        f.kind == NoCorneaKind::Eyelid || f.kind == NoCorneaKind::Iris ? 2.0 : 1.0;
    texture = Texture(W, L, coarse * f.grainAscans, f.grainSamples, &rng);
  }
  for (int j = 0; j < W; ++j)
    for (int z = 0; z < L; ++z) {
      const size_t i = static_cast<size_t>(j) * L + z;
      const double floor = std::max(0.0, f.floorLevel + f.floorNoise * rng.Normal());
      const double cover = f.kind == NoCorneaKind::Air ? 0.0 : Coverage(f, j, z);
      const double tissue = cover > 0.0 ? f.level + f.contrast * texture[i] : 0.0;
      out[i] = Grey(cover * tissue + (1.0 - cover) * floor);
    }
  return out;
}

}  // namespace Synthetic
}  // namespace Talvex
