#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "platform/signal/TalvexIpps.h"

namespace {

using namespace Talvex::Platform;

// Short vectors take the inline scalar path, long ones the vector reduction: test both.
const int kLengths[] = {1, 5, 31, 33, 100, 1027};

TEST(IndexSearch, ExtremesAndTheirFirstIndicesMatchABruteForceScan) {
  std::mt19937 rng(11);
  std::uniform_int_distribution<int> level(-20, 20);  // few levels: many ties
  for (int n : kLengths) {
    std::vector<float> v(n);
    std::vector<double> d(n);
    for (int i = 0; i < n; ++i) d[i] = v[i] = 0.5f * level(rng);
    if (n > 4) v[n - 1] = v[n - 2] = d[n - 1] = d[n - 2] = 99.0f;  // tied maxima in the tail
    if (n > 4) v[2] = v[n - 3] = d[2] = d[n - 3] = -99.0f;         // tied minima far apart
    int minAt = 0, maxAt = 0;
    for (int i = 1; i < n; ++i) {
      if (v[i] < v[minAt]) minAt = i;
      if (v[i] > v[maxAt]) maxAt = i;
    }
    float lo, hi, m;
    double dlo, dhi;
    int index;
    ASSERT_EQ(ippsMinMax_32f(v.data(), n, &lo, &hi), 0);
    EXPECT_EQ(lo, v[minAt]);
    EXPECT_EQ(hi, v[maxAt]);
    ippsMin_32f(v.data(), n, &m);
    EXPECT_EQ(m, v[minAt]);
    ippsMax_32f(v.data(), n, &m);
    EXPECT_EQ(m, v[maxAt]);
    ippsMin_64f(d.data(), n, &dlo);
    ippsMax_64f(d.data(), n, &dhi);
    EXPECT_EQ(dlo, d[minAt]);
    EXPECT_EQ(dhi, d[maxAt]);
    ippsMinIndx_32f(v.data(), n, &m, &index);
    EXPECT_EQ(index, minAt);
    ippsMaxIndx_32f(v.data(), n, &m, &index);
    EXPECT_EQ(index, maxAt);
    std::vector<float> flat(n, 1e10f);  // the layer tracer's untouched columns: index 0
    ippsMinIndx_32f(flat.data(), n, &m, &index);
    EXPECT_EQ(index, 0);
  }
  const Ipp16s apex[3] = {12, 4, 4};
  Ipp16s smallest;
  int index;
  ASSERT_EQ(ippsMinIndx_16s(apex, 3, &smallest, &index), 0);
  EXPECT_EQ(index, 1);
  EXPECT_EQ(smallest, 4);
}

TEST(Statistics, MeanOfAnEmptyVectorFails) {
  const float v[1] = {1.0f};
  float mean = 0.0f;
  double dmean = 0.0;
  EXPECT_NE(ippsMean_32f(v, 0, &mean, ippAlgHintAccurate), 0);
  EXPECT_NE(ippsMean_32f(v, -3, &mean, ippAlgHintFast), 0);
  EXPECT_NE(ippsMean_64f(nullptr, 4, &dmean), 0);
  EXPECT_EQ(ippsMean_32f(v, 1, &mean, ippAlgHintAccurate), 0);
  EXPECT_EQ(mean, 1.0f);
}

TEST(Statistics, StandardDeviationIsNormalisedByNMinusOne) {
  const float v[4] = {1.0f, 2.0f, 3.0f, 4.0f};
  float mean, sd;
  ASSERT_EQ(ippsMeanStdDev_32f(v, 4, &mean, &sd, ippAlgHintAccurate), 0);
  EXPECT_EQ(mean, 2.5f);
  EXPECT_FLOAT_EQ(sd, std::sqrt(5.0f / 3.0f));
  EXPECT_NE(ippsMeanStdDev_32f(v, 1, &mean, &sd, ippAlgHintAccurate), 0);
}

TEST(Statistics, SumsAccumulateInDoublePrecision) {
  // A large offset that a float accumulator would absorb every unit step into.
  std::vector<float> v(2002, 1.0f);
  v[0] = 1e8f;
  v[2001] = -1e8f;
  float sum, mean;
  ASSERT_EQ(ippsSum_32f(v.data(), 2002, &sum, ippAlgHintAccurate), 0);
  EXPECT_EQ(sum, 2000.0f);
  ASSERT_EQ(ippsMean_32f(v.data(), 2002, &mean, ippAlgHintAccurate), 0);
  EXPECT_FLOAT_EQ(mean, 2000.0f / 2002.0f);
  const double halves[3] = {0.25, 0.5, 1e-17};
  double dsum;
  ASSERT_EQ(ippsSum_64f(halves, 3, &dsum), 0);
  EXPECT_EQ(dsum, 0.75 + 1e-17);
}

TEST(Statistics, IntegerSumIsScaledRoundedToEvenAndSaturated) {
  const Ipp32s flags[6] = {1, 0, 1, 1, 0, 1};
  Ipp32s sum;
  ASSERT_EQ(ippsSum_32s_Sfs(flags, 6, &sum, 0), 0);
  EXPECT_EQ(sum, 4);
  const Ipp32s six[1] = {6}, ten[1] = {10}, minusSix[1] = {-6};
  ippsSum_32s_Sfs(six, 1, &sum, 2);  // 1.5 -> 2
  EXPECT_EQ(sum, 2);
  ippsSum_32s_Sfs(ten, 1, &sum, 2);  // 2.5 -> 2
  EXPECT_EQ(sum, 2);
  ippsSum_32s_Sfs(minusSix, 1, &sum, 2);  // -1.5 -> -2
  EXPECT_EQ(sum, -2);
  const Ipp32s big[3] = {2000000000, 2000000000, -5};
  ippsSum_32s_Sfs(big, 3, &sum, 0);
  EXPECT_EQ(sum, 2147483647);
  ippsSum_32s_Sfs(ten, 1, &sum, -3);
  EXPECT_EQ(sum, 80);
}

}  // namespace
