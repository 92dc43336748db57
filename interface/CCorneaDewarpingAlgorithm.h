// CCorneaDewarpingAlgorithm: geometric and refraction correction of radial cornea scans and of
// wide-field anterior-segment scans, images and layers.
#pragma once

#include <cstdint>
#include <memory>

namespace Talvex::SDOCT::Algorithms {

class CCorneaDewarp;

// The facade keeps the scanner description given by one of its three initialisations and builds
// a fresh engine inside each call. Each family of operations needs its own initialisation:
//   InitializeCornea    -> DewarpCornea (both)
//   InitializeHDCornea  -> DewarpHDCorneaAnt, DewarpHDCorneaAntPst
//   InitializeHDField   -> DewarpHDFieldAnt (both), DewarpHDFieldAntPst
// A later initialisation of any family replaces the shared scanner fields (directions, field,
// telecentricity, sag, depth, indices).
//
// Scanner description:
//   radial_directionData  direction of every radial B-scan in degrees (num_radial_scans entries;
//                         a call needs at least one per B-scan)
//   half_FOVData          half lateral field of view along the horizontal and the vertical scan
//                         direction, mm
//   half_telecentricityData  half beam sweep angle of the two directions, degrees
//   scan_sagData          axial sag of the scan surface at the field edge of the two directions,
//                         mm
//   scan_depth            depth of the A-scan in tissue-equivalent mm: the optical path covered
//                         by the A-scan divided by 1.386. A host whose scanner states the optical
//                         path depth divides it by 1.386.
//   n_phase, n_group      phase and group refractive index of the cornea (HD families: of the
//                         cornea, then of the medium behind the posterior surface)
//   n_ref                 group index by which scan_depth was divided (1.386), which turns the
//                         A-scan back into optical path
// The B-scan of direction theta uses the half field sqrt(h^2 cos^2 + v^2 sin^2) of the two
// directions, and the half sweep angle and sag formed the same way.
//
// Images: numbscans B-scans of bscanwidth A-scans of ascanlen bytes in, of dewarpascanlen bytes
// out. The corrected image spans 2 x the half field laterally and scan_depth (mm, physical)
// over ascanlen samples axially, so the corrected A-scan of dewarpascanlen = ascanlen * n_ref
// samples holds the whole air part of the source (air is stretched by n_ref); the AntPst
// operations correct their second surface on that image and expect this length. Layers:
// numbscans * bscanwidth sample positions, -1 = none. Nothing is copied from the caller's arrays
// except the layers named as work copies below.
//
// Errors: "dewarping initialization is missing." (DewarpCornea before InitializeCornea),
// "DewarpBscans: parameter initialization is missing." (the HD cornea and wide-field operations
// before their initialisation), kTooFewDirections, "memory allocation failed.", and the engine's
// failures (size limits: at most 4096 A-scans per B-scan and 4096 samples per A-scan).
class CCorneaDewarpingAlgorithm {
 public:
  static constexpr const char* kTooFewDirections =
      "Fewer radial directions than B-scans: one direction is needed per B-scan.";

  CCorneaDewarpingAlgorithm();
  ~CCorneaDewarpingAlgorithm();
  CCorneaDewarpingAlgorithm(const CCorneaDewarpingAlgorithm&) = delete;
  CCorneaDewarpingAlgorithm& operator=(const CCorneaDewarpingAlgorithm&) = delete;

  void InitializeCornea(float n_phase, float n_group, float n_ref, int num_radial_scans,
                        const float* radial_directionData, const float* half_FOVData,
                        const float* half_telecentricityData, const float* scan_sagData,
                        float scan_depth);
  // n_phaseData, n_groupData: {cornea, medium behind the posterior surface}.
  void InitializeHDCornea(const float* n_phaseData, const float* n_groupData, float n_ref,
                          int num_radial_scans, const float* radial_directionData,
                          const float* half_FOVData, const float* half_telecentricityData,
                          const float* scan_sagData, float scan_depth);
  void InitializeHDField(const float* n_phaseData, const float* n_groupData, float n_ref,
                         int num_radial_scans, const float* radial_directionData,
                         const float* half_FOVData, const float* half_telecentricityData,
                         const float* scan_sagData, float scan_depth);

  // One refraction at the anterior surface smoothed with a spline of wavelength
  // bscanwidth * bsplineWavelength; the anterior, Bowman and posterior layers are carried along.
  // The layers are used as given (-1 values included in the smoothing).
  void DewarpCornea(const std::uint8_t* volumeData, int numbscans, int bscanwidth, int ascanlen,
                    float bsplineWavelength, const float* AnteriorData, const float* BowmanData,
                    const float* PosteriorData, std::uint8_t* dewarpVolumeData, int dewarpascanlen,
                    float* dewarpAnteriorData, float* dewarpBowmanData, float* dewarpPosteriorData);
  void DewarpCornea(const std::uint8_t* volumeData, int numbscans, int bscanwidth, int ascanlen,
                    float bsplineWavelength, const float* AnteriorData, const float* PosteriorData,
                    std::uint8_t* dewarpVolumeData, int dewarpascanlen, float* dewarpAnteriorData,
                    float* dewarpPosteriorData);

