// Talvex: image analysis for anterior-segment OCT.
//
// The one header a host includes. It brings in every public facade class, every parameter record,
// the error type AlgorithmException, the containers and every free function and class of the
// common library.
//
// Conventions shared by every operation:
//   - B-scans are 8-bit images stored A-scan after A-scan: the ascanLength samples of one A-scan
//     are contiguous (depth index 0 first); a volume is numBscans B-scans one after the other.
//   - A layer holds one float per A-scan, B-scan after B-scan: the depth of a surface in samples
//     (fractional, 0 = first sample); -1.0 marks an A-scan without a value.
//   - Physical depths (depthMicron, depthMu, scan_depth) are tissue-equivalent micrometres (or
//     millimetres): the optical path of the A-scan divided by the group index 1.386.
//   - Angles are degrees at this interface; powers are dioptres.
//   - Arrays are owned by the caller and passed without copying; every failure throws
//     AlgorithmException with a fixed message.
#pragma once

#include "common/analysis/CConnectedComp2D.h"
#include "common/analysis/GraphBasedSegmentation.h"
#include "common/analysis/Morphology.h"
#include "common/analysis/Regions.h"
#include "common/data_structures/DataStructures.h"
#include "common/filters/BilateralFilter.h"
#include "common/filters/FFT.h"
#include "common/filters/LinearFilters.h"
#include "common/geometric_transform/ImResize.h"
#include "common/numerics/BSpline.h"
#include "common/numerics/Fits.h"
#include "common/numerics/GaussFit.h"
#include "common/numerics/Optimisers.h"
#include "common/numerics/ROIFill.h"
#include "common/numerics/SparseSolver.h"
#include "common/numerics/Splines.h"
#include "common/numerics/Weights.h"
#include "common/numerics/ZernikeFit.h"
#include "core/AlgorithmException.h"
#include "core/AngleSegParameter.h"
#include "core/CorneaPowerParameter.h"
#include "core/CorneaSegOutcome.h"
#include "core/CorneaSegParameter.h"
#include "core/DewarpScanner.h"
#include "core/MapPoint.h"
#include "core/WideFieldSegParameter.h"
#include "interface/CAnteriorChamberAlgorithm.h"
#include "interface/CCorneaDewarpingAlgorithm.h"
#include "interface/CCorneaMapAlgorithm.h"
#include "interface/CCorneaMotionCorrectionAlgorithm.h"
#include "interface/CCorneaPowerAlgorithm.h"
#include "interface/CCorneaSegmentationAlgorithm.h"
#include "interface/CCorneaVertexAlgorithm.h"
#include "interface/CMirrorImageAttenuationAlgorithm.h"
#include "interface/CorneaPowerPresets.h"
#include "interface/CorneaSegPresets.h"
#include "interface/DewarpPresets.h"
