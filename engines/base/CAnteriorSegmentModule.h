// CAnteriorSegmentModule: the base of every segmentation, dewarping and map engine.
//
// It carries the state of the robust (random-sample consensus) fits, the caller's random values
// and the sample-exclusion flags, and a toolbox of B-scan conditioning and layer operations that
// the engines combine: volume smoothing, bilateral filtering, Gaussian-derivative filtering, the
// modelled intensity step of a surface, search bands around a guide curve, cost images,
// minimum-cost layer tracing, spline interpolation, smoothing, resampling and reordering of layers,
// and band tracing along parabolas and conics.
//
// Image conventions: a B-scan is a row-major matrix whose rows are A-scans and whose columns are
// depth samples ("height"/"rows" count A-scans, "width"/"cols" count depth samples). A layer holds
// one float per A-scan, the depth in samples; -1 marks an A-scan without a value.
//
// Arithmetic: expressions over float values are evaluated in double precision and rounded to float
// when stored; float-to-integer conversion truncates toward zero, "nearest" is v + 0.5 truncated.
//
// Failures of the toolbox throw AlgorithmException with the fixed text given at each operation.
// The robust fits return 0 on success and -1 on failure instead.
#pragma once

#include <cstdint>
#include <vector>

namespace Talvex::SDOCT::Algorithms {

class CAnteriorSegmentModule {
 public:
  // Number of points a parabola or conic fit can take (one exclusion flag each).
  static constexpr int kMaxFitPoints = 2048;

  CAnteriorSegmentModule();
  virtual ~CAnteriorSegmentModule();
  CAnteriorSegmentModule(const CAnteriorSegmentModule&) = delete;
  CAnteriorSegmentModule& operator=(const CAnteriorSegmentModule&) = delete;

  // ---- Random values of the robust fits -------------------------------------------------------

  // Installs the caller's array of n non-negative random integers (not copied; it must outlive
  // the operation) and restarts its cursor at 0, so that an operation repeated with the same
  // array, data and parameters gives identical results. rv null throws "SetRandomArray() failed.".
  // Until an array is installed the engine draws from DefaultRandomValues().
  void SetRandomArray(const int* rv, std::uint32_t n);

  // The library's fixed default random array: kDefaultRandomCount values in [0, 2^31) produced
  // once by a fixed-seed generator (splitmix64), immutable and shared read-only by every engine.
  static constexpr std::uint32_t kDefaultRandomCount = 65536;
  static const int* DefaultRandomValues();

  // ---- B-scan conditioning --------------------------------------------------------------------

  // Gaussian smoothing of a volume of `slices` B-scans of rows x cols bytes, in place, across
  // A-scans (LateralSmooth) or along depth (AxialSmooth). Kernel: k = (int)(sig * 5), made odd,
  // h = k / 2, taps exp(-j^2 / (2 sig^2)) for j = -h .. h normalised to sum 1; borders replicate
  // the edge A-scan / sample; 8-bit results rounded to nearest and saturated. sig <= 0 leaves the
  // volume unchanged. A kernel wider than the image is clamped to it, not refused: taps at
  // |j| >= rows - 1 (lateral) or cols - 1 (axial) read only the replicated edge, so their weights
  // go to the outermost tap that reaches it and the result is that of the full kernel (a single
  // A-scan is left unchanged). A NaN or +infinite sig throws "LateralSmooth(): sig is not a finite
  // number.", a sig above 100000 "LateralSmooth(): sig too large (above 100000)." (AxialSmooth
  // likewise). Otherwise throws
  // "IPP: ippiCopyReplicateBorder_8u_C1R() failed.",
  // "IPP: ippiFilterColumn32f_8u_C1R() failed." (lateral) or
  // "IPP: ippiFilterRow32f_8u_C1R() failed." (axial).
  void LateralSmooth(std::uint8_t* volume, int slices, int rows, int cols, float sig);
  // The lateral smoothing of source into volume (which may be the same memory): volume receives
  // the smoothed source, or a copy of it where the smoothing leaves it as it is; saves the copy
  // of a whole volume before smoothing it in place.
  void LateralSmooth(const std::uint8_t* source, std::uint8_t* volume, int slices, int rows,
                     int cols, float sig);
  void AxialSmooth(std::uint8_t* volume, int slices, int rows, int cols, float sig);

