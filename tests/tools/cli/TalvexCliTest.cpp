// The `talvex` program run as a user runs it: on scans written by `talvex synth` (checked against
// the synthetic eye's truth), on the same B-scan stored as PNG, TIFF, BMP and JPEG, and on broken
// inputs, where the exit code, the message and the absence of result files are checked.
#include <gtest/gtest.h>
#include <jpeglib.h>
#include <png.h>
#include <stdio.h>  // jpeglib.h needs FILE
#include <sys/wait.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "tools/synthetic_eye/SynthCommand.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

constexpr int kW = 1024, kL = 1024;       // size of the synthetic B-scans
constexpr double kAnteriorMeanPx = 1.0;   // mean anterior error on confident A-scans
constexpr double kAnteriorMaxPx = 3.0;    // largest anterior error on confident A-scans
constexpr double kThicknessUm = 15.0;     // central thickness against the truth
constexpr double kConfidentShare = 0.85;  // A-scans with both surfaces reliable

struct Outcome {
  int code = -1;
  std::string out, err;
};

std::string Slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class TalvexCli : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::path(TALVEX_CLI_TEST_ROOT) /
           (std::string(info->name()) + "-" + std::to_string(static_cast<long>(::getpid())));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    fs::remove_all(dir_);
    std::error_code ec;
    fs::remove(TALVEX_CLI_TEST_ROOT, ec);  // only when no other test process still uses it
  }

  Outcome Talvex(const std::string& args) {
    Outcome r;
    const fs::path out = dir_ / "stdout.txt", err = dir_ / "stderr.txt";
    const std::string command = "cd '" + dir_.string() + "' && '" TALVEX_CLI_PROGRAM "' " + args +
                                " >'" + out.string() + "' 2>'" + err.string() + "'";
    const int status = std::system(command.c_str());
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = Slurp(out);
    r.err = Slurp(err);
    return r;
  }

  // A radial scan of `meridians` B-scans from `talvex synth`, in dir_/scan.
  void Synth(int meridians) {
    const Outcome r =
        Talvex("synth --meridians " + std::to_string(meridians) + " --map-width 0 --out scan");
    ASSERT_EQ(r.code, 0) << r.err;
    truth_ = json::parse(Slurp(dir_ / "scan" / "truth.json"));
    const std::string raw = Slurp(dir_ / "scan" / "volume.raw");
    volume_.assign(raw.begin(), raw.end());
    ASSERT_EQ(volume_.size(), size_t(meridians) * kW * kL);
  }

  // B-scan 0 of the synthetic scan as a picture (row = depth), one value per pixel.
  std::vector<std::uint16_t> Picture(int scale) const {
    std::vector<std::uint16_t> p(size_t(kW) * kL);
    for (int j = 0; j < kW; ++j)
      for (int z = 0; z < kL; ++z) p[size_t(z) * kW + j] = volume_[size_t(j) * kL + z] * scale;
    return p;
  }

  void WriteTiff(const fs::path& path, int bits, int channels) const {
    const std::vector<std::uint16_t> p = Picture(bits == 16 ? 257 : 1);
    TIFF* t = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(t, nullptr);
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, kW);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, kL);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, bits);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, channels);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, channels == 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 16);
    std::vector<std::uint8_t> row(size_t(kW) * channels * bits / 8);
    for (int z = 0; z < kL; ++z) {
      for (int j = 0; j < kW; ++j)
        for (int c = 0; c < channels; ++c) {
          const std::uint16_t v = p[size_t(z) * kW + j];
          if (bits == 16)
            std::memcpy(&row[(size_t(j) * channels + c) * 2], &v, 2);
          else
            row[size_t(j) * channels + c] = static_cast<std::uint8_t>(v);
        }
      ASSERT_EQ(TIFFWriteScanline(t, row.data(), z, 0), 1);
    }
    TIFFClose(t);
  }

  // PNG of B-scan 0: 16-bit grey (value x 257) or 8-bit RGB with equal channels.
  void WritePng(const fs::path& path, int bits, int channels) const {
    const std::vector<std::uint16_t> p = Picture(bits == 16 ? 257 : 1);
    const int bytes = bits / 8 * channels;
    std::vector<std::uint8_t> rows(size_t(kW) * kL * bytes);
    for (size_t i = 0; i < p.size(); ++i)
      for (int c = 0; c < channels; ++c) {
        std::uint8_t* d = &rows[i * bytes + size_t(c) * bits / 8];
        if (bits == 16)
          d[0] = static_cast<std::uint8_t>(p[i] >> 8), d[1] = static_cast<std::uint8_t>(p[i]);
        else
          d[0] = static_cast<std::uint8_t>(p[i]);
      }
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, f);
    png_set_IHDR(png, info, kW, kL, bits, channels == 3 ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_GRAY,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int z = 0; z < kL; ++z) png_write_row(png, &rows[size_t(z) * kW * bytes]);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
  }

  // 24-bit BMP, bottom-up rows, each pixel grey in B, G and R.
  void WriteBmp(const fs::path& path) const {
    const std::vector<std::uint16_t> p = Picture(1);
    const int stride = (kW * 3 + 3) / 4 * 4;
    std::vector<std::uint8_t> b(54 + size_t(stride) * kL, 0);
    auto le = [&](size_t at, std::uint32_t v, int n) {
      for (int i = 0; i < n; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    };
    b[0] = 'B', b[1] = 'M';
    le(2, static_cast<std::uint32_t>(b.size()), 4), le(10, 54, 4), le(14, 40, 4);
    le(18, kW, 4), le(22, kL, 4), le(26, 1, 2), le(28, 24, 2);
    for (int z = 0; z < kL; ++z)
      for (int j = 0; j < kW; ++j)
        for (int c = 0; c < 3; ++c)
          b[54 + size_t(kL - 1 - z) * stride + j * 3 + c] =
              static_cast<std::uint8_t>(p[size_t(z) * kW + j]);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), b.size());
  }

  // JPEG of B-scan 0 at quality 90 written with libjpeg: grey (baseline or progressive) or the same
  // grey stored as colour (R = G = B, YCbCr with subsampled chroma).
  void WriteJpeg(const fs::path& path, bool progressive, bool colour) const {
    const std::vector<std::uint16_t> p = Picture(1);
    const int channels = colour ? 3 : 1;
    std::vector<std::uint8_t> rows(p.size() * channels);
    for (size_t i = 0; i < rows.size(); ++i) rows[i] = static_cast<std::uint8_t>(p[i / channels]);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, f);
    c.image_width = kW;
    c.image_height = kL;
    c.input_components = channels;
    c.in_color_space = colour ? JCS_RGB : JCS_GRAYSCALE;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 90, TRUE);
    if (progressive) jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
      JSAMPROW row = &rows[size_t(c.next_scanline) * kW * channels];
      jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::fclose(f);
  }

  json Result(const std::string& folder) const {
    return json::parse(Slurp(dir_ / folder / "cornea.json"));
  }

  // Files whose name shows an unfinished result.
  int PartialFiles() const {
    int n = 0;
    for (const auto& e : fs::recursive_directory_iterator(dir_))
      n += e.path().filename().string().find(".partial-") != std::string::npos;
    return n;
  }

  fs::path dir_;
  json truth_;
  std::vector<std::uint8_t> volume_;
};

