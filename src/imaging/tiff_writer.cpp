// Writing a TIFF file (TIFF 6.0), in the host's byte order:
//   header ("II" or "MM", 42, offset 8 of the directory);
//   one directory of 13 entries in tag order: NewSubfileType, ImageWidth, ImageLength,
//   BitsPerSample, Compression, PhotometricInterpretation, StripOffsets, SamplesPerPixel,
//   RowsPerStrip, StripByteCounts, XResolution, YResolution, ResolutionUnit; next offset 0;
//   the values that do not fit in an entry (word aligned), then the strips.
// Entries whose values lie outside carry 0xDEADBEEF until those values are placed.
// Strips hold about 64 KiB of rows, LZW or Deflate compressed; Deflate strips are zlib
// streams (header 0x78 0xDA, raw Deflate, Adler-32 most significant byte first).
#include <zlib.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <sstream>

#include "compression/deflate_compression.h"
#include "compression/exceptions.h"
#include "compression/lzw_compression.h"
#include "imaging/image_io.h"
#include "imaging/imaging_exception.h"
#include "imaging/vector_stream_buffer.h"

namespace Tesselin::ImageIO {

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kPlaceholder = 0xDEADBEEF;
constexpr std::size_t kStripTarget = 65536;
constexpr std::uint16_t kShort = 3;
constexpr std::uint16_t kLong = 4;
constexpr std::uint16_t kRational = 5;

// Appends host-order values to the file image and patches them later.
class FileBuilder {
 public:
  explicit FileBuilder(Bytes& bytes) : bytes_(bytes) { bytes_.reserve(4096); }
  std::size_t size() const { return bytes_.size(); }
  void put16(std::uint16_t value) { append(&value, 2); }
  void put32(std::uint32_t value) { append(&value, 4); }
  void putBytes(const Bytes& data) { bytes_.insert(bytes_.end(), data.begin(), data.end()); }
  void align() {
    if (bytes_.size() % 2 != 0) bytes_.push_back(0);
  }
  void patch32(std::size_t at, std::uint32_t value) { std::memcpy(bytes_.data() + at, &value, 4); }
  void patch16(std::size_t at, std::uint16_t value) { std::memcpy(bytes_.data() + at, &value, 2); }

 private:
  void append(const void* value, std::size_t count) {
    const std::size_t at = bytes_.size();
    bytes_.resize(at + count);
    std::memcpy(bytes_.data() + at, value, count);
  }
  Bytes& bytes_;
};

std::uint32_t checked32(std::uint64_t value) {
  if (value > 0xFFFFFFFFu) throw ImageException("Image too large for a TIFF file");
  return static_cast<std::uint32_t>(value);
}

Bytes compressStrip(const Bytes& raw, std::uint16_t compression) {
  Quillfeather::InputVectorStreamBuffer inBuffer(raw);
  std::istream in(&inBuffer);
  Bytes out;
  Quillfeather::OutputVectorStreamBuffer outBuffer(out);
  std::ostream stream(&outBuffer);
  if (compression == kCompressionLZW) {
    Marrowbright::LZWCompression(1).compress(in, stream);
    return out;
  }
  out = {0x78, 0xDA};  // Deflate, 32 KiB window, maximum compression
  Marrowbright::DeflateCompression().compress(in, stream);
  const auto check = static_cast<std::uint32_t>(
      adler32(adler32(0, nullptr, 0), raw.data(), static_cast<uInt>(raw.size())));
  for (int shift = 24; shift >= 0; shift -= 8)
    out.push_back(static_cast<std::uint8_t>(check >> shift));
  return out;
}

}  // namespace

