// 7 x 7 medians at the unreached pixels of a corrected B-scan. Most unreached pixels lie in wide
// unreached areas where more than half of the neighbourhood is 0 as well, so the median is 0: a
// running count of the zeros in the window settles those without a histogram. The others take
// the median from a running histogram per sample that follows its window across the A-scans.
#include "engines/dewarping/DewarpHoleMedian.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace Talvex::SDOCT::Algorithms::DewarpDetail {

namespace {

constexpr int kRadius = 3;                      // the window reaches 3 pixels each way
constexpr int kSide = 2 * kRadius + 1;          // 7
constexpr int kRank = kSide * kSide / 2;        // the median is the value of rank 24 (from 0)
constexpr int kZerosForZeroMedian = kRank + 1;  // 25 zeros among the 49 make the median 0
constexpr int kLongestMove = 3;                 // A-scans a window moves on before it is rebuilt
constexpr int kPending = kLongestMove + kRadius + 1;  // A-scans of medians waiting

// Medians of 7 x 7 windows from one running histogram per sample p, each following its
// window across the A-scans: the unreached pixels of the air above the cornea, where the source
// samples are spread over more output samples, lie on the same samples over long runs of
// A-scans, so that a window mostly moves on by one A-scan (7 values out, 7 in). A window more
// than one A-scan on starts instead from the window of sample p - 1 when that lies on the same
// A-scan (copied, then one sample on: 7 values out, 7 in); failing that, a window further than
// kLongestMove A-scans from the last one is built anew (49 values in), which is cheaper than
// moving it on by more. `below` counts the window's values under the
// grey level m, which moves by single levels to the median after each move; starting from the
// sample's previous median keeps that walk short.
class RowMedians {
 public:
  // histograms: 256 * length bytes; rows: length entries. Every row starts without a window.
  RowMedians(const std::uint8_t* image, int length, std::uint8_t* histograms, RowState* rows)
      : image_(image), length_(length), histograms_(histograms), rows_(rows) {
    std::fill_n(rows_, length_, RowState{kNoWindow, 0, 0});
  }

  std::uint8_t At(int c, int p) {
    std::uint8_t* hist = histograms_ + 256LL * p;
    RowState& row = rows_[p];
    // Locals, so that the counts stay in registers while the histogram is written.
    int m = row.m, below = row.below;
    const auto move = [&](int a, int sign) {
      const std::uint8_t* v = image_ + static_cast<long long>(a) * length_ + (p - kRadius);
      for (int k = 0; k < kSide; ++k) {
        hist[v[k]] = static_cast<std::uint8_t>(hist[v[k]] + sign);
        below += v[k] < m ? sign : 0;
      }
    };
    const RowState& above = rows_[p - 1];
    if (c - row.at <= 1) {
      move(c - kRadius - 1, -1), move(c + kRadius, 1);
    } else if (above.at == c) {
      // The window of sample p - 1 on this A-scan moved on by one sample: 7 values out, 7 in.
      std::memcpy(hist, hist - 256, 256);
      m = above.m, below = above.below;
      const std::uint8_t* v = image_ + static_cast<long long>(c - kRadius) * length_ + p;
      for (int k = 0; k < kSide; ++k, v += length_) {
        const std::uint8_t out = v[-kRadius - 1], in = v[kRadius];
        hist[out] = static_cast<std::uint8_t>(hist[out] - 1);
        hist[in] = static_cast<std::uint8_t>(hist[in] + 1);
        below += (in < m) - (out < m);
      }
    } else if (c - row.at <= kLongestMove) {
      for (int a = row.at + 1; a <= c; ++a) move(a - kRadius - 1, -1), move(a + kRadius, 1);
    } else {
      std::fill_n(hist, 256, std::uint8_t{0});
      below = 0;
      for (int a = c - kRadius; a <= c + kRadius; ++a) move(a, 1);
    }
    while (below > kRank) below -= hist[--m];
    while (below + hist[m] <= kRank) below += hist[m++];
    row = RowState{c, m, below};
    return static_cast<std::uint8_t>(m);
  }

