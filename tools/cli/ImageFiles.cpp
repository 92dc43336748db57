// Picture input through Debian's image libraries. Each decoder is kept behind a small function that
// turns every library failure into a CliError naming the file; no library is allowed to print or
// end the process on its own.
#include "tools/cli/ImageFiles.h"

#include <png.h>
#include <stb_image.h>
#include <tiffio.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <system_error>

#include "tools/cli/CliError.h"
#include "tools/imaging/ImageCodecs.h"

namespace Talvex::Cli {

namespace {

constexpr int kMaxSide = 65535;
// Luma weights 0.299 / 0.587 / 0.114 in 1/256 (they add up to 256, so grey stays grey).
constexpr unsigned kLumaR = 77, kLumaG = 150, kLumaB = 29;

[[noreturn]] void Fail(ExitCode code, const std::string& path, const std::string& what) {
  throw CliError(code, path + ": " + what);
}

void CheckSize(const std::string& path, long long width, long long height) {
  if (width < 1 || height < 1) Fail(ExitCode::BadImage, path, "the image has no pixels.");
  if (width > kMaxSide || height > kMaxSide || width * height > kMaxImagePixels)
    Fail(ExitCode::BadImage, path,
         "image of " + std::to_string(width) + " x " + std::to_string(height) +
             " pixels is larger than this program reads (" + std::to_string(kMaxImagePixels) +
             " pixels, 65535 per side).");
}

std::vector<std::uint8_t> ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) Fail(ExitCode::InputMissing, path, "cannot open the file.");
  const std::streamoff size = in.tellg();
  if (size < 0) Fail(ExitCode::InputMissing, path, "cannot read the file.");
  if (size > (1LL << 30)) Fail(ExitCode::BadImage, path, "file larger than 1 GiB.");
  std::vector<std::uint8_t> bytes(static_cast<size_t>(size));
  in.seekg(0);
  if (size > 0 && !in.read(reinterpret_cast<char*>(bytes.data()), size))
    Fail(ExitCode::InputMissing, path, "cannot read the file.");
  return bytes;
}

// ---- PNG -----------------------------------------------------------------------------------

struct PngReadState {
  const std::vector<std::uint8_t>* bytes = nullptr;
  size_t position = 0;
  char message[256] = {0};
  png_uint_32 width = 0, height = 0;
  bool tooLarge = false;
  std::vector<std::uint8_t>* pixels = nullptr;
  std::vector<png_bytep> rows;  // owned here: a long jump must not skip a destructor
};

void PngReadFromMemory(png_structp png, png_bytep out, png_size_t length) {
  auto* s = static_cast<PngReadState*>(png_get_io_ptr(png));
  if (length > s->bytes->size() - s->position) png_error(png, "the file ends early");
  std::memcpy(out, s->bytes->data() + s->position, length);
  s->position += length;
}

void PngError(png_structp png, png_const_charp message) {
  auto* s = static_cast<PngReadState*>(png_get_error_ptr(png));
  std::snprintf(s->message, sizeof s->message, "%s", message);
  png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

// The libpng calls, kept apart so that the long jump of an error crosses only this frame, whose
// state all lives in *s. Returns false with s->message set on a libpng error.
bool DecodePng(png_structp png, png_infop info, PngReadState* s) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_read_fn(png, s, PngReadFromMemory);
  png_set_user_limits(png, kMaxSide, kMaxSide);
  png_read_info(png, info);
  s->width = png_get_image_width(png, info);
  s->height = png_get_image_height(png, info);
  if (static_cast<long long>(s->width) * s->height > kMaxImagePixels) {
    s->tooLarge = true;
    return true;
  }
  const int colorType = png_get_color_type(png, info);
  const int bitDepth = png_get_bit_depth(png, info);
  if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if (colorType == PNG_COLOR_TYPE_GRAY && bitDepth < 8) png_set_expand_gray_1_2_4_to_8(png);
  if (bitDepth == 16) png_set_scale_16(png);
  if ((colorType & PNG_COLOR_MASK_ALPHA) != 0) png_set_strip_alpha(png);
  if ((colorType & PNG_COLOR_MASK_COLOR) != 0)
    png_set_rgb_to_gray_fixed(png, 1, 29900, 58700);  // red and green weights in 1/100000
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (png_get_rowbytes(png, info) != s->width || png_get_channels(png, info) != 1)
    png_error(png, "unsupported pixel layout");
  s->pixels->resize(static_cast<size_t>(s->width) * s->height);
  s->rows.resize(s->height);
  for (png_uint_32 r = 0; r < s->height; ++r)
    s->rows[r] = s->pixels->data() + static_cast<size_t>(r) * s->width;
  png_read_image(png, s->rows.data());
  png_read_end(png, nullptr);
  return true;
}

