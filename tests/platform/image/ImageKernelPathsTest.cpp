// The row kernels compiled per instruction set: the portable path against a scalar loop that sums
// in the same tap order, and the AVX2 and AVX-512 paths against the portable one, bit for bit,
// over lengths that leave every kind of tail after the 8-, 16-, 32- and 64-sample blocks.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "platform/image/TalvexImageAccess.h"
#include "platform/image/TalvexImageKernels.h"

namespace {

using namespace Talvex::Platform;
using Detail::RoundToByte;

// kAvx512 runs the AVX-512 path of the kernels that have one and the AVX2 path of the others.
enum class Path { kReference, kPortable, kAvx2, kAvx512 };

#if TALVEX_HAS_AVX2_PATH
#define ON_PATH(path, name, ...)                                                      \
  ((path) == Path::kAvx2 || (path) == Path::kAvx512 ? Detail::name##Avx2(__VA_ARGS__) \
                                                    : Detail::name##Portable(__VA_ARGS__))
#else
#define ON_PATH(path, name, ...) Detail::name##Portable(__VA_ARGS__)
#endif
#if TALVEX_HAS_AVX512_PATH
#define ON_WIDE_PATH(path, name, ...) \
  ((path) == Path::kAvx512 ? Detail::name##Avx512(__VA_ARGS__) : ON_PATH(path, name, __VA_ARGS__))
#else
#define ON_WIDE_PATH(path, name, ...) ON_PATH(path, name, __VA_ARGS__)
#endif

constexpr int kLengths[] = {1, 5, 8, 9, 31, 32, 33, 39, 64, 71, 100, 257};
constexpr int kMaxTaps = 15;

// Random rows (kMaxTaps of them, values beyond 0..255 on both sides so the byte forms saturate),
// weights, bytes and tap positions for one length.
struct Inputs {
  explicit Inputs(int length) : n(length) {
    std::mt19937 rng(1000u + static_cast<unsigned>(length));
    std::uniform_real_distribution<float> value(-300.0f, 600.0f), weight(-1.0f, 1.0f);
    std::uniform_int_distribution<int> byte(0, 255), start(0, length);
    const int span = (n + 31) / 32 * 32 + kMaxTaps;
    for (int t = 0; t < kMaxTaps; ++t) {
      data.emplace_back(span);
      bytes.emplace_back(n);
      for (float& v : data.back()) v = value(rng);
      for (Ipp8u& b : bytes.back()) b = static_cast<Ipp8u>(byte(rng));
    }
    for (int t = 0; t < kMaxTaps; ++t) rows.push_back(data[t].data());
    for (int t = 0; t < kMaxTaps; ++t) byteRows.push_back(bytes[t].data());
    w.resize(4 * n + kMaxTaps);  // per-sample weights of up to 4 taps, or kMaxTaps row weights
    for (float& v : w) v = weight(rng);
    for (int x = 0; x < n; ++x) idx.push_back(start(rng));
  }
  int n;
  std::vector<std::vector<float>> data;
  std::vector<std::vector<Ipp8u>> bytes;
  std::vector<const float*> rows;
  std::vector<const Ipp8u*> byteRows;
  std::vector<float> w;
  std::vector<int> idx;
};

template <typename T>
std::string Bytes(const std::vector<T>& v) {
  return std::string(reinterpret_cast<const char*>(v.data()), v.size() * sizeof(T));
}

// Every kernel on one path, outputs concatenated byte for byte (one entry per kernel and form).
std::vector<std::string> RunAll(Path path, const Inputs& in) {
  const int n = in.n;
  const float* const* rows = in.rows.data();
  const float* w = in.w.data();
  std::vector<std::string> out;
  for (int taps : {1, 3, 7, kMaxTaps}) {
    std::vector<float> f(n);
    std::vector<Ipp8u> b(n);
    std::vector<Ipp32s> sums(n);
    if (path == Path::kReference) {
      for (int x = 0; x < n; ++x) {
        float acc = w[0] * rows[0][x];
        for (int t = 1; t < taps; ++t) acc += w[t] * rows[t][x];
        f[x] = acc;
        b[x] = RoundToByte(acc);
      }
    } else {
      ON_PATH(path, WeightedRowSum, rows, w, taps, f.data(), n);
      ON_PATH(path, WeightedRowSum, rows, w, taps, sums.data(), b.data(), n);
    }
    out.push_back(Bytes(f) + Bytes(b));
  }
  {
    std::vector<float> f(n);
    if (path == Path::kReference) {
      for (int x = 0; x < n; ++x) f[x] = static_cast<float>(in.bytes[0][x]);
    } else {
      ON_PATH(path, WidenRow, in.bytes[0].data(), f.data(), n);
    }
    out.push_back(Bytes(f));
  }
  for (int taps : {1, 6, kMaxTaps}) {
    const int blocks = (n + 31) / 32 * 32;
    std::vector<float> acc(in.data[1].begin(), in.data[1].begin() + blocks);
    if (path == Path::kReference) {
      for (int x = 0; x < blocks; ++x)
        for (int i = 0; i < taps; ++i) acc[x] += in.data[2][i] * rows[0][x + i];
    } else {
      ON_WIDE_PATH(path, CorrelateAccumulate, rows[0], in.data[2].data(), taps, acc.data(), blocks);
    }
    out.push_back(Bytes(acc));
  }
  {
    // Normalised correlation: window energies of both signs and zero, where the output is 0.
    std::vector<double> energy(n);
    for (int x = 0; x < n; ++x) energy[x] = x % 7 == 3 ? 0.0 : in.data[1][x] * 37.0;
    std::vector<float> f(n);
    if (path == Path::kReference) {
      for (int x = 0; x < n; ++x) {
        const double den = 2.5 * energy[x];
        f[x] = den > 0.0 ? static_cast<float>(rows[0][x] / std::sqrt(den)) : 0.0f;
      }
    } else {
      ON_PATH(path, NormaliseCorrelation, rows[0], energy.data(), 2.5, f.data(), n);
    }
    out.push_back(Bytes(f));
  }
  {
    // Bilateral weights by grey-level difference, then weighted means over 1 to kMaxTaps rows
    // with positive weights readable up to the whole 32-sample block.
    std::vector<float> table(256), looked(n);
    for (int d = 0; d < 256; ++d) table[d] = 1.0f / (1.0f + 0.37f * static_cast<float>(d));
    const int blocks = (n + 31) / 32 * 32;
    std::vector<std::vector<float>> weights(kMaxTaps, std::vector<float>(blocks));
    std::vector<const float*> wp;
    for (int t = 0; t < kMaxTaps; ++t) {
      for (int x = 0; x < blocks; ++x) weights[t][x] = 0.25f + std::abs(in.data[t][x]) / 600.0f;
      wp.push_back(weights[t].data());
    }
    std::string means;
    for (int taps : {1, 9, kMaxTaps}) {
      std::vector<Ipp8u> b(n);
      if (path == Path::kReference) {
        for (int x = 0; x < n; ++x) {
          float num = 0.0f, den = 0.0f;
          for (int t = 0; t < taps; ++t) {
            num += wp[t][x] * rows[t][x];
            den += wp[t][x];
          }
          b[x] = RoundToByte(num / den);
        }
      } else {
        ON_WIDE_PATH(path, BilateralAccumulate, wp.data(), rows, taps, b.data(), n);
      }
      means += Bytes(b);
    }
    // Random neighbours, and near ones (differences below 64, with one of 90 every 37 samples,
    // so that some runs of 16 have none).
    const Ipp8u* c = in.bytes[0].data();
    std::vector<Ipp8u> near(n);
    for (int x = 0; x < n; ++x)
      near[x] = static_cast<Ipp8u>((c[x] + (x % 37 == 5 ? 90 : x * 13 % 64)) % 256);
    std::string lookups;
    for (const Ipp8u* nb : {in.bytes[1].data(), static_cast<const Ipp8u*>(near.data())}) {
      if (path == Path::kReference) {
        for (int x = 0; x < n; ++x) looked[x] = table[std::abs(int(nb[x]) - int(c[x]))];
      } else {
        ON_WIDE_PATH(path, BilateralWeights, c, nb, table.data(), looked.data(), n);
      }
      lookups += Bytes(looked);
    }
    out.push_back(lookups + means);
  }
  for (int taps : {2, 4}) {
    std::vector<float> f(n), blendF(n), blendB(n);
    std::vector<Ipp8u> b(n);
    if (path == Path::kReference) {
      for (int x = 0; x < n; ++x) {
        const float* p = rows[0] + in.idx[x];
        const float* c = w + taps * x;
        float v = c[0] * p[0] + c[1] * p[1];
        if (taps == 4) v = v + c[2] * p[2] + c[3] * p[3];
        f[x] = v;
        b[x] = RoundToByte(v);
        float sf = w[0] * rows[0][x] + w[1] * rows[1][x];
        float sb = w[0] * float(in.byteRows[0][x]) + w[1] * float(in.byteRows[1][x]);
        if (taps == 4) {
          sf = sf + w[2] * rows[2][x] + w[3] * rows[3][x];
          sb = sb + w[2] * float(in.byteRows[2][x]) + w[3] * float(in.byteRows[3][x]);
        }
        blendF[x] = sf;
        blendB[x] = sb;
      }
    } else {
      ON_PATH(path, InterpolateRow, rows[0], in.idx.data(), w, taps, f.data(), n);
      ON_PATH(path, InterpolateRow, rows[0], in.idx.data(), w, taps, b.data(), n);
      ON_PATH(path, BlendRows, rows, w, taps, blendF.data(), n);
      ON_PATH(path, BlendRows, in.byteRows.data(), w, taps, blendB.data(), n);
    }
    out.push_back(Bytes(f) + Bytes(b) + Bytes(blendF) + Bytes(blendB));
  }
  return out;
}

TEST(ImageKernelPaths, PortablePathEqualsTheTapOrderLoopBitForBit) {
  for (int n : kLengths) {
    const Inputs in(n);
    const auto expected = RunAll(Path::kReference, in);
    const auto actual = RunAll(Path::kPortable, in);
    for (std::size_t k = 0; k < expected.size(); ++k)
      EXPECT_TRUE(expected[k] == actual[k]) << "length " << n << ", kernel form " << k;
  }
}

TEST(ImageKernelPaths, Avx2PathEqualsPortablePathBitForBit) {
  if (!Detail::CpuHasAvx2())
    GTEST_SKIP() << "AVX2 path skipped: not built for or not run by this processor; the portable "
                    "path is checked on its own.";
  for (int n : kLengths) {
    const Inputs in(n);
    const auto portable = RunAll(Path::kPortable, in);
    const auto avx2 = RunAll(Path::kAvx2, in);
    for (std::size_t k = 0; k < portable.size(); ++k)
      EXPECT_TRUE(portable[k] == avx2[k]) << "length " << n << ", kernel form " << k;
  }
}

TEST(ImageKernelPaths, Avx512PathEqualsPortablePathBitForBit) {
  if (!Detail::CpuHasAvx512())
    GTEST_SKIP() << "AVX-512 path skipped: not built for or not run by this processor.";
  for (int n : kLengths) {
    const Inputs in(n);
    const auto portable = RunAll(Path::kPortable, in);
    const auto wide = RunAll(Path::kAvx512, in);
    for (std::size_t k = 0; k < portable.size(); ++k)
      EXPECT_TRUE(portable[k] == wide[k]) << "length " << n << ", kernel form " << k;
  }
}

}  // namespace
