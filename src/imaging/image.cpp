#include "imaging/image.h"

#include <utility>

#include "imaging/imaging_exception.h"

namespace Tesselin {

uint32_t Image::rowBytes(uint32_t bitsPerSample, uint32_t channels, uint32_t width) {
  // Three 32-bit factors can exceed 64 bits, so multiply with overflow checks.
  uint64_t bits = 0;
  if (__builtin_mul_overflow(uint64_t{bitsPerSample}, uint64_t{channels}, &bits) ||
      __builtin_mul_overflow(bits, uint64_t{width}, &bits)) {
    throw ImageException("Image row size too large");
  }
  const uint64_t bytes = bits / 8 + (bits % 8 != 0 ? 1 : 0);
  if (bytes > UINT32_MAX) throw ImageException("Image row size too large");
  return static_cast<uint32_t>(bytes);
}

size_t Image::checkedDataBytes(uint32_t bytesPerRow, uint32_t height) {
  const uint64_t bytes = uint64_t{bytesPerRow} * height;
  if (bytes > kMaxDataBytes) throw ImageException("Image too large");
  return static_cast<size_t>(bytes);
}

Image::Image(uint32_t bitsPerSample, uint32_t channels, uint32_t width, uint32_t height)
    : bitsPerSample_(bitsPerSample),
      channels_(channels),
      width_(width),
      height_(height),
      bytesPerRow_(rowBytes(bitsPerSample, channels, width)) {
  data_.assign(checkedDataBytes(bytesPerRow_, height), 0);
}

Image::Image(uint32_t bitsPerSample, uint32_t channels, uint32_t width, uint32_t height,
             const std::vector<uint8_t>& data)
    : bitsPerSample_(bitsPerSample),
      channels_(channels),
      width_(width),
      height_(height),
      data_(data),
      bytesPerRow_(rowBytes(bitsPerSample, channels, width)) {}

Image::Image(uint32_t bitsPerSample, uint32_t channels, uint32_t width, uint32_t height,
             std::vector<uint8_t>&& data)
    : bitsPerSample_(bitsPerSample),
      channels_(channels),
      width_(width),
      height_(height),
      data_(std::move(data)),
      bytesPerRow_(rowBytes(bitsPerSample, channels, width)) {}

void Image::invert() {
  if (bitsPerSample_ != 8) {
    throw ImageException("Unable to invert images if the number of bits per sample is not 8");
  }
  for (uint8_t& byte : data_) byte = static_cast<uint8_t>(~byte);
}

void Image::reserve(size_t bytes) {
  if (bytes > kMaxDataBytes) throw ImageException("Image too large");
  data_.reserve(bytes);
}

void Image::setResolution(uint32_t x, uint32_t y) {
  xResolution_ = x;
  yResolution_ = y;
}

}  // namespace Tesselin
