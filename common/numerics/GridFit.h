// Regularised fit of a smooth surface on a rectangular grid of nodes to scattered samples: the
// reconstruction of a corneal thickness map from the samples of its radial meridians.
#pragma once

#include "common/numerics/CSparse.h"

namespace Talvex::Common::Algorithms::Numerics {

// Bin search over ne increasing edges: value x[k] falls in bin j when edge[j] <= x[k] <
// edge[j + 1]; bin[j] counts the values of bin j and idx[k] = j. A value equal to the last edge
// goes to bin ne - 1. A value below the first edge, above the last or NaN is not counted and
// keeps idx[k] = 0 (the caller tells it from bin 0 by comparing with the edges). Returns 0
// (-1 for a null pointer or nx, ne < 0).
int histc(const float* x, int nx, const float* edge, int ne, int* bin, int* idx);

class CGridFit {
 public:
  // Fits the surface zi on the nodes (xi[ix], yi[iy]) to the samples (x[k], y[k], z[k]) by
  // minimising, in the least-squares sense,
  //   sum_k (S(x_k, y_k) - z_k)^2 + lambda^2 * sum_g (D2 S)_g^2,
  //   lambda = smooth * |A|_1 / |R|_1,
  // where S(x_k, y_k) interpolates the four nodes of the sample's cell (interp 0: the triangle of
  // the cell split along its diagonal (ix, iy)-(ix+1, iy+1), linear in it; interp 1: bilinear),
  // D2 the second differences (scaled by the mean node spacing) along y at every node with both
  // y-neighbours and along x at every node with both x-neighbours, and |.|_1 the largest column
  // sum of absolute values of the interpolation matrix A and of the regulariser R. regul 0
  // ("gradient") penalises both second differences separately (R = [Dyy; Dxx]), regul 1 their sum
  // (the Laplacian, R = Dyy + Dxx). The problem is assembled in single precision and solved
  // through its normal equations (upper triangle, sparse direct solver) in double precision.
  //   x, y, z  n >= 1 samples (lengths in any unit, z in any unit)
  //   xi, yi   nxi >= 2, nyi >= 2 strictly increasing node coordinates; an axis with only 2 nodes
  //            has no second differences; nxi * nyi at most 2^24
  //   interp   0 triangle, 1 bilinear; values outside 0 .. 2 are taken as 0; 2 is refused
  //   regul    0 gradient, 1 Laplacian; any other value is refused
  //   smooth   >= 0; 0 leaves only the sample rows
  //   zi       nxi * nyi values: zi[ix * nyi + iy] = S(xi[ix], yi[iy]) (y runs fastest)
  // A sample outside the node range (x outside [xi[0], xi[nxi-1]], y likewise, or NaN) is
  // dropped: it is not folded into the first cell, so a map narrower than the scan does not
  // collect the periphery in its corner. A sample on the last node lies in the last cell with
  // fraction 1.
  // Returns 0, or -1 on a null pointer or size out of range, a refused interp / regul, an
  // allocation failure, a singular system - a node whose normal-equation row is zero, as with
  // smooth 0 and a node no sample touches (never a silent arbitrary value there) - or a failure
  // of the sparse solver. Never throws.
  static int gridfit(const float* x, const float* y, const float* z, int n, const float* xi,
                     int nxi, const float* yi, int nyi, int interp, int regul, float smooth,
                     float* zi);

  // Sorts the entries of a triplet record in place by row index, then by column index within a
  // row (a stable order: equal positions keep their order), values following their entries.
  // Returns 0, or -1 for a null or non-triplet record or a failed primitive sort.
  static int sortmatrixij(cs_sparse* A);
};

}  // namespace Talvex::Common::Algorithms::Numerics