  // Edge-preserving bilateral filter of one rows x cols 8-bit image, in place. The kernel is
  // maxKernelWidth samples along depth by maxKernelHeight A-scans; the image is padded by half the
  // kernel with replicated edges. valSquareSigma is the intensity variance (grey levels^2),
  // posSquareSigma the spatial variance (px^2). Throws
  // "TalvexAlgorithm: BilateralFilter::BilateralFilterInit() failed.",
  // "IPP: ippiCopyReplicateBorder_8u_C1R() failed.",
  // "TalvexAlgorithm: BilateralFilter::filterBilateral() failed." or
  // "IPP: ippiCopy_8u_C1R() failed.".
  void BilateralFiltering(std::uint8_t* image, int rows, int cols, int maxKernelHeight,
                          int maxKernelWidth, float valSquareSigma, float posSquareSigma);

  // In place on a numBscans x numAscans float image (rows x columns): Gaussian smoothing across
  // rows (order-0 kernel of gaussXsize taps, sigma gaussXsigma, truncation 3) when gaussXsize > 0,
  // then the order-1 derivative kernel along columns (gaussYsize taps, gaussYsigma) when
  // gaussYsize > 0. A dark-to-bright step along depth gives a positive response. Even sizes are
  // refused by the convolutions. GaussDerivitiveBscan uses GetGaussDerivKernel1D,
  // GaussianDerivitiveBscan GetGaussianDerivKernel1D. Before any work, a pass that runs is refused
  // when its sigma is NaN or infinite ("GaussDerivitiveBscan(): gaussXsigma is not a finite
  // number.", and so on for each operation and parameter) or when its size exceeds
  // 2 numBscans + 1 (gaussXsize) or 2 numAscans + 1 (gaussYsize) ("GaussDerivitiveBscan():
  // gaussXsize too large: the kernel is over twice as long as the image."). Throws
  // "TalvexAlgorithm: GetGaussDerivKernel1D() failed." (also for a finite sigma whose kernel is
  // not finite), "TalvexAlgorithm: ConvCol2D() failed." or "TalvexAlgorithm: ConvRow2D() failed.".
  void GaussDerivitiveBscan(float* bscan, int numBscans, int numAscans, float gaussXsigma,
                            int gaussXsize, float gaussYsigma, int gaussYsize);
  void GaussianDerivitiveBscan(float* bscan, int numBscans, int numAscans, float gaussXsigma,
                               int gaussXsize, float gaussYsigma, int gaussYsize);

  // The A-scan profile (8-bit 40 log10 scale) that a surface at the centre of depthPixel samples
  // spanning depthMicron micrometres produces: grey level level1 above it, level2 below it, plus a
  // reflection peak of height level3 at the surface when level3 > -100, blurred by a Gaussian
  // axial point-spread function of full width at half maximum axialResMicron. The first and last
  // 5 samples hold level1 and level2 exactly. stepFunction receives depthPixel values (any
  // depthPixel >= 1). depthMicron <= 0 throws "StepFunction(): depthMicron must be a positive
  // number.", a NaN or infinite axialResMicron "StepFunction(): axialResMicron is not a finite
  // number.". Throws "TalvexAlgorithm: CFFT_RToC::FFTInit() failed.",
  // "TalvexAlgorithm: CFFT_RToC::FFT() failed.", "TalvexAlgorithm: CFFT_CToC::FFTInit() failed."
  // or the IPP message of a failed vector primitive.
  void StepFunction(int depthMicron, int depthPixel, float axialResMicron, float level1,
                    float level2, float level3, float* stepFunction);

