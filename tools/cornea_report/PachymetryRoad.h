// The whole pachymetry road of a radial corneal scan, as a host runs it through the library's
// facades: both surfaces of every meridian (CCorneaSegmentationAlgorithm), optionally the eye
// motion between meridians (CCorneaMotionCorrectionAlgorithm) undone on the surfaces, refraction
// correction (CCorneaDewarpingAlgorithm), the pachymetry map (CCorneaMapAlgorithm, sub-pixel
// thickness unless asked otherwise), its centre disc and ring sectors, the thinnest point, the
// corneal power (CCorneaPowerAlgorithm) and the vertex (CCorneaVertexAlgorithm, methods Q and S);
// optionally the epithelium map from the Bowman layer with its own sectors. Each stage is timed.
//
// Shared by talvex-demo, `talvex pachymetry`, the end-to-end accuracy test and the benchmark.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "interface/Talvex.h"

namespace Talvex::Tools {

// A radial scan as the scanner delivers it.
struct RadialScan {
  const std::uint8_t* volume = nullptr;  // numBscans B-scans, A-scan after A-scan
  int numBscans = 0, bscanWidth = 0, ascanLength = 0;
  std::vector<float> anglesDeg;  // meridian of each B-scan, the scanner's convention
  // Half extents of the scan field along 0 and 90 degrees and the tissue-equivalent depth of an
  // A-scan, micrometres (the optical path of an A-scan divided by the scanner's n_ref).
  float halfFieldUm[2] = {4000.0f, 4000.0f};
  float depthUm = 2300.0f;
};

// The 1024-sample radial preset with both surfaces moved onto the centres of their reflections:
// the traced edges lie a few micrometres outside the interfaces and the thickness would read
// long by about that much.
inline SDOCT::Algorithms::CorneaSegParameter RoadSegmentationPreset() {
  SDOCT::Algorithms::CorneaSegParameter p = SDOCT::Algorithms::CorneaSegPresetRadial1024();
  p.refineToReflectionPeaks = true;
  return p;
}

// How the road runs. The defaults are the synthetic eye's 8 mm radial scanner of 1024 x 1024.
struct RoadOptions {
  SDOCT::Algorithms::CorneaSegParameter segmentation = RoadSegmentationPreset();
  SDOCT::Algorithms::DewarpScanner scanner = SDOCT::Algorithms::DewarpPresetRadial8mm();
  SDOCT::Algorithms::CorneaPowerParameter power = SDOCT::Algorithms::CorneaPowerPresetStandard();
  bool subPixel = true;  // sub-pixel thickness measure (false: the grid-pixel one)
  bool motionCorrect = false;
  bool epithelium = false;
  bool vertex = true;
  int mapNodes = 128;              // grid-fit reconstruction size
  float mapSmooth = 1.0f;          // grid-fit smoothness (bilinear, gradient regulariser)
  float powerZoneRadiusUm = 1500;  // parabola fit zone of the power
  float vertexRoiRadiusUm = 2500;  // quadric zone of vertex method Q
  float specularCorrelation = 0.95f;
  int motionSubsample = 4;  // every 4th A-scan in the motion fit
  // The ring and sector layout: centre disc of 2 mm, rings 2-5 mm and 5-7 mm, 8 sectors.
  std::vector<float> regionRadiiMm = {1.0f, 2.5f, 3.5f};
  int sectors = 8;
  float areaPerc = 0.5f;
  float thinnestRadiusMm = 3.5f;  // region searched for the thinnest point
  // Called with the name of every stage as it starts (a progress display); may be empty.
  std::function<void(const char* stage)> onStage;
};

// Pixel geometry of the maps: width x width pixels in display orientation (column = x to the
// right, row = y downward, i.e. superior at the top), spanning spanUm. Map element i lies on the
// reconstruction node i * nodes / width, so the scan centre is not the geometric middle.
struct MapGeometry {
  int width = 0, nodes = 0;
  float spanUm = 0;
  double PitchUm() const { return double(nodes) / width * spanUm / (nodes - 1); }
  double CentreColumn() const { return (nodes - 1) / 2.0 * width / nodes; }
  double CentreRow() const { return width - 1 - CentreColumn(); }
  double XUm(double column) const { return (column - CentreColumn()) * PitchUm(); }
  double YUm(double row) const { return (CentreRow() - row) * PitchUm(); }
  double Column(double xUm) const { return CentreColumn() + xUm / PitchUm(); }
  double Row(double yUm) const { return CentreRow() - yUm / PitchUm(); }
  // The millimetre width ComputeSubfields needs for this pixel pitch.
  double SubfieldWidthMm() const { return width * PitchUm() / 1000.0; }
};

// A thickness map with its ring and sector values and thinnest point.
struct MapResult {
  std::vector<float> values;  // width^2 um, -1 where the map has no reliable value
  std::vector<float> subfieldMean, subfieldMin, subfieldMax;  // 1 + rings x sectors
  double thinnestXUm = 0, thinnestYUm = 0, thinnestUm = -1;
  bool thinnestFound = false;
  // Bilinear value at (x, y) um; NaN where a neighbour has no value.
  double At(const MapGeometry& g, double xUm, double yUm) const;
};

// Large image blocks: whole 2 MB pages advised as huge pages where the system offers them, so
// that the first writes into a volume of tens of megabytes take a few page faults instead of
// thousands.
void* AllocateImageBlock(std::size_t bytes);
void FreeImageBlock(void* block) noexcept;
// Blocks from this size on are image blocks.
constexpr std::size_t kImageBlockBytes = std::size_t(4) << 20;

// An allocator whose elements are left uninitialised when a vector grows without values: for
// images the library writes in full. Large arrays are image blocks.
template <typename T>
struct UninitialisedAllocator : std::allocator<T> {
  template <typename U>
  struct rebind {
    using other = UninitialisedAllocator<U>;
  };
  UninitialisedAllocator() = default;
  template <typename U>
  UninitialisedAllocator(const UninitialisedAllocator<U>&) noexcept {}
  T* allocate(std::size_t n) {
    if (n < kImageBlockBytes / sizeof(T)) return std::allocator<T>::allocate(n);
    if (n > std::size_t(-1) / sizeof(T)) throw std::bad_alloc();
    return static_cast<T*>(AllocateImageBlock(n * sizeof(T)));
  }
  void deallocate(T* p, std::size_t n) noexcept {
    if (n < kImageBlockBytes / sizeof(T))
      std::allocator<T>::deallocate(p, n);
    else
      FreeImageBlock(p);
  }
  template <typename U>
  void construct(U* p) noexcept(std::is_nothrow_default_constructible<U>::value) {
    ::new (static_cast<void*>(p)) U;
  }
  template <typename U, typename... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
};

struct StageTime {
  std::string stage;
  double ms = 0;     // wall-clock
  double cpuMs = 0;  // processor time of the process (the library runs on one thread)
};

struct RoadResult {
  // Segmentation, acquisition order: numBscans x bscanWidth.
  std::vector<float> anterior, posterior, anteriorConfidence, posteriorConfidence;
  // Motion correction: shifts per meridian in acquisition order (x, y, z um: x right, y up, z
  // depth in air), status 0 or -1 (-1: the solver failed and nothing was corrected).
  std::vector<double> shiftXUm, shiftYUm, shiftZUm;
  int motionStatus = 0;
  // Dewarped surfaces (samples of depthUm / ascanLength), acquisition order.
  int dewarpedLength = 0;
  std::vector<std::uint8_t, UninitialisedAllocator<std::uint8_t>> dewarpedVolume;
  std::vector<float> dewarpedAnterior, dewarpedPosterior;
  MapGeometry geometry;
  MapResult pachymetry;
  std::vector<std::uint8_t> pachymetryMask;  // 1 = not reliable
  bool hasEpithelium = false;
  MapResult epithelium;
  // Power in dioptres; status 0, or -1 when too few meridians gave both fits.
  int powerStatus = -1;
  float anteriorPower = 0, posteriorPower = 0, totalPower = 0;
  // Vertex, en-face um (x right, y up about the scan centre); found = false when none.
  bool vertexQFound = false, vertexSFound = false;
  double vertexQUm[2] = {0, 0}, vertexSUm[2] = {0, 0};
  std::vector<StageTime> times;
  double TotalMs() const;
};

// Runs the road. `random` are the host's non-negative random integers for the robust fits (the
// same values give the same results). Throws SDOCT::Algorithms::AlgorithmException with the
// library's message when a stage fails; std::invalid_argument for a scan without B-scans or
// angles of the wrong count.
RoadResult RunPachymetryRoad(const RadialScan& scan, const RoadOptions& options,
                             const std::vector<int>& random);

// The host's random values: std::mt19937 seeded with seed, each draw shifted right by one bit.
std::vector<int> RoadRandomValues(unsigned seed, int count = 65536);

}  // namespace Talvex::Tools