GreyImage ReadPng(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  GreyImage image;
  PngReadState state;
  state.bytes = &bytes;
  state.pixels = &image.pixels;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &state, PngError, PngWarning);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    throw std::bad_alloc();
  }
  const bool ok = DecodePng(png, info, &state);
  png_destroy_read_struct(&png, &info, nullptr);
  if (!ok)
    Fail(ExitCode::BadImage, path,
         std::string("PNG file is truncated or corrupt (libpng: ") + state.message + ").");
  CheckSize(path, state.width, state.height);
  image.width = static_cast<int>(state.width);
  image.height = static_cast<int>(state.height);
  return image;
}

// ---- TIFF ----------------------------------------------------------------------------------

struct TiffMessages {
  std::string first;  // the first error libtiff reported
};

int TiffError(TIFF*, void* user, const char* module, const char* format, va_list args) {
  auto* m = static_cast<TiffMessages*>(user);
  if (m->first.empty()) {
    char text[256];
    std::vsnprintf(text, sizeof text, format, args);
    m->first = (module != nullptr && *module != '\0' ? std::string(module) + ": " : "") + text;
  }
  return 1;  // handled: libtiff prints nothing
}

int TiffWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct TiffCloser {
  void operator()(TIFF* t) const { TIFFClose(t); }
};

GreyImage ReadTiff(const std::string& path) {
  TiffMessages messages;
  TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
  if (options == nullptr) throw std::bad_alloc();
  TIFFOpenOptionsSetErrorHandlerExtR(options, TiffError, &messages);
  TIFFOpenOptionsSetWarningHandlerExtR(options, TiffWarning, nullptr);
  std::unique_ptr<TIFF, TiffCloser> tif(TIFFOpenExt(path.c_str(), "r", options));
  TIFFOpenOptionsFree(options);
  auto corrupt = [&]() {
    Fail(ExitCode::BadImage, path,
         "TIFF file is truncated or corrupt (libtiff: " +
             (messages.first.empty() ? std::string("unreadable") : messages.first) + ").");
  };
  if (!tif) corrupt();
  std::uint32_t width = 0, height = 0;
  if (TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &width) != 1 ||
      TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &height) != 1)
    corrupt();
  CheckSize(path, width, height);
  std::uint16_t sampleFormat = SAMPLEFORMAT_UINT;
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_SAMPLEFORMAT, &sampleFormat);
  char reason[1024] = {0};
  if (sampleFormat != SAMPLEFORMAT_UINT || TIFFRGBAImageOK(tif.get(), reason) != 1)
    Fail(ExitCode::BadImage, path,
         std::string("unsupported TIFF layout (") +
             (reason[0] != '\0' ? reason : "samples are not unsigned integers") + ").");
  // libtiff's RGBA reader handles every strip, tile, compression and photometric layout and
  // scales 16-bit samples to 8 bits; grey comes back as equal R, G and B.
  std::vector<std::uint32_t> raster(static_cast<size_t>(width) * height);
  if (TIFFReadRGBAImageOriented(tif.get(), width, height, raster.data(), ORIENTATION_TOPLEFT, 1) !=
      1)
    corrupt();
  GreyImage image;
  image.width = static_cast<int>(width);
  image.height = static_cast<int>(height);
  image.pixels.resize(raster.size());
  for (size_t i = 0; i < raster.size(); ++i) {
    const std::uint32_t p = raster[i];
    image.pixels[i] = static_cast<std::uint8_t>(
        (kLumaR * TIFFGetR(p) + kLumaG * TIFFGetG(p) + kLumaB * TIFFGetB(p) + 128) >> 8);
  }
  return image;
}

// ---- JPEG ----------------------------------------------------------------------------------

GreyImage ReadJpeg(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  Tools::Picture picture;
  std::string message;
  if (!Tools::DecodeJpeg(bytes.data(), bytes.size(), kMaxImagePixels, &picture, &message)) {
    if (message == "too large") CheckSize(path, picture.width, picture.height);  // names the size
    Fail(ExitCode::BadImage, path, "JPEG file is truncated or corrupt (libjpeg: " + message + ").");
  }
  CheckSize(path, picture.width, picture.height);
  GreyImage image;
  image.width = picture.width;
  image.height = picture.height;
  if (picture.channels == 1) {
    image.pixels = std::move(picture.pixels);
    return image;
  }
  image.pixels.resize(static_cast<size_t>(image.width) * image.height);
  for (size_t i = 0; i < image.pixels.size(); ++i) {
    const std::uint8_t* p = &picture.pixels[3 * i];
    image.pixels[i] =
        static_cast<std::uint8_t>((kLumaR * p[0] + kLumaG * p[1] + kLumaB * p[2] + 128) >> 8);
  }
  return image;
}