  // Cuts a band around a guide curve: for each of the gheight rows of grad (gwidth columns),
  // c = nearest(layer[i]) clamped to 0 .. gwidth - 1, start = max(c - offset1, 1),
  // end = min(start + offset2, gwidth - 2), len = min(end - start, rwidth); when len >= 1 the
  // samples grad[i][start .. start + len - 1] go to roigrad[i][0 ..] and startidx[i] = start.
  // Rows without a band are left as they were (startidx keeps its value). Any offsets (negative,
  // INT_MIN, INT_MAX) and any rheight or rwidth <= 0 are safe: nothing is written beyond
  // min(gheight, rheight) rows of rwidth samples, nothing read beyond column gwidth - 3.
  void ImageROI(const float* layer, float** grad, int gheight, int gwidth, float** roigrad,
                int rheight, int rwidth, int offset1, int offset2, int* startidx);

  // Turns a derivative band into a cost image in place: negated first when which != 0 (so that a
  // dark-to-bright step becomes low cost), then squashed through SigmoidTrans. Throws
  // "IPP: ippsMulC_32f_I() failed." or "TalvexAlgorithm: SigmoidTrans() failed.".
  void CostImageROI(float* roigrad, int rheight, int rwidth, int which);

  // Derivative filter, cost image and minimum-cost path in one: layer[i] receives the column of
  // the path in row i (steps of at most searchWindow columns between rows). The image is
  // overwritten by its cost. Throws the messages of the two steps above or
  // "TalvexAlgorithm: GraphBasedSegmentation() failed.".
  void DetectLayer(float* image, int height, int width, float xsigma, int xsize, float ysigma,
                   int ysize, int dir, int searchWindow, float* layer, bool flipcc);

  // Interpolating cubic spline through the points with iny >= 0 (in order, inx ascending),
  // evaluated at the m ascending abscissae outx. Any number of points: the work buffers are sized
  // from n (rows wider than 2048 A-scans are handled like any other). Throws
  // "TalvexAlgorithm: cspline() failed.".
  void CsplineInterpolation(const float* inx, const float* iny, int n, const float* outx,
                            float* outy, int m);

  // Smoothing spline through the points with iny >= 0 (any number, buffers sized from n),
  // cut-off wavelength m * wavelen in the units of x, evaluated at outx; outputs outside the
  // points' span are left unchanged. Throws "TalvexAlgorithm: bspline() failed.".
  void BsplineInterpolation(const float* inx, const float* iny, int n, const float* outx,
                            float* outy, int m, float wavelen);
  void BsplineInterpolation(const double* inx, const double* iny, int n, const double* outx,
                            double* outy, int m, float wavelen);

  // Least-squares cubic B-spline with cut-off wavelength `wavelength` (units of x) and boundary
  // condition bctype (0, 1 or 2) through (x, y), evaluated at every xi inside the spline's domain
  // [xmin, xmin + M * DX]; yi outside it is left unchanged. x and xi, y and yi may alias. Returns
  // 0, or -1 when the spline cannot be set up (for example a wavelength longer than the span).
  int bspline(const float* x, const float* y, int n, const float* xi, float* yi, int m,
              float wavelength, int bctype);
  int bspline(const double* x, const double* y, int n, const double* xi, double* yi, int m,
              float wavelength, int bctype);

  // Smooths each of the numBscans rows of bscanWidth layer values with a smoothing spline of
  // wavelength bscanWidth * smooth A-scans (all values are used, -1 included: pass layers
  // without gaps). Any bscanWidth. Throws "bspline() failed.".
  void SmoothLayer(const float* layer, int numBscans, int bscanWidth, float smooth,
                   float* smoothLayer);
  void SmoothLayer(const double* layer, int numBscans, int bscanWidth, double smooth,
                   double* smoothLayer);

  // Resamples a layer of n points spread over 0 .. m - 1 to the m integer positions by a cubic
  // spline through all points. Throws "TalvexAlgorithm: cspline() failed.".
  void ResampleLayer(const float* layerIn, int n, float* layerOut, int m);

