#include "common/numerics/CSparse.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace Talvex::Common::Algorithms::Numerics {

namespace {

// Owner of a block from cs_malloc / cs_calloc.
struct BlockDeleter {
  void operator()(void* p) const { cs_free(p); }
};
template <typename T>
using Block = std::unique_ptr<T[], BlockDeleter>;

template <typename T>
Block<T> ZeroedBlock(int n) {
  return Block<T>(static_cast<T*>(cs_calloc(n, sizeof(T))));
}
template <typename T>
Block<T> RawBlock(int n) {
  return Block<T>(static_cast<T*>(cs_malloc(n, sizeof(T))));
}

bool IsCompressed(const cs_sparse* A) { return A != nullptr && A->nz == -1; }
bool IsTriplet(const cs_sparse* A) { return A != nullptr && A->nz >= 0; }

// Resizes one array to count elements; the old block stays when the resize fails.
template <typename T>
bool Resize(T*& block, int count) {
  const std::size_t n = static_cast<std::size_t>(std::max(count, 1));
  if (n > std::numeric_limits<std::size_t>::max() / sizeof(T)) return false;
  void* grown = std::realloc(block, n * sizeof(T));
  if (grown == nullptr) return false;
  block = static_cast<T*>(grown);
  return true;
}

// Copies the gathered values of the rows C.i[from .. to) out of the dense vector x.
void Gather(cs_sparse* C, const float* x, int from, int to) {
  if (C->x == nullptr || x == nullptr) return;
  for (int k = from; k < to; ++k) C->x[k] = x[C->i[k]];
}

}  // namespace

void* cs_malloc(int n, std::size_t size) {
  const std::size_t count = static_cast<std::size_t>(std::max(n, 1));
  if (size == 0 || count > std::numeric_limits<std::size_t>::max() / size) return nullptr;
  return std::malloc(count * size);
}

void* cs_calloc(int n, std::size_t size) {
  if (size == 0) return nullptr;
  return std::calloc(static_cast<std::size_t>(std::max(n, 1)), size);
}

void* cs_free(void* p) {
  std::free(p);
  return nullptr;
}

cs_sparse* cs_spalloc(int m, int n, int nzmax, int values, int triplet) {
  if (m < 0 || n < 0) return nullptr;
  CsMatrix A(static_cast<cs_sparse*>(cs_calloc(1, sizeof(cs_sparse))));
  if (!A) return nullptr;
  A->m = m;
  A->n = n;
  A->nzmax = std::max(nzmax, 1);
  A->nz = triplet ? 0 : -1;
  A->p =
      static_cast<int*>(triplet ? cs_malloc(A->nzmax, sizeof(int)) : cs_calloc(n + 1, sizeof(int)));
  A->i = static_cast<int*>(cs_malloc(A->nzmax, sizeof(int)));
  A->x = values ? static_cast<float*>(cs_malloc(A->nzmax, sizeof(float))) : nullptr;
  if (A->p == nullptr || A->i == nullptr || (values && A->x == nullptr)) return nullptr;
  return A.release();
}

int cs_sprealloc(cs_sparse* A, int nzmax) {
  if (A == nullptr) return 0;
  if (nzmax <= 0) nzmax = IsCompressed(A) ? A->p[A->n] : A->nz;
  bool ok = Resize(A->i, nzmax);
  if (IsTriplet(A)) ok = Resize(A->p, nzmax) && ok;
  if (A->x != nullptr) ok = Resize(A->x, nzmax) && ok;
  if (ok) A->nzmax = std::max(nzmax, 1);
  return ok ? 1 : 0;
}

cs_sparse* cs_spfree(cs_sparse* A) {
  if (A == nullptr) return nullptr;
  cs_free(A->p);
  cs_free(A->i);
  cs_free(A->x);
  return static_cast<cs_sparse*>(cs_free(A));
}

cs_sparse* cs_set(const int* i, const int* j, const float* x, int len, int m, int n) {
  if (len < 0 || (len > 0 && (i == nullptr || j == nullptr || x == nullptr))) return nullptr;
  cs_sparse* T = cs_spalloc(m, n, len, 1, 1);
  if (T == nullptr) return nullptr;
  T->nz = len;
  std::copy(i, i + len, T->i);
  std::copy(j, j + len, T->p);
  std::copy(x, x + len, T->x);
  return T;
}

cs_sparse* cs_rowconcat(const cs_sparse* A, const cs_sparse* B) {
  if (A == nullptr || B == nullptr || A->nz < 0 || B->nz < 0) return nullptr;
  const bool values = A->x != nullptr && B->x != nullptr;
  const int total = A->nz + B->nz;
  cs_sparse* C = cs_spalloc(A->m + B->m, A->n, total, values, 1);
  if (C == nullptr) return nullptr;
  C->nz = total;
  std::copy(A->i, A->i + A->nz, C->i);
  std::copy(A->p, A->p + A->nz, C->p);
  for (int k = 0; k < B->nz; ++k) C->i[A->nz + k] = B->i[k] + A->m;
  std::copy(B->p, B->p + B->nz, C->p + A->nz);
  if (values) {
    std::copy(A->x, A->x + A->nz, C->x);
    std::copy(B->x, B->x + B->nz, C->x + A->nz);
  }
  return C;
}

cs_sparse* cs_compress(const cs_sparse* T) {
  if (!IsTriplet(T)) return nullptr;
  CsMatrix C(cs_spalloc(T->m, T->n, T->nz, T->x != nullptr, 0));
  Block<int> w = ZeroedBlock<int>(T->n);
  if (!C || !w) return nullptr;
  for (int k = 0; k < T->nz; ++k) w[T->p[k]]++;
  cs_cumsum(C->p, w.get(), T->n);
  for (int k = 0; k < T->nz; ++k) {
    const int q = w[T->p[k]]++;
    C->i[q] = T->i[k];
    if (C->x != nullptr) C->x[q] = T->x[k];
  }
  return C.release();
}

