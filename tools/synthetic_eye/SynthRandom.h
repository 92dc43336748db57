// Fixed pseudo-random generators of the synthetic eye: splitmix64 for seeding and xoshiro256**
// for the streams, and an approximately normal draw built from integer arithmetic only, so that a
// seed gives the same scan on every platform and standard library.
#pragma once

#include <cstdint>

namespace Talvex {
namespace Synthetic {
namespace Detail {

inline std::uint64_t SplitMix64(std::uint64_t* state) {
  std::uint64_t z = (*state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

class Xoshiro256 {
 public:
  explicit Xoshiro256(std::uint64_t seed) {
    for (std::uint64_t& v : s_) v = SplitMix64(&seed);
  }
  std::uint64_t Next() {
    const std::uint64_t result = Rotl(s_[1] * 5, 7) * 9;
    const std::uint64_t t = s_[1] << 17;
    s_[2] ^= s_[0];
    s_[3] ^= s_[1];
    s_[1] ^= s_[2];
    s_[0] ^= s_[3];
    s_[2] ^= t;
    s_[3] = Rotl(s_[3], 45);
    return result;
  }
  // Uniform in [0, 1).
  double Uniform() { return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0); }
  // Zero-mean, unit-variance draw: the centred sum of four 16-bit uniforms (Irwin-Hall of order
  // 4) scaled by sqrt(3). Its excess kurtosis is -0.3; every speckle sample sums many of them
  // through the point-spread function, so the field is complex Gaussian to good approximation.
  float Normal() {
    const std::uint64_t r = Next();
    const std::uint32_t sum =
        static_cast<std::uint32_t>(r & 0xFFFF) + static_cast<std::uint32_t>((r >> 16) & 0xFFFF) +
        static_cast<std::uint32_t>((r >> 32) & 0xFFFF) + static_cast<std::uint32_t>(r >> 48);
    return (static_cast<float>(sum) - 131070.0f) * (1.7320508f / 65536.0f);
  }

 private:
  static std::uint64_t Rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
  std::uint64_t s_[4];
};

}  // namespace Detail
}  // namespace Synthetic
}  // namespace Talvex