TEST_F(TalvexCli, FindsTheSyntheticSurfacesInAFolderOfPngs) {
  Synth(2);
  const Outcome r = Talvex("segment-cornea scan --radial -o res");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("Results in res"), std::string::npos);
  const json j = Result("res");
  ASSERT_EQ(j["numBscans"], 2);
  ASSERT_EQ(j["bscanWidth"], kW);
  ASSERT_EQ(j["ascanLength"], kL);
  for (int b = 0; b < 2; ++b) {
    const json& got = j["bscans"][b];
    const json& want = truth_["bscans"][b];
    EXPECT_EQ(got["angleDeg"], 90.0 * b);
    double sum = 0, worst = 0;
    int n = 0;
    for (int a = 0; a < kW; ++a) {
      const double t = want["anterior"][a];
      if (t < 0 || got["anteriorConfidence"][a] != 1.0) continue;
      const double e = std::fabs(got["anterior"][a].get<double>() - t);
      sum += e, worst = std::max(worst, e), ++n;
    }
    ASSERT_GT(n, 0);
    EXPECT_LT(sum / n, kAnteriorMeanPx) << "B-scan " << b;
    EXPECT_LT(worst, kAnteriorMaxPx) << "B-scan " << b;
    EXPECT_NEAR(got["centralThicknessMicron"].get<double>(),
                want["thicknessUm"][kW / 2].get<double>(), kThicknessUm);
    EXPECT_GT(got["confidentShare"].get<double>(), kConfidentShare);
    EXPECT_TRUE(fs::exists(dir_ / "res" / got["overlay"].get<std::string>()));
  }
  // One CSV row per A-scan and per B-scan after the header; nothing unfinished left.
  const std::string csv = Slurp(dir_ / "res" / "cornea.csv");
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 1 + 2 * kW);
  const std::string summary = Slurp(dir_ / "res" / "cornea_summary.csv");
  EXPECT_EQ(std::count(summary.begin(), summary.end(), '\n'), 3);
  EXPECT_EQ(PartialFiles(), 0);
}

