#include "host/report/png_image.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>

#include "host/report/base64.h"

namespace cohortix::host {
namespace {

struct PngSink {
  std::string* bytes;
  char message[200];
};

void appendBytes(png_structp png, png_bytep data, png_size_t length) {
  auto* sink = static_cast<PngSink*>(png_get_io_ptr(png));
  sink->bytes->append(reinterpret_cast<const char*>(data), length);
}

void noFlush(png_structp) {}

void keepError(png_structp png, png_const_charp message) {
  auto* sink = static_cast<PngSink*>(png_get_error_ptr(png));
  std::snprintf(sink->message, sizeof sink->message, "%s", message);
  png_longjmp(png, 1);
}

void ignoreWarning(png_structp, png_const_charp) {}

// Every object that outlives a longjmp here is owned by the caller: the frame
// between setjmp and libpng's longjmp holds nothing with a destructor.
bool writePng(const RgbImage& image, png_bytep* rows, PngSink* sink) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, sink, keepError, ignoreWarning);
  if (png == nullptr) return false;
  png_infop info = png_create_info_struct(png);
  if (info == nullptr || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, sink, appendBytes, noFlush);
  png_set_IHDR(png, info, static_cast<png_uint_32>(image.width()),
               static_cast<png_uint_32>(image.height()), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_level(png, 9);
  png_set_rows(png, info, rows);
  png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

RgbImage::RgbImage(int width, int height, Rgb fill)
    : width_(width), height_(height),
      pixels_(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), fill) {}

Result<std::string> encodePng(const RgbImage& image) {
  if (image.width() < 1 || image.height() < 1)
    return Status::error("cannot encode an empty image as PNG");
  static_assert(sizeof(Rgb) == 3, "rows are handed to libpng as packed RGB bytes");
  std::vector<png_bytep> rows(static_cast<std::size_t>(image.height()));
  auto* first = const_cast<Rgb*>(image.pixels().data());
  for (int row = 0; row < image.height(); ++row)
    rows[static_cast<std::size_t>(row)] =
        reinterpret_cast<png_bytep>(first + static_cast<std::size_t>(row) * image.width());
  std::string bytes;
  PngSink sink{&bytes, {}};
  if (!writePng(image, rows.data(), &sink))
    return Status::error(std::string("cannot encode a PNG image: ") +
                         (sink.message[0] != 0 ? sink.message : "libpng is out of memory"));
  return bytes;
}

std::string pngDataUri(const std::string& pngBytes) {
  return "data:image/png;base64," + base64(pngBytes);
}

}  // namespace cohortix::host
