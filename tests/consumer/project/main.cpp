// A host program: one include, one facade call, the documented result.
#include <cstdio>

#include "interface/Talvex.h"

int main() {
  float posterior[4] = {1, 1, 1, 1}, irisLens[4] = {3, 3, 3, 3};
  Talvex::SDOCT::Algorithms::CAnteriorChamberAlgorithm chamber;
  const float area = chamber.AnteriorChamberArea(posterior, irisLens, 4, 10, 4.0f, 10.0f);
  std::printf("consumer: area %.1f\n", area);
  return area == 8.0f ? 0 : 1;
}