// Dewarped surface points (eye frame, z from the apex estimate) against the physical surface
// points of the truth, within the central 7 mm; thickness along the posterior normal.
constexpr double kDewarpedPointUm = 5.0;  // surfaces on their reflection peaks
constexpr double kDewarpedThicknessUm = 3.0;

TEST_F(TalvexCli, DewarpsTheSurfacesOntoThePhysicalCorneaInMillimetres) {
  Synth(2);
  std::ofstream(dir_ / "scanner.json") << R"({"n_ref": 1.5})";
  const Outcome r = Talvex("segment-cornea scan --radial --refine-peaks --dewarp -q -o res");
  ASSERT_EQ(r.code, 0) << r.err;
  const json d = json::parse(Slurp(dir_ / "res" / "dewarped.json"));
  EXPECT_EQ(d["dewarpedAscanLength"], static_cast<int>(std::ceil(kL * 1.386)));
  for (int b = 0; b < 2; ++b) {
    const json& got = d["bscans"][b];
    const json& want = truth_["bscans"][b];
    EXPECT_TRUE(fs::exists(dir_ / "res" / got["overlay"].get<std::string>()));
    EXPECT_NEAR(got["centralThicknessAlongNormalMicron"].get<double>(),
                want["thicknessUm"][kW / 2].get<double>(), kDewarpedThicknessUm);
    for (const char* surface : {"anterior", "posterior"}) {
      const json& g = got[surface];
      const json& t = want[std::string(surface) + "PointMm"];
      // The truth's point of A-scan j against the dewarped surface between the two columns
      // around it (columns are evenly spaced along the meridian).
      const double x0 = g["x"][0], y0 = g["y"][0], x1 = g["x"][kW - 1], y1 = g["y"][kW - 1];
      const double span = std::hypot(x1 - x0, y1 - y0);
      double mean = 0;
      int n = 0;
      for (int j = 0; j < kW; j += 8) {
        const double X = t["x"][j], Y = t["y"][j];
        const double along = ((X - x0) * (x1 - x0) + (Y - y0) * (y1 - y0)) / span;
        if (std::fabs(along - span / 2) > 3.5) continue;
        const double c = along / span * (kW - 1);
        const int c0 = static_cast<int>(c);
        if (g["z"][c0].is_null() || g["z"][c0 + 1].is_null()) continue;
        const double z0 = g["z"][c0], z1 = g["z"][c0 + 1];
        const double z = z0 + (z1 - z0) * (c - c0);
        mean += 1000 * std::fabs(z - t["z"][j].get<double>()), ++n;
      }
      ASSERT_GT(n, 50) << surface;
      EXPECT_LT(mean / n, kDewarpedPointUm) << surface << " B-scan " << b;
    }
  }
  const std::string csv = Slurp(dir_ / "res" / "dewarped.csv");
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 1 + 2 * kW);
  // A scanner file's fields replace the preset's.
  ASSERT_EQ(Talvex("segment-cornea scan --dewarp --scanner scanner.json -q -o res2").code, 0);
  EXPECT_EQ(json::parse(Slurp(dir_ / "res2" / "dewarped.json"))["dewarpedAscanLength"], 1536);
}

