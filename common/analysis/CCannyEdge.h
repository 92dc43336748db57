// CCannyEdge: edge map of an 8-bit image by the Canny scheme without hysteresis.
//
// The image is optionally smoothed, differentiated along columns (x) and rows (y) with the
// derivative of a two-dimensional Gaussian, and the gradient magnitude is normalised to a maximum
// of 1. A pixel becomes an edge when its magnitude is a local maximum along the gradient direction
// (non-maximum suppression in four direction sectors, the two neighbours interpolated linearly)
// and exceeds one threshold T. There is no hysteresis stage: the edge map is the set of directional
// local maxima above T.
//
// Images are rows x cols bytes, row-major. The detector is set up once for an image size
// (cannyInit) and then run any number of times (canny); its work images are reused by each call,
// so one object serves one thread at a time.
#pragma once

#include <cstdint>
#include <memory>

namespace Talvex::Common::Algorithms::Analysis {

class CCannyEdge {
 public:
  CCannyEdge();
  ~CCannyEdge();
  CCannyEdge(const CCannyEdge&) = delete;
  CCannyEdge& operator=(const CCannyEdge&) = delete;

  // Releases any earlier work images and allocates those of a rows x cols image. 0, or -1 for
  // a non-positive size or a failed allocation (nothing stays allocated then).
  int cannyInit(int rows, int cols);

  // Edge map of image (rows x cols of cannyInit) into edges: 1 on an edge, 0 elsewhere. edges also
  // holds the working copy of the image before it receives the map.
  //   autoThreshold 0:     T = thresholds[0], and thresholds[1] must lie below it (>= 0);
  //   autoThreshold != 0:  thresholds = {fraction of non-edge pixels, ratio}: with i the first bin
  //                        of the 64-level magnitude histogram over [0, 1] whose cumulative count
  //                        exceeds fraction * rows * cols, T = ratio * i / 64 (0.5 * ratio when
  //                        no bin does).
  //   sigma                width of the derivative-of-Gaussian kernel; its half-width is
  //                        trunc(3 sigma) made even (odd values lose 1), at least 3.
  //   smooth, smoothSigma  when smooth != 0, the image is first smoothed by a separable Gaussian
  //                        of smoothSigma over trunc(5 smoothSigma + 0.5) taps (made odd, >= 3).
  // Image borders are replicated for the derivative filter; the outermost rows and columns never
  // become edges. 0, or -1 for invalid arguments (null arrays, no cannyInit, negative thresholds,
  // thresholds[1] >= thresholds[0] with a fixed threshold, sigma <= 0, a negative smoothSigma) or
  // a failed primitive.
  int canny(const std::uint8_t* image, int autoThreshold, const float* thresholds, float sigma,
            int smooth, float smoothSigma, std::uint8_t* edges);

 private:
  struct FloatDeleter {
    void operator()(float* p) const noexcept;
  };
  struct ByteDeleter {
    void operator()(std::uint8_t* p) const noexcept;
  };
  using FloatImage = std::unique_ptr<float, FloatDeleter>;
  using ByteImage = std::unique_ptr<std::uint8_t, ByteDeleter>;

  void Release();
  int Derivatives(const std::uint8_t* work, float sigma);
  float Threshold(int autoThreshold, const float* thresholds) const;
  int SectorMask(int sector);
  void MarkLocalMaxima(int sector, float threshold, std::uint8_t* edges) const;

  int m_stepElements = 0;  // float row step in elements
  int m_stepBytes = 0;     // float row step in bytes
  int m_rows = 0;
  int m_cols = 0;
  FloatImage m_dx, m_dy, m_magnitude, m_scratch;
  ByteImage m_sector, m_maskA, m_maskB;
};

}  // namespace Talvex::Common::Algorithms::Analysis
