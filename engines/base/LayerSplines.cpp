// Layer interpolation, smoothing, resampling and reordering of the engine base.
#include <algorithm>
#include <memory>

#include "common/data_structures/CLineSpace.h"
#include "common/data_structures/CVector.h"
#include "common/numerics/BSpline.h"
#include "common/numerics/Splines.h"
#include "engines/base/CAnteriorSegmentModule.h"
#include "engines/base/LibraryStatus.h"
#include "platform/signal/TalvexIpps.h"

namespace Talvex::SDOCT::Algorithms {

using Common::Algorithms::DataStructures::CLineSpace;
using Common::Algorithms::DataStructures::CVector;
using Engines::RequireSuccess;
namespace Numerics = Common::Algorithms::Numerics;

namespace {

// Copies the points with a value (y >= 0) in order; x and y hold room for all n points.
template <typename T>
int GatherValid(const T* inx, const T* iny, int n, T* x, T* y) {
  int count = 0;
  for (int i = 0; i < n; ++i) {
    if (iny[i] >= 0) {
      x[count] = inx[i];
      y[count] = iny[i];
      ++count;
    }
  }
  return count;
}

template <typename T>
int EvaluateSmoothingSpline(const T* x, const T* y, int n, const T* xi, T* yi, int m,
                            float wavelength, int bctype) {
  if (x == nullptr || y == nullptr || n < 1) return -1;
  const Numerics::BSpline<T> spline(x, n, y, wavelength, bctype, 0);
  if (!spline.ok()) return -1;
  // The spline's domain ends at xmin + M * DX, which is the largest abscissa up to the single-
  // precision rounding of the interval width DX; the largest abscissa itself always belongs to it.
  const T top = spline.Xmax();
  for (int j = 0; j < m; ++j)
    if (spline.inDomain(xi[j]) || xi[j] == top) yi[j] = spline.evaluate(xi[j]);
  return 0;
}

template <typename T>
void SmoothRows(CAnteriorSegmentModule& module, const T* layer, int numBscans, int bscanWidth,
                T smooth, T* smoothLayer) {
  const auto x = CLineSpace<T>::linspace(T(0), static_cast<T>(bscanWidth - 1), bscanWidth);
  if (!x) throw AlgorithmException("bspline() failed.");
  const float wavelength = static_cast<float>(static_cast<double>(bscanWidth) * smooth);
  for (int b = 0; b < numBscans; ++b) {
    const T* row = layer + static_cast<long long>(b) * bscanWidth;
    T* out = smoothLayer + static_cast<long long>(b) * bscanWidth;
    // A point the spline does not reach keeps its own value rather than the caller's garbage.
    if (out != row) std::copy(row, row + bscanWidth, out);
    if (module.bspline(x->getdata(), row, bscanWidth, x->getdata(), out, bscanWidth, wavelength,
                       2) == -1)
      throw AlgorithmException("bspline() failed.");
  }
}

template <typename T>
void BsplineOfValidPoints(CAnteriorSegmentModule& module, const T* inx, const T* iny, int n,
                          const T* outx, T* outy, int m, float wavelen) {
  CVector<T> x(std::max(n, 0)), y(std::max(n, 0));
  const int count = GatherValid(inx, iny, n, x.getdata(), y.getdata());
  const float wavelength = static_cast<float>(static_cast<double>(m) * wavelen);
  RequireSuccess(module.bspline(x.getdata(), y.getdata(), count, outx, outy, m, wavelength, 2),
                 Engines::Messages::kBsplineFailed);
}

}  // namespace

int CAnteriorSegmentModule::bspline(const float* x, const float* y, int n, const float* xi,
                                    float* yi, int m, float wavelength, int bctype) {
  return EvaluateSmoothingSpline(x, y, n, xi, yi, m, wavelength, bctype);
}

int CAnteriorSegmentModule::bspline(const double* x, const double* y, int n, const double* xi,
                                    double* yi, int m, float wavelength, int bctype) {
  return EvaluateSmoothingSpline(x, y, n, xi, yi, m, wavelength, bctype);
}

void CAnteriorSegmentModule::CsplineInterpolation(const float* inx, const float* iny, int n,
                                                  const float* outx, float* outy, int m) {
  CVector<float> x(std::max(n, 0)), y(std::max(n, 0));
  const int count = GatherValid(inx, iny, n, x.getdata(), y.getdata());
  RequireSuccess(Numerics::cspline(x.getdata(), y.getdata(), count, outx, outy, m),
                 Engines::Messages::kCsplineFailed);
}

void CAnteriorSegmentModule::BsplineInterpolation(const float* inx, const float* iny, int n,
                                                  const float* outx, float* outy, int m,
                                                  float wavelen) {
  BsplineOfValidPoints(*this, inx, iny, n, outx, outy, m, wavelen);
}

void CAnteriorSegmentModule::BsplineInterpolation(const double* inx, const double* iny, int n,
                                                  const double* outx, double* outy, int m,
                                                  float wavelen) {
  BsplineOfValidPoints(*this, inx, iny, n, outx, outy, m, wavelen);
}

void CAnteriorSegmentModule::SmoothLayer(const float* layer, int numBscans, int bscanWidth,
                                         float smooth, float* smoothLayer) {
  SmoothRows(*this, layer, numBscans, bscanWidth, smooth, smoothLayer);
}

void CAnteriorSegmentModule::SmoothLayer(const double* layer, int numBscans, int bscanWidth,
                                         double smooth, double* smoothLayer) {
  SmoothRows(*this, layer, numBscans, bscanWidth, smooth, smoothLayer);
}

void CAnteriorSegmentModule::ResampleLayer(const float* layerIn, int n, float* layerOut, int m) {
  const auto xin = CLineSpace<float>::linspace(0.0f, static_cast<float>(m - 1), n);
  const auto xout = CLineSpace<float>::linspace(0.0f, static_cast<float>(m - 1), m);
  if (!xin || !xout) throw AlgorithmException(Engines::Messages::kCsplineFailed);
  RequireSuccess(Numerics::cspline(xin->getdata(), layerIn, n, xout->getdata(), layerOut, m),
                 Engines::Messages::kCsplineFailed);
}

void CAnteriorSegmentModule::ResampleLayer(const float* layerIn, int n, float* layerOut, int m,
                                           int axialSubsample, int mode, float bsplineWavelength) {
  const auto xin = CLineSpace<float>::linspace(0.0f, static_cast<float>(m - 1), n);
  const auto xout = CLineSpace<float>::linspace(0.0f, static_cast<float>(m - 1), m);
  if (!xin || !xout) throw AlgorithmException(Engines::Messages::kCsplineFailed);
  CsplineInterpolation(xin->getdata(), layerIn, n, xout->getdata(), layerOut, m);
  if (axialSubsample > 1)
    TALVEX_IPP(ippsMulC_32f_I, static_cast<float>(axialSubsample), layerOut, m);
  if (mode != 0) {
    const float wavelength = static_cast<float>(static_cast<double>(m) * bsplineWavelength);
    RequireSuccess(
        bspline(xout->getdata(), layerOut, m, xout->getdata(), layerOut, m, wavelength, 2),
        Engines::Messages::kBsplineFailed);
  }
}

void CAnteriorSegmentModule::ReorderLayers(float* layersIn, float* layersOut, int numLayers,
                                           int widthPix, float* angles) {
  for (int k = 0; k < numLayers; ++k) {
    double a = 180.0 - angles[k];
    if (a < 0.0) a += 360.0;
    const float* in = layersIn + static_cast<long long>(k) * widthPix;
    float* out = layersOut + static_cast<long long>(k) * widthPix;
    if (a <= 180.0) {
      angles[k] = static_cast<float>(a);
      std::reverse_copy(in, in + widthPix, out);
    } else {
      angles[k] = static_cast<float>(a - 180.0);
      std::copy(in, in + widthPix, out);
    }
  }
  CVector<int> order(numLayers);
  TALVEX_IPP(ippsSortIndexAscend_32f_I, angles, order.getdata(), numLayers);
  TALVEX_IPP(ippsMulC_32f_I, 0.01745329238474369f, angles, numLayers);
  for (int k = 0; k < numLayers; ++k) {
    const float* from = layersOut + static_cast<long long>(order.getdata()[k]) * widthPix;
    std::copy(from, from + widthPix, layersIn + static_cast<long long>(k) * widthPix);
  }
}

}  // namespace Talvex::SDOCT::Algorithms