 private:
  static constexpr int kNoWindow = -kLongestMove - 2;
  const std::uint8_t* image_;
  int length_;
  std::uint8_t* histograms_;
  RowState* rows_;
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

// Writes the p in from .. to - 1 with flags[p] != 0 (flags 0 or 1) in order into `at` and
// returns their number. The flags are sparse: runs of 8 clear ones are passed over at once, the
// others are appended without a branch per flag.
int Flagged(const std::uint8_t* flags, int from, int to, int* at) {
  int n = 0, p = from;
  for (; p + 8 <= to; p += 8) {
    std::uint64_t eight;
    std::memcpy(&eight, flags + p, sizeof eight);
    if (eight == 0) continue;
    for (int k = 0; k < 8; ++k) at[n] = p + k, n += flags[p + k];
  }
  for (; p < to; ++p) at[n] = p, n += flags[p];
  return n;
}

}  // namespace

void HoleFillWork::Reserve(int length) {
  const auto n = static_cast<std::size_t>(length);
  if (bytes.size() < (2 + kPending) * n) bytes.resize((2 + kPending) * n);
  if (histograms.size() < 256 * n) histograms.resize(256 * n);
  if (rows.size() < n) rows.resize(n);
  if (holes.size() < n) holes.resize(n);
}

void MedianAtHoles(const std::uint8_t* image, int width, int length, std::uint8_t* medians) {
  HoleFillWork work;
  work.Reserve(length);
  ZeroCounts zeros(image, length, work.bytes.data(), work.bytes.data() + length);
  RowMedians median(image, length, work.histograms.data(), work.rows.data());
  for (int c = kRadius; c < width - kRadius; ++c) {
    zeros.MoveTo(c);
    const std::uint8_t* grey = zeros.GreyHoles(c);
    const std::uint8_t* ascan = Ascan(image, length, c);
    std::uint8_t* out = medians + static_cast<long long>(c) * length;
    for (int p = kRadius; p < length - kRadius; ++p)
      if (ascan[p] == 0) out[p] = grey[p] ? median.At(c, p) : 0;
  }
}

void FillHolesWithMedians(std::uint8_t* image, int width, int length, HoleFillWork& work) {
  // A hole whose median is 0 stays as it is. The grey medians of an A-scan wait in one of
  // kPending pending A-scans (0 elsewhere) until nothing reads that A-scan any more: with the
  // window on A-scan c, the zero counts have let go of A-scan c - 4, and a sample's window that
  // moves on from as far back as A-scan c - kLongestMove takes out A-scans from
  // c - kLongestMove - 3 on. A grey median is never 0, so or-ing a pending A-scan into the image
  // fills exactly its grey holes.
  work.Reserve(length);
  ZeroCounts zeros(image, length, work.bytes.data(), work.bytes.data() + length);
  std::uint8_t* pending = work.bytes.data() + 2LL * length;
  const auto pendingOf = [&](int c) {
    return pending + static_cast<long long>(c % kPending) * length;
  };
  const auto flush = [&](int c) {
    std::uint8_t* a = image + static_cast<long long>(c) * length;
    const std::uint8_t* m = pendingOf(c);
    for (int p = kRadius; p < length - kRadius; ++p) a[p] = static_cast<std::uint8_t>(a[p] | m[p]);
  };
  RowMedians median(image, length, work.histograms.data(), work.rows.data());
  int* holes = work.holes.data();
  for (int c = kRadius; c < width - kRadius; ++c) {
    zeros.MoveTo(c);
    if (c - kPending >= kRadius) flush(c - kPending);
    std::uint8_t* m = pendingOf(c);
    std::fill_n(m, length, std::uint8_t{0});
    const int n = Flagged(zeros.GreyHoles(c), kRadius, length - kRadius, holes);
    for (int h = 0; h < n; ++h) m[holes[h]] = median.At(c, holes[h]);
  }
  for (int c = std::max(kRadius, width - kRadius - kPending); c < width - kRadius; ++c) flush(c);
}

}  // namespace Talvex::SDOCT::Algorithms::DewarpDetail
