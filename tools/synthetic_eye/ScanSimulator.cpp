// Scanner model, per-A-scan ray tracing and B-scan image formation of the synthetic eye.
//
// Every A-scan is traced analytically through the model eye and reduced to a list of tissue
// segments (backscatter power per sample, attenuation) and boundary reflections (amplitude at a
// fractional sample). A B-scan is then formed column by column as a complex field: scatterers
// with complex Gaussian amplitudes, convolved with the axial amplitude point-spread function, the
// boundary reflections added as exact Gaussians, then convolved across A-scans with the lateral
// point-spread function. Intensity gets the depth roll-off, the specular streak, the optional
// mirror image and the noise floor and is compressed as 20·log10(intensity) (= 40·log10 of the
// amplitude) into 8 bits.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>

#include "tools/synthetic_eye/EyeGeometry.h"
#include "tools/synthetic_eye/SynthRandom.h"

namespace Talvex {
namespace Synthetic {

using Detail::Vec3;

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDeg = kPi / 180.0;
// Mean of 20·log10 of an exponentially distributed intensity lies 20·γ/ln 10 = 5.0116 grey
// levels below 20·log10 of its mean (γ Euler's constant): fully developed speckle and noise
// are brightened by this much so that their mean grey value is the requested level.
constexpr double kSpeckleLogBias = 5.0116;
// Intensity attenuation coefficients (1/mm of physical path, one way).
constexpr double kMuCornea = 0.7, kMuSclera = 3.0, kMuIris = 2.0, kMuLens = 0.4;
constexpr double kIrisPigmentMm = 0.04;  // posterior pigment epithelium of the iris

double PowerOfLevel(double level) { return std::pow(10.0, level / 20.0); }
double AmplitudeOfLevel(double level) { return std::pow(10.0, level / 40.0); }

// 20·log10(x) for x > 0 from the float's exponent and an odd series of atanh for the mantissa
// (error below 2e-4 grey levels); independent of the C library.
inline float GreyOfIntensity(float x) {
  if (!(x > 1e-30f)) return 0.0f;
  std::uint32_t bits;
  std::memcpy(&bits, &x, sizeof bits);
  const int e = static_cast<int>((bits >> 23) & 255u) - 127;
  bits = (bits & 0x7FFFFFu) | 0x3F800000u;
  float m;
  std::memcpy(&m, &bits, sizeof m);
  const float t = (m - 1.0f) / (m + 1.0f), t2 = t * t;
  const float log2m =
      2.8853901f * t * (1.0f + t2 * (1.0f / 3.0f + t2 * (0.2f + t2 * (1.0f / 7.0f))));
  return 6.0205999f * (static_cast<float>(e) + log2m);
}

// Scan model of one B-scan.
struct BscanGeometry {
  double angleDeg, ex, ey;  // scanner angle and en-face direction of increasing A-scan index
  double halfLength, halfAngle, sag;
  Vec3 eyeOffset;  // scanner-frame position of the eye's anterior apex
  bool tilted = false;
  double cosX = 1, sinX = 0, cosY = 1, sinY = 0;  // eye tilt toward +X and toward +Y

  // A scanner-frame vector (relative to the apex) in the eye frame: the inverse of the tilt, which
  // turns the eye about Y (axis toward +X) and then about X (axis toward +Y).
  Vec3 ToEye(const Vec3& v) const {
    const Vec3 u{v.x, v.y * cosY - v.z * sinY, v.y * sinY + v.z * cosY};
    return {u.x * cosX - u.z * sinX, u.y, u.x * sinX + u.z * cosX};
  }
};

struct Segment {
  float start, end;  // sample positions
  float power;       // backscatter power per sample at start (attenuation included)
  float decay;       // intensity factor per sample
};
struct Peak {
  float position, amplitude;
};

// Everything one traced A-scan contributes.
struct AscanTrace {
  Segment segments[8];
  int numSegments = 0;
  Peak peaks[8];
  int numPeaks = 0;
  float anterior = -1, bowman = -1, posterior = -1, irisLens = -1;
  Vec3 anteriorPoint, posteriorPoint;
  float thicknessUm = -1, incidenceDeg = -1;
  float streakPower = 0;
};

class Tracer {
 public:
  Tracer(const ModelEye& eye, const ScanProtocol& p, const RenderSettings& r)
      : eye_(eye), render_(r), L_(p.ascanLength) {
    sampleOpl_ = kReferenceGroupIndex * p.scanDepthMm / p.ascanLength;
    maxOpl_ = sampleOpl_ * (p.ascanLength + 8);
    const double bias = r.speckle ? kSpeckleLogBias : 0.0;
    epi_ = PowerOfLevel(r.epitheliumLevel + bias);
    stroma_ = PowerOfLevel(r.stromaLevel + bias);
    bowmanBand_ = PowerOfLevel(r.bowmanLevel + bias);
    sclera_ = PowerOfLevel(r.scleraLevel + bias);
    iris_ = PowerOfLevel(r.irisLevel + bias);
    pigment_ = PowerOfLevel(r.irisPigmentLevel + bias);
    lens_ = PowerOfLevel(r.lensLevel + bias);
    basal_ = PowerOfLevel(r.basalBandLevel + bias);
  }

