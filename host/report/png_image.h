#pragma once
// Slice and design-matrix images: 8-bit RGB pixels, encoded as PNG with libpng and
// carried inline as data URIs. The encoding writes no time or text chunk, so the
// same pixels always give the same bytes.

#include <cstdint>
#include <string>
#include <vector>

#include "host/io/status.h"

namespace cohortix::host {

struct Rgb {
  uint8_t red = 0;
  uint8_t green = 0;
  uint8_t blue = 0;
  bool operator==(const Rgb&) const = default;
};

class RgbImage {
 public:
  RgbImage(int width, int height, Rgb fill = {});
  int width() const { return width_; }
  int height() const { return height_; }
  Rgb& at(int column, int row) { return pixels_[static_cast<std::size_t>(row) * width_ + column]; }
  const Rgb& at(int column, int row) const {
    return pixels_[static_cast<std::size_t>(row) * width_ + column];
  }
  const std::vector<Rgb>& pixels() const { return pixels_; }

 private:
  int width_;
  int height_;
  std::vector<Rgb> pixels_;
};

// The PNG file's bytes, or why libpng refused.
Result<std::string> encodePng(const RgbImage& image);

// "data:image/png;base64,..." for the encoded bytes.
std::string pngDataUri(const std::string& pngBytes);

}  // namespace cohortix::host
