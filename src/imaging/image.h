#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <ostream>
#include <vector>

namespace Tesselin {

// A packed raster of any sample depth: rows top to bottom, each bytesPerRow() bytes, samples
// packed most significant bit first, channels interleaved per pixel. 8-bit grey samples are
// luminance (0 black, 255 white). The image owns its bytes; copies are deep.
class Image {
 public:
  // Largest data buffer the library allocates for one image (1 GiB).
  static constexpr uint64_t kMaxDataBytes = uint64_t{1} << 30;
  static constexpr uint32_t kDefaultResolution = 96;

  Image() = default;
  // Zeroed data of bytesPerRow x height bytes.
  Image(uint32_t bitsPerSample, uint32_t channels, uint32_t width, uint32_t height);
  // Takes the bytes as they are; their count is not compared with the sizes here (operations
  // that need whole rows check it themselves).
  Image(uint32_t bitsPerSample, uint32_t channels, uint32_t width, uint32_t height,
        const std::vector<uint8_t>& data);
  Image(uint32_t bitsPerSample, uint32_t channels, uint32_t width, uint32_t height,
        std::vector<uint8_t>&& data);
  Image(const Image&) = default;
  Image(Image&&) noexcept = default;
  Image& operator=(const Image&) = default;
  Image& operator=(Image&&) noexcept = default;
  virtual ~Image() = default;

  virtual bool isBitmap() const { return false; }
  virtual uint32_t bitsPerSample() const { return bitsPerSample_; }
  virtual uint32_t bytesPerRow() const { return bytesPerRow_; }
  virtual std::vector<uint8_t>& data() { return data_; }
  virtual const std::vector<uint8_t>& data() const { return data_; }
  virtual size_t dataSize() const { return data_.size(); }
  virtual uint32_t height() const { return height_; }
  virtual uint32_t channels() const { return channels_; }
  virtual uint32_t xResolution() const { return xResolution_; }
  virtual uint32_t yResolution() const { return yResolution_; }
  virtual uint32_t width() const { return width_; }
  // Complements every sample; 8-bit images only.
  virtual void invert();
  virtual bool isValid() const { return width_ != 0 && height_ != 0; }
  // Reads a TIFF image and assigns it to this image.
  virtual void load(std::istream& in);
  virtual void reserve(size_t bytes);
  virtual void setResolution(uint32_t x, uint32_t y);
  // Format 0 writes the image as TIFF; other formats are not supported.
  virtual void save(int format, std::ostream& out) const;

  // ceil(bitsPerSample x channels x width / 8), or ImageException when that does not fit 32 bits.
  static uint32_t rowBytes(uint32_t bitsPerSample, uint32_t channels, uint32_t width);

 protected:
  // bytesPerRow x height in 64 bits, or ImageException when above kMaxDataBytes.
  static size_t checkedDataBytes(uint32_t bytesPerRow, uint32_t height);
  bool hasWholeRows() const { return uint64_t{bytesPerRow_} * height_ == data_.size(); }
  void setHeight(uint32_t height) { height_ = height; }

 private:
  uint32_t bitsPerSample_ = 0;
  uint32_t channels_ = 0;
  uint32_t width_ = 0;
  uint32_t height_ = 0;
  uint32_t xResolution_ = kDefaultResolution;
  uint32_t yResolution_ = kDefaultResolution;
  std::vector<uint8_t> data_;
  uint32_t bytesPerRow_ = 0;
};

}  // namespace Tesselin