  // As above, but through the points >= 0 only (any number of them); the result is multiplied by
  // axialSubsample when it exceeds 1 (working depth back to full depth) and, when mode != 0,
  // smoothed with wavelength m * bsplineWavelength. Throws "TalvexAlgorithm: cspline() failed.",
  // "IPP: ippsMulC_32f_I() failed." or "TalvexAlgorithm: bspline() failed.".
  void ResampleLayer(const float* layerIn, int n, float* layerOut, int m, int axialSubsample,
                     int mode, float bsplineWavelength);

  // Puts the layers of a radial scan into ascending meridian order. angles (degrees, one per
  // layer of widthPix values) become a = 180 - angle (+360 when negative); a layer with a <= 180
  // is reversed in A-scan order and keeps a, otherwise it stays and takes a - 180. On return
  // layersIn holds the layers sorted by that angle, angles the sorted angles in radians, and
  // layersOut the reversed-but-unsorted copies. Throws
  // "IPP: ippsSortIndexAscend_32f_I() failed." or "IPP: ippsMulC_32f_I() failed.".
  void ReorderLayers(float* layersIn, float* layersOut, int numLayers, int widthPix, float* angles);

  // ---- Robust fits ----------------------------------------------------------------------------
  // A sample of s distinct points is drawn from the random array (the cursor wraps around and
  // carries over between samples), a model is fitted exactly to it, points whose model residual
  // is strictly below t count as inliers, and trials continue until the probability p of having
  // drawn one outlier-free sample is reached (or maxTrials). The best inlier set is then refitted
  // by least squares. A sample that cannot be completed within 1000 * s draws, an empty random
  // array or a negative random value makes the fit fail (-1) rather than hang or index outside.

  // Whether a trial whose model no point agrees with ends the consensus search (false, the
  // classic loop: its trial estimate starts at one) or the search goes on until some consensus is
  // found, at most maxTrials + 1 trials (true). The classic loop abandons a fit whenever the first
  // random sample holds an outlier that pulls the model away from every point, so which fits fail
  // depends on the random array alone. Off until set.
  void SetSearchPastEmptyTrials(bool on) { m_searchPastEmptyTrials = on; }

  // Robust parabola y = coeff[0] x^2 + coeff[1] x + coeff[2] through n (<= 2048) points. Clears
  // coeff[0..2] and the first n exclusion flags; -1 when n < minNumPoints or the fit fails. With
  // 10 or fewer inliers it succeeds with ninliers = 0 and coeff left at zero.
  int ParabolaCoeff(const float* x, const float* y, int n, int minNumPoints, float distThresh,
                    float probability, int maxDataTrials, int maxTrials, float* coeff,
                    int& ninliers);

  // Robust conic c0 x^2 + c1 xy + c2 y^2 + c3 x + c4 y + c5 = 0 (coeff[0..5]), as ParabolaCoeff.
  int QuadraticCoeff(const float* x, const float* y, int n, int minNumPoints, float distThresh,
                     float probability, int maxDataTrials, int maxTrials, float* coeff,
                     int& ninliers);

  // Robust quadric c0 x^2 + c1 y^2 + c2 z^2 + c3 xy + c4 xz + c5 yz + c6 x + c7 y + c8 z + c9 = 0
  // (coeff[0..9]) through n points of any number; its exclusion table is a fresh all-clear table
  // of n flags. With at most minNumPoints inliers it succeeds with ninliers = 0.
  int QuadricCoeff(const float* x, const float* y, const float* z, int n, int minNumPoints,
                   float distThresh, float probability, int maxDataTrials, int maxTrials,
                   float* coeff, int& ninliers);