  void Trace(const BscanGeometry& g, int j, int width, AscanTrace* out) const;

 private:
  float Sample(double opl) const { return static_cast<float>(opl / sampleOpl_); }
  float TruthSample(double opl) const {
    const double s = opl / sampleOpl_;
    return (s >= 0.0 && s <= L_ - 1) ? static_cast<float>(s) : -1.0f;
  }
  // Adds a tissue segment from opl0 to opl1 of group index ng with attenuation mu; *transmission
  // is the cumulative round-trip intensity transmission at opl0 and is advanced to opl1.
  void AddSegment(AscanTrace* a, double opl0, double opl1, double power, double mu, double ng,
                  double* transmission) const {
    if (opl1 <= opl0 || a->numSegments >= 8) return;
    const double perSample = std::exp(-2.0 * mu * sampleOpl_ / ng);
    a->segments[a->numSegments++] = {Sample(opl0), Sample(opl1),
                                     static_cast<float>(power * *transmission),
                                     static_cast<float>(perSample)};
    *transmission *= std::exp(-2.0 * mu * (opl1 - opl0) / ng);
  }
  void AddPeak(AscanTrace* a, double opl, double amplitude, double transmission) const {
    if (a->numPeaks >= 8) return;
    a->peaks[a->numPeaks++] = {Sample(opl),
                               static_cast<float>(amplitude * std::sqrt(transmission))};
  }
  // Amplitude of a boundary reflection at incidence theta (radians): its level less the oblique
  // loss, plus the specular lobe when enabled.
  double BoundaryAmplitude(double level, double theta, double specularLevel) const {
    double a = AmplitudeOfLevel(level - render_.obliqueLossDbPerDeg * theta / kDeg);
    if (render_.specular) {
      const double w = render_.specularWidthDeg * kDeg;
      a += AmplitudeOfLevel(specularLevel) * std::exp(-0.5 * theta * theta / (w * w));
    }
    return a;
  }

