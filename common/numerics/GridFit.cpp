#include "common/numerics/GridFit.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

#include "common/numerics/SparseSolver.h"
#include "platform/signal/TalvexIpps.h"

namespace Talvex::Common::Algorithms::Numerics {

namespace {

using namespace Talvex::Platform;

// Largest grid: the stacked system has up to n + 2 * ngrid rows of int-indexed entries.
constexpr long long kMaxNodes = 1 << 24;

// The samples that lie on the grid: base node (lower-left corner of the cell), fractions inside
// the cell and value.
struct CellSamples {
  std::vector<int> node;
  std::vector<float> tx, ty, z;
};

// One axis of the grid: node coordinates, cell widths and mean cell width.
struct Axis {
  const float* nodes;
  int count;
  std::vector<float> width;
  float scale = 0.0f;
};

bool MakeAxis(const float* nodes, int count, Axis& axis) {
  axis.nodes = nodes;
  axis.count = count;
  axis.width.resize(static_cast<size_t>(count) - 1);
  for (int k = 0; k + 1 < count; ++k)
    axis.width[k] = static_cast<float>(static_cast<double>(nodes[k + 1]) - nodes[k]);
  return ippsMean_32f(axis.width.data(), count - 1, &axis.scale, ippAlgHintAccurate) ==
             ippStsNoErr &&
         axis.scale > 0.0f;
}

// Cell index of every value over the axis nodes (last node into the last cell) and whether the
// value lies inside the node range.
void LocateOnAxis(const float* v, int n, const Axis& axis, std::vector<int>& cell,
                  std::vector<char>& inside) {
  std::vector<int> bins(static_cast<size_t>(axis.count));
  cell.resize(static_cast<size_t>(n));
  histc(v, n, axis.nodes, axis.count, bins.data(), cell.data());
  for (int k = 0; k < n; ++k) {
    if (cell[k] == axis.count - 1) cell[k] = axis.count - 2;
    if (!(v[k] >= axis.nodes[0] && v[k] <= axis.nodes[axis.count - 1])) inside[k] = 0;
  }
}

float CellFraction(float v, const Axis& axis, int cell) {
  const double t = (static_cast<double>(v) - axis.nodes[cell]) / axis.width[cell];
  return static_cast<float>(std::clamp(t, 0.0, 1.0));
}

CellSamples LocateSamples(const float* x, const float* y, const float* z, int n, const Axis& ax,
                          const Axis& ay) {
  std::vector<int> ix, iy;
  std::vector<char> inside(static_cast<size_t>(n), 1);
  LocateOnAxis(x, n, ax, ix, inside);
  LocateOnAxis(y, n, ay, iy, inside);
  CellSamples s;
  for (int k = 0; k < n; ++k) {
    if (!inside[k]) continue;
    s.node.push_back(ix[k] * ay.count + iy[k]);
    s.tx.push_back(CellFraction(x[k], ax, ix[k]));
    s.ty.push_back(CellFraction(y[k], ay, iy[k]));
    s.z.push_back(z[k]);
  }
  return s;
}

// Triplet entries collected before they become a record.
struct Entries {
  std::vector<int> row, col;
  std::vector<float> val;
  void Add(int r, int c, double v) {
    row.push_back(r);
    col.push_back(c);
    val.push_back(static_cast<float>(v));
  }
  CsMatrix Record(int m, int n) const {
    return CsMatrix(cs_set(row.data(), col.data(), val.data(), static_cast<int>(row.size()), m, n));
  }
};

// Interpolation matrix: row k gives the surface at sample k from the nodes of its cell.
CsMatrix InterpolationMatrix(const CellSamples& s, int ngrid, int nyi, int interp) {
  const int n = static_cast<int>(s.node.size());
  Entries e;
  for (int k = 0; k < n; ++k) {
    const int g = s.node[k];
    const double tx = s.tx[k], ty = s.ty[k];
    if (interp == 0) {
      const double t1 = std::min(tx, ty), t2 = std::max(tx, ty);
      e.Add(k, g, 1.0 - t2);
      e.Add(k, g + nyi + 1, t1);
      e.Add(k, tx > ty ? g + nyi : g + 1, t2 - t1);
    } else {
      e.Add(k, g, (1.0 - tx) * (1.0 - ty));
      e.Add(k, g + 1, (1.0 - tx) * ty);
      e.Add(k, g + nyi, tx * (1.0 - ty));
      e.Add(k, g + nyi + 1, tx * ty);
    }
  }
  return e.Record(n, ngrid);
}

// Second differences along one axis at every node with both neighbours on it, for nodes spaced
// h1 before and h2 after (in units of the mean spacing):
//   (-2 / (h1 (h1 + h2)), 2 / (h1 h2), -2 / (h2 (h1 + h2))).
CsMatrix SecondDifferences(const Axis& along, const Axis& across, bool alongY, int ngrid) {
  const int nyi = alongY ? along.count : across.count;
  const int step = alongY ? 1 : nyi;
  Entries e;
  for (int a = 1; a + 1 < along.count; ++a) {
    const double h1 = static_cast<double>(along.width[a - 1]) / along.scale;
    const double h2 = static_cast<double>(along.width[a]) / along.scale;
    for (int b = 0; b < across.count; ++b) {
      const int g = alongY ? b * nyi + a : a * nyi + b;
      e.Add(g, g - step, -2.0 / (h1 * (h1 + h2)));
      e.Add(g, g, 2.0 / (h1 * h2));
      e.Add(g, g + step, -2.0 / (h2 * (h1 + h2)));
    }
  }
  return e.Record(ngrid, ngrid);
}

// Regulariser in triplet form: [Dyy; Dxx] (regul 0) or Dyy + Dxx (regul 1).
CsMatrix Regulariser(const Axis& ax, const Axis& ay, int regul, int ngrid) {
  CsMatrix dyy = SecondDifferences(ay, ax, true, ngrid);
  CsMatrix dxx = SecondDifferences(ax, ay, false, ngrid);
  if (!dyy || !dxx) return nullptr;
  if (regul == 0) return CsMatrix(cs_rowconcat(dyy.get(), dxx.get()));
  CsMatrix cy(cs_compress(dyy.get())), cx(cs_compress(dxx.get()));
  if (!cy || !cx) return nullptr;
  CsMatrix sum(cs_add(cy.get(), cx.get(), 1.0f, 1.0f));
  return sum ? CsMatrix(cs_uncompress(sum.get())) : nullptr;
}

// 1-norm of a triplet record (through its compressed form); -1 on failure.
float TripletNorm(const cs_sparse* T) {
  CsMatrix c(cs_compress(T));
  return c ? cs_norm(c.get()) : -1.0f;
}

// Upper triangle of the normal matrix (compressed columns, each row at most once per column) in
// one-based compressed rows, columns ascending, so the diagonal first: entry (r, c), r <= c, of
// column c goes to row r, the columns visited in ascending order. False when a row has no positive
// diagonal (a node without any equation: singular system).
bool UpperRows(const cs_sparse* N, int ngrid, std::vector<double>& values, std::vector<int>& cols,
               std::vector<int>& rowStart) {
  rowStart.assign(static_cast<size_t>(ngrid) + 1, 0);
  for (int c = 0; c < ngrid; ++c)
    for (int q = N->p[c]; q < N->p[c + 1]; ++q)
      if (N->i[q] <= c) ++rowStart[N->i[q] + 1];
  for (int r = 0; r < ngrid; ++r) rowStart[r + 1] += rowStart[r];
  values.resize(static_cast<size_t>(rowStart[ngrid]));
  cols.resize(values.size());
  std::vector<int> next(rowStart.begin(), rowStart.end() - 1);
  for (int c = 0; c < ngrid; ++c) {
    for (int q = N->p[c]; q < N->p[c + 1]; ++q) {
      if (N->i[q] > c) continue;
      const int k = next[N->i[q]]++;
      values[k] = N->x[q];
      cols[k] = c + 1;
    }
  }
  for (int r = 0; r < ngrid; ++r) {
    const int k = rowStart[r];
    if (k == rowStart[r + 1] || cols[k] != r + 1 || !(values[k] > 0.0)) return false;
  }
  for (int& k : rowStart) ++k;
  return true;
}

// Normal equations N = Mᵀ M and b = Mᵀ r of M = [A; λR] with r = [z; 0], both compressed.
bool NormalEquations(const cs_sparse* M, const std::vector<float>& z, CsMatrix& N, CsMatrix& b) {
  CsMatrix mc(cs_compress(M));
  if (!mc) return false;
  CsMatrix mt(cs_transpose(mc.get(), 1));
  if (!mt) return false;
  N.reset(cs_multiply(mt.get(), mc.get()));
  std::vector<float> r(static_cast<size_t>(M->m), 0.0f);
  std::copy(z.begin(), z.end(), r.begin());
  std::vector<int> rows(r.size()), zeros(r.size(), 0);
  for (size_t k = 0; k < rows.size(); ++k) rows[k] = static_cast<int>(k);
  CsMatrix rt(cs_set(rows.data(), zeros.data(), r.data(), M->m, M->m, 1));
  CsMatrix rc(rt ? cs_compress(rt.get()) : nullptr);
  b.reset(rc ? cs_multiply(mt.get(), rc.get()) : nullptr);
  return N && b;
}

// Solves the normal equations and writes the node values.
int SolveNormalEquations(const cs_sparse* N, const cs_sparse* b, int ngrid, float* zi) {
  std::vector<double> values;
  std::vector<int> cols, rowStart;
  if (!UpperRows(N, ngrid, values, cols, rowStart)) return -1;
  std::vector<double> rhs(static_cast<size_t>(ngrid), 0.0), solution(rhs.size(), 0.0);
  for (int q = 0; q < b->p[1]; ++q) rhs[b->i[q]] += b->x[q];
  if (SparseSolver(values.data(), cols.data(), rowStart.data(), rhs.data(), ngrid, ngrid,
                   static_cast<int>(values.size()), solution.data(), 1) != 0)
    return -1;
  for (int g = 0; g < ngrid; ++g) zi[g] = static_cast<float>(solution[g]);
  return 0;
}

int Fit(const float* x, const float* y, const float* z, int n, const Axis& ax, const Axis& ay,
        int interp, int regul, float smooth, float* zi) {
  const int ngrid = ax.count * ay.count;
  const CellSamples s = LocateSamples(x, y, z, n, ax, ay);
  CsMatrix A = InterpolationMatrix(s, ngrid, ay.count, interp);
  CsMatrix R = Regulariser(ax, ay, regul, ngrid);
  if (!A || !R) return -1;
  const float normA = TripletNorm(A.get()), normR = TripletNorm(R.get());
  if (normA < 0.0f || normR < 0.0f) return -1;
  const float lambda =
      normR > 0.0f ? static_cast<float>(static_cast<double>(normA) * smooth / normR) : 0.0f;
  if (R->nz > 0 && ippsMulC_32f_I(lambda, R->x, R->nz) != ippStsNoErr) return -1;
  CsMatrix M(cs_rowconcat(A.get(), R.get()));
  CsMatrix N, b;
  if (!M || !NormalEquations(M.get(), s.z, N, b)) return -1;
  return SolveNormalEquations(N.get(), b.get(), ngrid, zi);
}

// Sorts keys[from .. from + len) ascending (stable) and reorders the other two arrays alike.
bool SortRun(int* keys, int* other, float* values, int from, int len, std::vector<int>& perm,
             std::vector<int>& otherCopy, std::vector<float>& valueCopy) {
  if (len < 2) return true;
  perm.resize(static_cast<size_t>(len));
  if (ippsSortIndexAscend_32s_I(keys + from, perm.data(), len) != ippStsNoErr) return false;
  otherCopy.assign(other + from, other + from + len);
  if (values != nullptr) valueCopy.assign(values + from, values + from + len);
  for (int k = 0; k < len; ++k) {
    other[from + k] = otherCopy[perm[k]];
    if (values != nullptr) values[from + k] = valueCopy[perm[k]];
  }
  return true;
}

}  // namespace

int histc(const float* x, int nx, const float* edge, int ne, int* bin, int* idx) {
  if (nx < 0 || ne < 0 || (nx > 0 && (x == nullptr || idx == nullptr)) ||
      (ne > 0 && (edge == nullptr || bin == nullptr)))
    return -1;
  std::fill(bin, bin + ne, 0);
  std::fill(idx, idx + nx, 0);
  for (int k = 0; k < nx; ++k) {
    if (ne < 2 || !(x[k] >= edge[0] && x[k] < edge[ne - 1])) continue;
    const int j = static_cast<int>(std::upper_bound(edge, edge + ne, x[k]) - edge) - 1;
    ++bin[j];
    idx[k] = j;
  }
  for (int k = 0; k < nx; ++k) {
    if (ne > 0 && idx[k] == 0 && x[k] == edge[ne - 1]) {
      idx[k] = ne - 1;
      ++bin[ne - 1];
    }
  }
  return 0;
}

int CGridFit::gridfit(const float* x, const float* y, const float* z, int n, const float* xi,
                      int nxi, const float* yi, int nyi, int interp, int regul, float smooth,
                      float* zi) {
  if (x == nullptr || y == nullptr || z == nullptr || xi == nullptr || yi == nullptr ||
      zi == nullptr || n < 1 || nxi < 2 || nyi < 2 || static_cast<long long>(nxi) * nyi > kMaxNodes)
    return -1;
  if (interp < 0 || interp > 2) interp = 0;
  if (interp == 2 || (regul != 0 && regul != 1) || !(smooth >= 0.0f)) return -1;
  try {
    Axis ax, ay;
    if (!MakeAxis(xi, nxi, ax) || !MakeAxis(yi, nyi, ay)) return -1;
    return Fit(x, y, z, n, ax, ay, interp, regul, smooth, zi);
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

int CGridFit::sortmatrixij(cs_sparse* A) {
  if (A == nullptr || A->nz < 0) return -1;
  try {
    std::vector<int> perm, otherCopy;
    std::vector<float> valueCopy;
    if (!SortRun(A->i, A->p, A->x, 0, A->nz, perm, otherCopy, valueCopy)) return -1;
    for (int start = 0; start < A->nz;) {
      int end = start + 1;
      while (end < A->nz && A->i[end] == A->i[start]) ++end;
      if (!SortRun(A->p, A->i, A->x, start, end - start, perm, otherCopy, valueCopy)) return -1;
      start = end;
    }
    return 0;
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

}  // namespace Talvex::Common::Algorithms::Numerics
