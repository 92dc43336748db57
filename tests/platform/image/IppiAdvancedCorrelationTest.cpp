// Normalised cross-correlation (no mean removal, zero padding, centred template) against direct
// sums.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "platform/image/TalvexIppiAdvanced.h"

using namespace Talvex::Platform;

namespace {

template <typename T>
std::vector<T> Random(int n, unsigned seed, int zeroEvery = 0) {
  std::mt19937 rng(seed);
  std::vector<T> v(n);
  for (int i = 0; i < n; ++i)
    v[i] = (zeroEvery && i % zeroEvery < zeroEvery / 2) ? T(0) : static_cast<T>(rng() % 256);
  return v;
}

template <typename T>
double Direct(const std::vector<T>& s, int w, int h, const std::vector<T>& t, int tw, int th, int x,
              int y) {
  double num = 0, tt = 0, ss = 0;
  for (int j = 0; j < th; ++j)
    for (int i = 0; i < tw; ++i) {
      const int sx = x + i - tw / 2, sy = y + j - th / 2;
      const double sv = (sx < 0 || sy < 0 || sx >= w || sy >= h) ? 0.0 : double(s[sy * w + sx]);
      num += t[j * tw + i] * sv;
      tt += double(t[j * tw + i]) * t[j * tw + i];
      ss += sv * sv;
    }
  return tt * ss > 0 ? num / std::sqrt(tt * ss) : 0.0;
}

template <typename T>
std::vector<float> Correlate(const std::vector<T>& s, int w, int h, const std::vector<T>& t, int tw,
                             int th) {
  std::vector<float> out(static_cast<std::size_t>(w) * h, -5.0f);
  const int e = sizeof(T);
  IppStatus status;
  if constexpr (sizeof(T) == 1)
    status = ippiCrossCorrSame_Norm_8u32f_C1R(s.data(), w * e, {w, h}, t.data(), tw * e, {tw, th},
                                              out.data(), w * 4);
  else
    status = ippiCrossCorrSame_Norm_32f_C1R(s.data(), w * e, {w, h}, t.data(), tw * e, {tw, th},
                                            out.data(), w * 4);
  EXPECT_EQ(status, ippStsNoErr);
  return out;
}

template <typename T>
void ExpectMatchesDirectSums(int w, int h, int tw, int th) {
  // Zero runs in the source exercise windows whose energy vanishes.
  const auto s = Random<T>(w * h, static_cast<unsigned>(w + 7 * tw), 37);
  const auto t = Random<T>(tw * th, static_cast<unsigned>(h + 3 * th));
  const auto out = Correlate(s, w, h, t, tw, th);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      ASSERT_NEAR(out[y * w + x], Direct(s, w, h, t, tw, th, x, y), 2e-6)
          << w << "x" << h << " template " << tw << "x" << th << " at " << x << "," << y;
}

}  // namespace

TEST(CrossCorrelation, MatchesDirectSumsWithTheTemplateCentredAndZerosOutside) {
  ExpectMatchesDirectSums<float>(300, 1, 100, 1);  // one A-scan against a 100-sample template
  ExpectMatchesDirectSums<float>(37, 1, 20, 1);    // profile against a 20-sample window
  ExpectMatchesDirectSums<float>(9, 1, 14, 1);     // template longer than the row
  ExpectMatchesDirectSums<float>(29, 13, 6, 5);
  ExpectMatchesDirectSums<Ipp8u>(41, 17, 9, 8);
  ExpectMatchesDirectSums<Ipp8u>(20, 3, 1, 1);
}

TEST(CrossCorrelation, TemplateEqualToAPatchGivesOneAtItsCentre) {
  const int w = 40, h = 25, tw = 7, th = 6, cx = 17, cy = 11;
  const auto s = Random<Ipp8u>(w * h, 9);
  std::vector<Ipp8u> t(tw * th);
  for (int j = 0; j < th; ++j)
    for (int i = 0; i < tw; ++i) t[j * tw + i] = s[(cy - th / 2 + j) * w + cx - tw / 2 + i];
  const auto out = Correlate(s, w, h, t, tw, th);
  EXPECT_NEAR(out[cy * w + cx], 1.0f, 1e-6f);
  std::vector<float> sf(s.begin(), s.end()), tf(t.begin(), t.end());
  EXPECT_NEAR(Correlate(sf, w, h, tf, tw, th)[cy * w + cx], 1.0f, 1e-6f);
}

TEST(CrossCorrelation, ZeroTemplateGivesZeroAndBadSizesFail) {
  const auto s = Random<float>(50, 1);
  const std::vector<float> zero(10, 0.0f);
  for (float v : Correlate(s, 50, 1, zero, 10, 1)) ASSERT_EQ(v, 0.0f);
  float out[50];
  EXPECT_EQ(
      ippiCrossCorrSame_Norm_32f_C1R(s.data(), 200, {0, 1}, zero.data(), 40, {10, 1}, out, 200),
      ippStsSizeErr);
  EXPECT_EQ(ippiCrossCorrSame_Norm_32f_C1R(s.data(), 200, {50, 1}, nullptr, 40, {10, 1}, out, 200),
            ippStsNullPtrErr);
}