  // One refraction at the unsmoothed anterior surface.
  void DewarpHDCorneaAnt(const std::uint8_t* volumeData, int numbscans, int bscanwidth,
                         int ascanlen, const float* AnteriorData, const float* PosteriorData,
                         std::uint8_t* dewarpVolumeData, int dewarpascanlen,
                         float* dewarpAnteriorData, float* dewarpPosteriorData);
  // Refraction at the anterior surface (dewarpAntVolumeData), then again at the corrected
  // posterior surface (dewarpPstVolumeData: above the posterior surface a copy of the first).
  // Leading and trailing gaps of the layers are bridged with their end values for the work;
  // outputs are -1 wherever the input layer is -1.
  void DewarpHDCorneaAntPst(const std::uint8_t* volumeData, int numbscans, int bscanwidth,
                            int ascanlen, const float* AnteriorData, const float* PosteriorData,
                            std::uint8_t* dewarpAntVolumeData, std::uint8_t* dewarpPstVolumeData,
                            int dewarpascanlen, float* dewarpAnteriorData,
                            float* dewarpPosteriorData);

  // Wide field: as the HD cornea family with every A-scan shifted up by ascanShift samples in
  // the corrected image.
  void DewarpHDFieldAnt(const std::uint8_t* volumeData, int numbscans, int bscanwidth, int ascanlen,
                        float ascanShift, const float* AnteriorData,
                        std::uint8_t* dewarpAntVolumeData, int dewarpascanlen);
  // Also carries the posterior and iris/lens layers (anterior and posterior outputs -1 where
  // their input is -1; the iris/lens output as the engine leaves it).
  void DewarpHDFieldAnt(const std::uint8_t* volumeData, int numbscans, int bscanwidth, int ascanlen,
                        float ascanShift, const float* AnteriorData, const float* PosteriorData,
                        const float* IrisLensData, std::uint8_t* dewarpVolumeData,
                        int dewarpascanlen, float* dewarpAnteriorData, float* dewarpPosteriorData,
                        float* dewarpIrisLensData);
  // Both refractions; the iris/lens layer is refracted at the posterior surface too and kept at
  // least 15 samples below it. All three outputs are -1 where their input is -1.
  void DewarpHDFieldAntPst(const std::uint8_t* volumeData, int numbscans, int bscanwidth,
                           int ascanlen, float ascanShift, const float* AnteriorData,
                           const float* PosteriorData, const float* IrisLensData,
                           std::uint8_t* dewarpAntVolumeData, std::uint8_t* dewarpPstVolumeData,
                           int dewarpascanlen, float* dewarpAnteriorData,
                           float* dewarpPosteriorData, float* dewarpIrisLensData);

  // Releases the stored directions; a second call does nothing.
  void Dispose();

 private:
  struct ScanModel;
  ScanModel ModelOf(int b) const;
  void SetUpFirstPass(CCorneaDewarp& engine, int b) const;
  void SetUpSecondPass(CCorneaDewarp& engine, int b) const;
  // Phase and group indices of the cornea ([0]) and of the medium behind it ([1]).
  void StoreTwoMedia(const float* n_phaseData, const float* n_groupData);
  void StoreScanner(bool& familyFlag, float n_ref, int num_radial_scans,
                    const float* radial_directionData, const float* half_FOVData,
                    const float* half_telecentricityData, const float* scan_sagData,
                    float scan_depth);
  void RequireDirections(int numbscans) const;
  void ImageAndLayers(const std::uint8_t* volumeData, int numbscans, int bscanwidth, int ascanlen,
                      bool smooth, float bsplineWavelength, const float* AnteriorData,
                      const float* BowmanData, const float* PosteriorData,
                      std::uint8_t* dewarpVolumeData, int dewarpascanlen, float* dewarpAnteriorData,
                      float* dewarpBowmanData, float* dewarpPosteriorData) const;
  void TwoRefractions(const std::uint8_t* volumeData, int numbscans, int bscanwidth, int ascanlen,
                      float shift, const float* AnteriorData, const float* PosteriorData,
                      const float* IrisLensData, std::uint8_t* dewarpAntVolumeData,
                      std::uint8_t* dewarpPstVolumeData, int dewarpascanlen,
                      float* dewarpAnteriorData, float* dewarpPosteriorData,
                      float* dewarpIrisLensData) const;

  float m_pi = 3.1415927f;
  float m_n_phase1 = 1.0f, m_n_phase2 = 1.0f;
  float m_n_group1 = 1.0f, m_n_group2 = 1.0f;
  float m_n_ref = 1.0f;
  std::unique_ptr<float[]> m_radial_directions;
  int m_num_radial_scans = 0;
  float m_half_FOV_horizontal = 0.0f, m_half_FOV_vertical = 0.0f;
  float m_half_telecentricity_horizontal = 0.0f, m_half_telecentricity_vertical = 0.0f;
  float m_scan_sag_horizontal = 0.0f, m_scan_sag_vertical = 0.0f;
  float m_scan_depth = 0.0f;
  bool m_CorneaIntitialized = false;
  bool m_HDCorneaIntitialized = false;
  bool m_HDFieldIntitialized = false;
};

}  // namespace Talvex::SDOCT::Algorithms
