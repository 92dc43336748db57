// Least-squares fits and their evaluation: polynomials y(x), conics in the plane and quadric
// surfaces in space. Each fit builds a design matrix of powers, solves it by one Householder QR
// decomposition and one back-substitution, and writes the coefficients into the caller's array.
// The double fits use raw powers; the single-precision polynomial fit centres and scales its
// abscissae first (see polyfit). All fits return 0 on success and -1 on failure
// (fewer points than unknowns, a rank-deficient design, or a failed allocation); on -1 the
// coefficient array may hold partial values.
#pragma once

namespace Talvex::Common::Algorithms::Numerics {

// Polynomial of degree `order` (>= 1) through n points in the least-squares sense:
//   y = p[0] x^order + p[1] x^(order-1) + ... + p[order-1] x + p[order]   (descending powers).
// p receives order + 1 values. -1 when n < order + 1, order < 1 or the abscissae are degenerate
// (fewer than order + 1 distinct values).
// The float variant fits in t = (x - centre) / halfRange, t in [-1, 1], and rewrites the
// coefficients in powers of x in double precision: the single-precision rank test then judges
// the shape of the abscissae rather than their distance from 0, so a parabola through a few
// consecutive A-scans near 2000 is fitted, while repeated abscissae are still refused.
int polyfit(const float* x, const float* y, int n, int order, float* p);
int polyfit(const double* x, const double* y, int n, int order, double* p);

// Evaluates the polynomial p (descending powers, order >= 1) at n abscissae into out, highest
// power first. The float variant forms x^j by repeated squaring in float; the double variant
// uses pow.
void polyval(const float* p, const float* x, int n, int order, float* out);
void polyval(const double* p, const double* x, int n, int order, double* out);

// Conic A x^2 + B x y + C y^2 + D x + E y + F = 0 through n points, F fixed to -1:
// minimises sum (A x^2 + B x y + C y^2 + D x + E y - 1)^2. coefficients receives [A..F].
// -1 when n < 5 or the design is rank deficient (points on a line, for example).
int quadraticfitr(const float* x, const float* y, int n, float* coefficients);
int quadraticfitr(const double* x, const double* y, int n, double* coefficients);

// Solves the conic c (6 values) for y at each of the n abscissae, keeping the root
// y = (sqrt(disc) - b) / (2 C) with b = B x + E, k = A x^2 + D x + F, disc = b^2 - 4 C k
// (all in float). Points with disc < 0 are skipped; xOut/yOut receive the kept points in input
// order and count their number. C = 0 gives non-finite values.
void quadraticval(const float* c, const float* x, int n, float* xOut, float* yOut, int& count);

// Quadric c0 x^2 + c1 y^2 + c2 z^2 + c3 xy + c4 xz + c5 yz + c6 x + c7 y + c8 z + c9 = 0 through
// n points, c9 fixed to -1. coefficients receives 10 values. -1 when n < 9 or rank deficient.
int quadricfit(const float* x, const float* y, const float* z, int n, float* coefficients);
int quadricfit(const double* x, const double* y, const double* z, int n, double* coefficients);

// Solves the quadric c (10 values) for z at each (x[i], y[i]), taking the root
// z = (-b - sqrt(disc)) / (2 c2) with b = c4 x + c5 y + c8,
// k = c1 y^2 + c0 x^2 + c3 x y + c6 x + c7 y + c9, disc = b^2 - 4 c2 k. Where disc < 0 the entry
// z[i] is left unchanged.
void quadricval(const double* c, const double* x, const double* y, int n, double* z);

}  // namespace Talvex::Common::Algorithms::Numerics
