#include "common/filters/LinearFilters.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>

#include "common/data_structures/CLineSpace.h"
#include "common/data_structures/CMatrix.h"
#include "common/data_structures/CVector.h"
#include "platform/image/TalvexIppiBasic.h"
#include "platform/signal/TalvexIpps.h"

namespace Talvex::Common::Algorithms::Filters {

namespace {

using DataStructures::CLineSpace;
using DataStructures::CMatrix;
using DataStructures::CVector;
using namespace Talvex::Platform;

IppStatus FullConvolution(const float* a, int n, const float* k, int m, float* out) {
  return ippsConv_32f(a, n, k, m, out);
}
IppStatus FullConvolution(const double* a, int n, const double* k, int m, double* out) {
  return ippsConv_64f(a, n, k, m, out);
}

template <typename T>
int Convolve1D(const T* src, int n, const T* kernel, int k, T* dst) {
  if (n < 1 || k < 1) return -1;
  try {
    CVector<T> full(n + k - 1);
    if (FullConvolution(src, n, kernel, k, full.getdata()) != 0) return -1;
    std::copy(full.getdata() + k / 2, full.getdata() + k / 2 + n, dst);
    return 0;
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

// Padding for a kernel of k taps anchored at k/2: k/2 samples before, k - 1 - k/2 after.
struct Border {
  explicit Border(int k) : before(k / 2), after(k - 1 - k / 2) {}
  int before, after;
};

// Copies rows x cols samples into rows x (cols + k - 1) with the first and last sample of every
// row replicated into the border.
template <typename T>
void PadRows(const T* image, int rows, int cols, Border b, T* padded) {
  const int stride = cols + b.before + b.after;
  for (int r = 0; r < rows; ++r) {
    const T* in = image + static_cast<long long>(r) * cols;
    T* out = padded + static_cast<long long>(r) * stride;
    std::fill(out, out + b.before, in[0]);
    std::copy(in, in + cols, out + b.before);
    std::fill(out + b.before + cols, out + stride, in[cols - 1]);
  }
}

// Copies rows x cols samples into (rows + k - 1) x cols with the first and last rows replicated.
template <typename T>
void PadColumns(const T* image, int rows, int cols, Border b, T* padded) {
  const long long rowSize = cols;
  for (int r = 0; r < b.before; ++r) std::copy(image, image + rowSize, padded + r * rowSize);
  std::copy(image, image + rows * rowSize, padded + b.before * rowSize);
  const T* last = image + (rows - 1) * rowSize;
  T* tail = padded + (rows + b.before) * rowSize;
  for (int r = 0; r < b.after; ++r) std::copy(last, last + rowSize, tail + r * rowSize);
}

// A padded copy of an image for the 2-D filters, written in full before it is read: left
// uninitialised rather than zero-filled first.
std::unique_ptr<float[]> PaddedCopyBuffer(int rows, int cols) {
  return std::unique_ptr<float[]>(new float[static_cast<std::size_t>(rows) * cols]);
}

// The 2-D filters anchor an odd kernel of 2h+1 taps at h; an even kernel has no centre tap.
bool ValidImage(int rows, int cols, int k) {
  return rows >= 1 && cols >= 1 && k >= 1 && k % 2 == 1;
}

// Normalised Gaussian of 2 (size/2) + 1 taps; `doubleExp` selects double exp rounded to float
// instead of expf.
std::unique_ptr<CVector<float>> SmoothingKernel(float sigma, int size, bool doubleExp) {
  const int h = size / 2;
  auto kernel = std::make_unique<CVector<float>>(2 * h + 1);
  float* k = kernel->getdata();
  float sum = 0.0f;
  for (int j = -h; j <= h; ++j) {
    const int j2 = j * j;
    k[j + h] = doubleExp ? static_cast<float>(std::exp(-j2 / (2.0 * double(sigma) * sigma)))
                         : std::exp(-static_cast<float>(j2) / (2.0f * sigma * sigma));
    sum += k[j + h];
  }
  for (int i = 0; i < 2 * h + 1; ++i) k[i] /= sum;
  return kernel;
}

// Scales the kernel to peak 1 with the primitives.
int NormalisePeak(float* kernel, int n) {
  float peak = 0.0f;
  if (ippsMax_32f(kernel, n, &peak) != 0) return -1;
  return ippsMulC_32f_I(1.0f / peak, kernel, n) != 0 ? -1 : 0;
}

}  // namespace

int Conv1D(const float* src, int n, const float* kernel, int k, float* dst) {
  return Convolve1D(src, n, kernel, k, dst);
}
int Conv1D(const double* src, int n, const double* kernel, int k, double* dst) {
  return Convolve1D(src, n, kernel, k, dst);
}

int ConvRow2D(float* image, int rows, int cols, const float* kernel, int k) {
  if (!ValidImage(rows, cols, k)) return -1;
  try {
    const int h = k / 2, stride = cols + k - 1;
    const std::unique_ptr<float[]> padded = PaddedCopyBuffer(rows, stride);
    PadRows(image, rows, cols, Border(k), padded.get());
    const IppiSize roi{cols, rows};
    return ippiFilterRow_32f_C1R(padded.get() + h, stride * 4, image, cols * 4, roi, kernel, k,
                                 h) != 0
               ? -1
               : 0;
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

int ConvCol2D(float* image, int rows, int cols, const float* kernel, int k) {
  if (!ValidImage(rows, cols, k)) return -1;
  try {
    const int h = k / 2;
    const std::unique_ptr<float[]> padded = PaddedCopyBuffer(rows + k - 1, cols);
    PadColumns(image, rows, cols, Border(k), padded.get());
    const IppiSize roi{cols, rows};
    return ippiFilterColumn_32f_C1R(padded.get() + static_cast<long long>(h) * cols, cols * 4,
                                    image, cols * 4, roi, kernel, k, h) != 0
               ? -1
               : 0;
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

int GetGaussDerivKernel1D(int order, float sigma, int size, float range, float* kernel) {
  if (!(sigma > 0.0f) || size < 1) return -1;
  const int n = (size % 2) ? size : size + 1;
  try {
    const double b = static_cast<double>(sigma) * range;
    auto x = CLineSpace<double>::linspace(-b, b, n);
    const double* xs = x->getdata();
    const double s2 = static_cast<double>(sigma) * sigma;
    for (int i = 0; i < n; ++i) kernel[i] = static_cast<float>(std::exp(-xs[i] * xs[i] / (2 * s2)));
    if (NormalisePeak(kernel, n) != 0) return -1;
    for (int i = 0; i < n; ++i) {
      if (order == 1) kernel[i] = static_cast<float>(-(xs[i] / s2) * kernel[i]);
      if (order == 1 || order == 2)
        kernel[i] = static_cast<float>(kernel[i] * (xs[i] * xs[i] - s2) / (s2 * s2));
    }
    return 0;
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

int GetGaussianDerivKernel1D(int order, float sigma, int size, float range, float* kernel) {
  if (!(sigma > 0.0f) || size < 1) return -1;
  const int n = (size % 2) ? size : size + 1;
  try {
    const float b = sigma * range;
    auto x = CLineSpace<float>::linspace(-b, b, n);
    const float* xs = x->getdata();
    const float s2 = sigma * sigma;
    for (int i = 0; i < n; ++i) kernel[i] = std::exp(-xs[i] * xs[i] / (2.0f * s2));
    if (NormalisePeak(kernel, n) != 0) return -1;
    for (int i = 0; i < n; ++i) {
      if (order == 1) kernel[i] = -(xs[i] / s2) * kernel[i];
      if (order == 2) kernel[i] = kernel[i] * (xs[i] * xs[i] - s2) / (s2 * s2);
    }
    return 0;
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

int Gauss_2Dsep(float* image, int rows, int cols, const float* sigma, const int* size) {
  if (!ValidImage(rows, cols, 1)) return -1;
  try {
    auto across = SmoothingKernel(sigma[0], size[0], false);
    auto along = SmoothingKernel(sigma[1], size[1], false);
    if (ConvRow2D(image, rows, cols, along->getdata(), along->getlength()) != 0) return -1;
    return ConvCol2D(image, rows, cols, across->getdata(), across->getlength());
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

int Gauss_2Dsep_floatcolumn(std::uint8_t* image, int rows, int cols, const float* sigma,
                            const int* size) {
  if (!ValidImage(rows, cols, 1)) return -1;
  try {
    auto across = SmoothingKernel(sigma[0], size[0], true);
    auto along = SmoothingKernel(sigma[1], size[1], true);
    const int hA = size[0] / 2, hB = size[1] / 2;
    const int lenA = 2 * hA + 1, lenB = 2 * hB + 1;

    CMatrix<std::uint8_t> rowPadded(rows, cols + lenB - 1);
    PadRows(image, rows, cols, Border(lenB), rowPadded.getdata());
    if (ippiFilterRow32f_8u_C1R(rowPadded.getdata() + hB, cols + lenB - 1, image, cols,
                                IppiSize{cols, rows}, along->getdata(), lenB, hB) != 0)
      return -1;

    CMatrix<std::uint8_t> colPadded(rows + lenA - 1, cols);
    PadColumns(image, rows, cols, Border(lenA), colPadded.getdata());
    CMatrix<float> paddedFloat(rows + lenA - 1, cols), filtered(rows, cols);
    if (ippiConvert_8u32f_C1R(colPadded.getdata(), cols, paddedFloat.getdata(), cols * 4,
                              IppiSize{cols, rows + lenA - 1}) != 0)
      return -1;
    if (ippiFilterColumn_32f_C1R(paddedFloat.getmatrix()[hA], cols * 4, filtered.getdata(),
                                 cols * 4, IppiSize{cols, rows}, across->getdata(), lenA, hA) != 0)
      return -1;
    return ippiConvert_32f8u_C1R(filtered.getdata(), cols * 4, image, cols, IppiSize{cols, rows},
                                 ippRndFinancial) != 0
               ? -1
               : 0;
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

}  // namespace Talvex::Common::Algorithms::Filters
