// Sampled Gaussian weights and the logistic squashing of cost images.
#pragma once

namespace Talvex::Common::Algorithms::Numerics {

// out[i] = exp(-(x[i] - mu)^2 / (2 sigma^2)) / sum, normalised to sum 1. When every weight
// underflows to 0 the zeros are kept and 0 is returned. -1 on a failed primitive (n < 1).
int Gauss1D(const float* x, int n, float mu, float sigma, float* out);

// In place logistic function data[i] = 1 / (1 + exp(-data[i])); large negative inputs give 0.
// -1 on a failed primitive (n < 1).
int SigmoidTrans(float* data, int n);

}  // namespace Talvex::Common::Algorithms::Numerics
