#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "core/AlgorithmException.h"
#include "engines/base/CAnteriorSegmentModule.h"

namespace {

using Talvex::SDOCT::Algorithms::AlgorithmException;
using Talvex::SDOCT::Algorithms::CAnteriorSegmentModule;

// The message of the AlgorithmException that call throws ("no exception" when it returns).
template <typename Call>
std::string Message(Call call) {
  try {
    call();
  } catch (const AlgorithmException& e) {
    return e.what();
  }
  return "no exception";
}

// Direct oracle of the volume smoothing along rows (across A-scans): normalised Gaussian of
// 2h + 1 taps, replicated edge rows, rounding to nearest.
std::vector<std::uint8_t> SmoothAcrossRows(const std::vector<std::uint8_t>& img, int rows, int cols,
                                           int h, double sig) {
  std::vector<double> g(2 * h + 1);
  double sum = 0;
  for (int j = -h; j <= h; ++j) sum += g[j + h] = std::exp(-j * j / (2 * sig * sig));
  std::vector<std::uint8_t> out(img.size());
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < cols; ++c) {
      double v = 0;
      for (int j = -h; j <= h; ++j)
        v += g[j + h] / sum * img[std::clamp(r + j, 0, rows - 1) * cols + c];
      out[r * cols + c] = static_cast<std::uint8_t>(std::floor(v + 0.5));
    }
  return out;
}

TEST(VolumeSmoothing, KernelWidthFollowsFiveSigmaMadeOddEvenBeyondTheImage) {
  const int rows = 12, cols = 9;
  std::vector<std::uint8_t> img(rows * cols);
  for (int i = 0; i < rows * cols; ++i) img[i] = static_cast<std::uint8_t>((i * 37) % 251);
  CAnteriorSegmentModule m;
  // sig 1.0: k = 5 (h = 2); sig 0.6: k = 3 (h = 1); sig 0.2: k = 1, unchanged. sig 3 and 40
  // reach past the 12 A-scans (h = 7, 100): the oracle applies every tap to clamped rows.
  for (auto [sig, h] : {std::pair{1.0f, 2}, std::pair{0.6f, 1}, std::pair{0.2f, 0},
                        std::pair{3.0f, 7}, std::pair{40.0f, 100}}) {
    std::vector<std::uint8_t> lateral = img;
    m.LateralSmooth(lateral.data(), 1, rows, cols, sig);
    const auto expected = SmoothAcrossRows(img, rows, cols, h, sig);
    for (int i = 0; i < rows * cols; ++i)
      EXPECT_NEAR(lateral[i], expected[i], 1) << sig << " " << i;
  }
  // Along depth the same kernel acts within each A-scan: smooth the transposed image.
  std::vector<std::uint8_t> axial = img, transposed(rows * cols);
  m.AxialSmooth(axial.data(), 1, rows, cols, 1.0f);
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < cols; ++c) transposed[c * rows + r] = img[r * cols + c];
  const auto expected = SmoothAcrossRows(transposed, cols, rows, 2, 1.0);
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < cols; ++c) EXPECT_NEAR(axial[r * cols + c], expected[c * rows + r], 1);
  // A single A-scan (or a single sample along depth) has nothing to mix with.
  std::vector<std::uint8_t> one = {7, 9, 11};
  m.LateralSmooth(one.data(), 1, 1, 3, 5.0f);
  m.AxialSmooth(one.data(), 3, 1, 1, 5.0f);
  EXPECT_EQ(one, (std::vector<std::uint8_t>{7, 9, 11}));
}

TEST(VolumeSmoothing, LateralSmoothingIntoAnotherVolumeEqualsCopyingThenSmoothingInPlace) {
  const int slices = 3, rows = 10, cols = 7;
  std::vector<std::uint8_t> source(slices * rows * cols);
  for (std::size_t i = 0; i < source.size(); ++i)
    source[i] = static_cast<std::uint8_t>(i * 53 % 256);
  const std::vector<std::uint8_t> kept = source;
  CAnteriorSegmentModule m;
  // Smoothed (h = 2 and 7), left as it is by a single tap (0.2) or by sig <= 0 (copies).
  for (float sig : {1.0f, 3.0f, 0.2f, 0.0f}) {
    std::vector<std::uint8_t> inPlace = source, into(source.size(), 5);
    m.LateralSmooth(inPlace.data(), slices, rows, cols, sig);
    m.LateralSmooth(source.data(), into.data(), slices, rows, cols, sig);
    EXPECT_EQ(into, inPlace) << sig;
    EXPECT_EQ(source, kept) << sig;
  }
}

