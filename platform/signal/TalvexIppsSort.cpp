// Stable index sorts and a plain 16-bit sort.
//
// Each value is paired with its original position and the pairs are ordered by value, then by
// position. That order is total, so any sorting algorithm yields the one stable result: equal
// values keep increasing original positions (which column of a row survives, which simplex
// vertex counts as best, depend on it). Floating-point NaN sorts after every number, keeping the
// ordering strict even for data the callers never pass.
#include <algorithm>
#include <memory>
#include <new>

#include "platform/signal/TalvexIpps.h"

namespace Talvex::Platform {

namespace {

template <typename T>
struct Keyed {
  T value;
  int index;
};

template <typename T>
bool IsNan(T v) {
  return v != v;
}

template <bool kAscending>
struct Before {
  template <typename T>
  bool operator()(const Keyed<T>& a, const Keyed<T>& b) const {
    if (kAscending ? a.value < b.value : a.value > b.value) return true;
    if (kAscending ? b.value < a.value : b.value > a.value) return false;
    const bool aNan = IsNan(a.value);
    const bool bNan = IsNan(b.value);
    if (aNan != bNan) return bNan;
    return a.index < b.index;
  }
};

// Vectors up to this length are sorted on the stack by insertion.
constexpr int kStackLength = 64;

template <typename T, typename Order>
void InsertionSort(Keyed<T>* keys, int len, Order before) {
  for (int i = 1; i < len; ++i) {
    const Keyed<T> key = keys[i];
    int j = i;
    for (; j > 0 && before(key, keys[j - 1]); --j) keys[j] = keys[j - 1];
    keys[j] = key;
  }
}

template <bool kAscending, typename T>
IppStatus SortIndex(T* pSrcDst, int* pDstIdx, int len) {
  if (pSrcDst == nullptr || pDstIdx == nullptr) return ippStsNullPtrErr;
  if (len <= 0) return ippStsSizeErr;
  const Before<kAscending> before;
  Keyed<T> onStack[kStackLength];
  std::unique_ptr<Keyed<T>[]> onHeap;
  Keyed<T>* keys = onStack;
  if (len > kStackLength) {
    onHeap.reset(new (std::nothrow) Keyed<T>[static_cast<std::size_t>(len)]);
    if (!onHeap) return ippStsMemAllocErr;
    keys = onHeap.get();
  }
  for (int i = 0; i < len; ++i) keys[i] = Keyed<T>{pSrcDst[i], i};
  if (len <= kStackLength) {
    InsertionSort(keys, len, before);
  } else {
    std::sort(keys, keys + len, before);
  }
  for (int k = 0; k < len; ++k) {
    pSrcDst[k] = keys[k].value;
    pDstIdx[k] = keys[k].index;
  }
  return ippStsNoErr;
}

}  // namespace

IppStatus ippsSortIndexAscend_32f_I(Ipp32f* pSrcDst, int* pDstIdx, int len) {
  return SortIndex<true>(pSrcDst, pDstIdx, len);
}

IppStatus ippsSortIndexAscend_32s_I(Ipp32s* pSrcDst, int* pDstIdx, int len) {
  return SortIndex<true>(pSrcDst, pDstIdx, len);
}

IppStatus ippsSortIndexAscend_64f_I(Ipp64f* pSrcDst, int* pDstIdx, int len) {
  return SortIndex<true>(pSrcDst, pDstIdx, len);
}

IppStatus ippsSortIndexDescend_32s_I(Ipp32s* pSrcDst, int* pDstIdx, int len) {
  return SortIndex<false>(pSrcDst, pDstIdx, len);
}

IppStatus ippsSortAscend_16s_I(Ipp16s* pSrcDst, int len) {
  if (pSrcDst == nullptr) return ippStsNullPtrErr;
  if (len <= 0) return ippStsSizeErr;
  std::sort(pSrcDst, pSrcDst + len);
  return ippStsNoErr;
}

}  // namespace Talvex::Platform