  // Robust polynomial fit: the consensus uses parabolas through s sampled points, the final
  // refit a polynomial of degree `order` through the inliers (coefficients in polyfit's order).
  // inliers receives the inlier indices (npts entries of room), ninliers their number (0 when
  // there are 10 or fewer: coefficients untouched). 0, or -1 on sampler or fit failure.
  int ransacpoly(const double* x, const double* y, int npts, int order, int s, double t, double p,
                 int maxDataTrials, int maxTrials, int* inliers, int* ninliers, double* coeff);
  int ransacpoly(const float* x, const float* y, int npts, int order, int s, float t, float p,
                 int maxDataTrials, int maxTrials, int* inliers, int* ninliers, float* coeff);

  // Robust conic fit, as ransacpoly: each trial fits the conic to the sample (s >= 5 points,
  // npts <= 2048) about the sample's mean y and solves it for y with the positive root; the final
  // conic (coeff[0..5], coeff[5] = -1) is fitted to the raw inliers. With 10 or fewer inliers
  // ninliers = 0 and coeff is untouched. 0, or -1 on sampler or fit failure.
  int ransacquad(const float* x, const float* y, int npts, int s, float t, float p,
                 int maxDataTrials, int maxTrials, int* inliers, int* ninliers, float* coeff);

  // Robust quadric surface fit, as ransacquad: samples of s >= 9 points fitted about their mean z
  // and solved for z with the negative root; the final quadric (coeff[0..9], coeff[9] = -1) is
  // fitted to the raw inliers. With s or fewer inliers ninliers = 0 and coeff is untouched.
  int ransacquadric(const float* x, const float* y, const float* z, int npts, int s, float t,
                    float p, int maxDataTrials, int maxTrials, int* inliers, int* ninliers,
                    float* coeff);

  // Float front ends of polyfit / polyval of degree m and of quadraticfitr: the values go through
  // fixed double buffers of 2048 entries, so n <= 2048 and m + 1 <= 2048 (larger sizes return -1
  // without touching the output). They return the wrapped fit's status; polyvalWrapper returns 0,
  // or -1 for those sizes or m < 1 (the linear and constant terms are always read).
  static int polyfitWrapper(const float* x, const float* y, int n, int m, float* p);
  static int polyvalWrapper(const float* p, const float* x, int n, int m, float* y);
  static int quadraticfitrWrapper(const float* x, const float* y, int n, float* p);

  // ---- Band tracing ---------------------------------------------------------------------------

  // Copies, for rows r0 + j (r0 = nearest(x0) >= 0, j < n, r0 + j < height), the band of at most N
  // samples of image row r0 + j starting at max(nearest(y[j]) - from, 1) (y clamped to
  // 0 .. width - 1) and ending before min(start + to, width - 2), into roiImage[j]. Rows without a
  // band keep their contents. Any from and to are safe (the band is computed in 64 bits).
  void ImageROILimit(float x0, const float* y, int n, int N, int from, int to, float** image,
                     int height, int width, float** roiImage);

  // Traces a surface over A-scans xmin .. xmax in a band of N samples along the guide P (a
  // parabola when fitType != 0, else a conic) shifted by verOffset: above the guide when
  // which != 0 (the band's derivative is negated), below it otherwise. xlayer receives the A-scan
  // indices, ylayer the depths, len = xmax - xmin + 1. gSigma/gSize: {across A-scans, along
  // depth}. Throws "IPP: ippsAddC_32f_I() failed." or the messages of DetectLayer.
  void SegmentSideCornea(float** image, int height, int width, int N, const float* P, int fitType,
                         int which, bool flipcc, int xmin, int xmax, int verOffset,
                         const float* gSigma, const int* gSize, int searchWin, float* xlayer,
                         float* ylayer, int& len);

  // As above with the incoming ylayer (len values, first A-scan xlayer[0]) as the guide.
  void SegmentSideCornea(float** image, int height, int width, int N, int which, bool flipcc,
                         int verOffset, const float* gSigma, const int* gSize, int searchWin,
                         float* xlayer, float* ylayer, int& len);