  const ModelEye& eye_;
  const RenderSettings& render_;
  int L_;
  double sampleOpl_, maxOpl_;
  double epi_, stroma_, bowmanBand_, sclera_, iris_, pigment_, lens_, basal_;
};

void Tracer::Trace(const BscanGeometry& g, int j, int width, AscanTrace* a) const {
  const double x = width > 1 ? -1.0 + 2.0 * j / (width - 1) : 0.0;
  const double alpha = g.halfAngle * x;
  // Beam start on the scan surface and direction, scanner frame, then eye frame.
  const Vec3 origin{x * g.halfLength * g.ex, x * g.halfLength * g.ey, g.sag * x * x};
  Vec3 d{-std::sin(alpha) * g.ex, -std::sin(alpha) * g.ey, std::cos(alpha)};
  Vec3 p0 = origin - g.eyeOffset;
  if (g.tilted) {
    p0 = g.ToEye(p0);
    d = g.ToEye(d);
  }

  const double tAir = Detail::IntersectRay(eye_, Surface::Anterior, p0, d, 0.0, maxOpl_);
  if (tAir < 0.0) return;
  const Vec3 pa = p0 + tAir * d;
  const double oplA = tAir;
  const Vec3 na = Detail::SurfaceNormal(eye_, Surface::Anterior, pa.x, pa.y);
  const double thetaA = Detail::IncidenceAngle(d, na);
  a->anterior = TruthSample(oplA);
  a->anteriorPoint = pa;
  a->incidenceDeg = static_cast<float>(thetaA / kDeg);
  if (render_.specular) {
    const double w = render_.specularWidthDeg * kDeg;
    a->streakPower = static_cast<float>(PowerOfLevel(render_.streakLevel) *
                                        std::exp(-thetaA * thetaA / (w * w)));
  }
  double transmission = 1.0;
  const bool peaksOnly = render_.interfacePeaksOnly;
  // Pure reflection peaks: the air scatters like the stroma (attenuating as in the cornea).
  if (peaksOnly) AddSegment(a, 0.0, oplA, stroma_, kMuCornea, 1.0, &transmission);
  const double rA = std::sqrt(pa.x * pa.x + pa.y * pa.y);
  const MediumIndex& nc = eye_.cornea;
  if (!Detail::Refract(&d, na, 1.0, nc.phase)) return;

  if (rA > eye_.limbusRadiusMm) {  // sclera: bright, strongly attenuating, to the end
    AddPeak(a, oplA, BoundaryAmplitude(render_.anteriorPeakLevel - 6.0, thetaA, -400.0), 1.0);
    AddSegment(a, oplA, maxOpl_, sclera_, kMuSclera, nc.group, &transmission);
    return;
  }
  AddPeak(a, oplA, BoundaryAmplitude(render_.anteriorPeakLevel, thetaA, render_.specularPeakLevel),
          1.0);
  // Toward the limbus the stroma takes on the scattering of the sclera.
  double limbal = (rA - (eye_.limbusRadiusMm - 0.8)) / 0.8;
  limbal = std::min(1.0, std::max(0.0, limbal));
  limbal = limbal * limbal * (3.0 - 2.0 * limbal);
  const double stroma = stroma_ * std::pow(sclera_ / stroma_, limbal);
  const double muStroma = kMuCornea + (kMuSclera - kMuCornea) * limbal;

  const double tB = Detail::IntersectRay(eye_, Surface::Bowman, pa, d, 0.0, 2.0);
  const double tP = Detail::IntersectRay(eye_, Surface::Posterior, pa, d, 0.0, 4.0);
  const bool hasP =
      tP > 0.0 && SurfaceCovers(eye_, Surface::Posterior, pa.x + tP * d.x, pa.y + tP * d.y);
  const double oplEnd = maxOpl_;
  double oplB = -1.0;
  if (tB > 0.0 && (!hasP || tB < tP)) {
    oplB = oplA + nc.group * tB;
    a->bowman = TruthSample(oplB);
    const Vec3 pb = pa + tB * d;
    const double thetaB =
        Detail::IncidenceAngle(d, Detail::SurfaceNormal(eye_, Surface::Bowman, pb.x, pb.y));
    auto tissue = [&](double central) {
      return peaksOnly ? stroma : central * (1.0 - limbal) + stroma * limbal;
    };
    double oplBasal = oplB;
    if (render_.basalBandUm > 0.0 && !peaksOnly)
      oplBasal = std::max(oplA, oplB - nc.group * 1e-3 * render_.basalBandUm);
    AddSegment(a, oplA, oplBasal, tissue(epi_), kMuCornea, nc.group, &transmission);
    AddSegment(a, oplBasal, oplB, tissue(basal_), kMuCornea, nc.group, &transmission);
    if (!peaksOnly && render_.bowmanPeakLevel > -400.0)
      AddPeak(a, oplB, BoundaryAmplitude(render_.bowmanPeakLevel, thetaB, -400.0), transmission);
    const double oplBandEnd = oplB + nc.group * 1e-3 * eye_.bowmanThicknessUm;
    AddSegment(a, oplB, oplBandEnd, tissue(bowmanBand_), kMuCornea, nc.group, &transmission);
    oplB = oplBandEnd;
  } else {
    oplB = oplA;
  }
  if (!hasP) {
    AddSegment(a, oplB, oplEnd, stroma, muStroma, nc.group, &transmission);
    return;
  }
  const Vec3 pp = pa + tP * d;
  const double oplP = oplA + nc.group * tP;
  a->posterior = TruthSample(oplP);
  a->posteriorPoint = pp;
  const double t = ThicknessAlongPosteriorNormal(eye_, pp.x, pp.y);
  a->thicknessUm = static_cast<float>(t);
  AddSegment(a, oplB, oplP, stroma, muStroma, nc.group, &transmission);
  const Vec3 np = Detail::SurfaceNormal(eye_, Surface::Posterior, pp.x, pp.y);
  const double thetaP = Detail::IncidenceAngle(d, np);
  AddPeak(a, oplP,
          BoundaryAmplitude(render_.posteriorPeakLevel, thetaP, render_.specularPeakLevel - 100.0),
          transmission);
  const MediumIndex& nq = eye_.aqueous;
  if (peaksOnly) {  // below the cornea the same scattering, continuous across the surface
    AddSegment(a, oplP, oplEnd, stroma, muStroma, nc.group, &transmission);
    return;
  }
  if (!Detail::Refract(&d, np, nc.phase, nq.phase)) return;

  // Aqueous: the iris in front of the lens, the lens through the pupil.
  const double tI = Detail::IntersectRay(eye_, Surface::IrisFront, pp, d, 1e-6, 8.0);
  bool iris = false;
  if (tI > 0.0) {
    const Vec3 pi = pp + tI * d;
    iris = SurfaceCovers(eye_, Surface::IrisFront, pi.x, pi.y);
  }
  if (iris) {
    const Vec3 pi = pp + tI * d;
    const double oplI = oplP + nq.group * tI;
    a->irisLens = TruthSample(oplI);
    const double thetaI =
        Detail::IncidenceAngle(d, Detail::SurfaceNormal(eye_, Surface::IrisFront, pi.x, pi.y));
    AddPeak(a, oplI, BoundaryAmplitude(render_.irisPeakLevel, thetaI, -400.0), transmission);
    const double tBack = Detail::IntersectRay(eye_, Surface::IrisBack, pi, d, 0.0, 2.0);
    const double oplBack = oplI + nq.group * (tBack > 0.0 ? tBack : eye_.irisThicknessMm);
    AddSegment(a, oplI, oplBack, iris_, kMuIris, nq.group, &transmission);
    AddSegment(a, oplBack, oplBack + nq.group * kIrisPigmentMm, pigment_, 40.0, nq.group,
               &transmission);
    return;
  }
  const double tL = Detail::IntersectRay(eye_, Surface::Lens, pp, d, 1e-6, 8.0);
  if (tL < 0.0) return;
  const Vec3 pl = pp + tL * d;
  if (!SurfaceCovers(eye_, Surface::Lens, pl.x, pl.y)) return;
  const double oplL = oplP + nq.group * tL;
  a->irisLens = TruthSample(oplL);
  const double thetaL =
      Detail::IncidenceAngle(d, Detail::SurfaceNormal(eye_, Surface::Lens, pl.x, pl.y));
  AddPeak(a, oplL, BoundaryAmplitude(render_.lensPeakLevel, thetaL, -400.0), transmission);
  AddSegment(a, oplL, oplEnd, lens_, kMuLens, eye_.lens.group, &transmission);
}

// Gaussian kernel exp(-t²/(2σ²)) of radius ceil(3σ) (at least 1), normalised to unit sum.
std::vector<float> GaussianKernel(double sigma) {
  const int radius = std::max(1, static_cast<int>(std::ceil(3.0 * sigma)));
  std::vector<float> k(2 * radius + 1);
  double sum = 0.0;
  for (int t = -radius; t <= radius; ++t) {
    const double v = sigma > 1e-3 ? std::exp(-0.5 * t * t / (sigma * sigma)) : (t == 0 ? 1.0 : 0.0);
    k[t + radius] = static_cast<float>(v);
    sum += v;
  }
  for (float& v : k) v = static_cast<float>(v / sum);
  return k;
}

double SumOfSquares(const std::vector<float>& k) {
  double s = 0.0;
  for (float v : k) s += static_cast<double>(v) * v;
  return s;
}

BscanGeometry GeometryOf(const ScanProtocol& p, int b, const double motion[3]) {
  BscanGeometry g;
  g.angleDeg =
      p.type == ScanType::Radial ? p.firstAngleDeg + b * 180.0 / p.numBscans : p.firstAngleDeg;
  const double c = std::cos(g.angleDeg * kDeg), s = std::sin(g.angleDeg * kDeg);
  g.ex = c;
  g.ey = -s;
  auto blend = [&](const double v[2]) {
    return std::sqrt(v[0] * v[0] * c * c + v[1] * v[1] * s * s);
  };
  g.halfLength = blend(p.halfFieldMm);
  g.halfAngle = blend(p.halfTelecentricityDeg) * kDeg;
  g.sag = blend(p.scanSagMm);
  g.eyeOffset = {p.eyeXMm + motion[0], p.eyeYMm + motion[1], p.apexDepthMm + motion[2]};
  g.tilted = p.eyeTiltDeg[0] != 0.0 || p.eyeTiltDeg[1] != 0.0;
  g.cosX = std::cos(p.eyeTiltDeg[0] * kDeg);
  g.sinX = std::sin(p.eyeTiltDeg[0] * kDeg);
  g.cosY = std::cos(p.eyeTiltDeg[1] * kDeg);
  g.sinY = std::sin(p.eyeTiltDeg[1] * kDeg);
  return g;
}

// Renders B-scan b into out (bscanWidth A-scans of ascanLength bytes) and fills its truth.
class BscanRenderer {
 public:
  BscanRenderer(const ModelEye& eye, const ScanProtocol& p, const RenderSettings& r)
      : eye_(eye), p_(p), r_(r), tracer_(eye, p, r), W_(p.bscanWidth), L_(p.ascanLength) {
    const double pitchUm = 1000.0 * p.scanDepthMm / L_;
    axialSigma_ = r.axialResolutionUm / (2.0 * std::sqrt(2.0 * std::log(2.0))) / pitchUm;
    axial_ = GaussianKernel(axialSigma_);
    re_.assign(static_cast<size_t>(W_) * L_, 0.0f);
    im_.assign(static_cast<size_t>(W_) * L_, 0.0f);
    rho_.assign(L_, 0.0f);
    const int pad = static_cast<int>(axial_.size()) / 2;
    sr_.assign(L_ + 2 * pad, 0.0f);
    si_.assign(L_ + 2 * pad, 0.0f);
    colRe_.assign(L_, 0.0f);
    colIm_.assign(L_, 0.0f);
    signal_.assign(L_, 0.0f);
    roll_.resize(L_);
    for (int k = 0; k < L_; ++k) {
      const double z = static_cast<double>(k) / L_;
      roll_[k] = static_cast<float>(std::pow(10.0, -r.rollOffDb / 10.0 * z * z));
    }
    noisePower_ = r.noise ? PowerOfLevel(r.noiseLevel + kSpeckleLogBias) : 0.0;
    mirrorGain_ = std::pow(10.0, -r.mirrorAttenuationDb / 20.0);
    fold_ = r.mirrorFoldSample >= 0 ? r.mirrorFoldSample : L_ / 2 - 20;
  }

