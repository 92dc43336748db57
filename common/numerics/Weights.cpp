#include "common/numerics/Weights.h"

#include "platform/signal/TalvexIpps.h"

namespace Talvex::Common::Algorithms::Numerics {

using namespace Talvex::Platform;

int Gauss1D(const float* x, int n, float mu, float sigma, float* out) {
  const float scale = static_cast<float>(-1.0 / (2.0 * double(sigma) * sigma));
  if (ippsAddC_32f(x, -mu, out, n) != 0 || ippsSqr_32f_I(out, n) != 0 ||
      ippsMulC_32f_I(scale, out, n) != 0 || ippsExp_32f_I(out, n) != 0)
    return -1;
  float sum = 0.0f;
  if (ippsSum_32f(out, n, &sum, ippAlgHintAccurate) != 0) return -1;
  if (sum == 0.0f) return 0;  // every weight underflowed: keep the zeros
  return ippsMulC_32f_I(static_cast<float>(1.0 / sum), out, n) != 0 ? -1 : 0;
}

int SigmoidTrans(float* data, int n) {
  if (ippsMulC_32f_I(-1.0f, data, n) != 0 || ippsExp_32f_I(data, n) != 0 ||
      ippsAddC_32f_I(1.0f, data, n) != 0 || ippsDivCRev_32f_I(1.0f, data, n) != 0)
    return -1;
  return 0;
}

}  // namespace Talvex::Common::Algorithms::Numerics
