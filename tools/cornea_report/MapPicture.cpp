// Colour map pictures with a bitmap-font legend, grid, sector means and orientation letters.
#include "tools/cornea_report/MapPicture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "tools/imaging/ImageCodecs.h"

namespace Talvex::Tools {

namespace {

// Viridis at 0, 0.1, ..., 1.
constexpr std::uint8_t kViridis[11][3] = {
    {68, 1, 84},    {72, 36, 117},  {65, 68, 135},  {53, 95, 141},  {42, 120, 142}, {33, 145, 140},
    {34, 168, 132}, {68, 191, 112}, {122, 209, 81}, {189, 223, 38}, {253, 231, 37}};

// 5 x 7 glyphs, one row of 5 bits per byte (bit 4 = leftmost column).
struct Glyph {
  char c;
  std::uint8_t rows[7];
};
constexpr Glyph kFont[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}},
    {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}},
    {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}},
    {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}},
    {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}},
    {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}},
    {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}},
    {'A', {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}},
    {'D', {0x1E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x1E}},
    {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}},
    {'H', {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}},
    {'M', {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}},
    {'N', {0x11, 0x19, 0x15, 0x13, 0x11, 0x11, 0x11}},
    {'O', {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}},
    {'P', {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}},
    {'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}},
    {'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}},
    {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}},
    {'U', {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}},
    {'Y', {0x11, 0x11, 0x0A, 0x04, 0x04, 0x04, 0x04}},
    {'i', {0x04, 0x00, 0x0C, 0x04, 0x04, 0x04, 0x0E}},
    {'m', {0x00, 0x00, 0x1A, 0x15, 0x15, 0x11, 0x11}},
    {'n', {0x00, 0x00, 0x16, 0x19, 0x11, 0x11, 0x11}},
    {'u', {0x00, 0x00, 0x11, 0x11, 0x11, 0x13, 0x0D}},
};
constexpr int kScale = 2;             // font pixels per glyph bit
constexpr int kAdvance = 6 * kScale;  // glyph width plus one column of spacing
constexpr int kGlyphHeight = 7 * kScale;
constexpr int kMapSide = 512;  // map square in picture pixels
constexpr int kTop = 28;       // title band
constexpr int kLegend = 120;   // legend band to the right

class Canvas {
 public:
  Canvas(int w, int h) : w_(w), h_(h), rgb_(std::size_t(w) * h * 3, 255) {}
  void Put(int x, int y, const std::uint8_t c[3]) {
    if (x < 0 || y < 0 || x >= w_ || y >= h_) return;
    std::copy(c, c + 3, &rgb_[(std::size_t(y) * w_ + x) * 3]);
  }
  void Box(int x0, int y0, int x1, int y1, const std::uint8_t c[3]) {
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) Put(x, y, c);
  }
  // Text with its top-left corner at (x, y); a halo of `halo` around the glyphs when given.
  void Text(int x, int y, const std::string& s, const std::uint8_t c[3],
            const std::uint8_t* halo = nullptr) {
    if (halo)
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
          if (dx || dy) Glyphs(x + dx, y + dy, s, halo);
    Glyphs(x, y, s, c);
  }
  static int TextWidth(const std::string& s) {
    return static_cast<int>(s.size()) * kAdvance - kScale;
  }
  MapPicture Take() { return {w_, h_, std::move(rgb_)}; }

 private:
  void Glyphs(int x, int y, const std::string& s, const std::uint8_t c[3]) {
    for (std::size_t i = 0; i < s.size(); ++i) {
      const Glyph* g = nullptr;
      for (const Glyph& f : kFont)
        if (f.c == s[i]) g = &f;
      if (!g) continue;
      for (int r = 0; r < 7; ++r)
        for (int b = 0; b < 5; ++b)
          if (g->rows[r] & (0x10 >> b))
            Box(x + int(i) * kAdvance + b * kScale, y + r * kScale,
                x + int(i) * kAdvance + (b + 1) * kScale, y + (r + 1) * kScale, c);
    }
  }
  int w_, h_;
  std::vector<std::uint8_t> rgb_;
};

constexpr std::uint8_t kWhite[3] = {255, 255, 255}, kBlack[3] = {0, 0, 0}, kGrey[3] = {40, 40, 40};

std::string Integer(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.0f", v);
  return text;
}

// Colour scale bounds: the map's values within radius rMm, rounded out to 10 um.
void ScaleBounds(const MapResult& map, const MapGeometry& g, double rMm, double* lo, double* hi) {
  *lo = 1e30, *hi = -1e30;
  for (int r = 0; r < g.width; ++r)
    for (int c = 0; c < g.width; ++c) {
      const float v = map.values[std::size_t(r) * g.width + c];
      if (v <= 0 || std::hypot(g.XUm(c), g.YUm(r)) > 1000 * rMm) continue;
      *lo = std::min(*lo, double(v)), *hi = std::max(*hi, double(v));
    }
  if (*hi < *lo) *lo = 0, *hi = 1;
  *lo = 10 * std::floor(*lo / 10), *hi = 10 * std::ceil(*hi / 10);
  if (*hi <= *lo) *hi = *lo + 10;
}

}  // namespace

void ViridisColour(double t, std::uint8_t rgb[3]) {
  t = std::clamp(t, 0.0, 1.0) * 10;
  const int i = std::min(static_cast<int>(t), 9);
  const double f = t - i;
  for (int c = 0; c < 3; ++c)
    rgb[c] =
        static_cast<std::uint8_t>(kViridis[i][c] + f * (kViridis[i + 1][c] - kViridis[i][c]) + 0.5);
}

