// The dewarping facade: its three independent initialisations, the refusals, and a corrected
// A-scan long enough for the stretched air.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "interface/Talvex.h"
#include "tests/support/MessageOf.h"

namespace Talvex::SDOCT::Algorithms {
namespace {

using Talvex::Testing::MessageOf;

// Arrays for numbscans B-scans of W x L, with room for dewarped A-scans of D samples.
struct Scan {
  int n, W, L, D;
  std::vector<std::uint8_t> volume, out1, out2;
  std::vector<float> ant, bow, pst, iris, dAnt, dBow, dPst, dIris;
  Scan(int n_, int W_, int L_, int D_)
      : n(n_),
        W(W_),
        L(L_),
        D(D_),
        volume(n * W * L, 50),
        out1(n * W * D, 9),
        out2(n * W * D, 9),
        ant(n * W, 0.4f * L),
        bow(n * W, 0.45f * L),
        pst(n * W, 0.6f * L),
        iris(n * W, 0.8f * L),
        dAnt(n * W, 7.0f),
        dBow(n * W, 7.0f),
        dPst(n * W, 7.0f),
        dIris(n * W, 7.0f) {}
};

// Every operation of the facade on one scan, in order.
std::vector<std::function<void()>> Operations(CCorneaDewarpingAlgorithm& f, Scan& s) {
  const auto* v = s.volume.data();
  return {
      [&f, &s, v] {
        f.DewarpCornea(v, s.n, s.W, s.L, 0.1f, s.ant.data(), s.bow.data(), s.pst.data(),
                       s.out1.data(), s.D, s.dAnt.data(), s.dBow.data(), s.dPst.data());
      },
      [&f, &s, v] {
        f.DewarpCornea(v, s.n, s.W, s.L, 0.1f, s.ant.data(), s.pst.data(), s.out1.data(), s.D,
                       s.dAnt.data(), s.dPst.data());
      },
      [&f, &s, v] {
        f.DewarpHDCorneaAnt(v, s.n, s.W, s.L, s.ant.data(), s.pst.data(), s.out1.data(), s.D,
                            s.dAnt.data(), s.dPst.data());
      },
      [&f, &s, v] {
        f.DewarpHDCorneaAntPst(v, s.n, s.W, s.L, s.ant.data(), s.pst.data(), s.out1.data(),
                               s.out2.data(), s.D, s.dAnt.data(), s.dPst.data());
      },
      [&f, &s, v] { f.DewarpHDFieldAnt(v, s.n, s.W, s.L, 0.0f, s.ant.data(), s.out1.data(), s.D); },
      [&f, &s, v] {
        f.DewarpHDFieldAnt(v, s.n, s.W, s.L, 0.0f, s.ant.data(), s.pst.data(), s.iris.data(),
                           s.out1.data(), s.D, s.dAnt.data(), s.dPst.data(), s.dIris.data());
      },
      [&f, &s, v] {
        f.DewarpHDFieldAntPst(v, s.n, s.W, s.L, 0.0f, s.ant.data(), s.pst.data(), s.iris.data(),
                              s.out1.data(), s.out2.data(), s.D, s.dAnt.data(), s.dPst.data(),
                              s.dIris.data());
      },
  };
}

// The message of each operation, in order.
std::vector<std::string> RunAll(CCorneaDewarpingAlgorithm& f, Scan& s) {
  std::vector<std::string> messages;
  for (const auto& op : Operations(f, s)) messages.push_back(MessageOf(op));
  return messages;
}

const DewarpScanner kScanner = DewarpPresetRadial8mm();
const float kDirections[3] = {0.0f, 60.0f, 120.0f};

void InitCornea(CCorneaDewarpingAlgorithm& f, int directions = 3) {
  f.InitializeCornea(kScanner.n_phase[0], kScanner.n_group[0], kScanner.n_ref, directions,
                     kDirections, kScanner.half_FOV, kScanner.half_telecentricity,
                     kScanner.scan_sag, kScanner.scan_depth);
}
void InitHDCornea(CCorneaDewarpingAlgorithm& f, int directions = 3) {
  f.InitializeHDCornea(kScanner.n_phase, kScanner.n_group, kScanner.n_ref, directions, kDirections,
                       kScanner.half_FOV, kScanner.half_telecentricity, kScanner.scan_sag,
                       kScanner.scan_depth);
}
void InitHDField(CCorneaDewarpingAlgorithm& f, int directions = 3) {
  f.InitializeHDField(kScanner.n_phase, kScanner.n_group, kScanner.n_ref, directions, kDirections,
                      kScanner.half_FOV, kScanner.half_telecentricity, kScanner.scan_sag,
                      kScanner.scan_depth);
}

TEST(CorneaDewarpingFacade, EachFamilyNeedsItsOwnInitializationAndWritesNothingWithoutIt) {
  const std::string cornea = "dewarping initialization is missing.";
  const std::string hd = "DewarpBscans: parameter initialization is missing.";
  const std::string ok = "no exception";
  Scan s(2, 32, 40, 56);
  CCorneaDewarpingAlgorithm f;
  EXPECT_EQ(RunAll(f, s), (std::vector<std::string>{cornea, cornea, hd, hd, hd, hd, hd}));
  EXPECT_EQ(s.out1, std::vector<std::uint8_t>(s.out1.size(), 9));
  EXPECT_EQ(s.dAnt, std::vector<float>(s.dAnt.size(), 7.0f));
  InitCornea(f);
  EXPECT_EQ(RunAll(f, s), (std::vector<std::string>{ok, ok, hd, hd, hd, hd, hd}));
  CCorneaDewarpingAlgorithm g;
  InitHDCornea(g);
  EXPECT_EQ(RunAll(g, s), (std::vector<std::string>{cornea, cornea, ok, ok, hd, hd, hd}));
  CCorneaDewarpingAlgorithm h;
  InitHDField(h);
  EXPECT_EQ(RunAll(h, s), (std::vector<std::string>{cornea, cornea, hd, hd, ok, ok, ok}));
  InitHDCornea(h);
  EXPECT_EQ(RunAll(h, s), (std::vector<std::string>{cornea, cornea, ok, ok, ok, ok, ok}));
}

TEST(CorneaDewarpingFacade, RefusesTooFewDirectionsAndOversizedScansWithFixedTexts) {
  Scan s(2, 32, 40, 56);
  CCorneaDewarpingAlgorithm f;
  InitCornea(f, 1);
  InitHDCornea(f, 1);
  InitHDField(f, 1);
  for (const std::string& m : RunAll(f, s))
    EXPECT_EQ(m, CCorneaDewarpingAlgorithm::kTooFewDirections);
  Scan none(0, 32, 40, 56);
  for (const std::string& m : RunAll(f, none)) EXPECT_EQ(m, "no exception");

  InitHDCornea(f);
  Scan wide(1, 4097, 8, 8), deep(1, 8, 4097, 4097);
  const auto hdAnt = [&](Scan& x) {
    return MessageOf([&] {
      f.DewarpHDCorneaAnt(x.volume.data(), 1, x.W, x.L, x.ant.data(), x.pst.data(), x.out1.data(),
                          x.D, x.dAnt.data(), x.dPst.data());
    });
  };
  EXPECT_EQ(hdAnt(wide), "Maximum number of Ascan in a Bscan must be smaller than 1025.");
  EXPECT_EQ(hdAnt(deep), "Maximum number of Ascan in a Bscan must be smaller than 2049.");
}

// Two identical B-scans along directions whose scan model is the same (equal horizontal and
// vertical values): every operation must correct the second exactly like the first.
TEST(CorneaDewarpingFacade, EachBscanOfAVolumeIsCorrectedFromItsOwnDataAndLayers) {
  Scan s(2, 32, 40, 56);
  const int per = s.W * s.L, out = s.W * s.D;
  for (int i = 0; i < per; ++i) s.volume[i] = s.volume[per + i] = 20 + (i * 7) % 200;
  CCorneaDewarpingAlgorithm f;
  InitCornea(f);
  InitHDCornea(f);
  InitHDField(f);
  const auto halvesEqual = [&](const auto& v, int n) {
    return std::equal(v.begin(), v.begin() + n, v.begin() + n);
  };
  for (const auto& op : Operations(f, s)) {
    s.out1.assign(s.out1.size(), 9);
    s.dAnt.assign(s.dAnt.size(), 7.0f);
    op();
    EXPECT_TRUE(halvesEqual(s.out1, out));
    EXPECT_TRUE(halvesEqual(s.dAnt, s.W));
  }
}

TEST(CorneaDewarpingFacade, TheCorrectedAscanHoldsTheAirStretchedByTheReferenceIndex) {
  // Flat cornea at samples 300 .. 350 of 400 under an unswept beam; the deepest 10 samples are
  // bright. In the corrected image the air above the cornea is 1.386 times longer.
  const int W = 64, L = 400, D = static_cast<int>(std::ceil(L * 1.386));
  Scan s(1, W, L, D);
  for (int j = 0; j < W; ++j)
    for (int k = 0; k < L; ++k) s.volume[j * L + k] = k < 300 ? 20 : k < 390 ? 50 : 200;
  std::fill(s.ant.begin(), s.ant.end(), 300.0f);
  std::fill(s.pst.begin(), s.pst.end(), 350.0f);
  s.ant[0] = -1.0f;
  const float noSweep[2] = {0, 0}, directions[1] = {0};
  CCorneaDewarpingAlgorithm f;
  f.InitializeHDCornea(kScanner.n_phase, kScanner.n_group, kScanner.n_ref, 1, directions,
                       kScanner.half_FOV, noSweep, kScanner.scan_sag, kScanner.scan_depth);
  f.DewarpHDCorneaAntPst(s.volume.data(), 1, W, L, s.ant.data(), s.pst.data(), s.out1.data(),
                         s.out2.data(), D, s.dAnt.data(), s.dPst.data());
  EXPECT_EQ(s.dAnt[0], -1.0f);  // no input value, no output value
  EXPECT_NEAR(s.dAnt[W / 2], 300 * 1.386, 0.05);
  EXPECT_NEAR(s.dPst[W / 2], 300 * 1.386 + 50, 0.05);
  // The deepest source sample (399) lands at 300 * 1.386 + 99 = 514.8 < D; the cornea lies
  // between 415.8 and 505.8.
  EXPECT_EQ(s.out1[(W / 2) * D + 512], 200);
  EXPECT_EQ(s.out1[(W / 2) * D + 440], 50);
}

TEST(CorneaDewarpingFacade, EachDirectionTakesItsSagFromTheHorizontalAndVerticalValues) {
  // A flat anterior surface under an unswept beam follows the scan surface's sag: at x = -1/2 it
  // lies S / 4 deeper than at the centre, S = 0.1 mm at 0 degrees, 0.3 mm at 90 degrees and
  // sqrt((0.1^2 + 0.3^2) / 2) at 45 degrees (also at 135 degrees).
  const int W = 128, L = 200, D = 278;
  Scan s(4, W, L, D);
  std::fill(s.ant.begin(), s.ant.end(), 100.0f);
  const float directions[4] = {0, 90, 45, 135}, sag[2] = {0.1f, 0.3f}, noSweep[2] = {0, 0};
  CCorneaDewarpingAlgorithm f;
  f.InitializeHDCornea(kScanner.n_phase, kScanner.n_group, kScanner.n_ref, 4, directions,
                       kScanner.half_FOV, noSweep, sag, kScanner.scan_depth);
  f.DewarpHDCorneaAnt(s.volume.data(), 4, W, L, s.ant.data(), s.pst.data(), s.out1.data(), D,
                      s.dAnt.data(), s.dPst.data());
  const double diagonal = std::sqrt((0.01 + 0.09) / 2);
  const double expected[4] = {0.1, 0.3, diagonal, diagonal};
  for (int b = 0; b < 4; ++b) {
    const float* row = s.dAnt.data() + b * W;
    EXPECT_NEAR(row[W / 4] - row[W / 2], expected[b] / 4 / kScanner.scan_depth * L, 0.05) << b;
  }
}

}  // namespace
}  // namespace Talvex::SDOCT::Algorithms
