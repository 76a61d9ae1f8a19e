// PNG output of the preview: IHDR 1-bit greyscale, one row per bitmap row. libpng reports
// errors by longjmp, so the libpng calls live in one function that holds no C++ objects.
#include "orntool/preview_png.h"

#include <png.h>

#include <cstdio>
#include <cstring>

#include "orntool/preview_image.h"

namespace OrnTool {

namespace {

struct PngFailure {
  char message[256];
};

[[noreturn]] void onPngError(png_structp png, png_const_charp message) {
  auto* failure = static_cast<PngFailure*>(png_get_error_ptr(png));
  std::snprintf(failure->message, sizeof failure->message, "%s", message);
  png_longjmp(png, 1);
}

void onPngWarning(png_structp, png_const_charp) {}

// Returns false with failure->message set when libpng gave up.
bool writeRows(std::FILE* file, const Tesselin::Bitmap& bitmap, PngFailure* failure) {
  png_structp png =
      png_create_write_struct(PNG_LIBPNG_VER_STRING, failure, &onPngError, &onPngWarning);
  if (png == nullptr) {
    std::snprintf(failure->message, sizeof failure->message, "libpng could not start");
    return false;
  }
  png_infop info = png_create_info_struct(png);
  if (info == nullptr || setjmp(png_jmpbuf(png))) {
    if (info == nullptr) std::snprintf(failure->message, sizeof failure->message, "no memory");
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, file);
  png_set_compression_level(png, 9);
  png_set_IHDR(png, info, bitmap.width(), bitmap.height(), 1, PNG_COLOR_TYPE_GRAY,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  // In the bitmap 1 is black; in a 1-bit grey PNG 0 is.
  png_set_invert_mono(png);
  const uint8_t* data = bitmap.data().data();
  for (uint32_t r = 0; r < bitmap.height(); ++r) {
    png_write_row(png, data + uint64_t{r} * bitmap.bytesPerRow());
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

void writePng(const Tesselin::Bitmap& bitmap, const std::string& path) {
  if (bitmap.width() == 0 || bitmap.height() == 0) throw PreviewError("empty picture");
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    throw PreviewError("cannot create \"" + path + "\": " + std::strerror(errno));
  }
  PngFailure failure{};
  const bool written = writeRows(file, bitmap, &failure);
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed) {
    std::remove(path.c_str());
    throw PreviewError("cannot write \"" + path + "\": " +
                       (written ? std::string("write error") : std::string(failure.message)));
  }
}

}  // namespace OrnTool
