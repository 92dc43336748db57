// Building blocks shared by the facade classes: ownership of a held engine with its
// initialisation check, and the layer-gap utility NaN2Repeat.
#pragma once

#include <memory>

#include "core/AlgorithmException.h"

namespace Talvex::SDOCT::Algorithms::Detail {

// The engine of a facade that keeps one engine between calls (segmentation, power, angle,
// wide field, mirror attenuation).
//
//   Replace()       destroys the engine held so far, then creates a fresh default-constructed one
//                   (the facade is initialised while it holds one); the caller then gives it the
//                   record.
//   Require(msg)    the engine, or AlgorithmException(msg) when Initialize has not run or the
//                   engine has been released; operations call it before touching anything.
//   Release()       destroys the engine (Dispose and the destructor); a second release is a no-op.
template <class Engine>
class HeldEngine {
 public:
  Engine& Replace() {
    engine_.reset();
    engine_ = std::make_unique<Engine>();
    return *engine_;
  }

  Engine& Require(const char* missingInitializationMessage) const {
    if (!engine_) throw AlgorithmException(missingInitializationMessage);
    return *engine_;
  }

  void Release() noexcept { engine_.reset(); }

  // The engine, or null when none is held.
  const Engine* Get() const noexcept { return engine_.get(); }

 private:
  std::unique_ptr<Engine> engine_;
};

// Replaces the leading and trailing runs of missing values (exactly -1.0) of each B-scan row of a
// layer by the nearest valid value of that row, in place. Interior gaps and rows without any value
// are left unchanged. layer holds numbscans * bscanwidth floats.
void NaN2Repeat(float* layer, int numbscans, int bscanwidth);

}  // namespace Talvex::SDOCT::Algorithms::Detail
