#pragma once

#include <cstdint>
#include <istream>
#include <map>
#include <vector>

namespace Tesselin {

// TIFF tag numbers the reader and writer use.
namespace TIFFTag {
inline constexpr std::uint16_t kNewSubfileType = 254;
inline constexpr std::uint16_t kImageWidth = 256;
inline constexpr std::uint16_t kImageLength = 257;
inline constexpr std::uint16_t kBitsPerSample = 258;
inline constexpr std::uint16_t kCompression = 259;
inline constexpr std::uint16_t kPhotometricInterpretation = 262;
inline constexpr std::uint16_t kFillOrder = 266;
inline constexpr std::uint16_t kStripOffsets = 273;
inline constexpr std::uint16_t kSamplesPerPixel = 277;
inline constexpr std::uint16_t kRowsPerStrip = 278;
inline constexpr std::uint16_t kStripByteCounts = 279;
inline constexpr std::uint16_t kXResolution = 282;
inline constexpr std::uint16_t kYResolution = 283;
inline constexpr std::uint16_t kPlanarConfiguration = 284;
inline constexpr std::uint16_t kResolutionUnit = 296;
inline constexpr std::uint16_t kPredictor = 317;
inline constexpr std::uint16_t kJPEGTables = 347;
}  // namespace TIFFTag

// The parsed description of the first image of a TIFF file, read from a seekable stream whose
// current position is the start of the file. Every offset and count is checked against the
// file size before it is used.
class TIFFFileInfo {
 public:
  TIFFFileInfo() = default;
  explicit TIFFFileInfo(std::istream& in);

  std::uint32_t width() const { return width_; }
  std::uint32_t height() const { return height_; }
  const std::vector<std::uint16_t>& bitsPerSample() const { return bitsPerSample_; }
  std::uint16_t samplesPerPixel() const { return samplesPerPixel_; }
  std::uint16_t compression() const { return compression_; }
  std::uint16_t predictor() const { return predictor_; }
  std::uint16_t photometricInterpretation() const { return photometric_; }
  double xResolution() const { return xResolution_; }
  double yResolution() const { return yResolution_; }
  std::uint16_t resolutionUnit() const { return resolutionUnit_; }
  const std::vector<std::uint32_t>& stripOffsets() const { return stripOffsets_; }
  std::uint32_t rowsPerStrip() const { return rowsPerStrip_; }
  const std::vector<std::uint32_t>& stripByteCounts() const { return stripByteCounts_; }

  bool bigEndian() const { return bigEndian_; }
  // Bytes from the start of the file to its end.
  std::uint64_t fileSize() const { return fileSize_; }
  // Stream position of the first byte of the file.
  std::streamoff fileStart() const { return fileStart_; }
  // Shared JPEG tables (an abbreviated JPEG stream), empty when the file has none.
  const std::vector<std::uint8_t>& jpegTables() const { return jpegTables_; }

  // Bytes of one decoded row and the strips that hold the image.
  std::uint32_t rowBytes() const;
  std::uint32_t stripCount() const;
  // Rows in strip `strip` (the last one may be shorter).
  std::uint32_t rowsInStrip(std::uint32_t strip) const;

 private:
  struct Entry {
    std::uint16_t type = 0;
    std::uint32_t count = 0;
    std::uint8_t value[4] = {};  // the value itself, or its offset
  };

  std::uint16_t read16(const std::uint8_t* bytes) const;
  std::uint32_t read32(const std::uint8_t* bytes) const;
  void readAt(std::uint64_t offset, std::uint8_t* out, std::size_t count);
  // The values of an integer tag (BYTE, SHORT or LONG), or false when it is absent or unreadable.
  bool values(std::uint16_t tag, std::vector<std::uint32_t>& out);
  bool singleValue(std::uint16_t tag, std::uint32_t& out);
  bool rational(std::uint16_t tag, double& out);

  std::istream* in_ = nullptr;
  std::map<std::uint16_t, Entry> tags_;

  std::uint32_t width_ = 0;
  std::uint32_t height_ = 0;
  std::vector<std::uint16_t> bitsPerSample_;
  std::uint16_t samplesPerPixel_ = 0;
  std::uint16_t compression_ = 0;
  std::uint16_t predictor_ = 1;
  std::uint16_t photometric_ = 0;
  double xResolution_ = 0;
  double yResolution_ = 0;
  std::uint16_t resolutionUnit_ = 0;
  std::vector<std::uint32_t> stripOffsets_;
  std::uint32_t rowsPerStrip_ = 0;
  std::vector<std::uint32_t> stripByteCounts_;
  bool bigEndian_ = false;
  std::uint64_t fileSize_ = 0;
  std::streamoff fileStart_ = 0;
  std::vector<std::uint8_t> jpegTables_;
};

}  // namespace Tesselin