  void Render(int b, const double motion[3], std::uint64_t seed, std::uint8_t* out,
              BscanTruth* truth);

 private:
  void FillColumn(const AscanTrace& a, Detail::Xoshiro256* rng, float* re, float* im);

  // Where the mirror image places a surface at image position z: 2·fold - z, or -1 when the
  // surface is missing or folds outside the image.
  float FoldedPosition(float z) const {
    if (z < 0.0f) return -1.0f;
    const double m = 2.0 * fold_ - z;
    return m >= 0.0 && m <= L_ - 1 ? static_cast<float>(m) : -1.0f;
  }

  const ModelEye& eye_;
  const ScanProtocol& p_;
  const RenderSettings& r_;
  Tracer tracer_;
  int W_, L_;
  double axialSigma_;
  std::vector<float> axial_;
  std::vector<float> re_, im_, rho_, sr_, si_, colRe_, colIm_, signal_, roll_;
  double noisePower_, mirrorGain_;
  int fold_;
  float speckleScale_ = 1.0f;
};

void BscanRenderer::FillColumn(const AscanTrace& a, Detail::Xoshiro256* rng, float* re, float* im) {
  std::fill(rho_.begin(), rho_.end(), 0.0f);
  for (int s = 0; s < a.numSegments; ++s) {
    const Segment& g = a.segments[s];
    const int k0 = std::max(0, static_cast<int>(std::floor(g.start + 0.5f)));
    const int k1 = std::min(L_ - 1, static_cast<int>(std::floor(g.end + 0.5f)));
    float atten = g.power * std::pow(g.decay, std::max(0.0f, static_cast<float>(k0) - g.start));
    for (int k = k0; k <= k1; ++k) {
      // Fraction of sample k's cell [k - 0.5, k + 0.5) inside the segment.
      const float lo = std::max(static_cast<float>(k) - 0.5f, g.start);
      const float hi = std::min(static_cast<float>(k) + 0.5f, g.end);
      if (hi > lo) rho_[k] += atten * (hi - lo);
      atten *= g.decay;
    }
  }
  const int pad = static_cast<int>(axial_.size()) / 2;
  float* sr = sr_.data() + pad;
  float* si = si_.data() + pad;
  if (r_.speckle) {
    const float scale = speckleScale_;
    for (int k = 0; k < L_; ++k) {
      if (rho_[k] > 0.0f) {
        const float amp = std::sqrt(rho_[k]) * scale;
        sr[k] = amp * rng->Normal();
        si[k] = amp * rng->Normal();
      } else {
        sr[k] = si[k] = 0.0f;
      }
    }
  } else {
    for (int k = 0; k < L_; ++k) {
      sr[k] = std::sqrt(rho_[k]);
      si[k] = 0.0f;
    }
  }
  // Axial point-spread function.
  std::fill(re, re + L_, 0.0f);
  std::fill(im, im + L_, 0.0f);
  for (int t = -pad; t <= pad; ++t) {
    const float w = axial_[t + pad];
    const float* a0 = sr + t;
    const float* b0 = si + t;
    for (int k = 0; k < L_; ++k) {
      re[k] += w * a0[k];
      im[k] += w * b0[k];
    }
  }
  // Boundary reflections at their exact positions.
  const double inv2s2 = 0.5 / (axialSigma_ * axialSigma_);
  const int reach = static_cast<int>(std::ceil(4.0 * axialSigma_)) + 1;
  for (int q = 0; q < a.numPeaks; ++q) {
    const Peak& pk = a.peaks[q];
    const int c = static_cast<int>(std::floor(pk.position));
    for (int k = std::max(0, c - reach); k <= std::min(L_ - 1, c + reach); ++k) {
      const double dz = k - pk.position;
      re[k] += static_cast<float>(pk.amplitude * std::exp(-dz * dz * inv2s2));
    }
  }
}

void BscanRenderer::Render(int b, const double motion[3], std::uint64_t seed, std::uint8_t* out,
                           BscanTruth* truth) {
  const BscanGeometry g = GeometryOf(p_, b, motion);
  std::uint64_t s = seed ^ (0xD1B54A32D192ED03ull * static_cast<std::uint64_t>(b + 1));
  Detail::Xoshiro256 rng(Detail::SplitMix64(&s));

  truth->angleDeg = g.angleDeg;
  truth->halfLengthMm = g.halfLength;
  truth->halfTelecentricityDeg = g.halfAngle / kDeg;
  truth->scanSagMm = g.sag;
  for (int i = 0; i < 3; ++i) {
    truth->motionMm[i] = motion[i];
    truth->motionCorrectionUm[i] = -1000.0 * motion[i];
  }
  for (std::vector<float>* v :
       {&truth->anterior, &truth->bowman, &truth->posterior, &truth->irisLens, &truth->thicknessUm,
        &truth->incidenceDeg, &truth->mirrorAnterior, &truth->mirrorPosterior})
    v->assign(W_, -1.0f);
  truth->mirrorFoldSample = r_.mirrorImage ? fold_ : -1;
  for (std::vector<float>* v : {&truth->anteriorX, &truth->anteriorY, &truth->anteriorZ,
                                &truth->posteriorX, &truth->posteriorY, &truth->posteriorZ})
    v->assign(W_, 0.0f);
  std::vector<float> streak(W_, 0.0f);
  // Lateral amplitude PSF across A-scans of this B-scan's spacing. Speckle scatterers are scaled
  // so that the axial and lateral convolutions keep their mean power; the deterministic levels and
  // reflections pass the unit-sum kernels unchanged.
  const double spacingUm = W_ > 1 ? 2000.0 * g.halfLength / (W_ - 1) : 1.0;
  const double lateralSigma =
      r_.lateralResolutionUm / (2.0 * std::sqrt(2.0 * std::log(2.0))) / spacingUm;
  const std::vector<float> lateral =
      lateralSigma < 0.25 ? std::vector<float>{1.0f} : GaussianKernel(lateralSigma);
  speckleScale_ =
      static_cast<float>(1.0 / std::sqrt(2.0 * SumOfSquares(axial_) * SumOfSquares(lateral)));

  for (int j = 0; j < W_; ++j) {
    AscanTrace a;
    tracer_.Trace(g, j, W_, &a);
    truth->anterior[j] = a.anterior;
    truth->bowman[j] = a.bowman;
    truth->posterior[j] = a.posterior;
    truth->irisLens[j] = a.irisLens;
    if (r_.mirrorImage) {
      truth->mirrorAnterior[j] = FoldedPosition(a.anterior);
      truth->mirrorPosterior[j] = FoldedPosition(a.posterior);
    }
    truth->thicknessUm[j] = a.thicknessUm;
    truth->incidenceDeg[j] = a.incidenceDeg;
    if (a.incidenceDeg >= 0.0f) {
      truth->anteriorX[j] = static_cast<float>(a.anteriorPoint.x);
      truth->anteriorY[j] = static_cast<float>(a.anteriorPoint.y);
      truth->anteriorZ[j] = static_cast<float>(a.anteriorPoint.z);
    }
    if (a.thicknessUm >= 0.0f || a.posterior >= 0.0f) {
      truth->posteriorX[j] = static_cast<float>(a.posteriorPoint.x);
      truth->posteriorY[j] = static_cast<float>(a.posteriorPoint.y);
      truth->posteriorZ[j] = static_cast<float>(a.posteriorPoint.z);
    }
    streak[j] = a.streakPower;
    const size_t off = static_cast<size_t>(j) * L_;
    FillColumn(a, &rng, re_.data() + off, im_.data() + off);
  }

  // Specular streak range: incidence within 2.5 lobe widths; centre from the V-shaped minimum.
  truth->specularFirst = truth->specularLast = -1;
  truth->specularCentre = -1.0;
  if (r_.specular) {
    const float limit = static_cast<float>(2.5 * r_.specularWidthDeg);
    int best = -1;
    for (int j = 0; j < W_; ++j) {
      const float th = truth->incidenceDeg[j];
      if (th < 0.0f) continue;
      if (best < 0 || th < truth->incidenceDeg[best]) best = j;
      if (th <= limit) {
        if (truth->specularFirst < 0) truth->specularFirst = j;
        truth->specularLast = j;
      }
    }
    if (truth->specularFirst >= 0) {
      double c = best;
      if (best > 0 && best < W_ - 1 && truth->incidenceDeg[best - 1] >= 0.0f &&
          truth->incidenceDeg[best + 1] >= 0.0f) {
        const double lft = truth->incidenceDeg[best - 1], rgt = truth->incidenceDeg[best + 1];
        c = best + (lft - rgt) / (lft + rgt);
      }
      truth->specularCentre = c;
    }
  }

  // Lateral point-spread function, intensity, roll-off, streak, mirror, noise, compression.
  const int lr = static_cast<int>(lateral.size()) / 2;
  const float noise = static_cast<float>(noisePower_ * 0.5);
  for (int j = 0; j < W_; ++j) {
    std::fill(colRe_.begin(), colRe_.end(), 0.0f);
    std::fill(colIm_.begin(), colIm_.end(), 0.0f);
    for (int t = -lr; t <= lr; ++t) {
      const int jj = std::min(W_ - 1, std::max(0, j + t));
      const float w = lateral[t + lr];
      const float* a0 = re_.data() + static_cast<size_t>(jj) * L_;
      const float* b0 = im_.data() + static_cast<size_t>(jj) * L_;
      for (int k = 0; k < L_; ++k) {
        colRe_[k] += w * a0[k];
        colIm_[k] += w * b0[k];
      }
    }
    const float st = streak[j];
    for (int k = 0; k < L_; ++k)
      signal_[k] = (colRe_[k] * colRe_[k] + colIm_[k] * colIm_[k]) * roll_[k];
    if (st > 1.0f) {
      // The streak of the saturated detector: grainy (exponential intensity) when noise is on.
      for (int k = 0; k < L_; ++k) {
        float grain = 1.0f;
        if (noise > 0.0f) {
          const float n1 = rng.Normal(), n2 = rng.Normal();
          grain = 0.5f * (n1 * n1 + n2 * n2);
        }
        signal_[k] += st * grain * roll_[k];
      }
    }
    std::uint8_t* o = out + static_cast<size_t>(j) * L_;
    const float mg = static_cast<float>(mirrorGain_);
    for (int k = 0; k < L_; ++k) {
      float v = signal_[k];
      if (r_.mirrorImage) {
        const int m = 2 * fold_ - k;
        if (m >= 0 && m < L_) v += mg * signal_[m];
      }
      if (noise > 0.0f) {
        const float n1 = rng.Normal(), n2 = rng.Normal();
        v += noise * (n1 * n1 + n2 * n2);
      }
      const float grey = GreyOfIntensity(v) + 0.5f;
      o[k] = static_cast<std::uint8_t>(
          grey >= 255.0f ? 255 : (grey <= 0.0f ? 0 : static_cast<int>(grey)));
    }
  }
}

}  // namespace

ScanProtocol RadialProtocol(int meridians, int bscanWidth, int ascanLength) {
  ScanProtocol p;
  p.type = ScanType::Radial;
  p.numBscans = meridians;
  p.bscanWidth = bscanWidth;
  p.ascanLength = ascanLength;
  return p;
}

ScanProtocol LineProtocol(double angleDeg, int bscanWidth, int ascanLength) {
  ScanProtocol p = RadialProtocol(1, bscanWidth, ascanLength);
  p.type = ScanType::Line;
  p.firstAngleDeg = angleDeg;
  return p;
}

ScanProtocol WideFieldProtocol(double angleDeg, int bscanWidth, int ascanLength) {
  ScanProtocol p = LineProtocol(angleDeg, bscanWidth, ascanLength);
  p.type = ScanType::WideField;
  p.halfFieldMm[0] = p.halfFieldMm[1] = 8.0;
  p.halfTelecentricityDeg[0] = p.halfTelecentricityDeg[1] = 4.0;
  p.scanDepthMm = 7.0;
  p.apexDepthMm = 0.4;
  return p;
}

RenderSettings WideFieldRendering() {
  RenderSettings r;
  r.mirrorImage = true;
  r.axialResolutionUm = 10.0;
  r.lateralResolutionUm = 30.0;
  r.rollOffDb = 8.0;
  r.mirrorAttenuationDb = 28.0;
  return r;
}

SimulatedScan SimulateScan(const ModelEye& eye, const ScanProtocol& protocol,
                           const RenderSettings& render, std::uint64_t seed, int mapWidth) {
  if (protocol.bscanWidth < 2 || protocol.ascanLength < 2 || protocol.bscanWidth > 8192 ||
      protocol.ascanLength > 8192 || protocol.numBscans < 1 || protocol.numBscans > 8192 ||
      !(protocol.scanDepthMm > 0.0))
    throw std::invalid_argument("Synthetic eye: invalid scan size.");
  if (!protocol.motionMm.empty() &&
      protocol.motionMm.size() != static_cast<size_t>(3 * protocol.numBscans))
    throw std::invalid_argument("Synthetic eye: motion needs three values per B-scan.");
  SimulatedScan scan;
  scan.numBscans = protocol.numBscans;
  scan.bscanWidth = protocol.bscanWidth;
  scan.ascanLength = protocol.ascanLength;
  const size_t bscanBytes = static_cast<size_t>(protocol.bscanWidth) * protocol.ascanLength;
  scan.volume.assign(bscanBytes * protocol.numBscans, 0);
  scan.truth.bscans.resize(protocol.numBscans);

  // Eye motion: given, or drawn from its own stream so that it does not depend on the rendering.
  std::uint64_t ms = seed ^ 0x6A09E667F3BCC909ull;
  Detail::Xoshiro256 motionRng(Detail::SplitMix64(&ms));
  BscanRenderer renderer(eye, protocol, render);
  for (int b = 0; b < protocol.numBscans; ++b) {
    double motion[3] = {0, 0, 0};
    if (!protocol.motionMm.empty()) {
      for (int i = 0; i < 3; ++i) motion[i] = protocol.motionMm[3 * b + i];
    } else if (b > 0) {
      motion[0] = protocol.randomMotionLateralMm * (2.0 * motionRng.Uniform() - 1.0);
      motion[1] = protocol.randomMotionLateralMm * (2.0 * motionRng.Uniform() - 1.0);
      motion[2] = protocol.randomMotionAxialMm * (2.0 * motionRng.Uniform() - 1.0);
    }
    renderer.Render(b, motion, seed, scan.volume.data() + bscanBytes * b, &scan.truth.bscans[b]);
  }
  const double half =
      std::min(std::max(protocol.halfFieldMm[0], protocol.halfFieldMm[1]), eye.limbusRadiusMm);
  if (mapWidth >= 2) {
    scan.truth.pachymetry = PachymetryMap(eye, mapWidth, 2.0 * half);
    scan.truth.epithelium = EpitheliumMap(eye, mapWidth, 2.0 * half);
  }
  scan.truth.power = ComputeCornealPower(eye);
  if (protocol.type == ScanType::Radial) {
    std::vector<double> angles;
    for (const BscanTruth& t : scan.truth.bscans) angles.push_back(t.angleDeg);
    scan.truth.fitPower = ComputeMeridianFitPower(eye, angles, kFitPowerZoneRadiusMm);
  }
  scan.truth.vertex = ComputeVertexTruth(eye, protocol);
  return scan;
}

std::vector<RepeatScan> SimulateRepeatScans(const ModelEye& eye, const ScanProtocol& protocol,
                                            const RenderSettings& render,
                                            const RepeatSettings& repeat, std::uint64_t seed,
                                            int mapWidth) {
  if (repeat.repeats < 1 || repeat.repeats > 64 || !(repeat.maxShiftUm >= 0.0) ||
      !(repeat.maxTiltDeg >= 0.0))
    throw std::invalid_argument("Synthetic eye: invalid repeat settings.");
  std::uint64_t state = seed ^ 0xBB67AE8584CAA73Bull;
  Detail::Xoshiro256 rng(Detail::SplitMix64(&state));
  std::vector<RepeatScan> out(repeat.repeats);
  for (RepeatScan& r : out) {
    r.seed = rng.Next();
    const double radius = repeat.maxShiftUm * std::sqrt(rng.Uniform());
    const double angle = 2.0 * kPi * rng.Uniform();
    r.shiftUm[0] = radius * std::cos(angle);
    r.shiftUm[1] = radius * std::sin(angle);
    for (double& t : r.tiltDeg) t = repeat.maxTiltDeg * (2.0 * rng.Uniform() - 1.0);
    r.protocol = protocol;
    r.protocol.eyeXMm += 1e-3 * r.shiftUm[0];
    r.protocol.eyeYMm += 1e-3 * r.shiftUm[1];
    r.protocol.eyeTiltDeg[0] += r.tiltDeg[0];
    r.protocol.eyeTiltDeg[1] += r.tiltDeg[1];
    r.scan = SimulateScan(eye, r.protocol, render, r.seed, mapWidth);
  }
  return out;
}

SimulatedScan SimulateGullstrandRadialScan(int meridians, int bscanWidth, int ascanLength,
                                           std::uint64_t seed) {
  return SimulateScan(GullstrandEye(), RadialProtocol(meridians, bscanWidth, ascanLength),
                      RenderSettings(), seed);
}

}  // namespace Synthetic
}  // namespace Talvex
