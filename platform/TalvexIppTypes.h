// Plain data types of the project's signal and image primitive layer.
//
// The engines were designed around a vendor primitive library's type names (8-bit samples,
// single-precision complex pairs, image sizes). This header gives those names inside the project's
// own namespace, so a host that also loads the vendor library cannot collide with them.
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

}  // namespace Talvex::Platform