TEST_F(TalvexCli, ReadsOneBscanIdenticallyFromPngTiffAndBmpAndAloneOrInAScan) {
  Synth(2);
  WriteTiff(dir_ / "grey16.tif", 16, 1);
  WriteTiff(dir_ / "rgb8.tiff", 8, 3);
  WriteBmp(dir_ / "grey.bmp");
  WritePng(dir_ / "grey16.png", 16, 1);
  WritePng(dir_ / "rgb8.png", 8, 3);
  ASSERT_EQ(Talvex("segment-cornea scan -o all -q --no-overlays").code, 0);
  const json all = Result("all")["bscans"][0];
  for (const char* file :
       {"scan/bscan_000.png", "grey16.png", "rgb8.png", "grey16.tif", "rgb8.tiff", "grey.bmp"}) {
    const Outcome r = Talvex(std::string("segment-cornea ") + file + " -o one -q --no-overlays");
    ASSERT_EQ(r.code, 0) << file << ": " << r.err;
    const json one = Result("one")["bscans"][0];
    for (const char* key : {"anterior", "posterior", "anteriorConfidence", "posteriorConfidence"})
      EXPECT_EQ(one[key], all[key]) << file << " " << key;
  }
}

// Grey rows of a JPEG decoded by libjpeg (the reference the program must reproduce).
std::vector<std::uint8_t> DecodeJpegFile(const fs::path& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  jpeg_decompress_struct d;
  jpeg_error_mgr err;
  d.err = jpeg_std_error(&err);
  jpeg_create_decompress(&d);
  jpeg_stdio_src(&d, f);
  jpeg_read_header(&d, TRUE);
  d.out_color_space = JCS_GRAYSCALE;
  jpeg_start_decompress(&d);
  std::vector<std::uint8_t> grey(size_t(d.output_width) * d.output_height);
  while (d.output_scanline < d.output_height) {
    JSAMPROW row = &grey[size_t(d.output_scanline) * d.output_width];
    jpeg_read_scanlines(&d, &row, 1);
  }
  jpeg_finish_decompress(&d);
  jpeg_destroy_decompress(&d);
  std::fclose(f);
  return grey;
}

// RGB rows of an overlay PNG (libpng's simplified reader).
std::vector<std::uint8_t> ReadRgbPng(const fs::path& path) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
  image.format = PNG_FORMAT_RGB;
  std::vector<std::uint8_t> pixels(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) return {};
  return pixels;
}

TEST_F(TalvexCli, ReadsBaselineProgressiveAndColourJpegsAsTheirDecodedGrey) {
  Synth(1);
  WriteJpeg(dir_ / "base.jpg", false, false);
  WriteJpeg(dir_ / "prog.jpeg", true, false);
  WriteJpeg(dir_ / "rgb.JPG", false, true);
  const std::vector<std::uint8_t> reference = DecodeJpegFile(dir_ / "base.jpg");
  json first;
  for (const char* file : {"base.jpg", "prog.jpeg", "rgb.JPG"}) {
    const Outcome r = Talvex(std::string("segment-cornea ") + file + " -o one -q");
    ASSERT_EQ(r.code, 0) << file << ": " << r.err;
    // Away from the drawn surfaces the overlay shows the grey the program read.
    const std::vector<std::uint8_t> rgb = ReadRgbPng(dir_ / "one" / "overlay_000.png");
    ASSERT_EQ(rgb.size(), size_t(kW) * kL * 3);
    const std::vector<std::uint8_t> want =
        std::string(file) == "base.jpg" ? reference : DecodeJpegFile(dir_ / file);
    size_t grey = 0, same = 0;
    for (size_t i = 0; i < want.size(); ++i)
      if (rgb[3 * i] == rgb[3 * i + 1] && rgb[3 * i] == rgb[3 * i + 2])
        ++grey, same += rgb[3 * i] == want[i];
    EXPECT_GT(grey, want.size() * 95 / 100) << file;
    EXPECT_EQ(same, grey) << file;
    const json one = Result("one")["bscans"][0];
    if (first.is_null()) first = one;
    EXPECT_NEAR(one["centralThicknessMicron"].get<double>(),
                truth_["bscans"][0]["thicknessUm"][kW / 2].get<double>(), kThicknessUm)
        << file;
    fs::remove_all(dir_ / "one");
  }
  // A grey picture stored as colour decodes to the same grey: identical surfaces.
  ASSERT_EQ(Talvex("segment-cornea rgb.JPG -o c -q --no-overlays").code, 0);
  EXPECT_EQ(Result("c")["bscans"][0]["anterior"], first["anterior"]);
  // A folder takes .jpg and .jpeg files, whatever the case of the extension.
  const Outcome r = Talvex("segment-cornea . -o all -q --no-overlays");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(Result("all")["numBscans"], 3);
}

