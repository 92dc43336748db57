// 7 x 7 medians at the unreached pixels of a corrected B-scan. Most unreached pixels lie in wide
// unreached areas where more than half of the neighbourhood is 0 as well, so the median is 0: a
// running count of the zeros in the window settles those without a histogram. The others take
// the median from a running histogram of the window that follows them along the A-scan.
#include "engines/dewarping/DewarpHoleMedian.h"

#include <algorithm>
#include <array>
#include <cstring>
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

// Zeros of the 7 x 7 windows around the samples of one A-scan, kept while the window moves on
// A-scan by A-scan: per sample the zeros of the 7 A-scans around the current one (at most 7),
// summed over the 7 samples around each sample (at most 49). Whole A-scans at a time, bytes in
// vector lanes.
class ZeroCounts {
 public:
  // columnZeros and greyHoles: `length` bytes each.
  ZeroCounts(const std::uint8_t* image, int length, std::uint8_t* columnZeros,
             std::uint8_t* greyHoles)
      : image_(image), length_(length), columnZeros_(columnZeros), greyHoles_(greyHoles) {}

  // Moves the window onto A-scan c: c = 3 first, then one A-scan further at each call.
  void MoveTo(int c) {
    if (c == kRadius) {
      std::fill_n(columnZeros_, length_, std::uint8_t{0});
      for (int a = 0; a < kSide - 1; ++a) Add(Ascan(image_, length_, a));
    } else {
      Remove(Ascan(image_, length_, c - kRadius - 1));
    }
    Add(Ascan(image_, length_, c + kRadius));
  }

  // 1 at every unreached sample of A-scan c (3 .. length - 4) whose window holds fewer than 25
  // zeros, so that its median is a grey level; 0 at the other samples of that range.
  const std::uint8_t* GreyHoles(int c) {
    const std::uint8_t* a = Ascan(image_, length_, c);
    const std::uint8_t* z = columnZeros_;
    for (int p = kRadius; p < length_ - kRadius; ++p) {
      const std::uint8_t zeros = static_cast<std::uint8_t>(z[p - 3] + z[p - 2] + z[p - 1] + z[p] +
                                                           z[p + 1] + z[p + 2] + z[p + 3]);
      greyHoles_[p] = static_cast<std::uint8_t>((a[p] == 0) & (zeros < kZerosForZeroMedian));
    }
    return greyHoles_;
  }

 private:
  void Add(const std::uint8_t* ascan) {
    for (int p = 0; p < length_; ++p)
      columnZeros_[p] = static_cast<std::uint8_t>(columnZeros_[p] + (ascan[p] == 0));
  }
  void Remove(const std::uint8_t* ascan) {
    for (int p = 0; p < length_; ++p)
      columnZeros_[p] = static_cast<std::uint8_t>(columnZeros_[p] - (ascan[p] == 0));
  }

  const std::uint8_t* image_;
  int length_;
  std::uint8_t* columnZeros_;
  std::uint8_t* greyHoles_;
};

// Calls visit(p) for every p in from .. to - 1 with flags[p] != 0, in order; the flags are sparse
// and runs of 8 clear ones are passed over at once.
template <typename Visit>
void ForEachFlagged(const std::uint8_t* flags, int from, int to, Visit visit) {
  int p = from;
  while (p < to) {
    if (p + 8 <= to) {
      std::uint64_t eight;
      std::memcpy(&eight, flags + p, sizeof eight);
      if (eight == 0) {
        p += 8;
        continue;
      }
    }
    if (flags[p]) visit(p);
    ++p;
  }
}

}  // namespace

void MedianAtHoles(const std::uint8_t* image, int width, int length, std::uint8_t* medians) {
  std::vector<std::uint8_t> work(2 * static_cast<std::size_t>(length));
  ZeroCounts zeros(image, length, work.data(), work.data() + length);
  RunningMedian median(image, length);
  for (int c = kRadius; c < width - kRadius; ++c) {
    zeros.MoveTo(c);
    const std::uint8_t* grey = zeros.GreyHoles(c);
    const std::uint8_t* ascan = Ascan(image, length, c);
    std::uint8_t* out = medians + static_cast<long long>(c) * length;
    median.StartAscan(c);
    for (int p = kRadius; p < length - kRadius; ++p)
      if (ascan[p] == 0) out[p] = grey[p] ? static_cast<std::uint8_t>(median.At(p)) : 0;
  }
}

void FillHolesWithMedians(std::uint8_t* image, int width, int length, std::uint8_t* work) {
  // A hole whose median is 0 stays as it is. The grey medians of an A-scan wait in one of four
  // pending A-scans (0 elsewhere) until no window reads that A-scan any more: the windows of
  // A-scans up to c - 1 are done and the zero counts have let go of A-scan c - 4 once the window
  // is on A-scan c. A grey median is never 0, so or-ing a pending A-scan into the image fills
  // exactly its grey holes.
  constexpr int kPending = kSide - kRadius;  // 4
  ZeroCounts zeros(image, length, work, work + length);
  std::uint8_t* pending = work + 2LL * length;
  const auto pendingOf = [&](int c) {
    return pending + static_cast<long long>(c % kPending) * length;
  };
  const auto flush = [&](int c) {
    std::uint8_t* a = image + static_cast<long long>(c) * length;
    const std::uint8_t* m = pendingOf(c);
    for (int p = kRadius; p < length - kRadius; ++p) a[p] = static_cast<std::uint8_t>(a[p] | m[p]);
  };
  RunningMedian median(image, length);
  for (int c = kRadius; c < width - kRadius; ++c) {
    zeros.MoveTo(c);
    if (c - kPending >= kRadius) flush(c - kPending);
    std::uint8_t* m = pendingOf(c);
    std::fill_n(m, length, std::uint8_t{0});
    median.StartAscan(c);
    ForEachFlagged(zeros.GreyHoles(c), kRadius, length - kRadius,
                   [&](int p) { m[p] = static_cast<std::uint8_t>(median.At(p)); });
  }
  for (int c = std::max(kRadius, width - kRadius - kPending); c < width - kRadius; ++c) flush(c);
}

}  // namespace Talvex::SDOCT::Algorithms::DewarpDetail
