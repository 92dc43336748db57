// Linear filters of B-scans and profiles: 1-D convolution, replicated-border row and column
// convolution, Gaussian and Gaussian-derivative kernels and separable Gaussian smoothing.
//
// Images are row-major, rows x cols, without padding: in a B-scan a row is one A-scan and a column
// one depth. Kernels have odd length 2h+1 with the anchor at entry h and are applied as true
// convolutions, dst[x] = sum_i k[i] * src[x + h - i], so a dark-to-bright step filtered with the
// order-1 derivative kernel below gives a positive response. Every function returns 0 on success
// and -1 on failure (allocation or a failed primitive); none throws.
#pragma once

#include <cstdint>

namespace Talvex::Common::Algorithms::Filters {

// dst[j] = full convolution of src (n) with kernel (k), taken from offset k/2: the centre part of
// length n, zeros assumed outside src. dst may be src.
int Conv1D(const float* src, int n, const float* kernel, int k, float* dst);
int Conv1D(const double* src, int n, const double* kernel, int k, double* dst);

// In place along each row (across columns), with replicated border samples. k must be odd
// (-1 otherwise).
int ConvRow2D(float* image, int rows, int cols, const float* kernel, int k);
// In place along each column (across rows), with replicated border rows. k must be odd.
int ConvCol2D(float* image, int rows, int cols, const float* kernel, int k);

// Gaussian (order 0), first-derivative (order 1) or second-derivative (order 2) kernel of
// n = size | 1 samples (an even size gets one more sample) at positions x_i evenly spaced from
// -sigma*range to +sigma*range. The Gaussian exp(-x^2 / (2 sigma^2)) is scaled to peak 1 (not sum
// 1); order 1 multiplies it by -x/sigma^2 and order 2 by (x^2 - sigma^2)/sigma^4.
// GetGaussianDerivKernel1D works in single precision. GetGaussDerivKernel1D works in double and
// its order 1 applies both factors, giving -x (x^2 - sigma^2)/sigma^6 times the Gaussian.
// kernel must hold n floats. -1 when sigma <= 0 or size < 1.
int GetGaussDerivKernel1D(int order, float sigma, int size, float range, float* kernel);
int GetGaussianDerivKernel1D(int order, float sigma, int size, float range, float* kernel);

// In place separable Gaussian smoothing of a float image: first along the rows with the kernel of
// sigma[1], size[1], then along the columns with sigma[0], size[0]. Each kernel has
// 2 (size/2) + 1 taps exp(-j^2 / (2 sigma^2)) normalised to sum 1; borders replicated.
int Gauss_2Dsep(float* image, int rows, int cols, const float* sigma, const int* size);

// The same on an 8-bit image: the row pass in 8-bit (rounded, saturated), the column pass in
// float, converted back rounding half away from zero and saturating to 0..255.
int Gauss_2Dsep_floatcolumn(std::uint8_t* image, int rows, int cols, const float* sigma,
                            const int* size);

}  // namespace Talvex::Common::Algorithms::Filters