TEST_F(TalvexCli, RepeatsBitForBitAndTakesPresetThenFileThenOptions) {
  Synth(1);
  ASSERT_EQ(Talvex("segment-cornea scan -o a -q --seed 7").code, 0);
  ASSERT_EQ(Talvex("segment-cornea scan -o b -q --seed 7").code, 0);
  EXPECT_EQ(Slurp(dir_ / "a" / "cornea.json"), Slurp(dir_ / "b" / "cornea.json"));
  EXPECT_EQ(Slurp(dir_ / "a" / "overlay_000.png"), Slurp(dir_ / "b" / "overlay_000.png"));

  std::ofstream(dir_ / "p.json") << R"({"lateralSubsample": 4, "depthMicron": 3000})";
  const Outcome r = Talvex(
      "segment-cornea --preset radial640 --params p.json --depth-um 2500 "
      "--print-params");
  ASSERT_EQ(r.code, 0) << r.err;
  const json p = json::parse(r.out);
  EXPECT_EQ(p["lateralSubsample"], 4);
  EXPECT_EQ(p["depthMicron"], 2500);
  EXPECT_EQ(p["corrCoeffThresh"], 0.9);
  EXPECT_EQ(p.size(), 42u);
}

TEST_F(TalvexCli, ReportsNoCorneaAndItsReasonAndRecordsTheLevelsItUsed) {
  ASSERT_EQ(Talvex("synth --no-cornea half-plane --frames 2 --out nc").code, 0);
  const Outcome none = Talvex("segment-cornea nc -o none --no-overlays");
  ASSERT_EQ(none.code, 0) << none.err;
  EXPECT_NE(none.out.find("no surface: no cornea evidence"), std::string::npos) << none.out;
  EXPECT_NE(none.out.find("no cornea found"), std::string::npos) << none.out;
  EXPECT_EQ(none.out.find("thickness"), std::string::npos) << none.out;
  const json n = json::parse(Slurp(dir_ / "none" / "cornea.json"));
  EXPECT_EQ(n["bscans"][0]["status"], "no cornea evidence");
  EXPECT_TRUE(n["bscans"][0]["centralThicknessMicron"].is_null());

  Synth(1);
  ASSERT_EQ(Talvex("segment-cornea scan -o auto -q").code, 0);
  ASSERT_EQ(Talvex("segment-cornea scan -o kept -q --levels preset --refine-peaks").code, 0);
  const json a = json::parse(Slurp(dir_ / "auto" / "cornea.json"));
  const json k = json::parse(Slurp(dir_ / "kept" / "cornea.json"));
  EXPECT_EQ(a["levels"]["mode"], "auto");
  EXPECT_GE(a["levels"]["bscansMeasured"], 1);
  EXPECT_NEAR(a["levels"]["used"]["signal1Level_1"].get<double>(),
              a["parameters"]["signal1Level_1"].get<double>(), 1e-4);
  EXPECT_EQ(k["levels"]["mode"], "preset");
  EXPECT_EQ(k["levels"]["used"]["signal1Level_1"], 70.0);
  EXPECT_EQ(k["parameters"]["refineToReflectionPeaks"], true);
  EXPECT_EQ(a["bscans"][0]["status"], "segmented");
  EXPECT_FALSE(a["bscans"][0]["centralThicknessMicron"].is_null());
  EXPECT_EQ(Talvex("segment-cornea scan -o bad --levels device").code, 2);
}

// A broken input: the files it needs, the arguments, the exit code and a part of the message.
struct Broken {
  const char* name;
  const char* args;
  int code;
  const char* message;
};

