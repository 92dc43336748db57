#include "platform/math_kernel/SupernodalCholesky.h"

#include <Eigen/OrderingMethods>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#if defined(__linux__)
#include <sys/mman.h>
#endif

#include "platform/TalvexSimd.h"

namespace Talvex::Platform::Detail {

namespace {

using Matrix = SupernodalCholesky::Matrix;

// Sparsity pattern in compressed columns.
struct Pattern {
  std::vector<int> start, rows;
};

// Pattern of the whole symmetric matrix from its lower triangle, rows ascending in every column
// (the pattern of the lower triangle mirrored, diagonal once).
Pattern FullPattern(const Matrix& lower) {
  const int n = static_cast<int>(lower.cols());
  const int* p = lower.outerIndexPtr();
  const int* r = lower.innerIndexPtr();
  Pattern full;
  full.start.assign(static_cast<std::size_t>(n) + 1, 0);
  for (int j = 0; j < n; ++j) {
    for (int q = p[j]; q < p[j + 1]; ++q) {
      if (r[q] < j) continue;
      ++full.start[j + 1];
      if (r[q] > j) ++full.start[r[q] + 1];
    }
  }
  for (int j = 0; j < n; ++j) full.start[j + 1] += full.start[j];
  full.rows.resize(static_cast<std::size_t>(full.start[n]));
  std::vector<int> next(full.start.begin(), full.start.end() - 1);
  // Column c receives the rows j < c while column j is visited (ascending j), then its own rows.
  for (int j = 0; j < n; ++j) {
    for (int q = p[j]; q < p[j + 1]; ++q) {
      if (r[q] < j) continue;
      full.rows[next[j]++] = r[q];
      if (r[q] > j) full.rows[next[r[q]]++] = j;
    }
  }
  return full;
}

// Approximate minimum-degree ordering of the symmetric pattern: the original unknown of every
// position.
std::vector<int> MinimumDegreeOrder(const Pattern& full) {
  const int n = static_cast<int>(full.start.size()) - 1;
  Eigen::SparseMatrix<char, Eigen::ColMajor, int> graph(n, n);
  graph.resizeNonZeros(static_cast<Eigen::Index>(full.rows.size()));
  std::copy(full.start.begin(), full.start.end(), graph.outerIndexPtr());
  std::copy(full.rows.begin(), full.rows.end(), graph.innerIndexPtr());
  Eigen::PermutationMatrix<Eigen::Dynamic, Eigen::Dynamic, int> order;
  Eigen::internal::minimum_degree_ordering(graph, order);
  return std::vector<int>(order.indices().data(), order.indices().data() + n);
}

// Parent of every column in the elimination tree of the matrix renumbered by `order` (-1 for a
// root), with path compression; newIndex is the inverse of order.
std::vector<int> EliminationTree(const Pattern& full, const std::vector<int>& order,
                                 const std::vector<int>& newIndex) {
  const int n = static_cast<int>(order.size());
  std::vector<int> parent(static_cast<std::size_t>(n), -1), ancestor(parent);
  for (int k = 0; k < n; ++k) {
    const int o = order[k];
    for (int q = full.start[o]; q < full.start[o + 1]; ++q) {
      for (int i = newIndex[full.rows[q]]; i != -1 && i < k;) {
        const int next = ancestor[i];
        ancestor[i] = k;
        if (next == -1) parent[i] = k;
        i = next;
      }
    }
  }
  return parent;
}

std::vector<int> Inverse(const std::vector<int>& order) {
  std::vector<int> inverse(order.size());
  for (std::size_t k = 0; k < order.size(); ++k) inverse[order[k]] = static_cast<int>(k);
  return inverse;
}

// Child lists of a forest: the children of p are head[p], next[head[p]], ... in ascending order.
void ChildLists(const std::vector<int>& parent, std::vector<int>& head, std::vector<int>& next) {
  head.assign(parent.size(), -1);
  next.assign(parent.size(), -1);
  for (int j = static_cast<int>(parent.size()) - 1; j >= 0; --j) {
    if (parent[j] == -1) continue;
    next[j] = head[parent[j]];
    head[parent[j]] = j;
  }
}

// Columns in postorder: every subtree contiguous, children before their parent.
std::vector<int> Postorder(const std::vector<int>& parent) {
  std::vector<int> head, next, post, stack;
  ChildLists(parent, head, next);
  post.reserve(parent.size());
  for (int root = 0; root < static_cast<int>(parent.size()); ++root) {
    if (parent[root] != -1) continue;
    stack.push_back(root);
    while (!stack.empty()) {
      const int p = stack.back();
      const int child = head[p];
      if (child == -1) {
        stack.pop_back();
        post.push_back(p);
      } else {
        head[p] = next[child];
        stack.push_back(child);
      }
    }
  }
  return post;
}

// ---- Dense kernels --------------------------------------------------------------------------
// Column updates of a front: for target columns t < NB, rows i of [r0, m),
//   T[t][i] -= P[p][i] * P[p][fRow[t]]   for p = p0, p0 + 1, .., p1 - 1 in this order,
// skipping the p whose factor P[p][fRow[t]] is zero. Every element sees the same subtractions in
// the same order as one column at a time would give it; several target columns share each load
// of a source column, and eight rows of every target stay in registers over all p.

using V4 = double __attribute__((vector_size(32)));

TALVEX_ALWAYS_INLINE void Load4(V4& v, const double* p) { std::memcpy(&v, p, sizeof v); }
TALVEX_ALWAYS_INLINE void Store4(double* p, const V4& v) { std::memcpy(p, &v, sizeof v); }

struct ColumnUpdate {
  const double* panel;    // source columns, column p at panel + p * m
  int m, p0, p1, r0;      // rows per column, source columns [p0, p1), rows [r0, m)
  double* const* target;  // target column t: front row i at target[t][i - shift]
  int shift;
  const int* fRow;  // row of the factor of target t within a source column
  double* factors;  // work: (p1 - p0) x NB factors
};

// Rows [i, i + 4 * R) of the NB targets over all source columns; a zero factor skips its
// subtraction only when `skipZeros` (with no zero factor the branch-free loop is taken).
template <int NB, int R, bool skipZeros>
TALVEX_ALWAYS_INLINE void UpdateRows(const ColumnUpdate& u, int i) {
  const int np = u.p1 - u.p0;
  V4 acc[NB][R];
  double* at[NB];
  for (int t = 0; t < NB; ++t) at[t] = u.target[t] + (i - u.shift);
  for (int t = 0; t < NB; ++t)
    for (int q = 0; q < R; ++q) Load4(acc[t][q], at[t] + 4 * q);
  const double* cp = u.panel + static_cast<std::size_t>(u.p0) * u.m + i;
  for (int p = 0; p < np; ++p, cp += u.m) {
    V4 x[R];
    for (int q = 0; q < R; ++q) Load4(x[q], cp + 4 * q);
    for (int t = 0; t < NB; ++t) {
      const double f = u.factors[p * NB + t];
      if (skipZeros && f == 0.0) continue;
      const V4 fv = {f, f, f, f};
      for (int q = 0; q < R; ++q) acc[t][q] -= x[q] * fv;
    }
  }
  for (int t = 0; t < NB; ++t)
    for (int q = 0; q < R; ++q) Store4(at[t] + 4 * q, acc[t][q]);
}

template <int NB, bool skipZeros>
TALVEX_ALWAYS_INLINE void UpdateAllRows(const ColumnUpdate& u) {
  const int np = u.p1 - u.p0;
  int i = u.r0;
  for (; i + 8 <= u.m; i += 8) UpdateRows<NB, 2, skipZeros>(u, i);
  if (i + 4 <= u.m) UpdateRows<NB, 1, skipZeros>(u, i), i += 4;
  for (; i < u.m; ++i) {
    for (int t = 0; t < NB; ++t) {
      double v = u.target[t][i - u.shift];
      for (int p = 0; p < np; ++p) {
        const double f = u.factors[p * NB + t];
        if (f != 0.0) v -= u.panel[static_cast<std::size_t>(u.p0 + p) * u.m + i] * f;
      }
      u.target[t][i - u.shift] = v;
    }
  }
}

template <int NB>
TALVEX_ALWAYS_INLINE void UpdateColumnsFixed(const ColumnUpdate& u) {
  const int np = u.p1 - u.p0;
  bool anyZero = false;
  for (int p = 0; p < np; ++p) {
    const double* cp = u.panel + static_cast<std::size_t>(u.p0 + p) * u.m;
    for (int t = 0; t < NB; ++t) {
      u.factors[p * NB + t] = cp[u.fRow[t]];
      anyZero = anyZero || cp[u.fRow[t]] == 0.0;
    }
  }
  if (anyZero)
    UpdateAllRows<NB, true>(u);
  else
    UpdateAllRows<NB, false>(u);
}

TALVEX_ALWAYS_INLINE void UpdateColumnsBody(const ColumnUpdate& u, int count) {
  switch (count) {
    case 1:
      return UpdateColumnsFixed<1>(u);
    case 2:
      return UpdateColumnsFixed<2>(u);
    case 3:
      return UpdateColumnsFixed<3>(u);
    default:
      return UpdateColumnsFixed<4>(u);
  }
}

TALVEX_DECLARE_KERNEL_PATHS(void, UpdateColumns, (const ColumnUpdate& u, int count))
TALVEX_KERNEL_PATHS(void, UpdateColumns, (const ColumnUpdate& u, int count), (u, count))

constexpr int kBlock = 4;  // target columns updated together

// Dense Cholesky of the k leading columns of an m-row panel (column-major, stride m), left-looking:
// each block of columns first takes the updates of all columns left of it, then is finished one
// column at a time. False on a pivot that is not positive and finite.
bool FactorPanel(double* F, int m, int k, std::vector<double>& factors) {
  double* targets[kBlock];
  int fRow[kBlock];
  for (int j0 = 0; j0 < k; j0 += kBlock) {
    const int nb = std::min(kBlock, k - j0);
    if (j0 > 0) {
      for (int t = 0; t < nb; ++t)
        targets[t] = F + static_cast<std::size_t>(j0 + t) * m, fRow[t] = j0 + t;
      TALVEX_DISPATCH(UpdateColumns,
                      ColumnUpdate{F, m, 0, j0, j0, targets, 0, fRow, factors.data()}, nb);
    }
    for (int j = j0; j < j0 + nb; ++j) {
      double* __restrict cj = F + static_cast<std::size_t>(j) * m;
      for (int p = j0; p < j; ++p) {
        const double* __restrict cp = F + static_cast<std::size_t>(p) * m;
        const double f = cp[j];
        if (f == 0.0) continue;
        for (int i = j; i < m; ++i) cj[i] -= cp[i] * f;
      }
      const double d = cj[j];
      if (!(d > 0.0) || !std::isfinite(d)) return false;
      const double l = std::sqrt(d);
      cj[j] = l;
      for (int i = j + 1; i < m; ++i) cj[i] /= l;
    }
  }
  return true;
}

// Schur complement of the rows below the k factorised columns: U = F22 - L21 L21^T, the lower
// triangle of the u x u update matrix (column-major, stride u, first row k of the front).
void SchurComplement(const double* F, int m, int k, double* U, std::vector<double>& factors) {
  const int u = m - k;
  double* targets[kBlock];
  int fRow[kBlock];
  for (int c0 = 0; c0 < u; c0 += kBlock) {
    const int nb = std::min(kBlock, u - c0);
    for (int t = 0; t < nb; ++t)
      targets[t] = U + static_cast<std::size_t>(c0 + t) * u, fRow[t] = k + c0 + t;
    TALVEX_DISPATCH(UpdateColumns,
                    ColumnUpdate{F, m, 0, k, k + c0, targets, k, fRow, factors.data()}, nb);
  }
}

// Offset of column b of a packed lower triangle of order u (column b holds rows b .. u - 1).
std::size_t PackedColumn(int u, int b) {
  return static_cast<std::size_t>(b) * u - static_cast<std::size_t>(b) * (b - 1) / 2;
}

}  // namespace

void SupernodalCholesky::BlockFree::operator()(double* p) const { std::free(p); }

SupernodalCholesky::Block SupernodalCholesky::NewBlock(std::size_t count) {
  constexpr std::size_t kHugePage = std::size_t(2) << 20;
  const std::size_t bytes = std::max<std::size_t>(count, 1) * sizeof(double);
  void* p = nullptr;
  if (bytes < 2 * kHugePage) {
    p = std::malloc(bytes);
  } else {
    const std::size_t whole = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    p = std::aligned_alloc(kHugePage, whole);
#ifdef MADV_HUGEPAGE
    if (p != nullptr) madvise(p, whole, MADV_HUGEPAGE);  // advice only: no failure to handle
#endif
  }
  if (p == nullptr) throw std::bad_alloc();
  return Block(static_cast<double*>(p));
}

void SupernodalCholesky::PermuteLower(const Matrix& lower) {
  const std::vector<int> newIndex = Inverse(order_);
  const int* p = lower.outerIndexPtr();
  const int* r = lower.innerIndexPtr();
  const double* v = lower.valuePtr();
  colStart_.assign(static_cast<std::size_t>(n_) + 1, 0);
  for (int j = 0; j < n_; ++j)
    for (int q = p[j]; q < p[j + 1]; ++q)
      if (r[q] >= j) ++colStart_[std::min(newIndex[r[q]], newIndex[j]) + 1];
  for (int j = 0; j < n_; ++j) colStart_[j + 1] += colStart_[j];
  rowOf_.resize(static_cast<std::size_t>(colStart_[n_]));
  valueOf_.resize(rowOf_.size());
  std::vector<int> next(colStart_.begin(), colStart_.end() - 1);
  for (int j = 0; j < n_; ++j) {
    for (int q = p[j]; q < p[j + 1]; ++q) {
      if (r[q] < j) continue;
      const int a = newIndex[r[q]], b = newIndex[j];
      const int slot = next[std::min(a, b)]++;
      rowOf_[slot] = std::max(a, b);
      valueOf_[slot] = v[q];
    }
  }
}

void SupernodalCholesky::Analyse(const Matrix& lower) {
  n_ = static_cast<int>(lower.cols());
  const Pattern full = FullPattern(lower);
  const std::vector<int> amd = MinimumDegreeOrder(full);
  const std::vector<int> post = Postorder(EliminationTree(full, amd, Inverse(amd)));
  order_.resize(static_cast<std::size_t>(n_));
  for (int k = 0; k < n_; ++k) order_[k] = amd[post[k]];
  PermuteLower(lower);
  FindSupernodes(EliminationTree(full, order_, Inverse(order_)));
  SizeWorkAreas();
  position_.assign(static_cast<std::size_t>(n_), 0);
}

// The structure of column j of the factor is j, the rows of the matrix's own column below j and
// the structures of its children in the elimination tree without the children themselves. In
// postorder the children's structures are the last ones still pending, so they are kept on a
// stack and dropped once their parent has taken them in: only the structures of pending columns
// are ever stored, and that of the column before, whose supernode it may end.
void SupernodalCholesky::FindSupernodes(const std::vector<int>& parent) {
  std::vector<int> childCount(static_cast<std::size_t>(n_), 0);
  for (int j = 0; j < n_; ++j)
    if (parent[j] != -1) ++childCount[parent[j]];
  std::vector<int> mark(static_cast<std::size_t>(n_), -1), pendingRows, pendingStart, current,
      previous;
  std::vector<int> supernodeOf(static_cast<std::size_t>(n_));
  supernodes_.clear();
  rowIndex_.clear();
  // Rows of a supernode: its columns and the structure of its last column.
  const auto finish = [&](Supernode& s, const std::vector<int>& lastStructure) {
    s.rowStart = static_cast<int>(rowIndex_.size());
    for (int c = s.first; c < s.first + s.columns - 1; ++c) rowIndex_.push_back(c);
    rowIndex_.insert(rowIndex_.end(), lastStructure.begin(), lastStructure.end());
    std::sort(rowIndex_.begin() + s.rowStart, rowIndex_.end());
    s.rows = static_cast<int>(rowIndex_.size()) - s.rowStart;
  };
  for (int j = 0; j < n_; ++j) {
    current.assign(1, j);
    mark[j] = j;
    const auto add = [&](int i) {
      if (mark[i] != j) mark[i] = j, current.push_back(i);
    };
    for (int q = colStart_[j]; q < colStart_[j + 1]; ++q)
      if (rowOf_[q] > j) add(rowOf_[q]);
    for (int c = 0; c < childCount[j]; ++c) {
      const int from = pendingStart.back();
      for (std::size_t q = static_cast<std::size_t>(from) + 1; q < pendingRows.size(); ++q)
        add(pendingRows[q]);
      pendingRows.resize(static_cast<std::size_t>(from));
      pendingStart.pop_back();
    }
    // Column j joins the supernode of j - 1 when the structure of j - 1 is j - 1 and that of j.
    // (Also merging columns whose structures differ a little, storing some zeros, was measured
    // slower on the grid fit's matrices.)
    if (j > 0 && parent[j - 1] == j && previous.size() == current.size() + 1) {
      ++supernodes_.back().columns;
    } else {
      if (j > 0) finish(supernodes_.back(), previous);
      Supernode s;
      s.first = j;
      s.columns = 1;
      supernodes_.push_back(s);
    }
    supernodeOf[j] = static_cast<int>(supernodes_.size()) - 1;
    if (parent[j] != -1) {
      pendingStart.push_back(static_cast<int>(pendingRows.size()));
      pendingRows.insert(pendingRows.end(), current.begin(), current.end());
    }
    std::swap(previous, current);
  }
  if (n_ > 0) finish(supernodes_.back(), previous);
  for (Supernode& s : supernodes_) {
    const int p = parent[s.first + s.columns - 1];
    if (p != -1) ++supernodes_[supernodeOf[p]].children;
  }
}

// Factor blocks, the largest update matrix and front width, and the deepest stack of packed
// update matrices the postorder leaves pending.
void SupernodalCholesky::SizeWorkAreas() {
  std::size_t values = 0, top = 0;
  std::vector<std::size_t> pendingStart;
  largestUpdate_ = widestSupernode_ = 0;
  stackPeak_ = 0;
  for (Supernode& s : supernodes_) {
    s.valueStart = values;
    values += static_cast<std::size_t>(s.rows) * s.columns;
    const int u = s.rows - s.columns;
    largestUpdate_ = std::max(largestUpdate_, u);
    widestSupernode_ = std::max(widestSupernode_, s.columns);
    for (int child = 0; child < s.children; ++child) {
      top = pendingStart.back();
      pendingStart.pop_back();
    }
    if (u > 0) {
      pendingStart.push_back(top);
      top += PackedColumn(u, u);
      stackPeak_ = std::max(stackPeak_, top);
    }
  }
  values_ = NewBlock(values);
}

// The front of supernode s: its panel (rows x columns, in the factor) and its update matrix
// (stride u, first row the supernode's last column + 1) cleared, the matrix's own entries of its
// columns added, then the update matrices of its children, popped from the stack in turn.
void SupernodalCholesky::AssembleFront(const Supernode& s, double* panel, double* update) {
  const int m = s.rows, k = s.columns, u = m - k;
  const int* rows = rowIndex_.data() + s.rowStart;
  for (int t = 0; t < m; ++t) position_[rows[t]] = t;
  std::fill(panel, panel + static_cast<std::size_t>(m) * k, 0.0);
  std::fill(update, update + static_cast<std::size_t>(u) * u, 0.0);
  for (int c = 0; c < k; ++c) {
    const int column = s.first + c;
    for (int q = colStart_[column]; q < colStart_[column + 1]; ++q)
      if (rowOf_[q] >= column)
        panel[static_cast<std::size_t>(c) * m + position_[rowOf_[q]]] += valueOf_[q];
  }
}

bool SupernodalCholesky::Factorize(const Matrix& lower) {
  if (!lower.isCompressed()) {
    Matrix compressed = lower;
    compressed.makeCompressed();
    return Factorize(compressed);
  }
  Analyse(lower);
  const std::size_t u2 = static_cast<std::size_t>(largestUpdate_) * largestUpdate_;
  const Block update = NewBlock(u2), stack = NewBlock(stackPeak_);
  std::vector<double> factors(static_cast<std::size_t>(kBlock) * std::max(widestSupernode_, 1));
  std::vector<int> pending;               // supernodes whose update matrices are on the stack
  std::vector<std::size_t> pendingStart;  // their places on the stack
  std::vector<int> local;
  std::size_t top = 0;
  for (const Supernode& s : supernodes_) {
    const int m = s.rows, k = s.columns, u = m - k;
    double* F = values_.get() + s.valueStart;
    double* U = update.get();
    AssembleFront(s, F, U);
    // Extend-add the children's update matrices (packed lower triangles, rows ascending).
    for (int child = 0; child < s.children; ++child) {
      const Supernode& c = supernodes_[pending.back()];
      const int uc = c.rows - c.columns;
      const double* source = stack.get() + pendingStart.back();
      local.resize(static_cast<std::size_t>(uc));
      for (int a = 0; a < uc; ++a) local[a] = position_[rowIndex_[c.rowStart + c.columns + a]];
      for (int b = 0; b < uc; ++b, source += uc - b + 1) {
        const int lb = local[b], shift = lb < k ? 0 : k;
        double* column = lb < k ? F + static_cast<std::size_t>(lb) * m
                                : U + static_cast<std::size_t>(lb - k) * u;
        for (int a = b; a < uc; ++a) column[local[a] - shift] += source[a - b];
      }
      top = pendingStart.back();
      pending.pop_back();
      pendingStart.pop_back();
    }
    if (!FactorPanel(F, m, k, factors)) {
      supernodes_.clear();
      return false;
    }
    if (u > 0) {
      SchurComplement(F, m, k, U, factors);
      pending.push_back(static_cast<int>(&s - supernodes_.data()));
      pendingStart.push_back(top);
      double* packed = stack.get() + top;
      for (int c = 0; c < u; ++c) {
        const double* column = U + static_cast<std::size_t>(c) * u + c;
        packed = std::copy(column, column + (u - c), packed);
      }
      top += PackedColumn(u, u);
    }
  }
  return true;
}

void SupernodalCholesky::Solve(const double* b, double* x) const {
  work_.resize(static_cast<std::size_t>(n_));
  double* y = work_.data();
  for (int k = 0; k < n_; ++k) y[k] = b[order_[k]];
  for (const Supernode& s : supernodes_) {
    const double* L = values_.get() + s.valueStart;
    const int* rows = rowIndex_.data() + s.rowStart;
    for (int c = 0; c < s.columns; ++c) {
      const double* column = L + static_cast<std::size_t>(c) * s.rows;
      const double v = y[s.first + c] / column[c];
      y[s.first + c] = v;
      for (int i = c + 1; i < s.rows; ++i) y[rows[i]] -= column[i] * v;
    }
  }
  for (auto s = supernodes_.rbegin(); s != supernodes_.rend(); ++s) {
    const double* L = values_.get() + s->valueStart;
    const int* rows = rowIndex_.data() + s->rowStart;
    for (int c = s->columns - 1; c >= 0; --c) {
      const double* column = L + static_cast<std::size_t>(c) * s->rows;
      double v = y[s->first + c];
      for (int i = c + 1; i < s->rows; ++i) v -= column[i] * y[rows[i]];
      y[s->first + c] = v / column[c];
    }
  }
  for (int k = 0; k < n_; ++k) x[order_[k]] = y[k];
}

}  // namespace Talvex::Platform::Detail
