// Plain data types, status codes and enumerations of the project's signal, image and small-matrix
// primitive layer.
//
// The engines were written against a vendor primitive library's names (8-bit samples, image sizes,
// hint and border selectors). This header gives those names inside the project's own namespace,
// so a host that also loads the vendor library cannot collide with them. Every primitive returns an
// IppStatus: 0 on success, a negative code on failure (never a positive warning for a computation
// that succeeded).
#pragma once

#include <cstdint>

namespace Talvex::Platform {

using Ipp8u = std::uint8_t;
using Ipp16s = std::int16_t;
using Ipp32s = std::int32_t;
using Ipp32f = float;
using Ipp64f = double;

// Single-precision complex value: real part, then imaginary part.
struct Ipp32fc {
  Ipp32f re;
  Ipp32f im;
};

// Image size in pixels: width (samples along a row), then height (rows).
struct IppiSize {
  int width;
  int height;
};

// Pixel position or anchor: x (column), then y (row).
struct IppiPoint {
  int x;
  int y;
};

struct IppiRect {
  int x;
  int y;
  int width;
  int height;
};

// Status of every primitive: 0 = success; any other value is a failure.
using IppStatus = int;
enum : IppStatus {
  ippStsNoErr = 0,
  ippStsBadArgErr = -5,
  ippStsSizeErr = -6,
  ippStsNullPtrErr = -8,
  ippStsMemAllocErr = -9,
  ippStsDivByZeroErr = -10,
  ippStsStepErr = -14,
  ippStsSingularErr = -20,
  ippStsMaskSizeErr = -33,
  ippStsAnchorErr = -34,
  ippStsRangeErr = -35,
  ippStsFftOrderErr = -36,
  ippStsRoiErr = -37,
};

enum IppiAxis { ippAxsHorizontal = 0, ippAxsVertical = 1, ippAxsBoth = 2 };
enum IppHintAlgorithm { ippAlgHintNone = 0, ippAlgHintFast = 1, ippAlgHintAccurate = 2 };
enum IppRoundMode { ippRndZero = 0, ippRndNear = 1, ippRndFinancial = 2 };
enum IppCmpOp {
  ippCmpLess = 0,
  ippCmpLessEq = 1,
  ippCmpEq = 2,
  ippCmpGreaterEq = 3,
  ippCmpGreater = 4
};
enum IppiBorderType { ippBorderConst = 0, ippBorderRepl = 1 };
enum IppiNorm { ippiNormInf = 0, ippiNormL1 = 1, ippiNormL2 = 2 };
enum IppiFilterBilateralType { ippiFilterBilateralGauss = 100 };

// Interpolation codes of the resize and remap primitives.
enum : int { IPPI_INTER_NN = 1, IPPI_INTER_LINEAR = 2, IPPI_INTER_CUBIC = 4 };

// Normalisation flags of the FFT primitives.
enum : int {
  IPP_FFT_DIV_FWD_BY_N = 1,
  IPP_FFT_DIV_INV_BY_N = 2,
  IPP_FFT_DIV_BY_SQRTN = 4,
  IPP_FFT_NODIV_BY_ANY = 8,
};

}  // namespace Talvex::Platform
