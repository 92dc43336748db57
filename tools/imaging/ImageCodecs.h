// Picture codecs shared by the tools: one PNG writer (grey or RGB, to a file) and an in-memory
// JPEG encoder and decoder (8-bit, grey or colour), all through Debian's libpng and
// libjpeg(-turbo). Library failures come back as messages; no codec prints on its own or ends the
// process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Talvex::Tools {

// zlib level of a PNG: 0 (store) to 9 (smallest); levels 0 to 2 also restrict the row filter to
// Sub, which writes speckled pictures several times faster at a few percent more bytes.
constexpr int kPngDefaultCompression = 6;
constexpr int kPngFastCompression = 1;

// Writes an 8-bit PNG of width x height pixels with 1 (grey) or 3 (RGB) bytes per pixel, row
// after row. Returns false with *error naming the file (and libpng's message when libpng failed).
bool WritePng(const std::string& path, const std::uint8_t* pixels, int width, int height,
              int channels, int compressionLevel, std::string* error);

// An 8-bit picture, row after row, `channels` bytes per pixel (1 grey, 3 RGB).
struct Picture {
  int width = 0, height = 0, channels = 0;
  std::vector<std::uint8_t> pixels;
};

// Encodes a grey picture (width x height bytes, row after row) as a JPEG of quality 1 to 100,
// baseline or progressive, into *jpeg. Returns false with *error on failure.
bool EncodeGreyJpeg(const std::uint8_t* pixels, int width, int height, int quality,
                    bool progressive, std::vector<std::uint8_t>* jpeg, std::string* error);

// Decodes an 8-bit JPEG (baseline, progressive or arithmetic-coded) held in memory: grey files
// to one channel, colour (YCbCr or RGB) to three. Corrupt or truncated data is refused, also
// where libjpeg would only warn and fill in grey. A picture of more than maxPixels pixels is not
// decoded: the result then has its width and height, no pixels, and false is returned with
// *error "too large". Returns false with libjpeg's message in *error on failure.
bool DecodeJpeg(const std::uint8_t* data, std::size_t size, long long maxPixels, Picture* out,
                std::string* error);

}  // namespace Talvex::Tools