TEST(VolumeSmoothing, NonFiniteOrAbsurdSigmasAreRefusedBeforeTheVolumeIsTouched) {
  const int rows = 6, cols = 5;
  const std::vector<std::uint8_t> img(rows * cols, 77);
  std::vector<std::uint8_t> v = img;
  CAnteriorSegmentModule m;
  // 5e8 and 1e30 would overflow (int)(5 sig); infinity and NaN cannot be converted at all.
  for (float sig : {5e8f, 1e30f})
    EXPECT_EQ(Message([&] { m.LateralSmooth(v.data(), 1, rows, cols, sig); }),
              "LateralSmooth(): sig too large (above 100000).");
  EXPECT_EQ(Message([&] { m.LateralSmooth(v.data(), 1, rows, cols, INFINITY); }),
            "LateralSmooth(): sig is not a finite number.");
  EXPECT_EQ(Message([&] { m.AxialSmooth(v.data(), 1, rows, cols, NAN); }),
            "AxialSmooth(): sig is not a finite number.");
  m.LateralSmooth(v.data(), 1, rows, cols, -INFINITY);  // sig <= 0: nothing to do
  EXPECT_EQ(v, img);
}

TEST(VolumeSmoothing, EverySliceOfAVolumeIsSmoothedOnItsOwn) {
  const int rows = 6, cols = 5;
  std::vector<std::uint8_t> volume(2 * rows * cols, 10);
  std::fill(volume.begin() + rows * cols, volume.end(), 200);  // second slice flat and bright
  CAnteriorSegmentModule m;
  m.LateralSmooth(volume.data(), 2, rows, cols, 2.0f);
  EXPECT_EQ(volume[rows * cols - 1], 10);  // no bleeding across the slice boundary
  EXPECT_EQ(volume[rows * cols], 200);
}

// Circular convolution of the ideal step with the Gaussian PSF exp(-z^2/w^2)/(w sqrt(pi)), in the
// spatial domain, as the oracle of the frequency-domain template.
std::vector<double> StepOracle(int depthMicron, int n, double res, double l1, double l2,
                               double l3) {
  const int h = n / 2;
  const double dz = double(depthMicron) / n, w = res / (2 * std::sqrt(std::log(2.0)));
  const double a1 = std::pow(10, l1 / 40), a2 = std::pow(10, l2 / 40), a3 = std::pow(10, l3 / 40);
  std::vector<double> s(n, a2), out(n, 0.0);
  for (int i = 1; i < h; ++i) s[i] = a1;
  s[0] = s[h] = (a1 + a2) / 2;
  if (l3 > -100) s[h] += a3 * std::sqrt(M_PI) * w / dz;
  for (int i = 0; i < n; ++i)
    for (int d = -n / 2; d < n - n / 2; ++d) {
      const double z = d * dz;
      out[i] += s[((i - d) % n + n) % n] * std::exp(-z * z / (w * w)) / (w * std::sqrt(M_PI)) * dz;
    }
  for (double& v : out) v = std::floor(std::log10(v) * 40 + 0.5);
  return out;
}

TEST(StepTemplate, MatchesSpatialConvolutionForAnyDepthLengthWithOrWithoutAPeak) {
  CAnteriorSegmentModule m;
  // A reflection peak of level 120 at the surface, then none (-100 and below switch it off).
  for (float peak : {120.0f, -100.0f})
    for (int n : {64, 100, 512, 600}) {
      std::vector<float> profile(n);
      m.StepFunction(500, n, 40.0f, 25.0f, 70.0f, peak, profile.data());
      const auto expected = StepOracle(500, n, 40.0, 25, 70, peak);
      for (int i = 5; i < n - 5; ++i)
        EXPECT_NEAR(profile[i], expected[i], 1.0) << peak << " " << n << " " << i;
      for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(profile[i], 25.0f);
        EXPECT_EQ(profile[n - 1 - i], 70.0f);
      }
    }
}

