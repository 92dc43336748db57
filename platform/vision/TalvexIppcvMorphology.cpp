// Grey-level dilation, erosion, opening and closing of 8-bit B-scan masks with replicated borders.
//
// The structuring element is split into horizontal runs of members. For every source row the
// maximum (minimum) over each distinct run is formed once: runs of up to 4 pixels directly, longer
// ones from a doubling table (maxima over 1, 2, 4, ... consecutive pixels), so a run of any length
// costs two table look-ups per pixel. These run rows are kept in a ring of maskRows rows; an
// output row is the element-wise maximum (minimum) of the run rows that the element's rows
// select. Rectangles and lines (every member row holds the same single run) take a shorter path:
// the extreme over the member rows first, then along the run. Every inner loop is a plain
// byte-wise max/min over contiguous rows that the compiler turns into vector instructions; the
// whole filter is compiled twice, for the baseline instruction set and for AVX2 (32 bytes per
// instruction), and the AVX2 one runs where the processor has it. Maxima and minima of bytes are
// exact, so both give the same bytes.
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "platform/AlignedStorage.h"
#include "platform/TalvexSimd.h"
#include "platform/vision/TalvexIppcv.h"

namespace Talvex::Platform {

namespace {

namespace Blocks = Talvex::Platform::Detail;

struct BlockDeleter {
  void operator()(Ipp8u* block) const noexcept { Blocks::Release(block); }
};
using ByteBlock = std::unique_ptr<Ipp8u[], BlockDeleter>;

ByteBlock AllocateBytes(long long count) { return ByteBlock(Blocks::AllocateZeroed<Ipp8u>(count)); }

// A horizontal run of members: element columns start ... start + length - 1.
struct Run {
  int start;
  int length;
};

struct MaxOp {
  TALVEX_ALWAYS_INLINE static Ipp8u Apply(Ipp8u a, Ipp8u b) { return a > b ? a : b; }
};
struct MinOp {
  TALVEX_ALWAYS_INLINE static Ipp8u Apply(Ipp8u a, Ipp8u b) { return a < b ? a : b; }
};

template <typename Op>
TALVEX_ALWAYS_INLINE void Combine2(const Ipp8u* __restrict a, const Ipp8u* __restrict b,
                                   Ipp8u* __restrict out, int n) {
  for (int x = 0; x < n; ++x) out[x] = Op::Apply(a[x], b[x]);
}

template <typename Op>
TALVEX_ALWAYS_INLINE void Combine3(const Ipp8u* __restrict a, const Ipp8u* __restrict b,
                                   const Ipp8u* __restrict c, Ipp8u* __restrict out, int n) {
  for (int x = 0; x < n; ++x) out[x] = Op::Apply(Op::Apply(a[x], b[x]), c[x]);
}

template <typename Op>
TALVEX_ALWAYS_INLINE void Combine4(const Ipp8u* __restrict a, const Ipp8u* __restrict b,
                                   const Ipp8u* __restrict c, const Ipp8u* __restrict d,
                                   Ipp8u* __restrict out, int n) {
  for (int x = 0; x < n; ++x) out[x] = Op::Apply(Op::Apply(a[x], b[x]), Op::Apply(c[x], d[x]));
}

template <typename Op>
TALVEX_ALWAYS_INLINE void Accumulate2(const Ipp8u* __restrict a, Ipp8u* __restrict out, int n) {
  for (int x = 0; x < n; ++x) out[x] = Op::Apply(out[x], a[x]);
}

template <typename Op>
TALVEX_ALWAYS_INLINE void Accumulate3(const Ipp8u* __restrict a, const Ipp8u* __restrict b,
                                      Ipp8u* __restrict out, int n) {
  for (int x = 0; x < n; ++x) out[x] = Op::Apply(out[x], Op::Apply(a[x], b[x]));
}

template <typename Op>
TALVEX_ALWAYS_INLINE void Accumulate4(const Ipp8u* __restrict a, const Ipp8u* __restrict b,
                                      const Ipp8u* __restrict c, Ipp8u* __restrict out, int n) {
  for (int x = 0; x < n; ++x) out[x] = Op::Apply(Op::Apply(out[x], a[x]), Op::Apply(b[x], c[x]));
}

// out = extreme of the `count` rows (1 ... 4), or of them and out itself when `accumulate`.
template <typename Op>
TALVEX_ALWAYS_INLINE void CombineRows(const Ipp8u* const* rows, int count, bool accumulate,
                                      Ipp8u* out, int n) {
  if (accumulate) {
    switch (count) {
      case 1:
        Accumulate2<Op>(rows[0], out, n);
        return;
      case 2:
        Accumulate3<Op>(rows[0], rows[1], out, n);
        return;
      default:
        Accumulate4<Op>(rows[0], rows[1], rows[2], out, n);
        return;
    }
  }
  switch (count) {
    case 1:
      std::memcpy(out, rows[0], static_cast<size_t>(n));
      return;
    case 2:
      Combine2<Op>(rows[0], rows[1], out, n);
      return;
    case 3:
      Combine3<Op>(rows[0], rows[1], rows[2], out, n);
      return;
    default:
      Combine4<Op>(rows[0], rows[1], rows[2], rows[3], out, n);
      return;
  }
}

// Member rows combined straight from the source rows by the separable path.
constexpr int kMaxSeparableRows = 64;

int FloorLog2(int v) {
  int k = 0;
  while ((2 << k) <= v) ++k;
  return k;
}

}  // namespace

struct IppiMorphState {
  int maxWidth = 0;
  int maskWidth = 0;
  int maskHeight = 0;
  IppiPoint anchor{0, 0};
  std::vector<Run> runs;          // distinct runs of the element
  std::vector<int> rowTermBegin;  // terms of element row i: rowTerms[rowTermBegin[i] ... [i+1])
  std::vector<int> rowTerms;      // run indices
  int longest = 0;                // longest run
  std::vector<int> memberRows;    // element rows holding members
  bool separable = false;         // every member row holds the same single run
  int levels = 0;                 // doubling table levels above the padded row
  int paddedWidth = 0;            // maxWidth + maskWidth - 1
  ByteBlock padded;               // one replicated source row, then `levels` doubling rows
  ByteBlock ring;                 // runs.size() x maskHeight rows of maxWidth bytes