  // numIter rounds of: extent = the A-scans where parabola P1 lies below depth verCenter (all
  // A-scans when it never crosses it or P1[0] = 0), trace in the band along parabola P2 (+
  // verOffset), then refit P1 robustly to the trace (kept only when the fit succeeds).
  void SegmentCentralCornea(float** image, int height, int width, int N, int numIter, float* P1,
                            const float* P2, int which, int verCenter, int verOffset,
                            const float* gSigma, const int* gSize, int minNumPoints,
                            float distThresh, float probability, int maxDataTrials, int maxTrials,
                            float* xlayer, float* ylayer, int& len);

 protected:
  // Exclusion flags of the parabola and conic samplers: flag i = 1 keeps point i out of every
  // sample (it still counts as an inlier). Engines set them before a fit; the Coeff operations
  // clear the first n. Cleared at construction.
  std::uint8_t m_excludeFlags[kMaxFitPoints];

  // Draws k distinct indices below n that are not excluded, in ascending order, into out, taking
  // index = value mod n from the random array at the cursor (wrapping around it). The parabola
  // and conic samplers honour m_excludeFlags (n <= kMaxFitPoints, else -1), the quadric sampler
  // the per-call table of QuadricCoeff (none outside it). -1 when k > n, k < 1, the random array
  // is empty, a random value is negative, or the sample cannot be completed within 1000 * k draws.
  int polyrandsample(int n, int k, int* out);
  int quadrandsample(int n, int k, int* out);
  int quadricrandsample(int n, int k, int* out);

 private:
  // Data members carry the m_ prefix; private helpers named by the project are PascalCase, the
  // consensus loops and distance passes keep the names of the fixed robust-fit interface.

  // The band of N samples along guide g traced into ylayer (see SegmentSideCornea).
  void TraceAlongGuide(float** image, int height, int width, int N, int which, bool flipcc,
                       const float* gSigma, const int* gSize, int searchWin, const float* xlayer,
                       const float* g, float* ylayer, int len);

  int DrawSample(const std::uint8_t* excluded, int n, int k, int* out);

  // Consensus loops over a rows x npts data matrix (row 0 = x, row 1 = y, row 2 = z): trials of
  // one sample each until the best inlier count makes an outlier-free sample likely enough
  // (probability p) or maxTrials is exceeded. inliers receives the best set (npts entries of room),
  // ninliers its size (0 when no trial found any). 0, or -1 on sampler or model-fit failure.
  int ransacpolynom(const double* data, int npts, int s, double t, double p, int maxDataTrials,
                    int maxTrials, int* inliers, int* ninliers);
  int ransacquadratic(const float* data, int npts, int s, float t, float p, int maxDataTrials,
                      int maxTrials, int* inliers, int* ninliers);
  int ransacquadricsurf(const float* data, int npts, int s, float t, float p, int maxDataTrials,
                        int maxTrials, int* inliers, int* ninliers);

  // Distance passes: fit the family's model exactly to the s sampled points held in model (rows
  // of s values, same layout as data), then list in inliers the points of data whose residual,
  // in single precision, is strictly below t. work holds npts (parabola) or s (conic, quadric)
  // values; xSquared holds pow(x, 2) of every point. 0, or -1 when the model fit fails.
  static int polydistfn(const double* model, int s, const double* data, const double* xSquared,
                        int npts, double t, float* work, int* inliers, int* ninliers);
  static int quaddistfn(const float* model, int s, const float* data, int npts, float t,
                        float* work, int* inliers, int* ninliers);
  static int quadricdistfn(const float* model, int s, const float* data, int npts, float t,
                           float* work, int* inliers, int* ninliers);

  std::uint32_t m_nRandom = 0;
  std::uint32_t m_randomCursor = 0;
  const int* m_randomValues = nullptr;
  const std::uint8_t* m_quadricExclude = nullptr;
  bool m_searchPastEmptyTrials = false;
  // Work flags of the sampler (one per point), grown to the largest point count and reused.
  std::vector<std::int32_t> m_sampleChosen;
};

}  // namespace Talvex::SDOCT::Algorithms