void WriteToTIFFFormat(const Image& image, std::ostream& out, std::uint16_t compression) {
  if (compression != kCompressionLZW && compression != kCompressionDeflate) {
    throw ImageException("Unsupported TIFF compression method for writing");
  }
  const std::uint32_t bits = image.bitsPerSample();
  const std::uint32_t channels = image.channels();
  if (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16) {
    throw ImageException("Unsupported bit-depth for this TIFF file");
  }
  if (!image.isValid() || channels == 0 || channels > 0xFFFF) {
    throw ImageException("Cannot write an empty image");
  }
  const std::size_t rowBytes = image.bytesPerRow();
  const std::uint32_t height = image.height();
  if (std::uint64_t{rowBytes} * height != image.dataSize()) {
    throw ImageException("Image data does not match its size");
  }

  std::uint16_t photometric = 1;  // black is zero: grey luminance
  if (channels == 3) photometric = 2;
  if (channels == 4) photometric = 5;
  if (channels == 1 && image.isBitmap()) photometric = 0;  // a set bit is black

  const std::uint32_t rowsPerStrip =
      static_cast<std::uint32_t>(std::clamp<std::size_t>(kStripTarget / rowBytes, 1, height));
  const std::uint32_t stripCount = (height + rowsPerStrip - 1) / rowsPerStrip;
  const bool swapSamples = bits == 16 && std::endian::native == std::endian::little;

  std::vector<Bytes> strips;
  strips.reserve(stripCount);
  try {
    for (std::uint32_t s = 0; s < stripCount; ++s) {
      const std::size_t first = std::size_t{s} * rowsPerStrip;
      const std::size_t rows = std::min<std::size_t>(rowsPerStrip, height - first);
      const auto begin = image.data().begin() + static_cast<std::ptrdiff_t>(first * rowBytes);
      Bytes raw(begin, begin + static_cast<std::ptrdiff_t>(rows * rowBytes));
      if (swapSamples) {
        for (std::size_t i = 0; i + 1 < raw.size(); i += 2) std::swap(raw[i], raw[i + 1]);
      }
      strips.push_back(compressStrip(raw, compression));
    }
  } catch (const Marrowbright::Exception& e) {
    throw ImageException(e.what());
  }

  Bytes file;
  FileBuilder builder(file);
  builder.put16(std::endian::native == std::endian::big ? 0x4D4D : 0x4949);
  builder.put16(42);
  builder.put32(8);

  // Each entry returns the position of its value field, for patching.
  auto entry = [&](std::uint16_t tag, std::uint16_t type, std::uint32_t count,
                   std::uint32_t value) {
    builder.put16(tag);
    builder.put16(type);
    builder.put32(count);
    const std::size_t at = builder.size();
    if (type == kShort && count == 1) {
      builder.put16(static_cast<std::uint16_t>(value));
      builder.put16(0);
    } else {
      builder.put32(value);
    }
    return at;
  };
  const bool bitsInline = channels <= 2;
  const bool stripsInline = stripCount == 1;
  builder.put16(13);
  entry(TIFFTag::kNewSubfileType, kLong, 1, 0);
  entry(TIFFTag::kImageWidth, kLong, 1, image.width());
  entry(TIFFTag::kImageLength, kLong, 1, height);
  const std::size_t bitsAt =
      entry(TIFFTag::kBitsPerSample, kShort, channels, bitsInline ? 0 : kPlaceholder);
  if (bitsInline) {
    builder.patch16(bitsAt, static_cast<std::uint16_t>(bits));
    if (channels == 2) builder.patch16(bitsAt + 2, static_cast<std::uint16_t>(bits));
  }
  entry(TIFFTag::kCompression, kShort, 1, compression);
  entry(TIFFTag::kPhotometricInterpretation, kShort, 1, photometric);
  const std::size_t offsetsAt = entry(TIFFTag::kStripOffsets, kLong, stripCount, kPlaceholder);
  entry(TIFFTag::kSamplesPerPixel, kShort, 1, channels);
  entry(TIFFTag::kRowsPerStrip, kLong, 1, rowsPerStrip);
  const std::size_t countsAt =
      entry(TIFFTag::kStripByteCounts, kLong, stripCount, stripsInline ? 0 : kPlaceholder);
  const std::size_t xAt = entry(TIFFTag::kXResolution, kRational, 1, kPlaceholder);
  const std::size_t yAt = entry(TIFFTag::kYResolution, kRational, 1, kPlaceholder);
  entry(TIFFTag::kResolutionUnit, kShort, 1, 2);  // inch
  builder.put32(0);                               // no further directory

  if (!bitsInline) {
    builder.patch32(bitsAt, checked32(builder.size()));
    for (std::uint32_t c = 0; c < channels; ++c) builder.put16(static_cast<std::uint16_t>(bits));
    builder.align();
  }
  builder.patch32(xAt, checked32(builder.size()));
  builder.put32(image.xResolution());
  builder.put32(1);
  builder.patch32(yAt, checked32(builder.size()));
  builder.put32(image.yResolution());
  builder.put32(1);

  std::size_t offsetList = offsetsAt;
  if (stripsInline) {
    builder.patch32(countsAt, checked32(strips[0].size()));
  } else {
    offsetList = builder.size();
    builder.patch32(offsetsAt, checked32(offsetList));
    for (std::uint32_t s = 0; s < stripCount; ++s) builder.put32(kPlaceholder);
    builder.patch32(countsAt, checked32(builder.size()));
    for (const Bytes& strip : strips) builder.put32(checked32(strip.size()));
  }
  for (std::uint32_t s = 0; s < stripCount; ++s) {
    builder.align();
    builder.patch32(offsetList + std::size_t{s} * 4, checked32(builder.size()));
    builder.putBytes(strips[s]);
  }

  out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  if (!out) throw ImageException("Unable to write the TIFF file");
}

}  // namespace Tesselin::ImageIO