TEST_F(TalvexCli, RefusesBrokenInputsWithTheirExitCodeAndLeavesNoResult) {
  using Talvex::Synthetic::WriteBscanPng;
  std::string error;
  const std::vector<std::uint8_t> grey(5000 * 64, 40);
  ASSERT_TRUE(WriteBscanPng((dir_ / "a.png").string(), grey.data(), 64, 64, &error));
  ASSERT_TRUE(WriteBscanPng((dir_ / "b.png").string(), grey.data(), 64, 80, &error));
  ASSERT_TRUE(WriteBscanPng((dir_ / "wide.png").string(), grey.data(), 5000, 64, &error));
  std::ofstream(dir_ / "zero.png").close();
  std::ofstream(dir_ / "text.png") << "This is not a picture.\n";
  const std::string png = Slurp(dir_ / "wide.png");
  std::ofstream(dir_ / "cut.png", std::ios::binary) << png.substr(0, png.size() / 2);
  std::ofstream(dir_ / "cut.bmp", std::ios::binary) << std::string("BM") + std::string(60, '\0');
  Synth(1);
  WriteJpeg(dir_ / "whole.jpg", false, false);
  const std::string jpeg = Slurp(dir_ / "whole.jpg");
  std::ofstream(dir_ / "cut.jpg", std::ios::binary) << jpeg.substr(0, jpeg.size() / 2);
  std::string scrambled = jpeg;  // the middle third of the entropy-coded data garbled
  for (size_t i = jpeg.size() / 3; i < 2 * jpeg.size() / 3; ++i) scrambled[i] ^= 0x5A;
  std::ofstream(dir_ / "bad.jpeg", std::ios::binary) << scrambled;
  std::string flat = jpeg;  // a frame header announcing 0 rows
  const size_t sof = flat.find("\xFF\xC0");
  ASSERT_NE(sof, std::string::npos);
  flat[sof + 5] = flat[sof + 6] = '\0';
  std::ofstream(dir_ / "flat.jpg", std::ios::binary) << flat;
  std::ofstream(dir_ / "p.json") << R"({"lateralSubsample": 2, "lateralSubsampel": 3})";
  std::ofstream(dir_ / "q.json") << R"({"gaussYsize": 4})";
  std::ofstream(dir_ / "s.json") << R"({"n_ref": 1.386, "half_fov": [4, 4]})";
  std::ofstream(dir_ / "t.json") << R"({"scan_sag": [0.1]})";
  fs::create_directories(dir_ / "empty");

  const Broken cases[] = {
      {"missing file", "gone.png", 3, "gone.png: no such file or folder."},
      {"folder without images", "empty", 3, "holds no .png, .tif, .tiff, .bmp, .jpg or .jpeg file"},
      {"zero-byte file", "zero.png", 4, "zero.png: the file is empty (0 bytes)."},
      {"truncated PNG", "cut.png", 4, "cut.png: PNG file is truncated or corrupt"},
      {"text named .png", "text.png", 4, "text.png: not a PNG, TIFF, BMP or JPEG image"},
      {"truncated JPEG", "cut.jpg", 4,
       "cut.jpg: JPEG file is truncated or corrupt (libjpeg: Premature end of JPEG file)."},
      {"corrupt JPEG", "bad.jpeg", 4, "bad.jpeg: JPEG file is truncated or corrupt (libjpeg: "},
      {"JPEG of no rows", "flat.jpg", 4,
       "flat.jpg: JPEG file is truncated or corrupt (libjpeg: Empty JPEG image"},
      {"truncated BMP", "cut.bmp", 4, "cut.bmp: BMP file is truncated"},
      {"mixed sizes", "a.png b.png", 5, "all B-scans of one scan must have the same size"},
      {"too wide", "wide.png", 5,
       "B-scan width of 5000 A-scans is above the 4096 the segmentation accepts"},
      {"unknown parameter", "a.png --params p.json", 6, "unknown parameter \"lateralSubsampel\""},
      {"even kernel", "a.png --params q.json", 6,
       "\"gaussYsize\" must be an odd integer from 1 to 99 (got 4)"},
      {"depth out of range", "a.png --depth-um 0", 6, "--depth-um must be an integer from 1"},
      {"unknown option", "a.png --colour red", 2, "--colour"},
      {"scanner without dewarping", "a.png --scanner s.json", 2, "--scanner needs --dewarp."},
      {"unknown scanner field", "a.png --dewarp --scanner s.json", 6,
       "s.json: unknown scanner field \"half_fov\""},
      {"scanner pair of one", "a.png --dewarp --scanner t.json", 6,
       "t.json: \"scan_sag\" must be a pair [a, b]."},
  };
  for (const Broken& c : cases) {
    const Outcome r = Talvex(std::string("segment-cornea ") + c.args + " -o res");
    EXPECT_EQ(r.code, c.code) << c.name << ": " << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.name << ": " << r.err;
    EXPECT_EQ(r.err.rfind("talvex: ", 0), 0u) << c.name;
    EXPECT_FALSE(fs::exists(dir_ / "res")) << c.name;
  }
}

