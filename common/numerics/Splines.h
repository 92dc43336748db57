// Interpolation of sampled curves: layers, dewarped surfaces and thickness profiles are resampled
// with the cubic interpolating spline `cspline` (single precision) or with the piecewise-linear
// `linterpol1` (double precision). Both return 0 on success and -1 on failure and never throw.
// The smoothing (approximating) B-spline lives in BSpline.h.
#pragma once

namespace Talvex::Common::Algorithms::Numerics {

// Cubic interpolating spline through the n samples (x[i], y[i]), evaluated at the m sites xi:
//   yi[j] = S(xi[j]),
// where S is the piecewise cubic of the platform's data-fitting service with Bessel slopes at
// the interior samples and not-a-knot ends (third derivative continuous across x[1] and x[n-2]).
// S passes through every sample and reproduces any quadratic exactly; n = 2 gives the straight
// line and n = 3 the parabola through the samples. Sites before x[0] or after x[n-1] are
// extrapolated with the first or last cubic piece.
//   x   n abscissae, strictly increasing (depth or lateral positions, any unit)
//   y   n ordinates
//   n   number of samples, >= 2
//   xi  m sites, ascending
//   yi  m results
// Returns -1 when n < 2, m < 1, a pointer is null, x is not strictly increasing, a value is not
// finite or the coefficient storage cannot be allocated; yi is then unspecified.
int cspline(const float* x, const float* y, int n, const float* xi, float* yi, int m);

// Piecewise-linear interpolation with linear extrapolation, in double precision:
//   yi[j] = (y[s+1] - y[s]) / (x[s+1] - x[s]) * (xi[j] - x[s]) + y[s]
// on the segment s with x[s] <= xi[j] <= x[s+1] of the samples sorted by abscissa (a stable
// sort: samples with equal abscissae keep their order). The queries are processed in ascending
// order with a running segment; a query that lies in no segment keeps the segment of the
// previous (smaller) query, segment 0 before the first hit. So queries below the first abscissa
// extrapolate the first segment, and queries above the last abscissa the segment of the largest
// query inside the samples (segment 0 if there is none).
//   x, y    n samples in any order (not modified); n >= 2
//   xi, yi  m queries in any order and their values, written in the caller's order of xi
// Equal neighbouring abscissae give non-finite values for queries on them.
// Returns -1 when n < 2, m < 0, a pointer is null or an allocation fails.
int linterpol1(const double* x, const double* y, int n, const double* xi, double* yi, int m);

}  // namespace Talvex::Common::Algorithms::Numerics
