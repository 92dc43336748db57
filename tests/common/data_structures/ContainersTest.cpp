#include <gtest/gtest.h>

#include <vector>

#include "interface/Talvex.h"

namespace {

using namespace Talvex::Common::Algorithms::DataStructures;

std::vector<int> Values(const CVector<int>& v) {
  return std::vector<int>(v.getdata(), v.getdata() + v.getlength());
}

template <typename T>
std::vector<T> Row(const CMatrix<T>& m, int r) {
  int rows, cols;
  m.getdim(&rows, &cols);
  return std::vector<T>(m.getmatrix()[r], m.getmatrix()[r] + cols);
}

TEST(Containers, NewContainersAreZeroedAlignedAndContiguous) {
  CVector<double> v(5);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(v.getdata()[i], 0.0);
  CMatrix<float> m(3, 7);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(m.getdata()) % 64, 0u);
  for (int r = 0; r < 3; ++r) EXPECT_EQ(m.getmatrix()[r], m.getdata() + r * 7);
  const unsigned char bytes[6] = {1, 2, 3, 4, 5, 6};
  CMatrix<unsigned char> copy(2, 3, bytes);
  EXPECT_EQ(copy.getmatrix()[1][2], 6);
  float buffer[6] = {0, 1, 2, 3, 4, 5};
  CReshape<float> view(3, 2, buffer);
  view.getmatrix()[2][1] = 42.0f;  // writes through to the caller's buffer
  EXPECT_EQ(buffer[5], 42.0f);
  CVector<Talvex::Platform::Ipp32fc> spectrum(4);
  EXPECT_EQ(spectrum.getdata()[3].im, 0.0f);
}

TEST(Containers, OverflowingOrNegativeSizesFailAsAllocation) {
  EXPECT_THROW(CVector<float>(-1), std::bad_alloc);
  EXPECT_THROW(CMatrix<double>(-2, 3), std::bad_alloc);
  EXPECT_THROW(CMatrix<double>(1 << 30, 1 << 30), std::bad_alloc);
}

TEST(Containers, CropClampsStartAndLength) {
  const int data[4] = {10, 11, 12, 13};
  CVector<int> v(4, data);
  EXPECT_EQ(Values(*v.crop(-5, 0)), (std::vector<int>{10}));
  EXPECT_EQ(Values(*v.crop(3, 10)), (std::vector<int>{13}));
  EXPECT_EQ(Values(*v.crop(9, 2)), (std::vector<int>{13}));
  EXPECT_EQ(Values(*v.crop(1, 2)), (std::vector<int>{11, 12}));
  // Nothing to clamp to: an empty copy, never a read before the block (sanitizer build).
  CVector<int> empty(0);
  EXPECT_EQ(empty.crop(0, 3)->getlength(), 0);
  EXPECT_EQ(empty.crop(-2, 0)->getlength(), 0);
}

TEST(Containers, VectorFindAndConcatKeepOrder) {
  const int data[6] = {3, 1, 4, 1, 5, 9};
  CVector<int> v(6, data);
  EXPECT_EQ(Values(*v.find(1, TalvexCmpEqual)), (std::vector<int>{1, 3}));
  EXPECT_EQ(Values(*v.find(1, TalvexCmpNotEqual)), (std::vector<int>{0, 2, 4, 5}));
  EXPECT_EQ(Values(*v.find(4, TalvexCmpLess)), (std::vector<int>{0, 1, 3}));
  EXPECT_EQ(Values(*v.find(4, TalvexCmpLessEqual)), (std::vector<int>{0, 1, 2, 3}));
  EXPECT_EQ(Values(*v.find(4, TalvexCmpGreater)), (std::vector<int>{4, 5}));
  EXPECT_EQ(Values(*v.find(4, TalvexCmpGreaterEqual)), (std::vector<int>{2, 4, 5}));
  EXPECT_EQ(Values(*v.find(1, static_cast<TalvexCmpOperation>(17))), (std::vector<int>{1, 3}));
  EXPECT_EQ(v.find(7, TalvexCmpEqual)->getlength(), 0);

  const int tail[2] = {7, 8};
  CVector<int> w(2, tail);
  EXPECT_EQ(Values(*w.concat(*v.crop(0, 2), false)), (std::vector<int>{7, 8, 3, 1}));
  EXPECT_EQ(Values(*w.concat(*v.crop(0, 2), true)), (std::vector<int>{3, 1, 7, 8}));
}

TEST(Containers, MatrixFindRowWiseAndColumnWise) {
  const unsigned char data[6] = {0, 1, 1, 1, 0, 0};
  CMatrix<unsigned char> m(2, 3, data);
  EXPECT_EQ(Values(*m.find(1, TalvexCmpEqual, false)), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(Values(*m.find(1, TalvexCmpEqual, true)), (std::vector<int>{1, 2, 4}));
  auto t = m.transpose();
  EXPECT_EQ(Row(*t, 0), (std::vector<unsigned char>{0, 1}));
  EXPECT_EQ(Row(*t, 2), (std::vector<unsigned char>{1, 0}));
}

TEST(Containers, LinspaceEndPointsAndDegenerateCases) {
  auto v = CLineSpace<double>::linspace(0, 9, 10);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(v->getdata()[i], i);
  auto zeros = CLineSpace<float>::linspace(2, 2, 3);
  EXPECT_EQ(zeros->getlength(), 3);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(zeros->getdata()[i], 0.0f);
  EXPECT_EQ(CLineSpace<float>::linspace(0, 1, 1)->getdata()[0], 0.5f);
  EXPECT_EQ(CLineSpace<float>::linspace(0, 1, 0), nullptr);
  // The last element is exactly b even where accumulated rounding would miss it.
  auto tenth = CLineSpace<float>::linspace(0.1f, 0.7f, 7);
  EXPECT_EQ(tenth->getdata()[6], 0.7f);
  EXPECT_FLOAT_EQ(tenth->getdata()[3], 0.4f);
}

TEST(Containers, MeshgridEndsAndIntegerAccumulation) {
  auto y = CMeshgrid<int>::meshgridY(0, 10, 2, 4);
  const int expected[4] = {0, 3, 6, 10};
  for (int r = 0; r < 4; ++r) EXPECT_EQ(Row(*y, r), (std::vector<int>{expected[r], expected[r]}));
  auto x = CMeshgrid<int>::meshgridX(0, 10, 4, 2);
  EXPECT_EQ(Row(*x, 1), (std::vector<int>{0, 3, 6, 10}));

  auto fx = CMeshgrid<float>::meshgridX(-1.0f, 1.0f, 5);
  EXPECT_EQ(Row(*fx, 4), (std::vector<float>{-1.0f, -0.5f, 0.0f, 0.5f, 1.0f}));
  auto fy = CMeshgrid<double>::meshgridY(0.0, 0.3, 4);
  EXPECT_EQ(fy->getmatrix()[3][3], 0.3);
  EXPECT_NEAR(fy->getmatrix()[1][2], 0.1, 1e-15);
  auto flat = CMeshgrid<double>::meshgridX(2.0, 2.0, 3);
  EXPECT_EQ(Row(*flat, 2), (std::vector<double>{0, 0, 0}));
  EXPECT_EQ(CMeshgrid<int>::meshgridY(0, 5, 0, 3), nullptr);
  EXPECT_EQ(CMeshgrid<int>::meshgridY(0, 5, 2, 1)->getmatrix()[0][1], 5);
}

}  // namespace
