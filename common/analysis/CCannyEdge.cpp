#include "common/analysis/CCannyEdge.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "common/data_structures/CLineSpace.h"
#include "common/data_structures/CMeshgrid.h"
#include "common/filters/LinearFilters.h"
#include "platform/image/TalvexIppiBasic.h"
#include "platform/signal/TalvexIpps.h"

namespace Talvex::Common::Algorithms::Analysis {

namespace {

using namespace Talvex::Platform;
using DataStructures::CLineSpace;
using DataStructures::CMeshgrid;

constexpr int kHistogramLevels = 64;
constexpr float kGradientOffset = 1e-6f;  // keeps the magnitude positive on a flat image

bool Ok(IppStatus status) { return status == ippStsNoErr; }

// Half-width of the derivative kernel: trunc(3 sigma), made even, at least 3.
int KernelHalfWidth(float sigma) {
  int h = static_cast<int>(3.0 * sigma);
  if (h % 2 != 0) h -= 1;
  return h < 3 ? 3 : h;
}

// (2h+1) x (2h+1) x-derivative of a Gaussian: -x G(x, y), G rounded to four decimals.
std::vector<float> DerivativeKernel(float sigma, int h) {
  const int n = 2 * h + 1;
  const auto gx = CMeshgrid<float>::meshgridX(static_cast<float>(-h), static_cast<float>(h), n);
  const auto gy = CMeshgrid<float>::meshgridY(static_cast<float>(-h), static_cast<float>(h), n);
  std::vector<float> kernel(static_cast<size_t>(n) * n);
  const double s2 = static_cast<double>(sigma) * sigma;
  const double pi = 3.14159265358979323846;
  for (int j = 0; j < n; ++j) {
    for (int i = 0; i < n; ++i) {
      const double x = gx->getmatrix()[j][i], y = gy->getmatrix()[j][i];
      double g = std::exp(-(x * x + y * y) / (2.0 * s2)) / (pi * s2);
      g = std::trunc(g * 10000.0 + 0.5) / 10000.0;
      kernel[static_cast<size_t>(j) * n + i] = static_cast<float>(-x * g);
    }
  }
  return kernel;
}

// One half of a sector test: (p OP 0) & (a OP b).
struct SectorTerm {
  int signImage;  // 0: dx, 1: dy, compared with zero
  IppCmpOp signOp;
  int left, right;  // 0: dx, 1: dy, 2: -dy
  IppCmpOp op;
};

// The four direction sectors, each the union of two terms:
//   1: (dy <= 0 & dx > -dy) | (dy >= 0 & dx < -dy)     mostly along x, rising to the upper right
//   2: (dx > 0 & -dy >= dx) | (dx < 0 & -dy <= dx)     mostly along y, rising to the upper right
//   3: (dx <= 0 & dx > dy) | (dx >= 0 & dx < dy)       mostly along y, rising to the lower right
//   4: (dy < 0 & dx <= dy) | (dy > 0 & dx >= dy)       mostly along x, rising to the lower right
constexpr SectorTerm kSectors[4][2] = {
    {{1, ippCmpLessEq, 0, 2, ippCmpGreater}, {1, ippCmpGreaterEq, 0, 2, ippCmpLess}},
    {{0, ippCmpGreater, 2, 0, ippCmpGreaterEq}, {0, ippCmpLess, 2, 0, ippCmpLessEq}},
    {{0, ippCmpLessEq, 0, 1, ippCmpGreater}, {0, ippCmpGreaterEq, 0, 1, ippCmpLess}},
    {{1, ippCmpLess, 0, 1, ippCmpLessEq}, {1, ippCmpGreater, 0, 1, ippCmpGreaterEq}},
};

}  // namespace

void CCannyEdge::FloatDeleter::operator()(float* p) const noexcept { ippiFree(p); }
void CCannyEdge::ByteDeleter::operator()(std::uint8_t* p) const noexcept { ippsFree(p); }

CCannyEdge::CCannyEdge() = default;
CCannyEdge::~CCannyEdge() = default;

void CCannyEdge::Release() {
  for (FloatImage* f : {&m_dx, &m_dy, &m_magnitude, &m_scratch}) f->reset();
  for (ByteImage* b : {&m_sector, &m_maskA, &m_maskB}) b->reset();
  m_stepElements = m_stepBytes = m_rows = m_cols = 0;
}

int CCannyEdge::cannyInit(int rows, int cols) {
  Release();
  if (rows < 1 || cols < 1 || static_cast<long long>(rows) * cols > 0x7fffffffLL / 4) return -1;
  int step = 0;
  for (FloatImage* f : {&m_dx, &m_dy, &m_magnitude, &m_scratch}) {
    f->reset(ippiMalloc_32f_C1(cols, rows, &step));
    if (!*f) {
      Release();
      return -1;
    }
  }
  for (ByteImage* b : {&m_sector, &m_maskA, &m_maskB}) {
    b->reset(ippsMalloc_8u(rows * cols));
    if (!*b) {
      Release();
      return -1;
    }
  }
  m_stepBytes = step;
  m_stepElements = step / static_cast<int>(sizeof(float));
  m_rows = rows;
  m_cols = cols;
  return 0;
}

// dx and dy of the 8-bit working image by the derivative-of-Gaussian kernel over a copy bordered
// by replicated edge pixels, then the gradient magnitude normalised to maximum 1.
int CCannyEdge::Derivatives(const std::uint8_t* work, float sigma) {
  const IppiSize roi{m_cols, m_rows};
  if (!Ok(ippiConvert_8u32f_C1R(work, m_cols, m_scratch.get(), m_stepBytes, roi))) return -1;
  const int h = KernelHalfWidth(sigma), n = 2 * h + 1;
  std::vector<float> kernel = DerivativeKernel(sigma, h);
  int bstep = 0;
  FloatImage bordered(ippiMalloc_32f_C1(m_cols + 2 * h, m_rows + 2 * h, &bstep));
  if (!bordered) return -1;
  const int be = bstep / static_cast<int>(sizeof(float));
  float* inner = bordered.get() + static_cast<long long>(h) * be + h;
  if (!Ok(ippiCopy_32f_C1R(m_scratch.get(), m_stepBytes, inner, bstep, roi))) return -1;
  for (int k = 1; k <= h; ++k) {
    const IppiSize column{1, m_rows};
    if (!Ok(ippiCopy_32f_C1R(inner, bstep, inner - k, bstep, column)) ||
        !Ok(ippiCopy_32f_C1R(inner + m_cols - 1, bstep, inner + m_cols - 1 + k, bstep, column)))
      return -1;
  }
  const IppiSize fullRow{m_cols + 2 * h, 1};
  float* top = bordered.get() + static_cast<long long>(h) * be;
  float* bottom = top + static_cast<long long>(m_rows - 1) * be;
  for (int k = 1; k <= h; ++k) {
    if (!Ok(ippiCopy_32f_C1R(top, bstep, top - static_cast<long long>(k) * be, bstep, fullRow)) ||
        !Ok(ippiCopy_32f_C1R(bottom, bstep, bottom + static_cast<long long>(k) * be, bstep,
                             fullRow)))
      return -1;
  }
  const IppiSize ksize{n, n};
  const IppiPoint anchor{h, h};
  if (!Ok(ippiFilter_32f_C1R(inner, bstep, m_dx.get(), m_stepBytes, roi, kernel.data(), ksize,
                             anchor)) ||
      !Ok(ippiTranspose_32f_C1IR(kernel.data(), n * static_cast<int>(sizeof(float)), ksize)) ||
      !Ok(ippiFilter_32f_C1R(inner, bstep, m_dy.get(), m_stepBytes, roi, kernel.data(), ksize,
                             anchor)))
    return -1;
  const int len = m_rows * m_stepElements;
  float maximum = 0.0f;
  if (!Ok(ippsAddC_32f_I(kGradientOffset, m_dx.get(), len)) ||
      !Ok(ippsMagnitude_32f(m_dx.get(), m_dy.get(), m_magnitude.get(), len)) ||
      !Ok(ippsMax_32f(m_magnitude.get(), len, &maximum)) || !(maximum > 0.0f))
    return -1;
  return Ok(ippsMulC_32f_I(static_cast<float>(1.0 / maximum), m_magnitude.get(), len)) ? 0 : -1;
}

// The threshold on the normalised magnitude; negative when the histogram fails.
float CCannyEdge::Threshold(int autoThreshold, const float* thresholds) const {
  if (autoThreshold == 0) return thresholds[0];
  const auto levels = CLineSpace<float>::linspace(0.0f, 1.0f, kHistogramLevels);
  std::vector<Ipp32s> histogram(kHistogramLevels - 1, 0);
  if (!levels ||
      !Ok(ippiHistogramRange_32f_C1R(m_magnitude.get(), m_stepBytes, IppiSize{m_cols, m_rows},
                                     histogram.data(), levels->getdata(), kHistogramLevels)))
    return -1.0f;
  const double limit = static_cast<double>(thresholds[0]) * m_rows * m_cols;
  long long count = 0;
  for (int i = 0; i < kHistogramLevels - 1; ++i) {
    count += histogram[i];
    if (count > limit) return static_cast<float>(thresholds[1] * (i * 0.015625));
  }
  return static_cast<float>(0.5 * thresholds[1]);
}

// m_sector = 255 where the gradient direction lies in the given sector (0 .. 3).
int CCannyEdge::SectorMask(int sector) {
  const IppiSize roi{m_cols, m_rows};
  if (!Ok(ippiMulC_32f_C1R(m_dy.get(), m_stepBytes, -1.0f, m_scratch.get(), m_stepBytes, roi)))
    return -1;
  const float* images[3] = {m_dx.get(), m_dy.get(), m_scratch.get()};
  std::memset(m_sector.get(), 0, static_cast<size_t>(m_rows) * m_cols);
  for (const SectorTerm& t : kSectors[sector]) {
    if (!Ok(ippiCompareC_32f_C1R(images[t.signImage], m_stepBytes, 0.0f, m_maskA.get(), m_cols, roi,
                                 t.signOp)) ||
        !Ok(ippiCompare_32f_C1R(images[t.left], m_stepBytes, images[t.right], m_stepBytes,
                                m_maskB.get(), m_cols, roi, t.op)) ||
        !Ok(ippiAnd_8u_C1IR(m_maskB.get(), m_cols, m_maskA.get(), m_cols, roi)) ||
        !Ok(ippiOr_8u_C1IR(m_maskA.get(), m_cols, m_sector.get(), m_cols, roi)))
      return -1;
  }
  return 0;
}

// Sets edges to 1 at the interior pixels of the sector whose magnitude exceeds threshold and is
// not below either neighbour along the gradient, each neighbour interpolated between the two
// pixels the gradient line passes.
void CCannyEdge::MarkLocalMaxima(int sector, float threshold, std::uint8_t* edges) const {
  const int s = m_stepElements;
  for (int r = 1; r < m_rows - 1; ++r) {
    const std::uint8_t* inSector = m_sector.get() + static_cast<long long>(r) * m_cols;
    for (int c = 1; c < m_cols - 1; ++c) {
      if (inSector[c] == 0) continue;
      const long long p = static_cast<long long>(r) * s + c;
      const float* m = m_magnitude.get() + p;
      const double dx = m_dx.get()[p], dy = m_dy.get()[p];
      double g1 = 0.0, g2 = 0.0;
      if (sector == 0 || sector == 3) {
        const double d = std::fabs(dy / dx);
        g1 = sector == 0 ? m[1] * (1 - d) + m[1 - s] * d : m[-1] * (1 - d) + m[-1 - s] * d;
        g2 = sector == 0 ? m[-1] * (1 - d) + m[s - 1] * d : m[1] * (1 - d) + m[1 + s] * d;
      } else {
        const double d = std::fabs(dx / dy);
        g1 = sector == 1 ? m[-s] * (1 - d) + m[1 - s] * d : m[-s] * (1 - d) + m[-s - 1] * d;
        g2 = sector == 1 ? m[s] * (1 - d) + m[s - 1] * d : m[s] * (1 - d) + m[s + 1] * d;
      }
      if (*m >= g1 && *m >= g2 && *m > threshold) edges[static_cast<long long>(r) * m_cols + c] = 1;
    }
  }
}

int CCannyEdge::canny(const std::uint8_t* image, int autoThreshold, const float* thresholds,
                      float sigma, int smooth, float smoothSigma, std::uint8_t* edges) {
  if (image == nullptr || thresholds == nullptr || edges == nullptr || m_rows < 1) return -1;
  const float t0 = thresholds[0], t1 = thresholds[1];
  if (!(t0 >= 0.0f) || !(t1 >= 0.0f)) return -1;
  if (autoThreshold == 0 && t1 >= t0) return -1;
  if (!(sigma > 0.0f) || (smooth != 0 && !(smoothSigma >= 0.0f))) return -1;
  const size_t pixels = static_cast<size_t>(m_rows) * m_cols;
  std::memcpy(edges, image, pixels);
  if (smooth != 0) {
    int k = static_cast<int>(5.0 * smoothSigma + 0.5);
    if (k % 2 == 0) k += 1;
    if (k < 3) k = 3;
    const float sigmas[2] = {smoothSigma, smoothSigma};
    const int sizes[2] = {k, k};
    if (Filters::Gauss_2Dsep_floatcolumn(edges, m_rows, m_cols, sigmas, sizes) == -1) return -1;
  }
  if (Derivatives(edges, sigma) == -1) return -1;
  const float threshold = Threshold(autoThreshold, thresholds);
  if (threshold < 0.0f) return -1;
  std::memset(edges, 0, pixels);
  for (int sector = 0; sector < 4; ++sector) {
    if (SectorMask(sector) == -1) return -1;
    MarkLocalMaxima(sector, threshold, edges);
  }
  return 0;
}

}  // namespace Talvex::Common::Algorithms::Analysis