MapPicture DrawMapPicture(const MapResult& map, const MapGeometry& g, const RoadOptions& layout,
                          const std::string& title, const std::string& eyeSide) {
  Canvas canvas(kMapSide + kLegend, kTop + kMapSide + 8);
  double lo, hi;
  ScaleBounds(map, g, layout.regionRadiiMm.back(), &lo, &hi);
  const double step = double(g.width) / kMapSide;  // map pixels per picture pixel
  for (int y = 0; y < kMapSide; ++y)
    for (int x = 0; x < kMapSide; ++x) {
      const int c = std::min(static_cast<int>((x + 0.5) * step), g.width - 1);
      const int r = std::min(static_cast<int>((y + 0.5) * step), g.width - 1);
      const float v = map.values[std::size_t(r) * g.width + c];
      std::uint8_t rgb[3] = {kGrey[0], kGrey[1], kGrey[2]};
      if (v > 0) ViridisColour((v - lo) / (hi - lo), rgb);
      canvas.Put(x, kTop + y, rgb);
    }
  // Picture position of en-face (x, y) um.
  const double pitch = g.PitchUm() * step;
  const double cx = (g.CentreColumn() + 0.5) / step, cy = kTop + (g.CentreRow() + 0.5) / step;
  auto at = [&](double rMm, double theta, int* px, int* py) {
    *px = static_cast<int>(std::lround(cx + 1000 * rMm * std::cos(theta) / pitch));
    *py = static_cast<int>(std::lround(cy - 1000 * rMm * std::sin(theta) / pitch));
  };
  const std::vector<float>& R = layout.regionRadiiMm;
  for (float radius : R)
    for (int k = 0; k < 3600; ++k) {
      int px, py;
      at(radius, k * M_PI / 1800, &px, &py);
      canvas.Put(px, py, kWhite);
    }
  const double width = 2 * M_PI / layout.sectors;
  for (int j = 0; j < layout.sectors; ++j)
    for (double rMm = R.front(); rMm <= R.back(); rMm += 0.005) {
      int px, py;
      at(rMm, (j + 0.5) * width, &px, &py);
      canvas.Put(px, py, kWhite);
    }
  // Sector means in the middle of each region.
  auto label = [&](double rMm, double theta, float value) {
    if (value < 0) return;
    int px, py;
    at(rMm, theta, &px, &py);
    const std::string s = Integer(value);
    canvas.Text(px - Canvas::TextWidth(s) / 2, py - kGlyphHeight / 2, s, kBlack, kWhite);
  };
  label(0, 0, map.subfieldMean.empty() ? -1 : map.subfieldMean[0]);
  for (std::size_t k = 1; k < R.size(); ++k)
    for (int j = 0; j < layout.sectors; ++j)
      label((R[k - 1] + R[k]) / 2, j * width, map.subfieldMean[1 + (k - 1) * layout.sectors + j]);
  // Thinnest point: a cross.
  if (map.thinnestFound) {
    const int px = static_cast<int>(std::lround(cx + map.thinnestXUm / pitch));
    const int py = static_cast<int>(std::lround(cy - map.thinnestYUm / pitch));
    for (int d = -8; d <= 8; ++d)
      for (int t = -1; t <= 1; ++t) {
        canvas.Put(px + d, py + t, std::abs(t) == 1 ? kWhite : kBlack);
        canvas.Put(px + t, py + d, std::abs(t) == 1 ? kWhite : kBlack);
      }
  }
  // Orientation letters.
  const int mid = kMapSide / 2;
  canvas.Text(mid - kAdvance / 2, kTop + 4, "S", kBlack, kWhite);
  canvas.Text(mid - kAdvance / 2, kTop + kMapSide - kGlyphHeight - 4, "I", kBlack, kWhite);
  if (eyeSide == "OD" || eyeSide == "OS") {
    const bool right = eyeSide == "OD";
    canvas.Text(4, kTop + mid - kGlyphHeight / 2, right ? "T" : "N", kBlack, kWhite);
    canvas.Text(kMapSide - kAdvance - 2, kTop + mid - kGlyphHeight / 2, right ? "N" : "T", kBlack,
                kWhite);
  }
  canvas.Text(4, 6, title + (eyeSide.empty() ? "" : " " + eyeSide), kBlack);
  // Legend: the colour bar with labels every fifth of the range.
  const int bx = kMapSide + 14, top = kTop + 20, bottom = kTop + kMapSide - 40;
  for (int y = top; y <= bottom; ++y) {
    std::uint8_t rgb[3];
    ViridisColour(double(bottom - y) / (bottom - top), rgb);
    canvas.Box(bx, y, bx + 22, y + 1, rgb);
  }
  for (int k = 0; k <= 5; ++k) {
    const int y = bottom - k * (bottom - top) / 5;
    canvas.Box(bx + 22, y, bx + 28, y + 1, kBlack);
    canvas.Text(bx + 32, y - kGlyphHeight / 2, Integer(lo + k * (hi - lo) / 5), kBlack);
  }
  canvas.Text(bx, bottom + 14, "um", kBlack);
  return canvas.Take();
}

bool WriteMapPicture(const std::string& path, const MapPicture& p, std::string* error) {
  return WritePng(path, p.rgb.data(), p.width, p.height, 3, kPngDefaultCompression, error);
}

}  // namespace Talvex::Tools