  Ipp8u* Level(int k) const { return padded.get() + static_cast<long long>(k) * paddedWidth; }
  Ipp8u* RingRow(int run, int slot) const {
    return ring.get() + (static_cast<long long>(run) * maskHeight + slot) * maxWidth;
  }
};

struct IppiMorphAdvState {
  IppiSize roiSize{0, 0};
  IppiMorphState* morph = nullptr;
  ByteBlock image;  // intermediate result, roiSize.height rows of roiSize.width bytes

  ~IppiMorphAdvState() { ippiMorphologyFree(morph); }
};

namespace {

IppStatus CreateMorphState(int roiWidth, const Ipp8u* pMask, IppiSize maskSize, IppiPoint anchor,
                           IppiMorphState** ppState) {
  if (ppState == nullptr || pMask == nullptr) return ippStsNullPtrErr;
  *ppState = nullptr;
  if (roiWidth <= 0) return ippStsSizeErr;
  if (maskSize.width <= 0 || maskSize.height <= 0) return ippStsMaskSizeErr;
  if (anchor.x < 0 || anchor.x >= maskSize.width || anchor.y < 0 || anchor.y >= maskSize.height)
    return ippStsAnchorErr;
  try {
    auto state = std::make_unique<IppiMorphState>();
    state->maxWidth = roiWidth;
    state->maskWidth = maskSize.width;
    state->maskHeight = maskSize.height;
    state->anchor = anchor;
    state->rowTermBegin.push_back(0);
    int longest = 0;
    for (int i = 0; i < maskSize.height; ++i) {
      const Ipp8u* row = pMask + static_cast<long long>(i) * maskSize.width;
      for (int j = 0; j < maskSize.width;) {
        if (row[j] == 0) {
          ++j;
          continue;
        }
        int end = j;
        while (end < maskSize.width && row[end] != 0) ++end;
        const Run run{j, end - j};
        int index = 0;
        while (index < static_cast<int>(state->runs.size()) &&
               (state->runs[index].start != run.start || state->runs[index].length != run.length))
          ++index;
        if (index == static_cast<int>(state->runs.size())) state->runs.push_back(run);
        state->rowTerms.push_back(index);
        if (run.length > longest) longest = run.length;
        j = end;
      }
      state->rowTermBegin.push_back(static_cast<int>(state->rowTerms.size()));
    }
    if (state->runs.empty()) return ippStsBadArgErr;
    for (int i = 0; i < maskSize.height; ++i)
      if (state->rowTermBegin[i + 1] > state->rowTermBegin[i]) state->memberRows.push_back(i);
    state->separable =
        state->runs.size() == 1 && state->rowTerms.size() == state->memberRows.size();
    state->longest = longest;
    state->levels = FloorLog2(longest);
    state->paddedWidth = roiWidth + maskSize.width - 1;
    state->padded = AllocateBytes(static_cast<long long>(state->levels + 1) * state->paddedWidth);
    state->ring =
        AllocateBytes(static_cast<long long>(state->runs.size()) * maskSize.height * roiWidth);
    *ppState = state.release();
    return ippStsNoErr;
  } catch (const std::bad_alloc&) {
    return ippStsMemAllocErr;
  }
}

// Fills the ring slot with the run rows of one source row (already clamped to the image).
// Replicates the ends of the row held at padded[anchor.x ...]: padded[t] = row[clamp(t -
// anchor.x)], so member column j of output x reads padded[x + j].
TALVEX_ALWAYS_INLINE void ReplicateEnds(const IppiMorphState& s, int width) {
  Ipp8u* padded = s.Level(0);
  const int left = s.anchor.x;
  const int right = s.maskWidth - 1 - s.anchor.x;
  std::memset(padded, padded[left], static_cast<size_t>(left));
  std::memset(padded + left + width, padded[left + width - 1], static_cast<size_t>(right));
}

// Run rows of the padded row: into the ring slot, or with `direct` (an element of a single run)
// straight into that output row.
template <typename Op>
TALVEX_ALWAYS_INLINE void RunsFromPadded(const IppiMorphState& s, int width, int slot,
                                         Ipp8u* direct) {
  const Ipp8u* padded = s.Level(0);
  const int total = width + s.maskWidth - 1;
  // Doubling table (only for runs longer than 4): level k holds the extreme over 2^k
  // consecutive padded pixels.
  for (int k = 1; k <= s.levels && s.longest > 4; ++k) {
    const int half = 1 << (k - 1);
    Combine2<Op>(s.Level(k - 1), s.Level(k - 1) + half, s.Level(k), total - (2 * half - 1));
  }
  for (int r = 0; r < static_cast<int>(s.runs.size()); ++r) {
    const Run run = s.runs[r];
    Ipp8u* out = direct != nullptr ? direct : s.RingRow(r, slot);
    const Ipp8u* p = padded + run.start;
    if (run.length <= 4) {
      // Short runs straight from the padded row, in one pass.
      const Ipp8u* rows[4];
      for (int q = 0; q < run.length; ++q) rows[q] = p + q;
      CombineRows<Op>(rows, run.length, false, out, width);
      continue;
    }
    const int k = FloorLog2(run.length);
    const Ipp8u* level = s.Level(k) + run.start;
    if (run.length == (1 << k)) {
      std::memcpy(out, level, static_cast<size_t>(width));
    } else {
      Combine2<Op>(level, level + run.length - (1 << k), out, width);
    }
  }
}

template <typename Op>
TALVEX_ALWAYS_INLINE void ComputeRunRows(const IppiMorphState& s, const Ipp8u* srcRow, int width,
                                         int slot, Ipp8u* direct) {
  std::memcpy(s.Level(0) + s.anchor.x, srcRow, static_cast<size_t>(width));
  ReplicateEnds(s, width);
  RunsFromPadded<Op>(s, width, slot, direct);
}

// out = extreme of `count` rows, combining up to four rows per pass.
template <typename Op>
TALVEX_ALWAYS_INLINE void CombineMany(const Ipp8u* const* rows, int count, Ipp8u* out, int width) {
  int done = count < 4 ? count : 4;
  CombineRows<Op>(rows, done, false, out, width);
  while (done < count) {
    const int now = count - done < 3 ? count - done : 3;
    CombineRows<Op>(rows + done, now, true, out, width);
    done += now;
  }
}

// The whole filter on validated arguments; compiled once per instruction-set path.
template <typename Op>
TALVEX_ALWAYS_INLINE IppStatus MorphBody(const Ipp8u* pSrc, int srcStep, Ipp8u* pDst, int dstStep,
                                         IppiSize roiSize, const IppiMorphState& s) {
  const int width = roiSize.width;
  const int height = roiSize.height;
  const int rows = s.maskHeight;
  auto sourceRow = [&](int u) {
    const int row = u < 0 ? 0 : (u >= height ? height - 1 : u);
    return pSrc + static_cast<long long>(row) * srcStep;
  };
  // Rectangles and lines (every member row holds the same single run): the extreme over the
  // member rows first, straight from the source rows into the padded row, then along the run.
  // This reads source rows above the output row, so only for separate source and destination.
  const auto srcBegin = reinterpret_cast<std::uintptr_t>(pSrc);
  const auto srcEnd = srcBegin + static_cast<std::uintptr_t>(height - 1) * srcStep + width;
  const auto dstBegin = reinterpret_cast<std::uintptr_t>(pDst);
  const auto dstEnd = dstBegin + static_cast<std::uintptr_t>(height - 1) * dstStep + width;
  if (s.separable && (srcEnd <= dstBegin || dstEnd <= srcBegin)) {
    const Ipp8u* sources[kMaxSeparableRows];
    const int count = static_cast<int>(s.memberRows.size());
    if (count <= kMaxSeparableRows) {
      for (int y = 0; y < height; ++y) {
        for (int t = 0; t < count; ++t) sources[t] = sourceRow(y - s.anchor.y + s.memberRows[t]);
        CombineMany<Op>(sources, count, s.Level(0) + s.anchor.x, width);
        ReplicateEnds(s, width);
        RunsFromPadded<Op>(s, width, 0, pDst + static_cast<long long>(y) * dstStep);
      }
      return ippStsNoErr;
    }
  }
  // A single run in a single row (a horizontal line): the run row is the output row.
  if (rows == 1 && s.runs.size() == 1) {
    for (int y = 0; y < height; ++y)
      ComputeRunRows<Op>(s, sourceRow(y), width, 0, pDst + static_cast<long long>(y) * dstStep);
    return ippStsNoErr;
  }
  // Element row i of output row y reads source row u = y - anchor.y + i, kept in ring slot
  // (y + i) mod rows. Each source row is read before the output row of the same index is
  // written, so the operation may run in place.
  for (int i = 0; i + 1 < rows; ++i)
    ComputeRunRows<Op>(s, sourceRow(i - s.anchor.y), width, i, nullptr);
  for (int y = 0; y < height; ++y) {
    const int entering = (y + rows - 1) % rows;
    ComputeRunRows<Op>(s, sourceRow(y - s.anchor.y + rows - 1), width, entering, nullptr);
    Ipp8u* out = pDst + static_cast<long long>(y) * dstStep;
    // Up to four run rows are combined per pass over the output row.
    const Ipp8u* terms[4];
    int pending = 0;
    bool accumulate = false;
    for (int i = 0; i < rows; ++i) {
      const int slot = (y + i) % rows;
      for (int t = s.rowTermBegin[i]; t < s.rowTermBegin[i + 1]; ++t) {
        terms[pending++] = s.RingRow(s.rowTerms[t], slot);
        if (pending == (accumulate ? 3 : 4)) {
          CombineRows<Op>(terms, pending, accumulate, out, width);
          accumulate = true;
          pending = 0;
        }
      }
    }
    if (pending > 0) CombineRows<Op>(terms, pending, accumulate, out, width);
  }
  return ippStsNoErr;
}

template <typename Op>
IppStatus MorphPortable(const Ipp8u* pSrc, int srcStep, Ipp8u* pDst, int dstStep, IppiSize roiSize,
                        const IppiMorphState& s) {
  return MorphBody<Op>(pSrc, srcStep, pDst, dstStep, roiSize, s);
}

#if TALVEX_HAS_AVX2_PATH
template <typename Op>
TALVEX_TARGET_AVX2 IppStatus MorphAvx2(const Ipp8u* pSrc, int srcStep, Ipp8u* pDst, int dstStep,
                                       IppiSize roiSize, const IppiMorphState& s) {
  return MorphBody<Op>(pSrc, srcStep, pDst, dstStep, roiSize, s);
}
#endif

template <typename Op>
IppStatus Morph(const Ipp8u* pSrc, int srcStep, Ipp8u* pDst, int dstStep, IppiSize roiSize,
                IppiBorderType borderType, IppiMorphState* pState) {
  if (pSrc == nullptr || pDst == nullptr || pState == nullptr) return ippStsNullPtrErr;
  if (roiSize.width <= 0 || roiSize.height <= 0 || roiSize.width > pState->maxWidth)
    return ippStsSizeErr;
  if (srcStep < roiSize.width || dstStep < roiSize.width) return ippStsStepErr;
  if (borderType != ippBorderRepl) return ippStsBadArgErr;
#if TALVEX_HAS_AVX2_PATH
  if (Detail::CpuHasAvx2()) return MorphAvx2<Op>(pSrc, srcStep, pDst, dstStep, roiSize, *pState);
#endif
  return MorphPortable<Op>(pSrc, srcStep, pDst, dstStep, roiSize, *pState);
}

template <bool kOpen>
IppStatus MorphAdv(const Ipp8u* pSrc, int srcStep, Ipp8u* pDst, int dstStep, IppiSize roiSize,
                   IppiBorderType borderType, IppiMorphAdvState* pState) {
  if (pSrc == nullptr || pDst == nullptr || pState == nullptr) return ippStsNullPtrErr;
  if (roiSize.width <= 0 || roiSize.height <= 0 || roiSize.width > pState->roiSize.width ||
      roiSize.height > pState->roiSize.height)
    return ippStsSizeErr;
  if (srcStep < roiSize.width || dstStep < roiSize.width) return ippStsStepErr;
  if (borderType != ippBorderRepl) return ippStsBadArgErr;
  Ipp8u* tmp = pState->image.get();
  const int tmpStep = roiSize.width;
  IppStatus status;
  if (kOpen) {
    status = Morph<MinOp>(pSrc, srcStep, tmp, tmpStep, roiSize, borderType, pState->morph);
    if (status == ippStsNoErr)
      status = Morph<MaxOp>(tmp, tmpStep, pDst, dstStep, roiSize, borderType, pState->morph);
  } else {
    status = Morph<MaxOp>(pSrc, srcStep, tmp, tmpStep, roiSize, borderType, pState->morph);
    if (status == ippStsNoErr)
      status = Morph<MinOp>(tmp, tmpStep, pDst, dstStep, roiSize, borderType, pState->morph);
  }
  return status;
}

}  // namespace

IppStatus ippiMorphologyInitAlloc_8u_C1R(int roiWidth, const Ipp8u* pMask, IppiSize maskSize,
                                         IppiPoint anchor, IppiMorphState** ppState) {
  return CreateMorphState(roiWidth, pMask, maskSize, anchor, ppState);
}

IppStatus ippiMorphologyFree(IppiMorphState* pState) {
  delete pState;
  return ippStsNoErr;
}

IppStatus ippiDilateBorderReplicate_8u_C1R(const Ipp8u* pSrc, int srcStep, Ipp8u* pDst, int dstStep,
                                           IppiSize roiSize, IppiBorderType borderType,
                                           IppiMorphState* pState) {
  return Morph<MaxOp>(pSrc, srcStep, pDst, dstStep, roiSize, borderType, pState);
}

IppStatus ippiErodeBorderReplicate_8u_C1R(const Ipp8u* pSrc, int srcStep, Ipp8u* pDst, int dstStep,
                                          IppiSize roiSize, IppiBorderType borderType,
                                          IppiMorphState* pState) {
  return Morph<MinOp>(pSrc, srcStep, pDst, dstStep, roiSize, borderType, pState);
}

IppStatus ippiMorphAdvInitAlloc_8u_C1R(IppiMorphAdvState** ppState, IppiSize roiSize,
                                       const Ipp8u* pMask, IppiSize maskSize, IppiPoint anchor) {
  if (ppState == nullptr || pMask == nullptr) return ippStsNullPtrErr;
  *ppState = nullptr;
  if (roiSize.width <= 0 || roiSize.height <= 0) return ippStsSizeErr;
  try {
    auto state = std::make_unique<IppiMorphAdvState>();
    state->roiSize = roiSize;
    const IppStatus status =
        CreateMorphState(roiSize.width, pMask, maskSize, anchor, &state->morph);
    if (status != ippStsNoErr) return status;
    state->image = AllocateBytes(static_cast<long long>(roiSize.width) * roiSize.height);
    *ppState = state.release();
    return ippStsNoErr;
  } catch (const std::bad_alloc&) {
    return ippStsMemAllocErr;
  }
}

IppStatus ippiMorphAdvFree(IppiMorphAdvState* pState) {
  delete pState;
  return ippStsNoErr;
}

IppStatus ippiMorphOpenBorder_8u_C1R(const Ipp8u* pSrc, int srcStep, Ipp8u* pDst, int dstStep,
                                     IppiSize roiSize, IppiBorderType borderType,
                                     IppiMorphAdvState* pState) {
  return MorphAdv<true>(pSrc, srcStep, pDst, dstStep, roiSize, borderType, pState);
}

IppStatus ippiMorphCloseBorder_8u_C1R(const Ipp8u* pSrc, int srcStep, Ipp8u* pDst, int dstStep,
                                      IppiSize roiSize, IppiBorderType borderType,
                                      IppiMorphAdvState* pState) {
  return MorphAdv<false>(pSrc, srcStep, pDst, dstStep, roiSize, borderType, pState);
}

}  // namespace Talvex::Platform
