// Sparse matrices in triplet (coordinate) and compressed-column form, single precision: the kit
// the regularised grid fit of thickness maps assembles and multiplies its least-squares matrices
// with.
//
// A record is either
//   - triplet:    nz >= 0 entries (i[k], p[k], x[k]), k < nz, in any order, duplicates allowed;
//   - compressed: nz = -1; the entries of column j are at positions p[j] .. p[j + 1] - 1.
// Indices are 0-based. Compressed columns keep their entries in the order they were produced
// (row indices are not necessarily sorted) and duplicates are never merged.
//
// Every record and array comes from the kit's own allocation helpers (plain heap memory); a record
// belongs to whoever received it and is released with cs_spfree (CsMatrix does it on scope exit).
// No function throws: allocation failures give null (0 from cs_sprealloc) after releasing what the
// failing call had allocated; arguments are never freed by a failing call.
#pragma once

#include <cstddef>
#include <memory>

namespace Talvex::Common::Algorithms::Numerics {

struct cs_sparse {
  int nzmax;  // capacity of i, x (and p in triplet form)
  int m;      // rows
  int n;      // columns
  int* p;     // compressed: n + 1 column pointers; triplet: column index of each entry
  int* i;     // row index of each entry
  float* x;   // value of each entry; null for a pattern-only matrix
  int nz;     // -1 in compressed form; number of entries in triplet form
};

// Block of max(n, 1) * size bytes (uninitialised), or null on failure or byte-count overflow.
void* cs_malloc(int n, std::size_t size);
// Zeroed block of max(n, 1) elements of size bytes, or null.
void* cs_calloc(int n, std::size_t size);
// Releases a block from cs_malloc / cs_calloc (null accepted); returns null.
void* cs_free(void* p);

// New m x n record with capacity max(nzmax, 1); values when `values` != 0; triplet form (nz = 0)
// when `triplet` != 0, else compressed (nz = -1, n + 1 zeroed column pointers). Null on failure.
cs_sparse* cs_spalloc(int m, int n, int nzmax, int values, int triplet);

// Resizes i, p (triplet form only) and x to max(nzmax, 1) entries; nzmax <= 0 shrinks to fit
// (p[n] entries compressed, nz triplet). An array whose resize fails keeps its old block. Returns
// 1 when every resize succeeded (nzmax is then updated), 0 otherwise or for a null record.
int cs_sprealloc(cs_sparse* A, int nzmax);

// Releases the record and its arrays (null accepted); returns null.
cs_sparse* cs_spfree(cs_sparse* A);

// New m x n triplet record of the len entries (i[k], j[k], x[k]), nz = len. Null on failure.
cs_sparse* cs_set(const int* i, const int* j, const float* x, int len, int m, int n);

// Triplet records stacked by rows: (A.m + B.m) x A.n, A's entries then B's with their rows
// shifted by A.m; capacity and nz both A.nz + B.nz. Values when both have values. Forms and
// column counts are used as given. Null for a null argument or on allocation failure.
cs_sparse* cs_rowconcat(const cs_sparse* A, const cs_sparse* B);

// Compressed copy of a triplet record (duplicates kept as separate entries, triplet order kept
// within each column). Null when T is null, not triplet, or on allocation failure.
cs_sparse* cs_compress(const cs_sparse* T);

// Triplet copy of a compressed record, columns in order and entries in stored order; capacity of
// A, nz = A.p[n]. Null when A is null, not compressed, or on allocation failure.
cs_sparse* cs_uncompress(const cs_sparse* A);

// Cumulative sum: p[k] = c[0] + .. + c[k - 1] and c[k] = p[k] for k < n, p[n] = total. Returns
// the total accumulated in float, -1.0 when p or c is null.
float cs_cumsum(int* p, int* c, int n);

// Scatters beta * column j of A into the dense work vector x (may be null: pattern only): a row r
// first seen in this pass (w[r] < mark) is marked, appended to C.i at position nz and x[r] set;
// a row seen before adds to x[r]. Returns the new count, -1 when A or C is not compressed or w is
// null.
int cs_scatter(const cs_sparse* A, int j, float beta, int* w, float* x, int mark, cs_sparse* C,
               int nz);

// alpha * A + beta * B for compressed A, B of equal size (values when both have values); entries
// of the same position are merged. Null on mismatch, bad form or allocation failure.
cs_sparse* cs_add(const cs_sparse* A, const cs_sparse* B, float alpha, float beta);

// A * B for compressed A (m x k) and B (k x n), column by column; a B without values counts as
// all ones. Every row reached by a structurally present entry gets an entry, explicit zeros
// included. Values when A has values. Null on mismatch, bad form or allocation failure.
cs_sparse* cs_multiply(const cs_sparse* A, const cs_sparse* B);

// Transpose of a compressed record (values when `values` != 0 and A has values); within a column
// of the result the entries come in increasing source column order. Null on bad form or failure.
cs_sparse* cs_transpose(const cs_sparse* A, int values);

// 1-norm: the largest column sum of absolute values, accumulated in float (0 when every column is
// empty). -1.0 for a null, non-compressed or value-less record.
float cs_norm(const cs_sparse* A);

// Owner of a record: releases it with cs_spfree.
struct CsDeleter {
  void operator()(cs_sparse* A) const { cs_spfree(A); }
};
using CsMatrix = std::unique_ptr<cs_sparse, CsDeleter>;

}  // namespace Talvex::Common::Algorithms::Numerics