cs_sparse* cs_uncompress(const cs_sparse* A) {
  if (!IsCompressed(A)) return nullptr;
  cs_sparse* T = cs_spalloc(A->m, A->n, A->nzmax, A->x != nullptr, 1);
  if (T == nullptr) return nullptr;
  int k = 0;
  for (int j = 0; j < A->n; ++j) {
    for (int q = A->p[j]; q < A->p[j + 1]; ++q, ++k) {
      T->i[k] = A->i[q];
      T->p[k] = j;
      if (T->x != nullptr) T->x[k] = A->x[q];
    }
  }
  T->nz = k;
  return T;
}

float cs_cumsum(int* p, int* c, int n) {
  if (p == nullptr || c == nullptr) return -1.0f;
  int count = 0;
  float total = 0.0f;
  for (int k = 0; k < n; ++k) {
    p[k] = count;
    count += c[k];
    total += static_cast<float>(c[k]);
    c[k] = p[k];
  }
  p[n] = count;
  return total;
}

int cs_scatter(const cs_sparse* A, int j, float beta, int* w, float* x, int mark, cs_sparse* C,
               int nz) {
  if (!IsCompressed(A) || !IsCompressed(C) || w == nullptr) return -1;
  const bool update = x != nullptr && A->x != nullptr;
  for (int q = A->p[j]; q < A->p[j + 1]; ++q) {
    const int r = A->i[q];
    if (w[r] < mark) {
      w[r] = mark;
      C->i[nz++] = r;
      if (update) x[r] = beta * A->x[q];
    } else if (update) {
      x[r] += beta * A->x[q];
    }
  }
  return nz;
}

cs_sparse* cs_add(const cs_sparse* A, const cs_sparse* B, float alpha, float beta) {
  if (!IsCompressed(A) || !IsCompressed(B) || A->m != B->m || A->n != B->n) return nullptr;
  const bool values = A->x != nullptr && B->x != nullptr;
  CsMatrix C(cs_spalloc(A->m, A->n, A->p[A->n] + B->p[B->n], values, 0));
  Block<int> w = ZeroedBlock<int>(A->m);
  Block<float> x = values ? RawBlock<float>(A->m) : Block<float>();
  if (!C || !w || (values && !x)) return nullptr;
  int nz = 0;
  for (int j = 0; j < A->n; ++j) {
    C->p[j] = nz;
    nz = cs_scatter(A, j, alpha, w.get(), x.get(), j + 1, C.get(), nz);
    nz = cs_scatter(B, j, beta, w.get(), x.get(), j + 1, C.get(), nz);
    Gather(C.get(), x.get(), C->p[j], nz);
  }
  C->p[A->n] = nz;
  cs_sprealloc(C.get(), 0);
  return C.release();
}

cs_sparse* cs_multiply(const cs_sparse* A, const cs_sparse* B) {
  if (!IsCompressed(A) || !IsCompressed(B) || A->n != B->m) return nullptr;
  const bool values = A->x != nullptr;
  CsMatrix C(cs_spalloc(A->m, B->n, A->p[A->n] + B->p[B->n], values, 0));
  Block<int> w = ZeroedBlock<int>(A->m);
  Block<float> x = values ? RawBlock<float>(A->m) : Block<float>();
  if (!C || !w || (values && !x)) return nullptr;
  int nz = 0;
  for (int j = 0; j < B->n; ++j) {
    if (nz + A->m > C->nzmax && !cs_sprealloc(C.get(), 2 * C->nzmax + A->m)) return nullptr;
    C->p[j] = nz;
    for (int q = B->p[j]; q < B->p[j + 1]; ++q) {
      const float factor = B->x != nullptr ? B->x[q] : 1.0f;
      nz = cs_scatter(A, B->i[q], factor, w.get(), x.get(), j + 1, C.get(), nz);
    }
    Gather(C.get(), x.get(), C->p[j], nz);
  }
  C->p[B->n] = nz;
  cs_sprealloc(C.get(), 0);
  return C.release();
}

cs_sparse* cs_transpose(const cs_sparse* A, int values) {
  if (!IsCompressed(A)) return nullptr;
  const bool withValues = values != 0 && A->x != nullptr;
  CsMatrix C(cs_spalloc(A->n, A->m, A->p[A->n], withValues, 0));
  Block<int> w = ZeroedBlock<int>(A->m);
  if (!C || !w) return nullptr;
  for (int q = 0; q < A->p[A->n]; ++q) w[A->i[q]]++;
  cs_cumsum(C->p, w.get(), A->m);
  for (int j = 0; j < A->n; ++j) {
    for (int q = A->p[j]; q < A->p[j + 1]; ++q) {
      const int t = w[A->i[q]]++;
      C->i[t] = j;
      if (withValues) C->x[t] = A->x[q];
    }
  }
  return C.release();
}

float cs_norm(const cs_sparse* A) {
  if (!IsCompressed(A) || A->x == nullptr) return -1.0f;
  float norm = 0.0f;
  for (int j = 0; j < A->n; ++j) {
    float s = 0.0f;
    for (int q = A->p[j]; q < A->p[j + 1]; ++q) s += std::fabs(A->x[q]);
    norm = std::max(norm, s);
  }
  return norm;
}

}  // namespace Talvex::Common::Algorithms::Numerics
