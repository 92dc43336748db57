// Instruction-set dispatch of the hot loops. A kernel is written once, as an always-inline body,
// and compiled twice: a portable path for the baseline instruction set and, on x86-64, an AVX2 path
// (`...Avx2`, built with the AVX2 target attribute). Its entry calls the AVX2 path when the
// processor runs it. Both paths perform the same element-wise multiplies and adds in the same
// order (the build forbids fused multiply-adds), so they give bit-identical results.
#pragma once

// Forces a helper into its caller, so that it is compiled for the caller's instruction set.
#define TALVEX_ALWAYS_INLINE __attribute__((always_inline)) inline

#if defined(__x86_64__) && defined(__GNUC__) && defined(__has_attribute)
#if __has_attribute(target)
#define TALVEX_HAS_AVX2_PATH 1
#define TALVEX_TARGET_AVX2 __attribute__((target("avx2")))
#endif
#endif
#ifndef TALVEX_HAS_AVX2_PATH
#define TALVEX_HAS_AVX2_PATH 0
#endif

// A few kernels whose work is table lookups or long multiply-add chains also have an AVX-512 path
// (`...Avx512`, AVX-512F with 512-bit vectors), called through TALVEX_DISPATCH_WIDE.
#if TALVEX_HAS_AVX2_PATH
#define TALVEX_HAS_AVX512_PATH 1
#define TALVEX_TARGET_AVX512 __attribute__((target("avx2,avx512f,prefer-vector-width=512")))
#else
#define TALVEX_HAS_AVX512_PATH 0
#endif

// Declares the paths of a kernel (in a header, so that tests can run each of them):
//   TALVEX_DECLARE_KERNEL_PATHS(void, Scale, (const float* s, float* d, int n))
// declares ScalePortable and, where the AVX2 path exists, ScaleAvx2.
#if TALVEX_HAS_AVX2_PATH
#define TALVEX_DECLARE_KERNEL_PATHS(ret, name, params) \
  ret name##Portable params;                           \
  TALVEX_TARGET_AVX2 ret name##Avx2 params;
#else
#define TALVEX_DECLARE_KERNEL_PATHS(ret, name, params) ret name##Portable params;
#endif

// Defines the paths of a kernel whose body is the always-inline `name##Body`:
//   TALVEX_KERNEL_PATHS(void, Scale, (const float* s, float* d, int n), (s, d, n))
#if TALVEX_HAS_AVX2_PATH
#define TALVEX_KERNEL_PATHS(ret, name, params, args)    \
  ret name##Portable params { return name##Body args; } \
  TALVEX_TARGET_AVX2 ret name##Avx2 params { return name##Body args; }
#else
#define TALVEX_KERNEL_PATHS(ret, name, params, args) \
  ret name##Portable params { return name##Body args; }
#endif

// Calls the AVX2 path of kernel `name` when the processor runs AVX2, the portable path otherwise.
#if TALVEX_HAS_AVX2_PATH
#define TALVEX_DISPATCH(name, ...) \
  (::Talvex::Platform::Detail::CpuHasAvx2() ? name##Avx2(__VA_ARGS__) : name##Portable(__VA_ARGS__))
#else
#define TALVEX_DISPATCH(name, ...) name##Portable(__VA_ARGS__)
#endif

// Calls the AVX-512 path of kernel `name` when the processor runs AVX-512F, otherwise as
// TALVEX_DISPATCH.
#if TALVEX_HAS_AVX512_PATH
#define TALVEX_DISPATCH_WIDE(name, ...)                                   \
  (::Talvex::Platform::Detail::CpuHasAvx512() ? name##Avx512(__VA_ARGS__) \
                                              : TALVEX_DISPATCH(name, __VA_ARGS__))
#else
#define TALVEX_DISPATCH_WIDE(name, ...) TALVEX_DISPATCH(name, __VA_ARGS__)
#endif

namespace Talvex::Platform::Detail {

// True when this build has AVX2 paths and the processor runs them. Reads the feature bits the
// runtime library filled in at start-up; cheap enough to ask once per row.
inline bool CpuHasAvx2() noexcept {
#if TALVEX_HAS_AVX2_PATH
  return __builtin_cpu_supports("avx2");
#else
  return false;
#endif
}

// True when this build has AVX-512 paths and the processor runs AVX-512F.
inline bool CpuHasAvx512() noexcept {
#if TALVEX_HAS_AVX512_PATH
  return __builtin_cpu_supports("avx512f");
#else
  return false;
#endif
}

}  // namespace Talvex::Platform::Detail