// ---- BMP -----------------------------------------------------------------------------------

std::uint32_t Le(const std::vector<std::uint8_t>& b, size_t at, int bytes) {
  std::uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | b[at + i];
  return v;
}

// stb_image fills missing pixel data of an uncompressed BMP with zeros instead of failing, so
// the length of the pixel array is checked here against the header first.
void CheckBmpLength(const std::string& path, const std::vector<std::uint8_t>& b) {
  if (b.size() < 26) Fail(ExitCode::BadImage, path, "BMP file is truncated (header).");
  const std::uint32_t offset = Le(b, 10, 4), headerSize = Le(b, 14, 4);
  long long width = 0, height = 0, bpp = 0, compression = 0;
  if (headerSize == 12) {
    width = Le(b, 18, 2);
    height = Le(b, 20, 2);
    bpp = Le(b, 24, 2);
  } else if (headerSize >= 40 && b.size() >= 34) {
    width = static_cast<std::int32_t>(Le(b, 18, 4));
    height = static_cast<std::int32_t>(Le(b, 22, 4));
    bpp = Le(b, 28, 2);
    compression = Le(b, 30, 4);
  } else {
    Fail(ExitCode::BadImage, path, "BMP file is truncated or has an unknown header.");
  }
  if (height < 0) height = -height;
  const bool uncompressed = compression == 0 || compression == 3 || compression == 6;
  if (!uncompressed || width <= 0 || width > kMaxSide || height > kMaxSide || bpp < 1 || bpp > 32)
    return;  // left to the decoder, which refuses what it cannot read
  const long long stride = (width * bpp + 31) / 32 * 4;
  if (static_cast<long long>(offset) + stride * height > static_cast<long long>(b.size()))
    Fail(ExitCode::BadImage, path, "BMP file is truncated (pixel data ends early).");
}

struct StbFree {
  void operator()(stbi_uc* p) const { stbi_image_free(p); }
};

GreyImage ReadBmp(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  CheckBmpLength(path, bytes);
  const int length = static_cast<int>(bytes.size());
  int width = 0, height = 0, channels = 0;
  if (stbi_info_from_memory(bytes.data(), length, &width, &height, &channels) != 1)
    Fail(ExitCode::BadImage, path,
         std::string("BMP file is corrupt or unsupported (") + stbi_failure_reason() + ").");
  CheckSize(path, width, height);
  std::unique_ptr<stbi_uc, StbFree> data(
      stbi_load_from_memory(bytes.data(), length, &width, &height, &channels, 1));
  if (!data)
    Fail(ExitCode::BadImage, path,
         std::string("BMP file is corrupt or unsupported (") + stbi_failure_reason() + ").");
  GreyImage image;
  image.width = width;
  image.height = height;
  image.pixels.assign(data.get(), data.get() + static_cast<size_t>(width) * height);
  return image;
}

}  // namespace

GreyImage ReadGreyImage(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec))
    Fail(ExitCode::InputMissing, path, "no such file or folder.");
  if (!std::filesystem::is_regular_file(path, ec))
    Fail(ExitCode::InputMissing, path, "not a regular file.");
  std::vector<std::uint8_t> bytes = ReadWholeFile(path);
  if (bytes.empty()) Fail(ExitCode::BadImage, path, "the file is empty (0 bytes).");
  static constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  auto startsWith = [&](const char* s, size_t n) {
    return bytes.size() >= n && std::memcmp(bytes.data(), s, n) == 0;
  };
  if (bytes.size() >= 8 && std::memcmp(bytes.data(), kPngSignature, 8) == 0)
    return ReadPng(path, bytes);
  if (startsWith("II*\0", 4) || startsWith("MM\0*", 4) || startsWith("II+\0", 4) ||
      startsWith("MM\0+", 4)) {
    bytes.clear();
    return ReadTiff(path);
  }
  if (startsWith("BM", 2)) return ReadBmp(path, bytes);
  if (startsWith("\xFF\xD8\xFF", 3)) return ReadJpeg(path, bytes);
  Fail(ExitCode::BadImage, path,
       "not a PNG, TIFF, BMP or JPEG image (the file does not start with any of their "
       "signatures).");
}

}  // namespace Talvex::Cli
