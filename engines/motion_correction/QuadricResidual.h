// CQuadricResidual: the motion objective with the quadric fit reduced to a few rows per meridian.
//
// The objective shifts every meridian by its own (dx, dy, dz), centres all depths on their mean,
// fits the least-squares quadric c . m(p) = 1 with monomials
//   m(p) = [x^2, y^2, z^2, xy, zx, zy, x, y, z, 1]
// through all points and scores the mean squared depth residual of that quadric. Two facts make
// the fit cheap:
//   - a translation maps the monomials linearly, m(p + d) = T(d) m(p), so a meridian's monomial
//     rows B_i become B_i T(d)^T when it moves by d;
//   - with B_i = Q_i R_i (Householder, once), the least-squares problem over all points has the
//     same solution as the one over the stacked small blocks R_i T(d_i)^T, since the Q_i only
//     rotate each meridian's rows.
// So every evaluation fits through 10 rows per meridian instead of all samples.
//
// The residual, the depth of the fitted quadric at each point, is evaluated point by point with
// the formula of quadricval. The finite-difference gradient moves one meridian at a time by a
// tiny step from the point last evaluated in full (the base); the quadric then changes by a tiny
// dc and the mean depth by dm, and every other meridian's residuals change as
//   r_p' = r_p + g_p . dc + dm,   g_p = dz_p / dc = m(x_p, y_p, zfit_p) / sqrt(disc_p)
// (implicit differentiation of the quadric at the fitted depth). Their squares sum exactly, up to
// terms of third order in (dc, dm), from per-meridian sums kept at the base: sum r^2,
// sum r [g, 1] and sum [g, 1] [g, 1]^T. So such a step costs the refit and one meridian's points.
// It is taken only when the step is below kIncrementalStep and every point of the base lies
// well inside the quadric's real depths (no point can change sides).
//
// The value agrees with the straightforward objective up to rounding.
#pragma once

#include <vector>

namespace Talvex::SDOCT::Algorithms {

class CQuadricResidual {
 public:
  // Points of numLayers meridians of numSamples each, meridian after meridian (um); Z = -1 marks
  // a sample without a value. The arrays are copied (compacted to the samples with a value).
  CQuadricResidual(const double* X, const double* Y, const double* Z, int numLayers,
                   int numSamples);

  // The objective at the 3 * numLayers shifts (all x, all y, all z): the mean squared residual
  // over the points where the fitted quadric has a real depth (the mean squared centred depth
  // when it has none). Throws "TalvexAlgorithm: quadricfit() failed." when the shifted points
  // shape no surface (fewer than 9 points, rank deficient, non-finite values).
  double Value(const double* shifts);

 private:
  static constexpr int kTerms = 10;  // monomials, the constant last
  static constexpr int kUnknowns = 9;
  static constexpr int kPairs = kTerms * (kTerms + 1) / 2;  // upper triangle of a 10 x 10
  // Largest change of one meridian's shift (um) evaluated from the base sums: far above the
  // gradient's steps, far below where third-order terms would show above rounding.
  static constexpr double kIncrementalStep = 1e-4;
  // A base point counts as clear of the quadric's edge when its discriminant exceeds this
  // fraction of the magnitudes it is formed from.
  static constexpr double kEdgeMargin = 1e-3;

  // Householder triangular factor of meridian i's monomial rows into factors_ (at most 10 rows;
  // a meridian of fewer points keeps its rows as they are).
  void Factor(int i);
  // Stacks every meridian's factor moved by its shift (depths less mean) into design_ and rhs_;
  // returns the row count.
  int StackShifted(const double* shifts, double mean);
  // The quadric through the stacked rows into coeff_ (coeff_[9] = -1).
  void Fit(int rows);
  double Mean(const double* shifts) const;
  // Mean squared depth residual of coeff_ over all shifted points; keeps the base sums.
  double BaseResidual(const double* shifts, double mean);
  // The meridian whose shift alone differs from the base's, by at most kIncrementalStep (0 when
  // none differs); -1 when the base sums do not apply.
  int MovedMeridian(const double* shifts) const;
  // The residual with meridian j evaluated point by point and the others from the base sums.
  double StepResidual(int j, const double* shifts, double mean) const;
  // Squared residual sum and count over meridian i's points; with sums set, also the base sums
  // of the meridian (sums: 1 + kTerms + kPairs values); false when a point is near the edge of
  // the quadric's real depths.
  bool MeridianResidual(int i, const double* shifts, double mean, double* sum, int* used,
                        double* flat, double* sums) const;

  int numLayers_;
  std::vector<int> offset_;  // numLayers + 1: first compacted point of each meridian
  std::vector<double> x_, y_, z_;
  std::vector<double> zSum_;     // per meridian
  std::vector<int> factorRows_;  // per meridian
  std::vector<double> factors_;  // per meridian 10 x 10, row-major
  std::vector<double> design_, rhs_, qr_;
  double coeff_[kTerms] = {};
  // The base: its shifts, quadric and mean, whether every point lies clear of the quadric's
  // edge, and per meridian sum r^2, sum r [g, 1], sum [g, 1][g, 1]^T (upper triangle).
  std::vector<double> baseShifts_;
  double baseCoeff_[kTerms] = {};
  double baseMean_ = 0.0;
  bool baseValid_ = false;
  std::vector<double> baseSums_;
};

}  // namespace Talvex::SDOCT::Algorithms
