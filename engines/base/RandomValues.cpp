// Random values of the robust fits: the caller's array, the library's fixed default array, and
// the drawing of samples of distinct, selectable point indices.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "core/AlgorithmException.h"
#include "engines/base/CAnteriorSegmentModule.h"

namespace Talvex::SDOCT::Algorithms {

namespace {

// Seed of the default array; fixed so that fits without a caller's array stay repeatable.
constexpr std::uint64_t kDefaultRandomSeed = 0x7A1BE5C0FFEE2024ULL;

// A sample that cannot be completed within this many draws per index fails instead of spinning
// forever on an array that keeps hitting excluded or already chosen points.
constexpr long long kDrawsPerIndex = 1000;

// splitmix64: a well-mixed 64-bit sequence from a counter.
std::uint64_t SplitMix64(std::uint64_t& state) {
  std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

std::vector<int> MakeDefaultRandomValues() {
  std::vector<int> values(CAnteriorSegmentModule::kDefaultRandomCount);
  std::uint64_t state = kDefaultRandomSeed;
  for (int& v : values) v = static_cast<int>(SplitMix64(state) & 0x7FFFFFFFULL);
  return values;
}

}  // namespace

void CAnteriorSegmentModule::SetRandomArray(const int* rv, std::uint32_t n) {
  if (rv == nullptr) throw AlgorithmException("SetRandomArray() failed.");
  m_randomValues = rv;
  m_nRandom = n;
  m_randomCursor = 0;
}

const int* CAnteriorSegmentModule::DefaultRandomValues() {
  // Built on first use and never modified afterwards: every engine shares it read-only.
  static const std::vector<int> values = MakeDefaultRandomValues();
  return values.data();
}

int CAnteriorSegmentModule::polyrandsample(int n, int k, int* out) {
  // The parabola sampler honours the engine's exclusion flags, which cover kMaxFitPoints points.
  if (n > kMaxFitPoints) return -1;
  return DrawSample(m_excludeFlags, n, k, out);
}

int CAnteriorSegmentModule::quadrandsample(int n, int k, int* out) {
  if (n > kMaxFitPoints) return -1;
  return DrawSample(m_excludeFlags, n, k, out);
}

int CAnteriorSegmentModule::quadricrandsample(int n, int k, int* out) {
  // Without a per-call table (a surface fit run outside QuadricCoeff) every point is selectable.
  return DrawSample(m_quadricExclude, n, k, out);
}

int CAnteriorSegmentModule::DrawSample(const std::uint8_t* excluded, int n, int k, int* out) {
  if (k < 1 || k > n) return -1;
  // Until the operation installs the caller's array, draw from the library's default one.
  const int* values = m_randomValues != nullptr ? m_randomValues : DefaultRandomValues();
  const std::uint32_t count = m_randomValues != nullptr ? m_nRandom : kDefaultRandomCount;
  if (count == 0) return -1;

  // One flag per point, all clear between calls; the buffer grows to the largest point count seen
  // and is then reused. The picks are listed in out as they come and their flags cleared again on
  // every exit, so a sample costs its draws, not the point count.
  if (m_sampleChosen.size() < static_cast<std::size_t>(n)) m_sampleChosen.resize(n, 0);
  std::int32_t* chosen = m_sampleChosen.data();
  const auto clearPicks = [&](int picked) {
    for (int i = 0; i < picked; ++i) chosen[out[i]] = 0;
  };

  int picked = 0;
  const long long maxDraws = kDrawsPerIndex * k;
  for (long long draws = 0; picked < k; ++draws) {
    // The cursor wraps around the array and carries over from one sample to the next.
    if (draws >= maxDraws) break;
    if (m_randomCursor >= count) m_randomCursor = 0;
    const int v = values[m_randomCursor++];
    if (v < 0) break;  // the caller promised non-negative values; never a negative index
    const int idx = v % n;
    // A value that hits an excluded or already chosen point only advances the cursor.
    if ((excluded != nullptr && excluded[idx] != 0) || chosen[idx] != 0) continue;
    chosen[idx] = 1;
    out[picked++] = idx;
  }
  clearPicks(picked);
  if (picked < k) return -1;
  // The sample in ascending point order.
  std::sort(out, out + k);
  return 0;
}

}  // namespace Talvex::SDOCT::Algorithms
