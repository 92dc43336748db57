// Real and complex discrete Fourier transforms of any length (see TalvexFft.h).
//
// Layout of the work: the complex samples are split into a row of real parts and a row of
// imaginary parts, so that every butterfly stage is a plain loop over contiguous floats that the
// compiler turns into vector code. A transform of length N = P1 * P2 * ... runs one self-sorting
// (Stockham) stage per factor, reading one pair of rows and writing the other, so no
// bit-reversal pass is needed and the result comes out in natural order.
//
// Stage of radix P on sub-transforms of length L = P * m with stride s (s * L = N): element i of
// sub-sequence q (0 <= q < s) is at q + s*i. For every j < m and q < s the stage takes
// a_r = x[q + s*(j + r*m)], r < P, forms b_t = sum_r a_r * exp(-2*pi*i*r*t/P), multiplies b_t by
// the twiddle exp(-2*pi*i*j*t/L) and stores it at y[q + s*(P*j + t)]. The next stage works on
// sub-transforms of length m with stride s*P; after the last stage bin k of the whole transform
// sits at position k.
#include "platform/signal/TalvexFft.h"

#include <cmath>
#include <complex>
#include <cstddef>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "platform/AlignedStorage.h"

namespace Talvex::Platform {
namespace {

namespace Storage = Talvex::Platform::Detail;

constexpr double kPi = 3.14159265358979323846264338327950288;

// Longest transform that can be set up: 2^27 samples (Bluestein's padded length stays below 2^29).
constexpr int kMaxOrder = 27;
constexpr int kMaxLength = 1 << kMaxOrder;

// Odd primes below this bound get a direct butterfly stage; a length with a larger prime factor
// goes through Bluestein's chirp convolution, which is cheaper than an O(P^2) butterfly there.
constexpr int kMaxDirectPrime = 64;

struct BlockRelease {
  void operator()(float* block) const noexcept { Storage::Release(block); }
};
// 64-byte aligned, zero-filled float row.
using FloatBlock = std::unique_ptr<float[], BlockRelease>;

FloatBlock MakeBlock(long long count) { return FloatBlock(Storage::AllocateZeroed<float>(count)); }

// ---------------------------------------------------------------------------------------------
// Butterflies: in-place forward DFT of P values held in r[] (real) and i[] (imaginary).
// ---------------------------------------------------------------------------------------------

template <int P>
inline void Butterfly(float* r, float* i);

template <>
inline void Butterfly<2>(float* r, float* i) {
  const float r0 = r[0], i0 = i[0];
  r[0] = r0 + r[1];
  i[0] = i0 + i[1];
  r[1] = r0 - r[1];
  i[1] = i0 - i[1];
}

template <>
inline void Butterfly<3>(float* r, float* i) {
  constexpr float kS = 0.866025403784438646763723170752936f;  // sin(2*pi/3)
  const float ur = r[1] + r[2], ui = i[1] + i[2];
  const float vr = r[1] - r[2], vi = i[1] - i[2];
  const float ar = r[0] - 0.5f * ur, ai = i[0] - 0.5f * ui;
  r[0] += ur;
  i[0] += ui;
  r[1] = ar + kS * vi;
  i[1] = ai - kS * vr;
  r[2] = ar - kS * vi;
  i[2] = ai + kS * vr;
}

template <>
inline void Butterfly<4>(float* r, float* i) {
  const float s02r = r[0] + r[2], s02i = i[0] + i[2];
  const float d02r = r[0] - r[2], d02i = i[0] - i[2];
  const float s13r = r[1] + r[3], s13i = i[1] + i[3];
  const float d13r = r[1] - r[3], d13i = i[1] - i[3];
  r[0] = s02r + s13r;
  i[0] = s02i + s13i;
  r[2] = s02r - s13r;
  i[2] = s02i - s13i;
  r[1] = d02r + d13i;  // (a0 - a2) - i (a1 - a3)
  i[1] = d02i - d13r;
  r[3] = d02r - d13i;  // (a0 - a2) + i (a1 - a3)
  i[3] = d02i + d13r;
}

template <>
inline void Butterfly<5>(float* r, float* i) {
  constexpr float kC1 = 0.309016994374947424102293417182819f;   // cos(2*pi/5)
  constexpr float kC2 = -0.809016994374947424102293417182819f;  // cos(4*pi/5)
  constexpr float kS1 = 0.951056516295153572116439333379382f;   // sin(2*pi/5)
  constexpr float kS2 = 0.587785252292473129168705954639073f;   // sin(4*pi/5)
  const float u1r = r[1] + r[4], u1i = i[1] + i[4], v1r = r[1] - r[4], v1i = i[1] - i[4];
  const float u2r = r[2] + r[3], u2i = i[2] + i[3], v2r = r[2] - r[3], v2i = i[2] - i[3];
  const float a1r = r[0] + kC1 * u1r + kC2 * u2r, a1i = i[0] + kC1 * u1i + kC2 * u2i;
  const float a2r = r[0] + kC2 * u1r + kC1 * u2r, a2i = i[0] + kC2 * u1i + kC1 * u2i;
  const float b1r = kS1 * v1r + kS2 * v2r, b1i = kS1 * v1i + kS2 * v2i;
  const float b2r = kS2 * v1r - kS1 * v2r, b2i = kS2 * v1i - kS1 * v2i;
  r[0] += u1r + u2r;
  i[0] += u1i + u2i;
  r[1] = a1r + b1i;  // A1 - i B1
  i[1] = a1i - b1r;
  r[4] = a1r - b1i;  // A1 + i B1
  i[4] = a1i + b1r;
  r[2] = a2r + b2i;
  i[2] = a2i - b2r;
  r[3] = a2r - b2i;
  i[3] = a2i + b2r;
}

// ---------------------------------------------------------------------------------------------
// Stages
// ---------------------------------------------------------------------------------------------

// First stage (stride 1): the loop runs over j; inputs and twiddles are contiguous in j.
// Twiddle of output t at j: (wr, wi)[(t-1)*m + j].
template <int P>
void StageFirst(int m, const float* __restrict xr, const float* __restrict xi, float* __restrict yr,
                float* __restrict yi, const float* __restrict wr, const float* __restrict wi) {
  for (int j = 0; j < m; ++j) {
    float r[P], im[P];
    for (int k = 0; k < P; ++k) {
      r[k] = xr[j + k * m];
      im[k] = xi[j + k * m];
    }
    Butterfly<P>(r, im);
    yr[P * j] = r[0];
    yi[P * j] = im[0];
    for (int t = 1; t < P; ++t) {
      const float c = wr[(t - 1) * m + j], d = wi[(t - 1) * m + j];
      yr[P * j + t] = r[t] * c - im[t] * d;
      yi[P * j + t] = r[t] * d + im[t] * c;
    }
  }
}

// One column group of a later stage: s contiguous butterflies sharing the twiddles (c, d).
// Input r of butterfly q at x[q + r*sm], output t at y[q + t*s].
template <int P, bool kTwiddle>
inline void StageColumns(int s, int sm, const float* __restrict xr, const float* __restrict xi,
                         float* __restrict yr, float* __restrict yi, const float* c,
                         const float* d) {
  for (int q = 0; q < s; ++q) {
    float r[P], im[P];
    for (int k = 0; k < P; ++k) {
      r[k] = xr[q + k * sm];
      im[k] = xi[q + k * sm];
    }
    Butterfly<P>(r, im);
    yr[q] = r[0];
    yi[q] = im[0];
    for (int t = 1; t < P; ++t) {
      if (kTwiddle) {
        yr[q + t * s] = r[t] * c[t] - im[t] * d[t];
        yi[q + t * s] = r[t] * d[t] + im[t] * c[t];
      } else {
        yr[q + t * s] = r[t];
        yi[q + t * s] = im[t];
      }
    }
  }
}

// Later stage (stride s > 1): the inner loop runs over q, contiguous in memory. The last stage
// (m == 1) has only unit twiddles and skips the products.
template <int P>
void StageStrided(int m, int s, const float* xr, const float* xi, float* yr, float* yi,
                  const float* wr, const float* wi) {
  const int sm = s * m;
  if (m == 1) {
    StageColumns<P, false>(s, sm, xr, xi, yr, yi, nullptr, nullptr);
    return;
  }
  for (int j = 0; j < m; ++j) {
    float c[P], d[P];
    for (int t = 1; t < P; ++t) {
      c[t] = wr[(t - 1) * m + j];
      d[t] = wi[(t - 1) * m + j];
    }
    StageColumns<P, true>(s, sm, xr + s * j, xi + s * j, yr + s * P * j, yi + s * P * j, c, d);
  }
}

// Stage of an odd prime radix p (7 <= p < kMaxDirectPrime) by the symmetric direct DFT:
// with u_r = a_r + a_(p-r), v_r = a_r - a_(p-r) and theta = 2*pi*r*t/p,
// b_t = A_t - i B_t, b_(p-t) = A_t + i B_t, A_t = a_0 + sum_r u_r cos(theta),
// B_t = sum_r v_r sin(theta), r = 1..(p-1)/2.
void StageOddPrime(int p, int m, int s, const float* __restrict xr, const float* __restrict xi,
                   float* __restrict yr, float* __restrict yi, const float* __restrict wr,
                   const float* __restrict wi, const float* __restrict cosine,
                   const float* __restrict sine) {
  const int half = (p - 1) / 2;
  float ar[kMaxDirectPrime], ai[kMaxDirectPrime];
  float ur[kMaxDirectPrime / 2], ui[kMaxDirectPrime / 2];
  float vr[kMaxDirectPrime / 2], vi[kMaxDirectPrime / 2];
  for (int j = 0; j < m; ++j) {
    for (int q = 0; q < s; ++q) {
      for (int k = 0; k < p; ++k) {
        ar[k] = xr[q + s * (j + k * m)];
        ai[k] = xi[q + s * (j + k * m)];
      }
      float sumr = ar[0], sumi = ai[0];
      for (int r = 1; r <= half; ++r) {
        ur[r] = ar[r] + ar[p - r];
        ui[r] = ai[r] + ai[p - r];
        vr[r] = ar[r] - ar[p - r];
        vi[r] = ai[r] - ai[p - r];
        sumr += ur[r];
        sumi += ui[r];
      }
      float* outr = yr + q + s * p * j;
      float* outi = yi + q + s * p * j;
      outr[0] = sumr;
      outi[0] = sumi;
      for (int t = 1; t <= half; ++t) {
        float Ar = ar[0], Ai = ai[0], Br = 0.0f, Bi = 0.0f;
        int index = 0;
        for (int r = 1; r <= half; ++r) {
          index += t;
          if (index >= p) index -= p;
          Ar += ur[r] * cosine[index];
          Ai += ui[r] * cosine[index];
          Br += vr[r] * sine[index];
          Bi += vi[r] * sine[index];
        }
        const int t2 = p - t;
        const float lr = Ar + Bi, li = Ai - Br;  // b_t
        const float hr = Ar - Bi, hi = Ai + Br;  // b_(p-t)
        const float c1 = wr[(t - 1) * m + j], d1 = wi[(t - 1) * m + j];
        const float c2 = wr[(t2 - 1) * m + j], d2 = wi[(t2 - 1) * m + j];
        outr[s * t] = lr * c1 - li * d1;
        outi[s * t] = lr * d1 + li * c1;
        outr[s * t2] = hr * c2 - hi * d2;
        outi[s * t2] = hr * d2 + hi * c2;
      }
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Plan of one mixed-radix transform (forward, unscaled) on caller-supplied row pairs.
// ---------------------------------------------------------------------------------------------

struct Stage {
  int radix;
  int m;               // sub-transform length after this stage
  int s;               // stride (product of the radices before this stage)
  long long twiddles;  // offset of this stage's (radix-1)*m twiddles in the tables
  long long roots;     // offset of cos/sin(2*pi*k/radix), k < radix (odd prime stages only)
};

class RadixPlan {
 public:
  // Factors n into 4, 2, 3, 5 and odd primes below kMaxDirectPrime. Returns false (and builds
  // nothing) when n has a larger prime factor.
  bool Build(int n) {
    std::vector<int> radices;
    int rest = n;
    while (rest % 4 == 0) {
      radices.push_back(4);
      rest /= 4;
    }
    if (rest % 2 == 0) {
      radices.push_back(2);
      rest /= 2;
    }
    for (int p = 3; p < kMaxDirectPrime && rest > 1; p += 2) {
      while (rest % p == 0) {
        radices.push_back(p);
        rest /= p;
      }
    }
    if (rest != 1) return false;

    long long tableSize = 0;
    int length = n, stride = 1;
    for (int p : radices) {
      const int m = length / p;
      Stage stage{p, m, stride, tableSize, 0};
      tableSize += static_cast<long long>(p - 1) * m;
      if (p > 5) {
        stage.roots = tableSize;
        tableSize += p;
      }
      stages_.push_back(stage);
      length = m;
      stride *= p;
    }
    twiddleRe_ = MakeBlock(tableSize);
    twiddleIm_ = MakeBlock(tableSize);
    length = n;
    for (const Stage& stage : stages_) {
      // exp(-2*pi*i*j*t/L) with the product j*t reduced modulo L exactly, angle in double.
      for (int t = 1; t < stage.radix; ++t) {
        for (int j = 0; j < stage.m; ++j) {
          const long long e = static_cast<long long>(j) * t % length;
          const double angle = -2.0 * kPi * static_cast<double>(e) / length;
          const long long at = stage.twiddles + static_cast<long long>(t - 1) * stage.m + j;
          twiddleRe_[at] = static_cast<float>(std::cos(angle));
          twiddleIm_[at] = static_cast<float>(std::sin(angle));
        }
      }
      if (stage.radix > 5) {
        for (int k = 0; k < stage.radix; ++k) {
          const double angle = 2.0 * kPi * k / stage.radix;
          twiddleRe_[stage.roots + k] = static_cast<float>(std::cos(angle));
          twiddleIm_[stage.roots + k] = static_cast<float>(std::sin(angle));
        }
      }
      length = stage.m;
    }
    return true;
  }

  // Transforms the rows (ar, ai) using (br, bi) as the second pair; returns true when the result
  // ended in (br, bi), false when it is in (ar, ai).
  bool Run(float* ar, float* ai, float* br, float* bi) const {
    bool inB = false;
    for (const Stage& stage : stages_) {
      const float* xr = inB ? br : ar;
      const float* xi = inB ? bi : ai;
      float* yr = inB ? ar : br;
      float* yi = inB ? ai : bi;
      const float* wr = twiddleRe_.get() + stage.twiddles;
      const float* wi = twiddleIm_.get() + stage.twiddles;
      RunStage(stage, xr, xi, yr, yi, wr, wi);
      inB = !inB;
    }
    return inB;
  }

 private:
  void RunStage(const Stage& stage, const float* xr, const float* xi, float* yr, float* yi,
                const float* wr, const float* wi) const {
    const int m = stage.m, s = stage.s;
    switch (stage.radix) {
      case 2:
        if (s == 1) return StageFirst<2>(m, xr, xi, yr, yi, wr, wi);
        return StageStrided<2>(m, s, xr, xi, yr, yi, wr, wi);
      case 3:
        if (s == 1) return StageFirst<3>(m, xr, xi, yr, yi, wr, wi);
        return StageStrided<3>(m, s, xr, xi, yr, yi, wr, wi);
      case 4:
        if (s == 1) return StageFirst<4>(m, xr, xi, yr, yi, wr, wi);
        return StageStrided<4>(m, s, xr, xi, yr, yi, wr, wi);
      case 5:
        if (s == 1) return StageFirst<5>(m, xr, xi, yr, yi, wr, wi);
        return StageStrided<5>(m, s, xr, xi, yr, yi, wr, wi);
      default:
        return StageOddPrime(stage.radix, m, s, xr, xi, yr, yi, wr, wi,
                             twiddleRe_.get() + stage.roots, twiddleIm_.get() + stage.roots);
    }
  }

  std::vector<Stage> stages_;
  FloatBlock twiddleRe_;
  FloatBlock twiddleIm_;
};

// Forward power-of-two transform in double precision, used once per set-up to compute the
// spectrum of Bluestein's chirp filter accurately.
void ForwardTransformDouble(std::vector<std::complex<double>>& a) {
  const std::size_t n = a.size();
  for (std::size_t i = 1, j = 0; i < n; ++i) {
    std::size_t bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) std::swap(a[i], a[j]);
  }
  std::vector<std::complex<double>> roots(n / 2);
  for (std::size_t k = 0; k < n / 2; ++k) roots[k] = std::polar(1.0, -2.0 * kPi * k / n);
  for (std::size_t len = 2; len <= n; len <<= 1) {
    const std::size_t step = n / len, halfLen = len / 2;
    for (std::size_t i = 0; i < n; i += len) {
      for (std::size_t j = 0; j < halfLen; ++j) {
        const std::complex<double> u = a[i + j], v = a[i + j + halfLen] * roots[j * step];
        a[i + j] = u + v;
        a[i + j + halfLen] = u - v;
      }
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Complex forward transform of any length with its working rows.
// ---------------------------------------------------------------------------------------------

class ComplexCore {
 public:
  // Throws std::bad_alloc when the working memory cannot be allocated.
  void Build(int n) {
    n_ = n;
    bluestein_ = !plan_.Build(n);
    padded_ = n;
    if (bluestein_) {
      // X[k] = w[k] * sum_j (x[j] w[j]) conj(w[k-j]), w[k] = exp(-i*pi*k^2/n): a circular
      // convolution of length padded_ >= 2n-1 done with power-of-two transforms.
      padded_ = 1;
      while (padded_ < 2 * n - 1) padded_ *= 2;
      plan_.Build(padded_);
      chirpRe_ = MakeBlock(n);
      chirpIm_ = MakeBlock(n);
      filterRe_ = MakeBlock(padded_);
      filterIm_ = MakeBlock(padded_);
      std::vector<std::complex<double>> filter(padded_);
      const unsigned long long period = 2ULL * static_cast<unsigned long long>(n);
      for (int k = 0; k < n; ++k) {
        // k^2 reduced modulo 2n exactly, so the angle stays accurate for large k.
        const unsigned long long e = static_cast<unsigned long long>(k) * k % period;
        const double angle = kPi * static_cast<double>(e) / n;
        chirpRe_[k] = static_cast<float>(std::cos(angle));
        chirpIm_[k] = static_cast<float>(-std::sin(angle));
        filter[k] = std::polar(1.0, angle);
        if (k > 0) filter[padded_ - k] = filter[k];
      }
      ForwardTransformDouble(filter);
      // The 1/padded_ of the inverse transform is folded into the filter.
      for (int k = 0; k < padded_; ++k) {
        filterRe_[k] = static_cast<float>(filter[k].real() / padded_);
        filterIm_[k] = static_cast<float>(filter[k].imag() / padded_);
      }
    }
    work_ = MakeBlock(4LL * padded_);
  }

  // Rows that receive the n input samples before Execute.
  float* InRe() const { return work_.get(); }
  float* InIm() const { return work_.get() + padded_; }

  // Forward unscaled transform of the samples in InRe/InIm; outRe/outIm receive the rows that
  // hold the n bins (inside the working memory, valid until the next Execute).
  void Execute(const float** outRe, const float** outIm) const {
    float* ar = work_.get();
    float* ai = ar + padded_;
    float* br = ai + padded_;
    float* bi = br + padded_;
    if (!bluestein_) {
      const bool inB = plan_.Run(ar, ai, br, bi);
      *outRe = inB ? br : ar;
      *outIm = inB ? bi : ai;
      return;
    }
    const int n = n_, len = padded_;
    const float* cr = chirpRe_.get();
    const float* ci = chirpIm_.get();
    for (int k = 0; k < n; ++k) {
      const float xr = ar[k], xi = ai[k];
      ar[k] = xr * cr[k] - xi * ci[k];
      ai[k] = xr * ci[k] + xi * cr[k];
    }
    for (int k = n; k < len; ++k) {
      ar[k] = 0.0f;
      ai[k] = 0.0f;
    }
    bool inB = plan_.Run(ar, ai, br, bi);
    // Product with the filter spectrum, conjugated so that the next forward transform acts as
    // the inverse one; written back to (ar, ai), where the next transform starts.
    const float* sr = inB ? br : ar;
    const float* si = inB ? bi : ai;
    const float* fr = filterRe_.get();
    const float* fi = filterIm_.get();
    for (int k = 0; k < len; ++k) {
      const float pr = sr[k] * fr[k] - si[k] * fi[k];
      const float pi = sr[k] * fi[k] + si[k] * fr[k];
      ar[k] = pr;
      ai[k] = -pi;
    }
    inB = plan_.Run(ar, ai, br, bi);
    float* zr = inB ? br : ar;
    float* zi = inB ? bi : ai;
    for (int k = 0; k < n; ++k) {
      const float xr = zr[k], xi = -zi[k];
      zr[k] = xr * cr[k] - xi * ci[k];
      zi[k] = xr * ci[k] + xi * cr[k];
    }
    *outRe = zr;
    *outIm = zi;
  }

 private:
  int n_ = 0;
  int padded_ = 0;
  bool bluestein_ = false;
  RadixPlan plan_;
  FloatBlock chirpRe_, chirpIm_;    // w[k], k < n
  FloatBlock filterRe_, filterIm_;  // spectrum of conj(w) wrapped circularly, divided by padded_
  FloatBlock work_;                 // two pairs of rows of padded_ floats
};

struct Scales {
  float forward;
  float inverse;
};

bool ScalesOf(int flag, int n, Scales* scales) {
  const float byN = static_cast<float>(1.0 / n);
  const float bySqrtN = static_cast<float>(1.0 / std::sqrt(static_cast<double>(n)));
  switch (flag) {
    case IPP_FFT_DIV_FWD_BY_N:
      *scales = {byN, 1.0f};
      return true;
    case IPP_FFT_DIV_INV_BY_N:
      *scales = {1.0f, byN};
      return true;
    case IPP_FFT_DIV_BY_SQRTN:
      *scales = {bySqrtN, bySqrtN};
      return true;
    case IPP_FFT_NODIV_BY_ANY:
      *scales = {1.0f, 1.0f};
      return true;
    default:
      return false;
  }
}

}  // namespace

// Transform of real signals: an even length N runs as a complex transform of N/2 samples
// z[j] = x[2j] + i x[2j+1] followed by the split X[k] = E[k] + exp(-2*pi*i*k/N) O[k] with
// E[k] = (Z[k] + conj(Z[N/2-k]))/2 and O[k] = (Z[k] - conj(Z[N/2-k]))/(2i); an odd length runs
// as a complex transform of N samples with zero imaginary parts.
struct IppsFFTSpec_R_32f {
  int n = 0;
  Scales scales{1.0f, 1.0f};
  ComplexCore core;
  FloatBlock splitRe, splitIm;  // exp(-2*pi*i*k/N), k < N/2 (even N only)
};

struct IppsFFTSpec_C_32fc {
  int n = 0;
  Scales scales{1.0f, 1.0f};
  ComplexCore core;
};

namespace {

IppStatus CreateReal(IppsFFTSpec_R_32f** ppFFTSpec, int n, int flag) {
  Scales scales{};
  if (!ScalesOf(flag, n, &scales)) return ippStsBadArgErr;
  try {
    auto plan = std::make_unique<IppsFFTSpec_R_32f>();
    plan->n = n;
    plan->scales = scales;
    if (n % 2 == 0) {
      const int half = n / 2;
      plan->core.Build(half);
      plan->splitRe = MakeBlock(half);
      plan->splitIm = MakeBlock(half);
      for (int k = 0; k < half; ++k) {
        const double angle = -2.0 * kPi * k / n;
        plan->splitRe[k] = static_cast<float>(std::cos(angle));
        plan->splitIm[k] = static_cast<float>(std::sin(angle));
      }
    } else {
      plan->core.Build(n);
    }
    *ppFFTSpec = plan.release();
  } catch (const std::bad_alloc&) {
    return ippStsMemAllocErr;
  }
  return ippStsNoErr;
}

IppStatus CreateComplex(IppsFFTSpec_C_32fc** ppFFTSpec, int n, int flag) {
  Scales scales{};
  if (!ScalesOf(flag, n, &scales)) return ippStsBadArgErr;
  try {
    auto plan = std::make_unique<IppsFFTSpec_C_32fc>();
    plan->n = n;
    plan->scales = scales;
    plan->core.Build(n);
    *ppFFTSpec = plan.release();
  } catch (const std::bad_alloc&) {
    return ippStsMemAllocErr;
  }
  return ippStsNoErr;
}

// Complex transform shared by the forward and inverse calls: the inverse is the conjugate of the
// forward transform of the conjugate (sign = -1 negates the imaginary parts on the way in and out).
IppStatus RunComplex(const Ipp32fc* pSrc, Ipp32fc* pDst, const IppsFFTSpec_C_32fc* plan, float sign,
                     float scale) {
  if (pSrc == nullptr || pDst == nullptr || plan == nullptr) return ippStsNullPtrErr;
  const int n = plan->n;
  float* re = plan->core.InRe();
  float* im = plan->core.InIm();
  for (int k = 0; k < n; ++k) {
    re[k] = pSrc[k].re;
    im[k] = sign * pSrc[k].im;
  }
  const float* zr = nullptr;
  const float* zi = nullptr;
  plan->core.Execute(&zr, &zi);
  const float scaleIm = sign * scale;
  for (int k = 0; k < n; ++k) {
    pDst[k].re = zr[k] * scale;
    pDst[k].im = zi[k] * scaleIm;
  }
  return ippStsNoErr;
}

}  // namespace

IppStatus ippsFFTInitAlloc_R_32f(IppsFFTSpec_R_32f** ppFFTSpec, int order, int flag,
                                 IppHintAlgorithm /*hint*/) {
  if (ppFFTSpec == nullptr) return ippStsNullPtrErr;
  *ppFFTSpec = nullptr;
  if (order < 0 || order > kMaxOrder) return ippStsFftOrderErr;
  return CreateReal(ppFFTSpec, 1 << order, flag);
}

IppStatus tvxsFFTInitAllocLength_R_32f(IppsFFTSpec_R_32f** ppFFTSpec, int length, int flag,
                                       IppHintAlgorithm /*hint*/) {
  if (ppFFTSpec == nullptr) return ippStsNullPtrErr;
  *ppFFTSpec = nullptr;
  if (length < 1 || length > kMaxLength) return ippStsSizeErr;
  return CreateReal(ppFFTSpec, length, flag);
}

IppStatus ippsFFTGetBufSize_R_32f(const IppsFFTSpec_R_32f* pFFTSpec, int* pSize) {
  if (pFFTSpec == nullptr || pSize == nullptr) return ippStsNullPtrErr;
  *pSize = 0;
  return ippStsNoErr;
}

IppStatus ippsFFTFwd_RToPack_32f(const Ipp32f* pSrc, Ipp32f* pDst,
                                 const IppsFFTSpec_R_32f* pFFTSpec, Ipp8u* /*pBuffer*/) {
  if (pSrc == nullptr || pDst == nullptr || pFFTSpec == nullptr) return ippStsNullPtrErr;
  const IppsFFTSpec_R_32f& plan = *pFFTSpec;
  const int n = plan.n;
  const float scale = plan.scales.forward;
  float* re = plan.core.InRe();
  float* im = plan.core.InIm();
  const float* zr = nullptr;
  const float* zi = nullptr;
  if (n % 2 != 0) {
    for (int k = 0; k < n; ++k) {
      re[k] = pSrc[k];
      im[k] = 0.0f;
    }
    plan.core.Execute(&zr, &zi);
    pDst[0] = zr[0] * scale;
    for (int k = 1; 2 * k < n; ++k) {
      pDst[2 * k - 1] = zr[k] * scale;
      pDst[2 * k] = zi[k] * scale;
    }
    return ippStsNoErr;
  }
  const int half = n / 2;
  for (int k = 0; k < half; ++k) {
    re[k] = pSrc[2 * k];
    im[k] = pSrc[2 * k + 1];
  }
  plan.core.Execute(&zr, &zi);
  const float z0r = zr[0], z0i = zi[0];
  const float halfScale = 0.5f * scale;
  const float* wr = plan.splitRe.get();
  const float* wi = plan.splitIm.get();
  for (int k = 1; k < half; ++k) {
    const float ar = zr[k], ai = zi[k], cr = zr[half - k], ci = zi[half - k];
    const float er = ar + cr, ei = ai - ci;   // 2 E[k]
    const float orr = ai + ci, oi = cr - ar;  // 2 O[k]
    pDst[2 * k - 1] = halfScale * (er + wr[k] * orr - wi[k] * oi);
    pDst[2 * k] = halfScale * (ei + wr[k] * oi + wi[k] * orr);
  }
  pDst[0] = (z0r + z0i) * scale;
  pDst[n - 1] = (z0r - z0i) * scale;
  return ippStsNoErr;
}

IppStatus ippsConjPack_32fc(const Ipp32f* pSrc, Ipp32fc* pDst, int lenDst) {
  if (pSrc == nullptr || pDst == nullptr) return ippStsNullPtrErr;
  if (lenDst < 1) return ippStsSizeErr;
  const int n = lenDst;
  pDst[0] = {pSrc[0], 0.0f};
  for (int k = 1; 2 * k < n; ++k) {
    const float re = pSrc[2 * k - 1], im = pSrc[2 * k];
    pDst[k] = {re, im};
    pDst[n - k] = {re, -im};
  }
  if (n % 2 == 0 && n > 1) pDst[n / 2] = {pSrc[n - 1], 0.0f};
  return ippStsNoErr;
}

IppStatus ippsFFTFree_R_32f(IppsFFTSpec_R_32f* pFFTSpec) {
  if (pFFTSpec == nullptr) return ippStsNullPtrErr;
  delete pFFTSpec;
  return ippStsNoErr;
}

IppStatus ippsFFTInitAlloc_C_32fc(IppsFFTSpec_C_32fc** ppFFTSpec, int order, int flag,
                                  IppHintAlgorithm /*hint*/) {
  if (ppFFTSpec == nullptr) return ippStsNullPtrErr;
  *ppFFTSpec = nullptr;
  if (order < 0 || order > kMaxOrder) return ippStsFftOrderErr;
  return CreateComplex(ppFFTSpec, 1 << order, flag);
}

IppStatus tvxsFFTInitAllocLength_C_32fc(IppsFFTSpec_C_32fc** ppFFTSpec, int length, int flag,
                                        IppHintAlgorithm /*hint*/) {
  if (ppFFTSpec == nullptr) return ippStsNullPtrErr;
  *ppFFTSpec = nullptr;
  if (length < 1 || length > kMaxLength) return ippStsSizeErr;
  return CreateComplex(ppFFTSpec, length, flag);
}

IppStatus ippsFFTGetBufSize_C_32fc(const IppsFFTSpec_C_32fc* pFFTSpec, int* pSize) {
  if (pFFTSpec == nullptr || pSize == nullptr) return ippStsNullPtrErr;
  *pSize = 0;
  return ippStsNoErr;
}

IppStatus ippsFFTFwd_CToC_32fc(const Ipp32fc* pSrc, Ipp32fc* pDst,
                               const IppsFFTSpec_C_32fc* pFFTSpec, Ipp8u* /*pBuffer*/) {
  if (pFFTSpec == nullptr) return ippStsNullPtrErr;
  return RunComplex(pSrc, pDst, pFFTSpec, 1.0f, pFFTSpec->scales.forward);
}

IppStatus ippsFFTInv_CToC_32fc(const Ipp32fc* pSrc, Ipp32fc* pDst,
                               const IppsFFTSpec_C_32fc* pFFTSpec, Ipp8u* /*pBuffer*/) {
  if (pFFTSpec == nullptr) return ippStsNullPtrErr;
  return RunComplex(pSrc, pDst, pFFTSpec, -1.0f, pFFTSpec->scales.inverse);
}

IppStatus ippsFFTFree_C_32fc(IppsFFTSpec_C_32fc* pFFTSpec) {
  if (pFFTSpec == nullptr) return ippStsNullPtrErr;
  delete pFFTSpec;
  return ippStsNoErr;
}

}  // namespace Talvex::Platform
