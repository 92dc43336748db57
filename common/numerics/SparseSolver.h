// Direct solution of a sparse linear system, used by the regularised grid fit of thickness maps
// and by the fill of masked map regions.
#pragma once

namespace Talvex::Common::Algorithms::Numerics {

// Solves A·solution = rhs for a square sparse matrix A with the platform's direct sparse solver
// (fill-reducing ordering, then an LDLᵀ or LU factorisation).
//   values, columns, rowIndex  A in one-based compressed rows: row r holds the entries
//              values[k], columns[k] (one-based) for k = rowIndex[r]-1 .. rowIndex[r+1]-2,
//              columns ascending within a row; rowIndex has nRows + 1 entries, rowIndex[0] = 1,
//              rowIndex[nRows] = nNonZeros + 1
//   symmetric  non-zero: A is symmetric and only its upper triangle (diagonal included) is
//              given; 0: every entry is given
//   rhs, solution  nRows values each
// An unknown whose row holds only zeros is set to 0. Returns 0, or -1 on any solver failure
// (malformed structure, nRows != nCols, singular matrix, allocation).
int SparseSolver(double* values, int* columns, int* rowIndex, double* rhs, int nRows, int nCols,
                 int nNonZeros, double* solution, int symmetric);

}  // namespace Talvex::Common::Algorithms::Numerics
