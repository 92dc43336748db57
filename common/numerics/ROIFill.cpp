#include "common/numerics/ROIFill.h"

#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "common/analysis/Regions.h"
#include "common/numerics/SparseSolver.h"
#include "platform/image/TalvexIppiAdvanced.h"

namespace Talvex::Common::Algorithms::Numerics {

namespace {

using Bytes = std::vector<unsigned char>;

// The mask grown by a 3 x 3 maximum over the interior rows and columns; false when the primitive
// fails (images below 3 x 3 included).
bool GrowMask(const unsigned char* msk, int height, int width, Bytes* grown) {
  grown->assign(msk, msk + static_cast<size_t>(height) * width);
  const Platform::IppiSize interior{width - 2, height - 2};
  return Platform::ippiDilate3x3_8u_C1IR(grown->data() + width + 1, width, interior) ==
         Platform::ippStsNoErr;
}

// The outline of the grown mask seen inside a frame of ones, so that the image border itself
// never becomes rim. False when the perimeter fails.
bool MaskRim(const Bytes& grown, int height, int width, Bytes* rim) {
  const int h = height + 2, w = width + 2;
  Bytes framed(static_cast<size_t>(h) * w, 1);
  for (int r = 0; r < height; ++r)
    std::memcpy(&framed[static_cast<size_t>(r + 1) * w + 1], &grown[static_cast<size_t>(r) * width],
                static_cast<size_t>(width));
  std::vector<unsigned char*> rows(h);
  for (int r = 0; r < h; ++r) rows[r] = framed.data() + static_cast<size_t>(r) * w;
  if (Analysis::bwperim(rows.data(), w, h) == -1) return false;
  rim->resize(static_cast<size_t>(height) * width);
  for (int r = 0; r < height; ++r)
    std::memcpy(&(*rim)[static_cast<size_t>(r) * width], rows[r + 1] + 1,
                static_cast<size_t>(width));
  return true;
}

// The Laplace system of the fill pixels in one-based compressed rows.
struct LaplaceSystem {
  std::vector<int> number;  // per pixel: 1-based fill-pixel number, 0 for other pixels
  std::vector<int> pixel;   // per fill pixel: its row-major pixel index
  std::vector<double> values, rhs;
  std::vector<int> columns, rowIndex;
};

// Numbers the fill pixels (grown-mask pixels with the lowest bit set that are not rim) down each
// column, columns left to right.
void NumberFillPixels(const Bytes& grown, const Bytes& rim, int height, int width,
                      LaplaceSystem* s) {
  s->number.assign(static_cast<size_t>(height) * width, 0);
  for (int c = 0; c < width; ++c)
    for (int r = 0; r < height; ++r) {
      const size_t p = static_cast<size_t>(r) * width + c;
      if ((grown[p] & 1) != 0 && rim[p] == 0) {
        s->pixel.push_back(static_cast<int>(p));
        s->number[p] = static_cast<int>(s->pixel.size());
      }
    }
}

// One row per fill pixel: the neighbour count on the diagonal, -1 for each neighbour that is also
// filled, and the fixed rim values of the others on the right-hand side. Neighbours are visited
// west, north, south, east, which with the column-major numbering keeps the columns of a row
// ascending (the diagonal goes between north and south).
template <typename Pixel>
void AssembleRows(const Pixel* I, const Bytes& grown, const Bytes& rim, int height, int width,
                  LaplaceSystem* s) {
  const int n = static_cast<int>(s->pixel.size());
  s->rhs.assign(n, 0.0);
  s->rowIndex.assign(n + 1, 1);
  for (int t = 0; t < n; ++t) {
    const int p = s->pixel[t], r = p / width, c = p % width;
    const bool inside[4] = {c > 0, r > 0, r + 1 < height, c + 1 < width};
    const int offset[4] = {-1, -width, width, 1};
    double diagonal = 0.0;
    for (int k = 0; k < 4; ++k) {
      if (!inside[k]) continue;
      const int q = p + offset[k];
      diagonal += grown[q];
      if (rim[q] != 0) s->rhs[t] += I[q];
    }
    for (int k = 0; k < 4; ++k) {
      if (k == 2) s->values.push_back(diagonal), s->columns.push_back(t + 1);
      if (!inside[k] || s->number[p + offset[k]] == 0) continue;
      s->values.push_back(-1.0);
      s->columns.push_back(s->number[p + offset[k]]);
    }
    s->rowIndex[t + 1] = static_cast<int>(s->values.size()) + 1;
  }
}

// The solution truncated toward zero, where a value within kIntegerTolerance of an integer counts
// as that integer: the round-off of the solve must not turn an exact 90 into 89.
constexpr double kIntegerTolerance = 1e-6;

double Truncated(double v) {
  const double nearest = std::round(v);
  return std::fabs(v - nearest) <= kIntegerTolerance ? nearest : std::trunc(v);
}

}  // namespace

template <typename Pixel>
int CROIFill<Pixel>::roifill(const Pixel* I, int height, int width, const Pixel* msk, Pixel* IP) {
  if (I == nullptr || msk == nullptr || IP == nullptr || height < 1 || width < 1) return -1;
  try {
    Bytes grown, rim;
    if (!GrowMask(msk, height, width, &grown)) return -1;
    if (!MaskRim(grown, height, width, &rim)) return -1;
    LaplaceSystem s;
    NumberFillPixels(grown, rim, height, width, &s);
    const int n = static_cast<int>(s.pixel.size());
    if (n == 0) return 0;
    AssembleRows(I, grown, rim, height, width, &s);
    const int entries = static_cast<int>(s.values.size());
    if (entries < 5) return 0;
    if (static_cast<int>(s.rowIndex.size()) != n + 1 || s.rowIndex[n] != entries + 1 ||
        static_cast<int>(s.rhs.size()) != n)
      return 0;
    std::vector<double> solution(n, 0.0);
    if (SparseSolver(s.values.data(), s.columns.data(), s.rowIndex.data(), s.rhs.data(), n, n,
                     entries, solution.data(), 0) == -1)
      return -1;
    std::vector<Pixel> result(I, I + static_cast<size_t>(height) * width);
    for (int t = 0; t < n; ++t) result[s.pixel[t]] = static_cast<Pixel>(Truncated(solution[t]));
    std::memcpy(IP, result.data(), result.size() * sizeof(Pixel));
    return 0;
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

template class CROIFill<unsigned char>;

}  // namespace Talvex::Common::Algorithms::Numerics
