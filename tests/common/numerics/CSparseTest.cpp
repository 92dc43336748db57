#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "common/numerics/CSparse.h"

namespace {

using namespace Talvex::Common::Algorithms::Numerics;

using Dense = std::vector<std::vector<double>>;

// Dense copy of a compressed record; duplicate entries add up.
Dense ToDense(const cs_sparse* A) {
  Dense d(A->m, std::vector<double>(A->n, 0.0));
  for (int j = 0; j < A->n; ++j)
    for (int q = A->p[j]; q < A->p[j + 1]; ++q) d[A->i[q]][j] += A->x[q];
  return d;
}

// Random triplet record with some repeated positions, and its dense sum.
CsMatrix RandomTriplet(int m, int n, int count, std::mt19937& rng, Dense& dense) {
  std::uniform_int_distribution<int> row(0, m - 1), col(0, n - 1);
  std::uniform_real_distribution<float> value(-2.0f, 2.0f);
  std::vector<int> i, j;
  std::vector<float> x;
  dense.assign(m, std::vector<double>(n, 0.0));
  for (int k = 0; k < count; ++k) {
    const bool repeat = k > 0 && k % 5 == 0;
    i.push_back(repeat ? i[k - 1] : row(rng));
    j.push_back(repeat ? j[k - 1] : col(rng));
    x.push_back(value(rng));
    dense[i.back()][j.back()] += x.back();
  }
  return CsMatrix(cs_set(i.data(), j.data(), x.data(), count, m, n));
}

void ExpectDenseNear(const Dense& actual, const Dense& expected, double tolerance) {
  ASSERT_EQ(actual.size(), expected.size());
  for (size_t r = 0; r < actual.size(); ++r) {
    ASSERT_EQ(actual[r].size(), expected[r].size());
    for (size_t c = 0; c < actual[r].size(); ++c)
      EXPECT_NEAR(actual[r][c], expected[r][c], tolerance) << "(" << r << ", " << c << ")";
  }
}

TEST(SparseKit, ProductSumAndTransposeAgreeWithDenseArithmetic) {
  std::mt19937 rng(5);
  Dense a, b, c;
  CsMatrix at = RandomTriplet(7, 5, 20, rng, a), bt = RandomTriplet(5, 6, 18, rng, b);
  CsMatrix ct = RandomTriplet(7, 5, 15, rng, c);
  CsMatrix A(cs_compress(at.get())), B(cs_compress(bt.get())), C(cs_compress(ct.get()));
  ASSERT_TRUE(A && B && C);

  CsMatrix AB(cs_multiply(A.get(), B.get()));
  ASSERT_TRUE(AB);
  Dense ab(7, std::vector<double>(6, 0.0));
  for (int r = 0; r < 7; ++r)
    for (int k = 0; k < 5; ++k)
      for (int col = 0; col < 6; ++col) ab[r][col] += a[r][k] * b[k][col];
  ExpectDenseNear(ToDense(AB.get()), ab, 1e-5);

  CsMatrix S(cs_add(A.get(), C.get(), 2.0f, -0.5f));
  ASSERT_TRUE(S);
  Dense s = a;
  for (int r = 0; r < 7; ++r)
    for (int col = 0; col < 5; ++col) s[r][col] = 2.0 * a[r][col] - 0.5 * c[r][col];
  ExpectDenseNear(ToDense(S.get()), s, 1e-5);

  CsMatrix T(cs_transpose(A.get(), 1));
  ASSERT_TRUE(T);
  EXPECT_EQ(T->m, 5);
  EXPECT_EQ(T->n, 7);
  Dense t(5, std::vector<double>(7, 0.0));
  for (int r = 0; r < 7; ++r)
    for (int col = 0; col < 5; ++col) t[col][r] = a[r][col];
  ExpectDenseNear(ToDense(T.get()), t, 0.0);
  // Within a column of the transpose, entries come in increasing source column order.
  for (int j = 0; j < T->n; ++j)
    for (int q = T->p[j] + 1; q < T->p[j + 1]; ++q) EXPECT_LE(T->i[q - 1], T->i[q]);

  // Merged positions: the sum and the product hold each position at most once per column.
  for (const cs_sparse* M : {S.get(), AB.get()})
    for (int j = 0; j < M->n; ++j)
      for (int q = M->p[j]; q < M->p[j + 1]; ++q)
        for (int u = q + 1; u < M->p[j + 1]; ++u) EXPECT_NE(M->i[q], M->i[u]);
}

TEST(SparseKit, CompressionKeepsDuplicatesAndRoundTripsThroughTriplets) {
  // Entries (row, col): (2,1) twice, (0,1), (1,0), (2,0).
  const std::vector<int> i = {2, 0, 2, 1, 2}, j = {1, 1, 1, 0, 0};
  const std::vector<float> x = {1, 2, 3, 4, 5};
  CsMatrix T(cs_set(i.data(), j.data(), x.data(), 5, 3, 2));
  ASSERT_TRUE(T);
  EXPECT_EQ(T->nz, 5);
  CsMatrix C(cs_compress(T.get()));
  ASSERT_TRUE(C);
  EXPECT_EQ(C->nz, -1);
  EXPECT_EQ(std::vector<int>(C->p, C->p + 3), (std::vector<int>{0, 2, 5}));
  // Column 0 in triplet order: (1,4), (2,5); column 1: (2,1), (0,2), (2,3), duplicates apart.
  EXPECT_EQ(std::vector<int>(C->i, C->i + 5), (std::vector<int>{1, 2, 2, 0, 2}));
  EXPECT_EQ(std::vector<float>(C->x, C->x + 5), (std::vector<float>{4, 5, 1, 2, 3}));

  CsMatrix U(cs_uncompress(C.get()));
  ASSERT_TRUE(U);
  EXPECT_EQ(U->nz, 5);
  EXPECT_EQ(std::vector<int>(U->p, U->p + 5), (std::vector<int>{0, 0, 1, 1, 1}));
  EXPECT_EQ(std::vector<int>(U->i, U->i + 5), (std::vector<int>{1, 2, 2, 0, 2}));
  CsMatrix C2(cs_compress(U.get()));
  ExpectDenseNear(ToDense(C2.get()), ToDense(C.get()), 0.0);
  EXPECT_FLOAT_EQ(cs_norm(C.get()), 9.0f);  // column 0: 4 + 5 (column 1: 1 + 2 + 3)

  // Stacking shifts the second block's rows; the result is (3 + 3) x 2.
  CsMatrix R(cs_rowconcat(T.get(), T.get()));
  ASSERT_TRUE(R);
  EXPECT_EQ(R->m, 6);
  EXPECT_EQ(R->nz, 10);
  EXPECT_EQ(R->i[5], 5);
  EXPECT_EQ(R->p[5], 1);
  EXPECT_EQ(R->x[9], 5.0f);
}

TEST(SparseKit, ProductReachesEveryRowOfAStructuralEntryExplicitZerosIncluded) {
  // A (3 x 2): column 0 holds rows 0 and 2 (row 2 an explicit zero), column 1 row 1.
  const std::vector<int> ai = {0, 2, 1}, aj = {0, 0, 1}, bi = {0, 1}, bj = {0, 0};
  const std::vector<float> ax = {3, 0, 4}, bx = {2, 5};
  CsMatrix at(cs_set(ai.data(), aj.data(), ax.data(), 3, 3, 2));
  CsMatrix bt(cs_set(bi.data(), bj.data(), bx.data(), 2, 2, 1));
  CsMatrix A(cs_compress(at.get())), B(cs_compress(bt.get()));
  CsMatrix P(cs_multiply(A.get(), B.get()));
  ASSERT_TRUE(P);
  EXPECT_EQ(P->p[1], 3);
  ExpectDenseNear(ToDense(P.get()), Dense{{6}, {20}, {0}}, 0.0);
}

TEST(SparseKit, EdgeCasesOfAllocationCumulativeSumNormAndInvalidInput) {
  CsMatrix E(cs_spalloc(4, 3, 0, 1, 0));
  ASSERT_TRUE(E);
  EXPECT_EQ(E->nzmax, 1);
  EXPECT_EQ(E->nz, -1);
  EXPECT_EQ(cs_norm(E.get()), 0.0f);  // all columns empty
  void* block = cs_calloc(0, sizeof(int));
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(*static_cast<int*>(block), 0);
  cs_free(block);

  int p[4] = {-9, -9, -9, -9}, c[3] = {2, 0, 3};
  EXPECT_EQ(cs_cumsum(p, c, 3), 5.0f);
  EXPECT_EQ(std::vector<int>(p, p + 4), (std::vector<int>{0, 2, 2, 5}));
  EXPECT_EQ(std::vector<int>(c, c + 3), (std::vector<int>{0, 2, 2}));
  EXPECT_EQ(cs_cumsum(nullptr, c, 3), -1.0f);

  CsMatrix T(cs_spalloc(2, 2, 3, 1, 1));
  EXPECT_EQ(cs_compress(nullptr), nullptr);
  EXPECT_EQ(cs_uncompress(T.get()), nullptr);  // not compressed
  EXPECT_EQ(cs_transpose(T.get(), 1), nullptr);
  EXPECT_EQ(cs_norm(T.get()), -1.0f);
  CsMatrix other(cs_spalloc(3, 2, 1, 1, 0));
  EXPECT_EQ(cs_add(E.get(), other.get(), 1.0f, 1.0f), nullptr);  // sizes differ
  EXPECT_EQ(cs_multiply(other.get(), other.get()), nullptr);     // 3 x 2 by 3 x 2
  int w[4] = {};
  EXPECT_EQ(cs_scatter(T.get(), 0, 1.0f, w, nullptr, 1, E.get(), 0), -1);
  EXPECT_EQ(cs_sprealloc(nullptr, 5), 0);
  EXPECT_EQ(cs_sprealloc(T.get(), 10), 1);
  EXPECT_EQ(T->nzmax, 10);
}

}  // namespace