TEST_F(TalvexCli, RemovesUnfinishedFilesWhenTheResultsCannotBeWritten) {
  Synth(1);
  // An output path that is a file, and a folder in the way of cornea.json (renamed last).
  std::ofstream(dir_ / "taken") << "keep";
  Outcome r = Talvex("segment-cornea scan -o taken -q");
  EXPECT_EQ(r.code, 8);
  EXPECT_NE(r.err.find("is not a folder"), std::string::npos) << r.err;
  EXPECT_EQ(Slurp(dir_ / "taken"), "keep");
  fs::create_directories(dir_ / "res" / "cornea.json" / "inside");
  r = Talvex("segment-cornea scan -o res -q");
  EXPECT_EQ(r.code, 8);
  EXPECT_NE(r.err.find("cannot move the finished file into place"), std::string::npos) << r.err;
  EXPECT_EQ(PartialFiles(), 0);
}

// A 64 x 100 grey-200 wide-field picture whose anterior surface dips to 10 samples at A-scan 32,
// posterior 15 below it, iris/lens at 70 (none at A-scan 40); mirror fold at 100 / 2 - 20 = 30.
TEST_F(TalvexCli, AttenuatesTheMirrorRegionsOfAWideFieldPicture) {
  constexpr int w = 64, l = 100;
  std::vector<std::uint8_t> grey(size_t(w) * l, 200);
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = w, image.height = l, image.format = PNG_FORMAT_GRAY;
  ASSERT_TRUE(
      png_image_write_to_file(&image, (dir_ / "wide.png").c_str(), 0, grey.data(), 0, nullptr));
  json layers;
  for (int i = 0; i < w; ++i) {
    const double a = 10 + (i - 32) * (i - 32) / 64.0;
    layers["anterior"].push_back(a);
    layers["posterior"].push_back(a + 15);
    layers["irisLens"].push_back(i == 40 ? json(nullptr) : json(70));
  }
  std::ofstream(dir_ / "layers.json") << json{{"bscans", {layers}}}.dump();
  const Outcome r = Talvex("attenuate-mirror wide.png layers.json --percent 0.5 -o out");
  ASSERT_EQ(r.code, 0) << r.err;
  png_image read{};
  read.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_file(&read, (dir_ / "out" / "attenuated.png").c_str()));
  read.format = PNG_FORMAT_GRAY;
  std::vector<std::uint8_t> out(PNG_IMAGE_SIZE(read));
  ASSERT_TRUE(png_image_finish_read(&read, nullptr, out.data(), 0, nullptr));
  ASSERT_EQ(read.width * read.height, unsigned(w * l));
  const auto at = [&](int ascan, int depth) { return int(out[size_t(depth) * w + ascan]); };
  EXPECT_EQ(at(32, 5), 100);   // above the anterior surface
  EXPECT_EQ(at(0, 20), 100);   // above the anterior surface at the edge (26 samples deep)
  EXPECT_EQ(at(32, 37), 100);  // between the posterior (25) and the mirrored anterior (50)
  EXPECT_EQ(at(40, 37), 200);  // the same, but no iris/lens there
  EXPECT_EQ(at(32, 80), 200);  // below the mirror image
  // Layers of another width than the picture: exit code 5 and no result.
  layers["irisLens"].erase(0);
  std::ofstream(dir_ / "short.json") << layers.dump();
  const Outcome bad = Talvex("attenuate-mirror wide.png short.json -o out2");
  EXPECT_EQ(bad.code, 5);
  EXPECT_NE(bad.err.find("the layers hold 63 values, the picture has 64 A-scans"),
            std::string::npos)
      << bad.err;
  EXPECT_FALSE(fs::exists(dir_ / "out2"));
}

