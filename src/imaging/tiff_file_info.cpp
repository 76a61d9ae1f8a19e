// TIFF header and first image file directory (TIFF 6.0).
//   Header: "II" (little-endian) or "MM" (big-endian), the number 42, the offset of the
//   first directory; every later 16- and 32-bit value is in that byte order.
//   Directory: entry count (16 bits), then 12-byte entries of tag (16), field type (16),
//   count (32) and the value itself when it fits in 4 bytes, else the offset of the values.
#include "imaging/tiff_file_info.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

#include "imaging/image.h"
#include "imaging/imaging_exception.h"

namespace Tesselin {

namespace {

// Bytes of one value of each TIFF field type; 0 for unknown types.
std::uint32_t typeSize(std::uint16_t type) {
  static constexpr std::array<std::uint8_t, 13> kSizes = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
  return type < kSizes.size() ? kSizes[type] : 0;
}

}  // namespace

std::uint16_t TIFFFileInfo::read16(const std::uint8_t* b) const {
  return static_cast<std::uint16_t>(bigEndian_ ? b[0] << 8 | b[1] : b[1] << 8 | b[0]);
}

std::uint32_t TIFFFileInfo::read32(const std::uint8_t* b) const {
  return bigEndian_ ? std::uint32_t{b[0]} << 24 | std::uint32_t{b[1]} << 16 | b[2] << 8 | b[3]
                    : std::uint32_t{b[3]} << 24 | std::uint32_t{b[2]} << 16 | b[1] << 8 | b[0];
}

void TIFFFileInfo::readAt(std::uint64_t offset, std::uint8_t* out, std::size_t count) {
  if (offset > fileSize_ || count > fileSize_ - offset) {
    throw ImageException("Read error reading from TIFF");
  }
  in_->clear();
  in_->seekg(fileStart_ + static_cast<std::streamoff>(offset));
  in_->read(reinterpret_cast<char*>(out), static_cast<std::streamsize>(count));
  if (static_cast<std::size_t>(in_->gcount()) != count) {
    throw ImageException("Read error reading from TIFF");
  }
}

bool TIFFFileInfo::values(std::uint16_t tag, std::vector<std::uint32_t>& out) {
  const auto found = tags_.find(tag);
  if (found == tags_.end()) return false;
  const Entry& entry = found->second;
  const std::uint32_t size = typeSize(entry.type);
  if (entry.type != 1 && entry.type != 3 && entry.type != 4) return false;
  const std::uint64_t bytes = std::uint64_t{entry.count} * size;
  if (entry.count == 0 || bytes > fileSize_) return false;
  std::vector<std::uint8_t> raw(static_cast<std::size_t>(bytes));
  if (bytes <= 4) {
    std::memcpy(raw.data(), entry.value, raw.size());
  } else {
    const std::uint64_t offset = read32(entry.value);
    if (offset > fileSize_ || bytes > fileSize_ - offset) return false;
    readAt(offset, raw.data(), raw.size());
  }
  out.resize(entry.count);
  for (std::uint32_t i = 0; i < entry.count; ++i) {
    const std::uint8_t* at = raw.data() + std::size_t{i} * size;
    out[i] = size == 1 ? *at : size == 2 ? read16(at) : read32(at);
  }
  return true;
}

bool TIFFFileInfo::singleValue(std::uint16_t tag, std::uint32_t& out) {
  const auto found = tags_.find(tag);
  if (found == tags_.end() || found->second.count != 1) return false;
  std::vector<std::uint32_t> list;
  if (!values(tag, list)) return false;
  out = list[0];
  return true;
}

bool TIFFFileInfo::rational(std::uint16_t tag, double& out) {
  const auto found = tags_.find(tag);
  if (found == tags_.end() || found->second.count < 1) return false;
  const Entry& entry = found->second;
  if (entry.type == 3 || entry.type == 4) {  // some writers store whole numbers
    std::uint32_t value = 0;
    if (!singleValue(tag, value)) return false;
    out = value;
    return true;
  }
  if (entry.type != 5) return false;
  std::uint8_t raw[8];
  readAt(read32(entry.value), raw, sizeof raw);
  const std::uint32_t numerator = read32(raw);
  const std::uint32_t denominator = read32(raw + 4);
  out = denominator == 0 ? 0.0 : static_cast<double>(numerator) / denominator;
  return true;
}

TIFFFileInfo::TIFFFileInfo(std::istream& in) : in_(&in) {
  fileStart_ = in.tellg();
  in.seekg(0, std::ios::end);
  const std::streamoff end = in.tellg();
  if (fileStart_ < 0 || end < fileStart_) throw ImageException("Read error reading from TIFF");
  fileSize_ = static_cast<std::uint64_t>(end - fileStart_);

  std::uint8_t header[8] = {};
  if (fileSize_ < 2) throw ImageException("Not a valid TIFF file");
  readAt(0, header, 2);
  if (header[0] == 'I' && header[1] == 'I') {
    bigEndian_ = false;
  } else if (header[0] == 'M' && header[1] == 'M') {
    bigEndian_ = true;
  } else {
    throw ImageException("Not a valid TIFF file");
  }
  readAt(2, header + 2, 2);
  if (read16(header + 2) != 42) throw ImageException("Unknown TIFF version");
  readAt(4, header + 4, 4);

  // Only the first directory is read, so a chain of directories that loops is never followed.
  const std::uint64_t directory = read32(header + 4);
  std::uint8_t countBytes[2];
  readAt(directory, countBytes, 2);
  const std::uint16_t entryCount = read16(countBytes);
  std::vector<std::uint8_t> entries(std::size_t{entryCount} * 12);
  readAt(directory + 2, entries.data(), entries.size());
  for (std::uint16_t i = 0; i < entryCount; ++i) {
    const std::uint8_t* raw = entries.data() + std::size_t{i} * 12;
    Entry entry;
    entry.type = read16(raw + 2);
    entry.count = read32(raw + 4);
    std::memcpy(entry.value, raw + 8, 4);
    tags_.emplace(read16(raw), entry);  // the first of repeated tags wins
  }

  std::uint32_t value = 0;
  if (!singleValue(TIFFTag::kImageWidth, width_) || !singleValue(TIFFTag::kImageLength, height_) ||
      width_ == 0 || height_ == 0) {
    throw ImageException("TIFF dimensions are invalid");
  }
  if (!singleValue(TIFFTag::kCompression, value)) {
    throw ImageException("Cannot determine compression of this TIFF");
  }
  compression_ = static_cast<std::uint16_t>(value);
  if (singleValue(TIFFTag::kPredictor, value)) predictor_ = static_cast<std::uint16_t>(value);
  if (!singleValue(TIFFTag::kSamplesPerPixel, value) || value == 0 || value > 0xFFFF) {
    throw ImageException("File does not specify number of samples per pixel");
  }
  samplesPerPixel_ = static_cast<std::uint16_t>(value);
  if (!singleValue(TIFFTag::kPhotometricInterpretation, value)) {
    throw ImageException("TIFF file does not contain a photometric interpretation");
  }
  photometric_ = static_cast<std::uint16_t>(value);

  std::vector<std::uint32_t> list;
  if (!values(TIFFTag::kBitsPerSample, list)) {
    throw ImageException("Cannot find information about bits per sample");
  }
  if (list.size() != samplesPerPixel_) {
    throw ImageException(
        "Number of bits per sample fields does not match number of samples per pixel");
  }
  if (std::any_of(list.begin(), list.end(), [&](std::uint32_t b) { return b != list[0]; })) {
    throw ImageException("Variably-sized bit-depths are not supported");
  }
  bitsPerSample_.assign(list.begin(), list.end());
  if (list[0] > 0xFFFF) throw ImageException("Unsupported bit-depth for this TIFF file");

  const bool hasOffsets = tags_.count(TIFFTag::kStripOffsets) != 0;
  const bool hasCounts = tags_.count(TIFFTag::kStripByteCounts) != 0;
  if (!hasOffsets && !hasCounts) throw ImageException("Could not find strip information");
  if (!values(TIFFTag::kStripOffsets, stripOffsets_)) {
    throw ImageException("Unable to get strip offsets");
  }
  if (!values(TIFFTag::kStripByteCounts, stripByteCounts_)) {
    throw ImageException("Unable to get strip byte counts");
  }
  if (stripOffsets_.size() != stripByteCounts_.size()) {
    throw ImageException("Strip offsets and strip byte counts are different sizes");
  }
  // Without RowsPerStrip the whole image is one strip.
  rowsPerStrip_ = height_;
  if (singleValue(TIFFTag::kRowsPerStrip, value)) rowsPerStrip_ = std::min(value, height_);
  if (rowsPerStrip_ == 0 || stripOffsets_.size() < stripCount()) {
    throw ImageException("Data in this TIFF file is not stored correctly");
  }

  if (!rational(TIFFTag::kXResolution, xResolution_)) {
    throw ImageException("This TIFF file does not contain the required x-resolution information");
  }
  if (!rational(TIFFTag::kYResolution, yResolution_)) {
    throw ImageException("This TIFF file does not contain the required y-resolution information");
  }
  if (!singleValue(TIFFTag::kResolutionUnit, value)) {
    throw ImageException("This TIFF file does not contain the resolution unit of measurement");
  }
  if (value == 0 || value > 3)
    throw ImageException("Unknown unit of measurement used in TIFF file");
  resolutionUnit_ = static_cast<std::uint16_t>(value);
  if (resolutionUnit_ == 3) {
    xResolution_ *= 2.54;
    yResolution_ *= 2.54;
  }

  if (singleValue(TIFFTag::kPlanarConfiguration, value) && value != 1) {
    throw ImageException("Separate colour planes are not supported");
  }
  if (singleValue(TIFFTag::kFillOrder, value) && value != 1) {
    throw ImageException("Reversed bit fill order is not supported");
  }
  if (const auto found = tags_.find(TIFFTag::kJPEGTables);
      found != tags_.end() && (found->second.type == 7 || found->second.type == 1)) {
    const std::uint32_t count = found->second.count;
    if (count > 4 && count <= fileSize_) {
      jpegTables_.resize(count);
      readAt(read32(found->second.value), jpegTables_.data(), count);
    }
  }
  in_ = nullptr;  // the description outlives the parse; strips are read from a given stream
}

std::uint32_t TIFFFileInfo::rowBytes() const {
  return Image::rowBytes(bitsPerSample_.empty() ? 0 : bitsPerSample_[0], samplesPerPixel_, width_);
}

std::uint32_t TIFFFileInfo::stripCount() const {
  if (rowsPerStrip_ == 0) return 0;
  return static_cast<std::uint32_t>((std::uint64_t{height_} + rowsPerStrip_ - 1) / rowsPerStrip_);
}

std::uint32_t TIFFFileInfo::rowsInStrip(std::uint32_t strip) const {
  const std::uint64_t first = std::uint64_t{strip} * rowsPerStrip_;
  if (first >= height_) return 0;
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(rowsPerStrip_, height_ - first));
}

}  // namespace Tesselin