TEST(StepTemplate, NonPositiveDepthOrNonFiniteResolutionIsRefused) {
  CAnteriorSegmentModule m;
  std::vector<float> profile(64, -3.0f);
  for (int depth : {0, -500})
    EXPECT_EQ(Message([&] { m.StepFunction(depth, 64, 10, 25, 70, 120, profile.data()); }),
              "StepFunction(): depthMicron must be a positive number.");
  EXPECT_EQ(Message([&] { m.StepFunction(500, 64, NAN, 25, 70, 120, profile.data()); }),
            "StepFunction(): axialResMicron is not a finite number.");
  EXPECT_EQ(profile, std::vector<float>(64, -3.0f));
}

TEST(SearchBand, StartsAtNearestGuideMinusOffsetAndStaysInside) {
  const int gh = 4, gw = 20;
  std::vector<float> grad(gh * gw);
  for (int i = 0; i < gh * gw; ++i) grad[i] = static_cast<float>(i % gw);
  std::vector<float*> g(gh), r(gh);
  std::vector<float> roi(gh * 5, -9.0f);
  for (int i = 0; i < gh; ++i) g[i] = grad.data() + i * gw, r[i] = roi.data() + i * 5;
  const float guide[gh] = {-7.0f, 9.6f, 40.0f, NAN};
  int start[gh] = {-5, -5, -5, -5};
  CAnteriorSegmentModule m;
  m.ImageROI(guide, g.data(), gh, gw, r.data(), gh, 5, 3, 10, start);
  EXPECT_EQ(start[0], 1);   // centre 0: start clamped to 1
  EXPECT_EQ(start[1], 7);   // nearest 10, minus 3
  EXPECT_EQ(start[2], 16);  // centre limited to 19; band ends before column 18
  EXPECT_EQ(roi[5 * 1 + 0], 7.0f);
  EXPECT_EQ(roi[5 * 2 + 1], 17.0f);
  EXPECT_EQ(roi[5 * 2 + 2], -9.0f);  // only 18 - 16 = 2 samples copied
  // A band that cannot hold a sample leaves the row and its start alone.
  int keep = 42;
  m.ImageROI(guide + 1, g.data(), 1, gw, r.data(), 1, 5, 3, 0, &keep);
  EXPECT_EQ(keep, 42);
}

TEST(SearchBand, ExtremeOffsetsAndEmptyBandsNeverWriteOutsideTheBand) {
  const int gw = 20, rw = 4;
  std::vector<float> grad(gw);
  for (int c = 0; c < gw; ++c) grad[c] = static_cast<float>(c);
  float* g = grad.data();
  // One band row of rw samples between guard cells.
  std::vector<float> roi(rw + 2, -9.0f);
  float* r = roi.data() + 1;
  const float guide = 10.0f;
  CAnteriorSegmentModule m;
  int start = -5;
  // From the centre 2^31 - 1 samples up, 2^31 - 1 long: clamped to 1 .. 17, rw samples kept.
  m.ImageROI(&guide, &g, 1, gw, &r, 1, rw, INT_MAX, INT_MAX, &start);
  EXPECT_EQ(start, 1);
  EXPECT_EQ(roi, (std::vector<float>{-9, 1, 2, 3, 4, -9}));
  // Starting 2^31 samples below the centre, or with no length or height: nothing at all.
  std::fill(roi.begin(), roi.end(), -9.0f);
  start = -5;
  m.ImageROI(&guide, &g, 1, gw, &r, 1, rw, INT_MIN, INT_MAX, &start);
  m.ImageROI(&guide, &g, 1, gw, &r, 1, rw, 3, INT_MIN, &start);
  m.ImageROI(&guide, &g, 1, gw, &r, 1, 0, 3, 10, &start);
  m.ImageROI(&guide, &g, 1, gw, &r, 1, -7, 3, 10, &start);
  m.ImageROI(&guide, &g, 1, gw, &r, 0, rw, 3, 10, &start);
  m.ImageROI(&guide, &g, 1, gw, &r, -1, rw, 3, 10, &start);
  EXPECT_EQ(start, -5);
  EXPECT_EQ(roi, std::vector<float>(rw + 2, -9.0f));
}

