// The shared PNG writer and the in-memory JPEG codec. libpng and libjpeg report errors through a
// long jump: each library call sequence lives in a function of its own whose state all sits in a
// struct owned by the caller, so that a jump crosses no destructor, and the caller releases the
// library's objects on every path.
#include "tools/imaging/ImageCodecs.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

// jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>

namespace Talvex::Tools {

namespace {

// ---- PNG -----------------------------------------------------------------------------------

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

struct PngWriteState {
  char message[256] = {0};
  std::vector<png_bytep> rows;
};

void PngWriteError(png_structp png, png_const_charp message) {
  auto* s = static_cast<PngWriteState*>(png_get_error_ptr(png));
  std::snprintf(s->message, sizeof s->message, "%s", message);
  png_longjmp(png, 1);
}

void PngWriteWarning(png_structp, png_const_charp) {}

bool EncodePng(png_structp png, png_infop info, std::FILE* file, PngWriteState* s, int width,
               int height, int channels, int level) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_init_io(png, file);
  png_set_compression_level(png, level);
  if (level <= 2) png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
  png_set_IHDR(png, info, width, height, 8,
               channels == 3 ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_write_image(png, s->rows.data());
  png_write_end(png, nullptr);
  return true;
}

// ---- JPEG ----------------------------------------------------------------------------------

struct JpegErrors {
  jpeg_error_mgr manager;  // first member: libjpeg hands back a pointer to it
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX] = {0};
};

[[noreturn]] void JpegErrorExit(j_common_ptr c) {
  auto* e = reinterpret_cast<JpegErrors*>(c->err);
  (*c->err->format_message)(c, e->message);
  std::longjmp(e->jump, 1);
}

// Level -1 is a warning about corrupt data (libjpeg would go on and fill in grey): refused.
// Trace messages (levels 0 and up) are dropped.
void JpegEmitMessage(j_common_ptr c, int level) {
  if (level < 0) JpegErrorExit(c);
}

void JpegOutputMessage(j_common_ptr) {}

void InstallErrors(JpegErrors* e) {
  jpeg_std_error(&e->manager);
  e->manager.error_exit = JpegErrorExit;
  e->manager.emit_message = JpegEmitMessage;
  e->manager.output_message = JpegOutputMessage;
}

// The encoder's state; the destructor releases libjpeg's objects and its output buffer on every
// path, a thrown exception included.
struct JpegEncodeState {
  JpegErrors errors;
  jpeg_compress_struct cinfo{};
  unsigned char* buffer = nullptr;  // malloc'ed by libjpeg's memory destination
  unsigned long size = 0;
  JpegEncodeState() {
    InstallErrors(&errors);
    cinfo.err = &errors.manager;
  }
  ~JpegEncodeState() {
    jpeg_destroy_compress(&cinfo);  // harmless when jpeg_create_compress never ran (mem is null)
    std::free(buffer);
  }
  JpegEncodeState(const JpegEncodeState&) = delete;
  JpegEncodeState& operator=(const JpegEncodeState&) = delete;
};

bool RunEncode(JpegEncodeState* s, const std::uint8_t* pixels, int width, int height, int quality,
               bool progressive) {
  if (setjmp(s->errors.jump)) return false;
  jpeg_create_compress(&s->cinfo);
  jpeg_mem_dest(&s->cinfo, &s->buffer, &s->size);
  s->cinfo.image_width = static_cast<JDIMENSION>(width);
  s->cinfo.image_height = static_cast<JDIMENSION>(height);
  s->cinfo.input_components = 1;
  s->cinfo.in_color_space = JCS_GRAYSCALE;
  jpeg_set_defaults(&s->cinfo);
  jpeg_set_quality(&s->cinfo, quality, TRUE);
  if (progressive) jpeg_simple_progression(&s->cinfo);
  jpeg_start_compress(&s->cinfo, TRUE);
  while (s->cinfo.next_scanline < s->cinfo.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(pixels + static_cast<size_t>(s->cinfo.next_scanline) *
                                                     static_cast<size_t>(width));
    jpeg_write_scanlines(&s->cinfo, &row, 1);
  }
  jpeg_finish_compress(&s->cinfo);
  return true;
}

struct JpegDecodeState {
  JpegErrors errors;
  jpeg_decompress_struct cinfo{};
  bool tooLarge = false;
  JpegDecodeState() {
    InstallErrors(&errors);
    cinfo.err = &errors.manager;
  }
  ~JpegDecodeState() { jpeg_destroy_decompress(&cinfo); }
  JpegDecodeState(const JpegDecodeState&) = delete;
  JpegDecodeState& operator=(const JpegDecodeState&) = delete;
};

bool RunDecode(JpegDecodeState* s, const std::uint8_t* data, std::size_t size, long long maxPixels,
               Picture* out) {
  if (setjmp(s->errors.jump)) return false;
  jpeg_create_decompress(&s->cinfo);
  jpeg_mem_src(&s->cinfo, data, static_cast<unsigned long>(size));
  jpeg_read_header(&s->cinfo, TRUE);
  out->width = static_cast<int>(s->cinfo.image_width);
  out->height = static_cast<int>(s->cinfo.image_height);
  if (static_cast<long long>(s->cinfo.image_width) * s->cinfo.image_height > maxPixels) {
    s->tooLarge = true;
    return false;
  }
  s->cinfo.out_color_space = s->cinfo.jpeg_color_space == JCS_GRAYSCALE ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_start_decompress(&s->cinfo);
  out->channels = s->cinfo.output_components;
  out->pixels.resize(static_cast<size_t>(out->width) * out->height * out->channels);
  while (s->cinfo.output_scanline < s->cinfo.output_height) {
    JSAMPROW row = out->pixels.data() + static_cast<size_t>(s->cinfo.output_scanline) *
                                            static_cast<size_t>(out->width) * out->channels;
    jpeg_read_scanlines(&s->cinfo, &row, 1);
  }
  jpeg_finish_decompress(&s->cinfo);
  return true;
}

}  // namespace

