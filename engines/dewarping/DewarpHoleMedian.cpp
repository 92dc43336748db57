// 7 x 7 medians at the unreached pixels of a corrected B-scan. Most unreached pixels lie in wide
// unreached areas where more than half of the neighbourhood is 0 as well, so the median is 0: a
// running count of the zeros in the window settles those without a histogram. The others take
// the median from a running histogram of the window that follows them along the A-scan.
#include "engines/dewarping/DewarpHoleMedian.h"

#include <array>
#include <vector>

namespace Talvex::SDOCT::Algorithms::DewarpDetail {

namespace {

constexpr int kRadius = 3;                      // the window reaches 3 pixels each way
constexpr int kSide = 2 * kRadius + 1;          // 7
constexpr int kRank = kSide * kSide / 2;        // the median is the value of rank 24 (from 0)
constexpr int kZerosForZeroMedian = kRank + 1;  // 25 zeros among the 49 make the median 0

// Huang's running histogram of the 7 x 7 window around (c, p) for one A-scan c. The window
// jumps to the next pixel that needs a median: column by column over short distances, by
// emptying and refilling it over longer ones. `below` counts the window's values under the
// grey level m, which moves by single levels to the median after each jump; starting from the
// previous median keeps that walk short.
class RunningMedian {
 public:
  RunningMedian(const std::uint8_t* image, int length) : image_(image), length_(length) {}

  void StartAscan(int c) {
    hist_.fill(0);
    top_ = image_ + static_cast<long long>(c - kRadius) * length_;
    at_ = -1, m_ = 0, below_ = 0;
  }

  int At(int p) {
    // Locals, so that the counts stay in registers while the histogram is written.
    Window w{hist_.data(), top_, length_, m_, below_};
    if (at_ < 0) {
      for (int q = p - kRadius; q <= p + kRadius; ++q) w.Column(q, 1);
    } else if (p - at_ >= kSide) {
      for (int q = at_ - kRadius; q <= at_ + kRadius; ++q) w.Column(q, -1);
      for (int q = p - kRadius; q <= p + kRadius; ++q) w.Column(q, 1);
    } else {
      for (int q = at_ + 1; q <= p; ++q) w.Column(q - kRadius - 1, -1), w.Column(q + kRadius, 1);
    }
    at_ = p;
    while (w.below > kRank) w.below -= w.hist[--w.m];
    while (w.below + w.hist[w.m] <= kRank) w.below += w.hist[w.m++];
    m_ = w.m, below_ = w.below;
    return m_;
  }

 private:
  struct Window {
    int* hist;
    const std::uint8_t* top;
    int length, m, below;
    // Adds (sign 1) or removes (-1) the 7 values of sample q of the window's A-scans.
    void Column(int q, int sign) {
      const std::uint8_t* v = top + q;
      for (int k = 0; k < kSide; ++k, v += length) {
        const int value = *v;
        hist[value] += sign;
        below += value < m ? sign : 0;
      }
    }
  };

  const std::uint8_t* image_;
  int length_;
  const std::uint8_t* top_ = nullptr;  // first A-scan of the window
  std::array<int, 256> hist_{};
  int at_ = -1, m_ = 0, below_ = 0;
};

const std::uint8_t* Ascan(const std::uint8_t* image, int length, int c) {
  return image + static_cast<long long>(c) * length;
}

// zeros[p] += sign for every 0 byte of the A-scan.
void CountZeros(const std::uint8_t* ascan, int length, int sign, std::vector<int>& zeros) {
  for (int p = 0; p < length; ++p) zeros[p] += ascan[p] == 0 ? sign : 0;
}

}  // namespace

void MedianAtHoles(const std::uint8_t* image, int width, int length, std::uint8_t* medians) {
  // Zeros per sample over the 7 A-scans around the current one.
  std::vector<int> columnZeros(static_cast<std::size_t>(length), 0);
  for (int c = 0; c < kSide - 1; ++c) CountZeros(Ascan(image, length, c), length, 1, columnZeros);
  RunningMedian median(image, length);
  for (int c = kRadius; c < width - kRadius; ++c) {
    CountZeros(Ascan(image, length, c + kRadius), length, 1, columnZeros);
    if (c > kRadius) CountZeros(Ascan(image, length, c - kRadius - 1), length, -1, columnZeros);
    const std::uint8_t* ascan = Ascan(image, length, c);
    std::uint8_t* out = medians + static_cast<long long>(c) * length;
    median.StartAscan(c);
    int windowZeros = 0;
    for (int p = 0; p < kSide; ++p) windowZeros += columnZeros[p];
    for (int p = kRadius; p < length - kRadius; ++p) {
      if (p > kRadius) windowZeros += columnZeros[p + kRadius] - columnZeros[p - kRadius - 1];
      if (ascan[p] != 0) continue;
      out[p] = windowZeros >= kZerosForZeroMedian ? 0 : static_cast<std::uint8_t>(median.At(p));
    }
  }
}

}  // namespace Talvex::SDOCT::Algorithms::DewarpDetail
