// Levenberg-Marquardt fit of one Gaussian peak to a profile, used to locate the specular
// reflection along a B-scan from a normalised lateral intensity profile.
#pragma once

namespace Talvex::Common::Algorithms::Numerics {

class CGaussFit {
 public:
  // Fits g(x) = A / sqrt(2π·σ²) · exp(-((x - μ) / σ)² / 2) (A area, μ centre, σ width) to the n
  // samples (x[i], y[i]) by 100 Levenberg-Marquardt iterations in single precision (damping
  // starting at 1000, divided by 10 after a step that lowers the sum of squared residuals and
  // multiplied by 10 otherwise; every step is taken). There is no convergence test.
  //
  // area, center and sigma are in/out. A value of 0 on entry asks for an automatic start value:
  //   centre  the highest local peak (rising then falling differences); its INDEX is used, so the
  //           abscissae should be 0 .. n-1 as the callers pass them; without a local peak, the
  //           abscissa of the first global maximum;
  //   width   |μ0 - x[i0]| with i0 the first sample above ymax/n + ymax/2 (x[n-1]/2 if that
  //           distance is below 1e-8);
  //   area    mean sample spacing times the trapezoidal sum of y.
  // The outputs hold the parameters at the start of the last iteration. When the width or area
  // is (or becomes) exactly 0 the fit stops at once and returns 0 with the parameters reached.
  //   x, y  n abscissae (ascending) and ordinates;  n >= 1 (>= 2 when the area is estimated)
  // Returns 0 on success (including stopping early), -1 on a null pointer, n < 1, an allocation
  // failure or a failed primitive (a singular normal-equation matrix, for example).
  static int gaussfit(const float* x, const float* y, int n, float* area, float* center,
                      float* sigma);
};

}  // namespace Talvex::Common::Algorithms::Numerics
