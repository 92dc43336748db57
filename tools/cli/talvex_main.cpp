// talvex: the command-line program of the Talvex library.
//
//   talvex segment-cornea [options] INPUT...   both corneal surfaces of B-scan pictures
//   talvex pachymetry [options] INPUT...      pachymetry map, sectors, power of a radial scan
//   talvex synth [options]                     a simulated scan of a model eye with its truth
//   talvex attenuate-mirror [options] IMAGE LAYERS  the mirror artefact of a wide-field B-scan
#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "core/AlgorithmException.h"
#include "tools/cli/CliError.h"
#include "tools/cli/MirrorCommand.h"
#include "tools/cli/PachymetryCommand.h"
#include "tools/cli/SegmentCommand.h"
#include "tools/synthetic_eye/SynthCommand.h"

namespace {

using Talvex::Cli::CliError;
using Talvex::Cli::ExitCode;

const char* const kExitCodes =
    "Exit codes:\n"
    "  0  success\n"
    "  1  unexpected failure (out of memory, internal error), or the simulation failed\n"
    "  2  command-line error: unknown option, missing or malformed value\n"
    "  3  an input file or folder is missing or cannot be opened; a folder holds no image\n"
    "  4  an input is not a PNG, TIFF, BMP or JPEG image, is empty, truncated or corrupt\n"
    "  5  images of different sizes in one scan; a B-scan too wide (more than 2048 A-scans\n"
    "     after lateral subsampling) or too small (under 16 A-scans of 64 samples after\n"
    "     subsampling)\n"
    "  6  unknown parameter name, value out of range, or a malformed parameter file\n"
    "  7  the segmentation library reported an error\n"
    "  8  a result file or the output folder cannot be written\n"
    "On failure no result file of the run is left behind.\n";

const char* const kSegmentFooter =
    "\nInputs: picture files (PNG, TIFF, BMP, JPEG), or folders whose .png, .tif, .tiff, .bmp,\n"
    ".jpg and .jpeg files are taken in name order; one B-scan per file, depth downward, one\n"
    "A-scan per column. Grey is read as it is, colour converted to grey, 16-bit scaled to 8\n"
    "bits; JPEGs are 8-bit baseline or progressive.\n"
    "\n"
    "Parameters: the preset, then the fields named in --params (a JSON object of\n"
    "CorneaSegParameter fields, e.g. {\"lateralSubsample\": 4}), then --width-um, --depth-um\n"
    "and --lateral-subsample. --print-params shows the result.\n"
    "\n"
    "Results in the output folder:\n"
    "  cornea.json          surfaces (samples from the top; -1 none) and confidences per A-scan\n"
    "                       (1 reliable, -1 unreliable, -2 specular, -3 at the image edge),\n"
    "                       central thickness (um) and confident shares per B-scan, parameters\n"
    "  cornea.csv           one row per A-scan\n"
    "  cornea_summary.csv   one row per B-scan\n"
    "  overlay_NNN.png      anterior green, posterior blue, unreliable red, specular yellow,\n"
    "                       image edge magenta; strips at the top (anterior) and bottom\n"
    "                       (posterior) mark A-scans that are not reliable\n"
    "With --dewarp also:\n"
    "  dewarped.json        scanner used; per B-scan the surfaces as points in the eye frame\n"
    "                       (mm: x right, y up, z below the apex estimate) and the central\n"
    "                       thickness along the posterior normal (um)\n"
    "  dewarped.csv         one row per A-scan\n"
    "  dewarped_overlay_NNN.png  the dewarped B-scan with both surfaces\n"
    "Scanner file (--scanner): a JSON object with any of n_phase, n_group, half_FOV,\n"
    "half_telecentricity, scan_sag ([horizontal, vertical] or [cornea, aqueous] pairs), n_ref\n"
    "and scan_depth (tissue-equivalent mm: optical path / n_ref); the others keep the preset's.\n"
    "\n"
    "Random values of the robust fits: 65536 draws of std::mt19937 seeded with --seed, each\n"
    "shifted right by one bit; the same inputs and seed give identical results.\n\n";

const char* const kPachymetryFooter =
    "\nInputs: as for segment-cornea, one meridian B-scan per file, with --angles or --radial;\n"
    "or the output folder of 'talvex synth' (its truth.json gives the angles, the scan width\n"
    "and the depth). The road: both surfaces (radial 1024 preset on the surfaces' reflection\n"
    "peaks, grey levels measured from the scan), optionally the eye motion undone, dewarping,\n"
    "the map (sub-pixel thickness), centre disc 2 mm, rings 2-5 and 5-7 mm of 8 sectors (sector\n"
    "0 towards +x, counter-clockwise), thinnest point within 7 mm, power, vertex (Q, S).\n"
    "\n"
    "Results in the output folder:\n"
    "  pachymetry.png            colour map with legend (um), rings, sector means, thinnest point\n"
    "  pachymetry.npy            float32 map, row 0 superior, -1 where there is no value\n"
    "  pachymetry.json           scan, map geometry, sectors, thinnest point, power, vertex,\n"
    "                            motion shifts (--motion-correct), stage times\n"
    "  pachymetry_subfields.csv  one row per region\n"
    "  epithelium.png, epithelium.npy  with --epithelium\n\n";

int Report(ExitCode code, const std::string& message) {
  std::fprintf(stderr, "talvex: %s\n", message.c_str());
  return static_cast<int>(code);
}

int RunSynth(const std::vector<std::string>& args) {
  using namespace Talvex::Synthetic;
  SynthOptions options;
  std::string error;
  if (!ParseSynthOptions(args, &options, &error)) {
    std::fprintf(stderr, "talvex synth: %s\n%s", error.c_str(), SynthUsage("talvex synth").c_str());
    return static_cast<int>(ExitCode::Usage);
  }
  if (options.showHelp) {
    std::printf("%s", SynthUsage("talvex synth").c_str());
    return 0;
  }
  if (Talvex::Synthetic::RunSynth(options, &error) != 0)
    return Report(ExitCode::Internal, "synth: " + error);
  std::printf("Wrote %s\n", options.outputDir.c_str());
  return 0;
}

int Main(int argc, char** argv) {
  CLI::App app{"talvex: anterior-segment OCT analysis from the command line.", "talvex"};
  app.set_version_flag("--version", std::string("talvex ") + TALVEX_VERSION);
  app.require_subcommand(1);
  app.footer(std::string("\nRun 'talvex COMMAND --help' for the options of a command.\n\n") +
             kExitCodes);

  Talvex::Cli::SegmentOptions seg;
  CLI::App* segment = app.add_subcommand(
      "segment-cornea", "Segment both corneal surfaces of B-scan pictures (PNG, TIFF, BMP, JPEG).");
  segment->add_option("inputs", seg.inputs, "Picture files or folders, one B-scan per file");
  segment->add_option("-o,--out", seg.outputDir, "Output folder (created if missing)")
      ->capture_default_str();
  segment->add_option("--preset", seg.preset, "Parameter preset: radial1024 or radial640")
      ->capture_default_str();
  segment->add_option("--params", seg.parameterFile, "JSON file of CorneaSegParameter fields");
  segment->add_option("--width-um", seg.widthMicron, "Scan width in micrometres (preset: 8000)");
  segment->add_option("--depth-um", seg.depthMicron,
                      "Tissue-equivalent scan depth in micrometres (preset: 2300)");
  segment->add_option("--lateral-subsample", seg.lateralSubsample,
                      "Use every N-th A-scan (preset: 2)");
  segment->add_option("--angles", seg.anglesDeg, "Meridian angle (degrees) of each B-scan")
      ->delimiter(',')
      ->allow_extra_args(false);
  segment->add_flag("--radial", seg.radialAngles, "Meridian angles b x 180 / number of B-scans");
  segment->add_option("--seed", seg.seed, "Seed of the random values of the robust fits")
      ->capture_default_str();
  bool noOverlays = false;
  segment->add_flag("--no-overlays", noOverlays, "Write no overlay pictures");
  segment
      ->add_option("--levels", seg.levels,
                   "Step-template grey levels: auto (measured from the scan) or preset")
      ->check(CLI::IsMember({"auto", "preset"}));
  segment->add_flag("--refine-peaks", seg.refinePeaks,
                    "Move both surfaces onto their reflection peaks (sub-sample, unbiased "
                    "thickness)");
  segment->add_flag("--dewarp", seg.dewarp,
                    "Also correct the B-scans for the scan geometry and refraction: dewarped "
                    "surfaces in mm and dewarped overlays");
  segment->add_option("--scanner", seg.scannerFile,
                      "JSON scanner description for --dewarp (default: the 8 mm radial preset "
                      "with --width-um and --depth-um)");
  segment->add_flag("-q,--quiet", seg.quiet, "No progress bar and no summary");
  segment->add_flag("--print-params", seg.printParameters,
                    "Print the parameter record as JSON and stop");
  segment->footer(std::string(kSegmentFooter) + kExitCodes);

  Talvex::Cli::MirrorOptions mirror;
  CLI::App* attenuate = app.add_subcommand(
      "attenuate-mirror",
      "Darken the mirror artefact of a wide-field B-scan picture from its segmented layers.");
  attenuate->add_option("image", mirror.image, "Wide-field B-scan picture (PNG, TIFF, BMP, JPEG)")
      ->required();
  attenuate
      ->add_option("layers", mirror.layers,
                   "JSON with anterior, posterior and irisLens arrays (samples from the top, one "
                   "per A-scan, -1 or null none), at the top level or in a \"bscans\" array")
      ->required();
  attenuate->add_option("--bscan", mirror.bscan, "Entry of the \"bscans\" array to use")
      ->capture_default_str();
  attenuate->add_option("--percent", mirror.percent, "Share by which the regions are darkened")
      ->check(CLI::Range(0.0f, 1.0f))
      ->capture_default_str();
  attenuate->add_option("-o,--out", mirror.outputDir, "Output folder (created if missing)")
      ->capture_default_str();
  attenuate->add_flag("-q,--quiet", mirror.quiet, "No summary");
  attenuate->footer(std::string("\nResult in the output folder: ") + Talvex::Cli::kAttenuatedPng +
                    ", the picture with its mirror regions darkened.\n\n" + kExitCodes);
  Talvex::Cli::PachymetryOptions pach;
  CLI::App* pachymetry = app.add_subcommand(
      "pachymetry",
      "Pachymetry map, ring and sector values, thinnest point, power and vertex of a radial scan.");
  pachymetry->add_option("inputs", pach.inputs,
                         "Picture files or folders (one meridian B-scan per file), or the output "
                         "folder of 'talvex synth'");
  pachymetry->add_option("-o,--out", pach.outputDir, "Output folder (created if missing)")
      ->capture_default_str();
  pachymetry->add_option("--angles", pach.anglesDeg, "Meridian angle (degrees) of each B-scan")
      ->delimiter(',')
      ->allow_extra_args(false);
  pachymetry->add_flag("--radial", pach.radialAngles,
                       "Meridian angles b x 180 / number of B-scans");
  pachymetry->add_option("--width-um", pach.widthMicron, "Scan length in micrometres (8000)");
  pachymetry->add_option("--depth-um", pach.depthMicron,
                         "Tissue-equivalent scan depth in micrometres (2300)");
  pachymetry->add_option("--seed", pach.seed, "Seed of the random values of the robust fits")
      ->capture_default_str();
  pachymetry->add_flag("--motion-correct", pach.motionCorrect,
                       "Estimate the eye motion between meridians and undo it before the map");
  pachymetry->add_flag("--epithelium", pach.epithelium,
                       "Also the Bowman layer and the epithelium map");
  pachymetry->add_flag("--grid-pixel", pach.gridPixel,
                       "Grid-pixel thickness measure instead of the sub-pixel one");
  pachymetry->add_option("--side", pach.side, "Eye side for the N/T labels: OD or OS");
  pachymetry->add_flag("-q,--quiet", pach.quiet, "No progress and no summary");
  pachymetry->footer(std::string(kPachymetryFooter) + kExitCodes);

  // The synthetic eye parses its own options; everything after `synth` is handed over as it is.
  CLI::App* synth = app.add_subcommand(
      "synth", "Simulate a scan of a model eye with exact ground truth ('talvex synth --help').");
  synth->prefix_command();
  synth->set_help_flag();

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::fprintf(stderr, "talvex: %s\nRun 'talvex --help' for the commands and options.\n",
                 e.what());
    return static_cast<int>(ExitCode::Usage);
  }
  if (synth->parsed()) return RunSynth(synth->remaining());
  if (attenuate->parsed()) return Talvex::Cli::RunAttenuateMirror(mirror);
  if (pachymetry->parsed()) return Talvex::Cli::RunPachymetry(pach);
  seg.overlays = !noOverlays;
  return Talvex::Cli::RunSegmentCornea(seg);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Main(argc, argv);
  } catch (const CliError& e) {
    return Report(e.code(), e.what());
  } catch (const Talvex::SDOCT::Algorithms::AlgorithmException& e) {
    return Report(ExitCode::Segmentation, std::string("segmentation failed: ") + e.what());
  } catch (const std::bad_alloc&) {
    return Report(ExitCode::Internal, "out of memory.");
  } catch (const std::exception& e) {
    return Report(ExitCode::Internal, std::string("internal error: ") + e.what());
  } catch (...) {
    return Report(ExitCode::Internal, "internal error.");
  }
}
