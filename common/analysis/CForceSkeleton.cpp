#include "common/analysis/CForceSkeleton.h"

#include <new>
#include <vector>

#include "common/data_structures/CMatrix.h"

namespace Talvex::Common::Algorithms::Analysis {

namespace {

using DataStructures::CMatrix;

constexpr std::uint8_t kEdge = 0, kBackground = 1, kMarked = 2;

// 5 x 5 notch patterns, rows r-2 .. r+2 and columns c-2 .. c+2 around the tested pixel:
// '0' must be edge, '1' must be background, '.' is not tested.
using Pattern = const char* [5];
constexpr Pattern kDownNotches[5] = {
    {"00100", "00100", "00000", "00000", ".000."}, {"01100", "00100", "00000", "00000", ".000."},
    {"00110", "00100", "00000", "00000", ".000."}, {"01100", "01100", "00000", "00000", ".000."},
    {"00110", "00110", "00000", "00000", ".000."},
};
// The same mirrored top to bottom; the first does not look at row r-2.
constexpr Pattern kUpNotches[5] = {
    {".....", "00000", "00000", "00100", "00100"}, {".000.", "00000", "00000", "00100", "01100"},
    {".000.", "00000", "00000", "00100", "00110"}, {".000.", "00000", "00000", "01100", "01100"},
    {".000.", "00000", "00000", "00110", "00110"},
};

bool Matches(std::uint8_t* const* p, int r, int c, const Pattern& pattern) {
  for (int i = 0; i < 5; ++i) {
    for (int j = 0; j < 5; ++j) {
      const char want = pattern[i][j];
      if (want == '.') continue;
      const std::uint8_t v = p[r - 2 + i][c - 2 + j];
      if ((want == '0' && v != kEdge) || (want == '1' && v != kBackground)) return false;
    }
  }
  return true;
}

// Neighbours of (r, c) as background flags b1 .. b8 (east, then counter-clockwise), b9 = b1.
void BackgroundRing(std::uint8_t* const* p, int r, int c, int b[10]) {
  const int dr[8] = {0, -1, -1, -1, 0, 1, 1, 1}, dc[8] = {1, 1, 0, -1, -1, -1, 0, 1};
  for (int k = 0; k < 8; ++k) b[k + 1] = p[r + dr[k]][c + dc[k]] != kEdge ? 1 : 0;
  b[9] = b[1];
}

// Stage 1: removes every edge pixel with at most two edge neighbours and an 8-connectivity
// number below 2, all decided on the image before any removal.
void RemoveSpurs(CMatrix<std::uint8_t>& padded, int R, int C) {
  std::uint8_t** p = padded.getmatrix();
  std::vector<long long> spurs;
  for (int r = 1; r < R - 1; ++r) {
    for (int c = 1; c < C - 1; ++c) {
      if (p[r][c] != kEdge) continue;
      int b[10];
      BackgroundRing(p, r, c, b);
      int edges = 0;
      for (int k = 1; k <= 8; ++k) edges += 1 - b[k];
      int connectivity = 0;
      for (int k = 1; k <= 7; k += 2) connectivity += b[k] - b[k] * b[k + 1] * b[k + 2];
      if (edges <= 2 && connectivity < 2) spurs.push_back(static_cast<long long>(r) * C + c);
    }
  }
  for (long long i : spurs) padded.getdata()[i] = kBackground;
}

// One notch pass with the first `variants` pattern pairs; true when it removed a pixel.
bool NotchPass(CMatrix<std::uint8_t>& padded, int R, int C, int variants) {
  std::uint8_t** p = padded.getmatrix();
  bool changed = false;
  for (int r = 2; r <= R - 3; ++r) {
    for (int c = 2; c <= C - 3; ++c) {
      if (p[r][c] != kEdge) continue;
      bool hit = false;
      for (int v = 0; v < variants && !hit; ++v) hit = Matches(p, r, c, kDownNotches[v]);
      for (int v = 0; v < variants && !hit; ++v) hit = Matches(p, r, c, kUpNotches[v]);
      if (hit) p[r][c] = kMarked;
    }
  }
  for (int r = 2; r <= R - 3; ++r) {
    for (int c = 2; c <= C - 3; ++c) {
      if (p[r][c] != kMarked) continue;
      p[r][c] = kBackground;
      changed = true;
    }
  }
  return changed;
}

// Stage 2: the pass with five pattern pairs, then, when it removed anything, those with three
// and one.
void RemoveNotches(CMatrix<std::uint8_t>& padded, int R, int C) {
  if (R <= 4 || C <= 4) return;
  if (!NotchPass(padded, R, C, 5)) return;
  NotchPass(padded, R, C, 3);
  NotchPass(padded, R, C, 1);
}

// Edge flags of the eight neighbours, named by compass direction.
struct Ring {
  int n, ne, e, se, s, sw, w, nw;
};
Ring EdgeRing(std::uint8_t* const* e, int r, int c) {
  return {e[r - 1][c], e[r - 1][c + 1], e[r][c + 1], e[r + 1][c + 1],
          e[r + 1][c], e[r + 1][c - 1], e[r][c - 1], e[r - 1][c - 1]};
}

// One sub-iteration of stage 3 on the edge image (1 = edge); true when it deleted a pixel.
bool ThinningStep(CMatrix<std::uint8_t>& edge, int R, int C, bool first,
                  std::vector<long long>& marked) {
  std::uint8_t** e = edge.getmatrix();
  marked.clear();
  for (int r = 1; r < R - 1; ++r) {
    for (int c = 1; c < C - 1; ++c) {
      if (e[r][c] == 0) continue;
      const Ring q = EdgeRing(e, r, c);
      const int seq[9] = {q.e, q.ne, q.n, q.nw, q.w, q.sw, q.s, q.se, q.e};
      int b = 0, a = 0;
      for (int k = 0; k < 8; ++k) {
        b += seq[k];
        a += (seq[k] == 1 && seq[k + 1] == 0) ? 1 : 0;
      }
      if (b < 2 || b > 6 || a != 1) continue;
      const bool sides = first ? (q.n * q.e * q.w == 0 && q.n * q.s * q.w == 0)
                               : (q.n * q.e * q.s == 0 && q.e * q.s * q.w == 0);
      if (sides) marked.push_back(static_cast<long long>(r) * C + c);
    }
  }
  for (long long i : marked) edge.getdata()[i] = 0;
  return !marked.empty();
}

// Stage 4, in raster order on the edge image.
void RemoveStaircases(CMatrix<std::uint8_t>& edge, int R, int C) {
  std::uint8_t** e = edge.getmatrix();
  for (int r = 1; r < R - 1; ++r) {
    for (int c = 1; c < C - 1; ++c) {
      if (e[r][c] == 0) continue;
      const Ring q = EdgeRing(e, r, c);
      if (q.n == 0) continue;
      const bool right = q.e && !q.ne && !q.sw && !(q.w && q.s);
      const bool left = q.w && !q.nw && !q.se && !(q.e && q.s);
      if (right || left) e[r][c] = 0;
    }
  }
}

}  // namespace

int CForceSkeleton::ForceThin(std::uint8_t* image, int cols, int rows) {
  if (image == nullptr || rows < 1 || cols < 1) return -1;
  const int R = rows + 2, C = cols + 2;
  try {
    CMatrix<std::uint8_t> padded(R, C);
    std::uint8_t** p = padded.getmatrix();
    for (int r = 0; r < R; ++r)
      for (int c = 0; c < C; ++c) p[r][c] = kBackground;
    for (int r = 0; r < rows; ++r)
      for (int c = 0; c < cols; ++c)
        p[r + 1][c + 1] = image[static_cast<long long>(r) * cols + c] != 0 ? kEdge : kBackground;
    RemoveSpurs(padded, R, C);
    RemoveNotches(padded, R, C);

    CMatrix<std::uint8_t> edge(R, C);
    const long long n = static_cast<long long>(R) * C;
    for (long long i = 0; i < n; ++i) edge.getdata()[i] = padded.getdata()[i] == kEdge ? 1 : 0;
    std::vector<long long> marked;
    for (;;) {
      const bool first = ThinningStep(edge, R, C, true, marked);
      const bool second = ThinningStep(edge, R, C, false, marked);
      if (!first && !second) break;
    }
    RemoveStaircases(edge, R, C);
    for (int r = 0; r < rows; ++r)
      for (int c = 0; c < cols; ++c)
        image[static_cast<long long>(r) * cols + c] = edge.getmatrix()[r + 1][c + 1];
  } catch (const std::bad_alloc&) {
    return -1;
  }
  return 0;
}

}  // namespace Talvex::Common::Algorithms::Analysis