bool WritePng(const std::string& path, const std::uint8_t* pixels, int width, int height,
              int channels, int compressionLevel, std::string* error) {
  if (width < 1 || height < 1 || (channels != 1 && channels != 3) || compressionLevel < 0 ||
      compressionLevel > 9) {
    *error = "cannot write " + path + ": invalid picture size, channels or compression level.";
    return false;
  }
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
  if (!file) {
    *error = "cannot open " + path + " for writing: " + std::strerror(errno) + ".";
    return false;
  }
  PngWriteState state;
  png_structp png =
      png_create_write_struct(PNG_LIBPNG_VER_STRING, &state, PngWriteError, PngWriteWarning);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info) {
    png_destroy_write_struct(&png, nullptr);
    *error = "cannot write " + path + " (libpng: cannot create the writer).";
    return false;
  }
  state.rows.resize(height);
  for (int r = 0; r < height; ++r)
    state.rows[r] = const_cast<png_bytep>(pixels + static_cast<size_t>(r) * width * channels);
  const bool ok =
      EncodePng(png, info, file.get(), &state, width, height, channels, compressionLevel);
  png_destroy_write_struct(&png, &info);
  const bool closed = std::fclose(file.release()) == 0;
  if (!ok || !closed) {
    *error = "cannot write " + path +
             (ok ? std::string(".") : " (libpng: " + std::string(state.message) + ").");
    return false;
  }
  return true;
}

bool EncodeGreyJpeg(const std::uint8_t* pixels, int width, int height, int quality,
                    bool progressive, std::vector<std::uint8_t>* jpeg, std::string* error) {
  if (width < 1 || height < 1 || width > 65500 || height > 65500 || quality < 1 || quality > 100) {
    *error = "JPEG encoding: invalid picture size or quality.";
    return false;
  }
  JpegEncodeState state;
  if (!RunEncode(&state, pixels, width, height, quality, progressive)) {
    *error = std::string("JPEG encoding failed (libjpeg: ") + state.errors.message + ").";
    return false;
  }
  jpeg->assign(state.buffer, state.buffer + state.size);
  return true;
}

bool DecodeJpeg(const std::uint8_t* data, std::size_t size, long long maxPixels, Picture* out,
                std::string* error) {
  *out = Picture();
  JpegDecodeState state;
  if (RunDecode(&state, data, size, maxPixels, out)) return true;
  out->channels = 0;
  out->pixels.clear();
  *error = state.tooLarge ? std::string("too large") : std::string(state.errors.message);
  return false;
}

}  // namespace Talvex::Tools
