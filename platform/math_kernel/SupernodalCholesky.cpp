#include "platform/math_kernel/SupernodalCholesky.h"

#include <Eigen/OrderingMethods>
#include <algorithm>
#include <cmath>

namespace Talvex::Platform::Detail {

namespace {

using Matrix = SupernodalCholesky::Matrix;

// Lower triangle of the matrix with its unknowns renumbered: unknown order[k] becomes k.
Matrix PermuteLower(const Matrix& lower, const std::vector<int>& order) {
  const int n = static_cast<int>(lower.cols());
  std::vector<int> newIndex(static_cast<std::size_t>(n));
  for (int k = 0; k < n; ++k) newIndex[order[k]] = k;
  std::vector<Eigen::Triplet<double, int>> entries;
  entries.reserve(static_cast<std::size_t>(lower.nonZeros()));
  for (int j = 0; j < n; ++j) {
    for (Matrix::InnerIterator it(lower, j); it; ++it) {
      if (it.row() < j) continue;
      const int a = newIndex[it.row()], b = newIndex[j];
      entries.emplace_back(std::max(a, b), std::min(a, b), it.value());
    }
  }
  Matrix permuted(n, n);
  permuted.setFromTriplets(entries.begin(), entries.end());
  permuted.makeCompressed();
  return permuted;
}

// Parent of every column in the elimination tree (-1 for a root), with path compression.
std::vector<int> EliminationTree(const Matrix& lower) {
  const Matrix upper = lower.transpose();  // column k: the rows j <= k of row k of the lower part
  const int n = static_cast<int>(lower.cols());
  std::vector<int> parent(static_cast<std::size_t>(n), -1), ancestor(parent);
  for (int k = 0; k < n; ++k) {
    for (Matrix::InnerIterator it(upper, k); it; ++it) {
      for (int i = static_cast<int>(it.row()); i != -1 && i < k;) {
        const int next = ancestor[i];
        ancestor[i] = k;
        if (next == -1) parent[i] = k;
        i = next;
      }
    }
  }
  return parent;
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

// Row structure of every column of the factor (column j: j first, then the rest unsorted), from
// the matrix's own entries and the structures of the children in the elimination tree.
void ColumnStructures(const Matrix& lower, const std::vector<int>& parent, std::vector<int>& start,
                      std::vector<int>& rows) {
  const int n = static_cast<int>(lower.cols());
  std::vector<int> head, next, mark(static_cast<std::size_t>(n), -1);
  ChildLists(parent, head, next);
  start.assign(static_cast<std::size_t>(n) + 1, 0);
  rows.clear();
  rows.reserve(static_cast<std::size_t>(lower.nonZeros()) * 4);
  for (int j = 0; j < n; ++j) {
    start[j] = static_cast<int>(rows.size());
    rows.push_back(j);
    mark[j] = j;
    const auto add = [&](int i) {
      if (mark[i] != j) mark[i] = j, rows.push_back(i);
    };
    for (Matrix::InnerIterator it(lower, j); it; ++it)
      if (it.row() > j) add(static_cast<int>(it.row()));
    for (int c = head[j]; c != -1; c = next[c])
      for (int q = start[c] + 1; q < start[c + 1]; ++q) add(rows[q]);
  }
  start[n] = static_cast<int>(rows.size());
}

}  // namespace

void SupernodalCholesky::Analyse(const Matrix& lower) {
  n_ = static_cast<int>(lower.cols());
  const Matrix full = lower.selfadjointView<Eigen::Lower>();
  Eigen::PermutationMatrix<Eigen::Dynamic, Eigen::Dynamic, int> minimumDegree;
  Eigen::AMDOrdering<int>()(full, minimumDegree);  // indices: original unknown of each position
  const std::vector<int> amd(minimumDegree.indices().data(), minimumDegree.indices().data() + n_);
  const std::vector<int> post = Postorder(EliminationTree(PermuteLower(lower, amd)));
  order_.resize(static_cast<std::size_t>(n_));
  for (int k = 0; k < n_; ++k) order_[k] = amd[post[k]];
  permuted_ = PermuteLower(lower, order_);
  const std::vector<int> parent = EliminationTree(permuted_);

  std::vector<int> start, structure;
  ColumnStructures(permuted_, parent, start, structure);
  const auto count = [&](int j) { return start[j + 1] - start[j]; };
  // Column j joins the supernode of j - 1 when the structure of j - 1 is j - 1 and that of j. (Also
  // merging columns whose structures differ a little, storing some zeros, was measured slower
  // on the grid fit's matrices.)
  std::vector<int> supernodeOf(static_cast<std::size_t>(n_));
  supernodes_.clear();
  for (int j = 0; j < n_; ++j) {
    if (j > 0 && parent[j - 1] == j && count(j - 1) == count(j) + 1) {
      ++supernodes_.back().columns;
    } else {
      Supernode s;
      s.first = j;
      s.columns = 1;
      supernodes_.push_back(s);
    }
    supernodeOf[j] = static_cast<int>(supernodes_.size()) - 1;
  }
  // Rows of a supernode: its columns and the structure of its last column.
  rowIndex_.clear();
  for (Supernode& s : supernodes_) {
    const int l = s.first + s.columns - 1;
    s.rowStart = static_cast<int>(rowIndex_.size());
    for (int c = s.first; c < l; ++c) rowIndex_.push_back(c);
    rowIndex_.insert(rowIndex_.end(), structure.begin() + start[l],
                     structure.begin() + start[l + 1]);
    std::sort(rowIndex_.begin() + s.rowStart, rowIndex_.end());
    s.rows = static_cast<int>(rowIndex_.size()) - s.rowStart;
  }
  std::size_t values = 0;
  for (Supernode& s : supernodes_) {
    s.valueStart = values;
    values += static_cast<std::size_t>(s.rows) * s.columns;
    const int p = parent[s.first + s.columns - 1];
    if (p != -1) ++supernodes_[supernodeOf[p]].children;
  }
  values_.reset(new double[std::max<std::size_t>(values, 1)]);
  position_.assign(static_cast<std::size_t>(n_), 0);
}

bool SupernodalCholesky::Factorize(const Matrix& lower) {
  Analyse(lower);
  std::vector<double> front, stack;
  std::vector<int> pending;             // supernodes whose update matrices are on the stack
  std::vector<std::size_t> pendingEnd;  // stack size before each of them
  std::vector<int> local;
  for (const Supernode& s : supernodes_) {
    const int m = s.rows, k = s.columns, u = m - k;
    const int* rows = rowIndex_.data() + s.rowStart;
    for (int t = 0; t < m; ++t) position_[rows[t]] = t;
    front.resize(static_cast<std::size_t>(m) * m);
    for (int c = 0; c < m; ++c)
      std::fill(front.begin() + static_cast<std::size_t>(c) * m + c,
                front.begin() + static_cast<std::size_t>(c + 1) * m, 0.0);
    for (int c = 0; c < k; ++c) {
      for (Matrix::InnerIterator it(permuted_, s.first + c); it; ++it)
        if (it.row() >= s.first + c)
          front[static_cast<std::size_t>(c) * m + position_[it.row()]] += it.value();
    }
    // Extend-add the children's update matrices (lower triangles, rows ascending).
    for (int child = 0; child < s.children; ++child) {
      const Supernode& c = supernodes_[pending.back()];
      const int uc = c.rows - c.columns;
      const double* U = stack.data() + pendingEnd.back();
      local.resize(static_cast<std::size_t>(uc));
      for (int a = 0; a < uc; ++a) local[a] = position_[rowIndex_[c.rowStart + c.columns + a]];
      for (int b = 0; b < uc; ++b) {
        double* column = front.data() + static_cast<std::size_t>(local[b]) * m;
        const double* source = U + static_cast<std::size_t>(b) * uc;
        for (int a = b; a < uc; ++a) column[local[a]] += source[a];
      }
      stack.resize(pendingEnd.back());
      pending.pop_back();
      pendingEnd.pop_back();
    }
    // Dense Cholesky of the supernode's columns (left-looking inside the front).
    double* F = front.data();
    for (int j = 0; j < k; ++j) {
      double* __restrict cj = F + static_cast<std::size_t>(j) * m;
      for (int p = 0; p < j; ++p) {
        const double* __restrict cp = F + static_cast<std::size_t>(p) * m;
        const double f = cp[j];
        if (f == 0.0) continue;
        for (int i = j; i < m; ++i) cj[i] -= cp[i] * f;
      }
      const double d = cj[j];
      if (!(d > 0.0) || !std::isfinite(d)) {
        supernodes_.clear();
        return false;
      }
      const double l = std::sqrt(d);
      cj[j] = l;
      for (int i = j + 1; i < m; ++i) cj[i] /= l;
    }
    // Schur complement of the remaining rows: U = F22 - L21 L21^T (lower triangle).
    for (int c = 0; c < u; ++c) {
      double* __restrict target = F + static_cast<std::size_t>(k + c) * m;
      for (int p = 0; p < k; ++p) {
        const double* __restrict cp = F + static_cast<std::size_t>(p) * m;
        const double f = cp[k + c];
        if (f == 0.0) continue;
        for (int i = k + c; i < m; ++i) target[i] -= cp[i] * f;
      }
    }
    std::copy(F, F + static_cast<std::size_t>(m) * k, values_.get() + s.valueStart);
    if (u > 0) {
      pending.push_back(static_cast<int>(&s - supernodes_.data()));
      pendingEnd.push_back(stack.size());
      for (int c = 0; c < u; ++c) {
        const double* column = F + static_cast<std::size_t>(k + c) * m + k;
        stack.insert(stack.end(), column, column + u);
      }
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
