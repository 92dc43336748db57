// Reading B-scan pictures (PNG through libpng, TIFF through libtiff, BMP through stb_image, JPEG
// through libjpeg-turbo) as 8-bit grey. Overlays are written with the tools' shared PNG writer
// (tools/imaging/ImageCodecs.h).
//
// A B-scan picture has depth running downward and one A-scan per image column. Grey images are
// taken as they are; colour is converted to grey with the usual luma weights (about 0.30 R,
// 0.59 G, 0.11 B); 16-bit samples are scaled down to 8 bits; palettes are expanded; alpha is
// dropped; a multi-page TIFF gives its first page; JPEGs are 8-bit baseline, progressive or
// arithmetic-coded, and corrupt data that libjpeg would only warn about is refused. The format is
// recognised from the first bytes of the file, not from its name.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Talvex::Cli {

// An 8-bit grey picture, row after row (row = depth sample, column = A-scan).
struct GreyImage {
  int width = 0;   // columns = A-scans
  int height = 0;  // rows = samples per A-scan
  std::vector<std::uint8_t> pixels;
};

// Largest picture read, in pixels (and at most 65535 per side): a guard against headers that
// announce absurd sizes.
constexpr long long kMaxImagePixels = 1LL << 26;

// Reads the picture at path. Throws CliError: ExitCode::InputMissing when the file cannot be
// opened, ExitCode::BadImage when it is empty, not a PNG, TIFF, BMP or JPEG file, truncated,
// corrupt or of an unsupported layout; the message names the file.
GreyImage ReadGreyImage(const std::string& path);

}  // namespace Talvex::Cli