TEST(CostImage, DarkToBrightStepBecomesLowCostOnlyWhenNegated) {
  CAnteriorSegmentModule m;
  float a[2] = {5.0f, -5.0f}, b[2] = {5.0f, -5.0f};
  m.CostImageROI(a, 1, 2, 1);
  m.CostImageROI(b, 1, 2, 0);
  EXPECT_NEAR(a[0], 1 / (1 + std::exp(5.0)), 1e-6);
  EXPECT_NEAR(b[0], 1 / (1 + std::exp(-5.0)), 1e-6);
}

TEST(DetectLayer, TracesADarkToBrightBoundaryAlongItsCurve) {
  const int rows = 60, cols = 80;
  std::vector<float> img(rows * cols), layer(rows);
  std::vector<int> truth(rows);
  for (int r = 0; r < rows; ++r) {
    truth[r] = 30 + static_cast<int>(10 * std::sin(r * 0.1));
    for (int c = 0; c < cols; ++c) img[r * cols + c] = c >= truth[r] ? 70.0f : 25.0f;
  }
  CAnteriorSegmentModule m;
  m.DetectLayer(img.data(), rows, cols, 1.0f, 3, 1.0f, 3, 1, 2, layer.data(), false);
  for (int r = 0; r < rows; ++r) EXPECT_NEAR(layer[r], truth[r], 1.0) << r;
}

TEST(GaussDerivative, BadSizesAndSigmasAreRefusedBeforeTheImageIsTouched) {
  const int rows = 16, cols = 12;
  const std::vector<float> img(rows * cols, 1.0f);
  std::vector<float> v = img;
  CAnteriorSegmentModule m;
  auto deriv = [&](float xs, int xn, float ys, int yn) {
    return Message([&] { m.GaussDerivitiveBscan(v.data(), rows, cols, xs, xn, ys, yn); });
  };
  auto gaussian = [&](float xs, int xn, float ys, int yn) {
    return Message([&] { m.GaussianDerivitiveBscan(v.data(), rows, cols, xs, xn, ys, yn); });
  };
  EXPECT_EQ(deriv(NAN, 3, 1, 3), "GaussDerivitiveBscan(): gaussXsigma is not a finite number.");
  EXPECT_EQ(gaussian(1, 3, INFINITY, 3),
            "GaussianDerivitiveBscan(): gaussYsigma is not a finite number.");
  // At most 2 rows + 1 = 33 taps across A-scans and 2 cols + 1 = 25 along depth; a huge size
  // would overflow the padded image.
  EXPECT_EQ(deriv(1, 35, 1, 3),
            "GaussDerivitiveBscan(): gaussXsize too large: the kernel is over twice as long as the "
            "image.");
  EXPECT_EQ(gaussian(1, 3, 1, INT_MAX),
            "GaussianDerivitiveBscan(): gaussYsize too large: the kernel is over twice as long as "
            "the image.");
  // A sigma so small that the single-precision Gaussian is 0 / 0.
  EXPECT_EQ(gaussian(1e-30f, 3, 1, 3), "TalvexAlgorithm: GetGaussDerivKernel1D() failed.");
  EXPECT_EQ(v, img);
  // Even sizes are refused by the convolution, without overrunning the kernel buffer.
  EXPECT_EQ(deriv(1, 3, 1, 8), "TalvexAlgorithm: ConvRow2D() failed.");
  EXPECT_EQ(gaussian(1, 4, 1, 3), "TalvexAlgorithm: ConvCol2D() failed.");
  // A skipped pass ignores its sigma; the longest kernels accepted run.
  v = img;
  EXPECT_EQ(deriv(NAN, 0, 1, 25), "no exception");
  EXPECT_EQ(deriv(1, 33, NAN, 0), "no exception");
}

TEST(BilateralFiltering, FlatImageStaysAndEdgeSurvives) {
  const int rows = 20, cols = 30;
  std::vector<std::uint8_t> img(rows * cols);
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < cols; ++c) img[r * cols + c] = c < 15 ? 30 : 200;
  auto filtered = img;
  CAnteriorSegmentModule m;
  m.BilateralFiltering(filtered.data(), rows, cols, 5, 5, 400.0f, 4.0f);
  EXPECT_EQ(filtered, img);  // piecewise flat with a strong edge: nothing to smooth
}

}  // namespace
