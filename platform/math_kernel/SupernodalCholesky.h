// Supernodal multifrontal Cholesky factorisation of a sparse symmetric positive definite matrix,
// for the direct sparse solver.
//
// The grid fit of the thickness maps factorises normal equations of a few ten thousand unknowns
// whose graph is a 2-D grid. After a fill-reducing ordering the factor of such a matrix holds
// large dense blocks (the separators of the grid), so it is factorised supernode by supernode:
// columns with the same structure below their diagonal block are handled as one dense front, and
// every arithmetic step runs over contiguous dense columns instead of scattered sparse ones.
//
// Steps: minimum-degree ordering, elimination tree and its postorder, the structure of every
// column of the factor, fundamental supernodes, then in postorder one dense front per supernode:
// the matrix's own entries and the update matrices of its children added in, its columns
// factorised, the remaining Schur complement passed on to the parent.
//
// Memory: the analysis sizes every work area (the largest front, the deepest stack of pending
// update matrices), so the factorisation allocates each once. A supernode's columns are
// factorised where they are stored in the factor; only its update matrix lives in a work area,
// and it goes onto the stack as a packed lower triangle.
#pragma once

#include <Eigen/SparseCore>
#include <memory>
#include <vector>

namespace Talvex::Platform::Detail {

class SupernodalCholesky {
 public:
  using Matrix = Eigen::SparseMatrix<double, Eigen::ColMajor, int>;

  // Factorises the symmetric matrix given by its lower triangle (entries above the diagonal are
  // ignored; row indices ascending within each column). False when a pivot is not positive and
  // finite (the matrix is not positive definite); the object then holds no factor.
  bool Factorize(const Matrix& lower);
  // x = A^-1 b for the factorised matrix; b and x have Size() entries and may be the same array.
  void Solve(const double* b, double* x) const;
  int Size() const { return n_; }

 private:
  struct Supernode {
    int first = 0, columns = 0;  // columns first .. first + columns - 1 of the permuted matrix
    int rowStart = 0, rows = 0;  // its row indices: rowIndex_[rowStart .. rowStart + rows)
    std::size_t valueStart = 0;  // its rows x columns factor block, column-major, in values_
    int children = 0;            // number of child supernodes
  };

  void Analyse(const Matrix& lower);
  void PermuteLower(const Matrix& lower);
  void FindSupernodes(const std::vector<int>& parent);
  void SizeWorkAreas();
  void AssembleFront(const Supernode& s, double* panel, double* update);

  int n_ = 0;
  std::vector<int> order_;  // order_[k]: original index of the k-th eliminated unknown
  // Lower triangle of the permuted matrix, compressed columns (rows in no particular order).
  std::vector<int> colStart_, rowOf_;
  std::vector<double> valueOf_;
  std::vector<Supernode> supernodes_;
  std::vector<int> rowIndex_;  // row indices of every supernode, ascending
  std::vector<int> position_;  // work: local row of a global row inside the current front
  // Storage of the factor and of the fronts' work areas. A large block is placed on whole huge
  // pages where the system offers them: the factor of a 128 x 128 grid fit takes about 11 MB,
  // written once, and thousands of first-touch page faults would cost more than its arithmetic.
  struct BlockFree {
    void operator()(double* p) const;
  };
  using Block = std::unique_ptr<double[], BlockFree>;
  static Block NewBlock(std::size_t count);
  Block values_;  // every block is written in full, so never cleared
  int largestUpdate_ = 0, widestSupernode_ = 0;
  std::size_t stackPeak_ = 0;  // packed update matrices pending at the same time, at most
  mutable std::vector<double> work_;
};

}  // namespace Talvex::Platform::Detail