TEST_F(TalvexCli, DocumentsItsCommandsAndExitCodes) {
  Outcome r = Talvex("--help");
  EXPECT_EQ(r.code, 0);
  for (const char* text : {"segment-cornea", "synth", "Exit codes:", "  5  images of different"})
    EXPECT_NE(r.out.find(text), std::string::npos) << text;
  r = Talvex("synth --help");
  EXPECT_EQ(r.code, 0);
  EXPECT_NE(r.out.find("Usage: talvex synth"), std::string::npos);
  r = Talvex("synth --meridians zero");
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("Invalid value 'zero' for --meridians."), std::string::npos) << r.err;
  EXPECT_EQ(Talvex("").code, 2);
}

}  // namespace

// `talvex pachymetry` on the folder of `talvex synth` (Gullstrand eye, 8 meridians): the truth
// file gives the angles and the geometry; the map, its sectors and the power match the truth.
class TalvexPachymetryCli : public TalvexCli {};

TEST_F(TalvexPachymetryCli, MapsASyntheticEyeFolderAndWritesPictureArrayJsonAndCsv) {
  Synth(8);
  const Outcome r = Talvex("pachymetry scan -o res --side OD -q");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "");
  const json j = json::parse(Slurp(dir_ / "res" / "pachymetry.json"));
  EXPECT_EQ(j["scan"]["source"], "synthetic eye");
  EXPECT_EQ(j["scan"]["anglesDeg"].size(), 8u);
  // Gullstrand: 500 um at the centre, a little more over the 2 mm disc.
  const json& centre = j["pachymetry"]["subfields"][0];
  EXPECT_NEAR(centre["meanUm"].get<double>(), 502.0, 4.0);
  EXPECT_EQ(j["pachymetry"]["subfields"].size(), 17u);
  EXPECT_NEAR(j["power"]["totalD"].get<double>(), truth_["fitPower"]["totalD"].get<double>(), 0.3);
  // The array: a version 1.0 NPY of 1024 x 1024 float32, the header padded to 64 bytes.
  const std::string npy = Slurp(dir_ / "res" / "pachymetry.npy");
  ASSERT_GT(npy.size(), 10u);
  EXPECT_EQ(npy.substr(0, 8), std::string("\x93NUMPY\x01\x00", 8));
  const std::size_t header = std::uint8_t(npy[8]) | std::uint8_t(npy[9]) << 8;
  EXPECT_EQ((10 + header) % 64, 0u);
  EXPECT_NE(npy.find("'shape': (1024, 1024)"), std::string::npos);
  ASSERT_EQ(npy.size(), 10 + header + 1024u * 1024u * 4u);
  const int column = static_cast<int>(j["map"]["centreColumn"].get<double>());
  const int row = static_cast<int>(j["map"]["centreRow"].get<double>());
  float value;
  std::memcpy(&value, npy.data() + 10 + header + (std::size_t(row) * 1024 + column) * 4, 4);
  EXPECT_NEAR(value, 500.0f, 3.0f);
  const std::string csv = Slurp(dir_ / "res" / "pachymetry_subfields.csv");
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 18);
  EXPECT_TRUE(fs::exists(dir_ / "res" / "pachymetry.png"));
  EXPECT_FALSE(fs::exists(dir_ / "res" / "epithelium.png"));
}

TEST_F(TalvexPachymetryCli, RefusesScansWithoutAnglesOrMeridiansAndLeavesNoResult) {
  Synth(2);
  fs::create_directories(dir_ / "pictures");
  for (const char* name : {"bscan_000.png", "bscan_001.png"})
    fs::copy_file(dir_ / "scan" / name, dir_ / "pictures" / name);
  struct Case {
    std::string args;
    int code;
    std::string message;
  };
  const Case cases[] = {
      {"pachymetry missing -o res", 3, "missing: no such file or folder."},
      {"pachymetry pictures -o res", 2, "the meridian angles are missing"},
      {"pachymetry pictures --angles 0,90 --radial -o res", 2, "not both"},
      {"pachymetry pictures --angles 0,45,90 -o res", 2, "3 angle(s) for 2 B-scan(s)"},
      {"pachymetry pictures/bscan_000.png --angles 0 -o res", 5, "at least 2 meridians"},
      {"pachymetry scan --side XY -o res", 2, "--side must be OD or OS."},
      {"pachymetry scan --width-um 0 -o res", 6, "--width-um must be an integer"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    const Outcome r = Talvex(c.args);
    EXPECT_EQ(r.code, c.code) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir_ / "res"));
  }
}
