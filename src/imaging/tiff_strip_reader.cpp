// Decoding of one TIFF strip: the strip's bytes (strip offset, strip byte count) are
// uncompressed (1), LZW (5), JPEG (7) or Deflate (8) data; LZW and Deflate strips may carry
// horizontal differencing (Predictor 2). Deflate strips are zlib streams (2-byte header,
// Adler-32 trailer); raw Deflate strips are accepted as well. A decoded strip is exactly
// rows x row bytes, each row ceil(width x samples x bits / 8) bytes.
#include <zlib.h>

#include <algorithm>
#include <array>

#include "compression/deflate_compression.h"
#include "compression/exceptions.h"
#include "compression/jpeg_compression.h"
#include "compression/lzw_compression.h"
#include "compression/tiff_prediction.h"
#include "imaging/image_io.h"
#include "imaging/imaging_exception.h"
#include "imaging/vector_stream_buffer.h"

namespace Tesselin::ImageIO {

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint16_t kWhiteIsZero = 0;
constexpr std::uint16_t kRGB = 2;
constexpr std::uint16_t kSeparated = 5;

bool isZlibHeader(const Bytes& data) {
  if (data.size() < 2) return false;
  const unsigned cmf = data[0];
  const unsigned flags = data[1];
  return (cmf & 0x0F) == 8 && (cmf >> 4) <= 7 && (cmf << 8 | flags) % 31 == 0 &&
         (flags & 0x20) == 0;
}

Bytes decodeDeflate(const Bytes& compressed, std::uint64_t expected) {
  const bool wrapped = isZlibHeader(compressed);
  Quillfeather::InputVectorStreamBuffer inBuffer(compressed);
  std::istream in(&inBuffer);
  if (wrapped) in.seekg(2);
  Bytes decoded;
  Quillfeather::OutputVectorStreamBuffer outBuffer(decoded);
  std::ostream out(&outBuffer);
  Marrowbright::DeflateCompression codec(expected);
  codec.decompress(in, out);
  if (wrapped && codec.lastStreamComplete()) {
    std::array<char, 4> trailer{};
    if (in.read(trailer.data(), 4) && in.gcount() == 4) {
      const std::uint32_t stored = std::uint32_t{static_cast<std::uint8_t>(trailer[0])} << 24 |
                                   std::uint32_t{static_cast<std::uint8_t>(trailer[1])} << 16 |
                                   std::uint32_t{static_cast<std::uint8_t>(trailer[2])} << 8 |
                                   static_cast<std::uint8_t>(trailer[3]);
      const auto actual = static_cast<std::uint32_t>(
          adler32(adler32(0, nullptr, 0), decoded.data(), static_cast<uInt>(decoded.size())));
      if (stored != actual) throw ImageException("Deflate strip fails its checksum");
    }
  }
  return decoded;
}

Bytes decode(Marrowbright::IDecompressor& codec, const Bytes& compressed) {
  Quillfeather::InputVectorStreamBuffer inBuffer(compressed);
  std::istream in(&inBuffer);
  Bytes decoded;
  Quillfeather::OutputVectorStreamBuffer outBuffer(decoded);
  std::ostream out(&outBuffer);
  codec.decompress(in, out);
  return decoded;
}

Bytes decodeStrip(const TIFFFileInfo& info, const Bytes& compressed, std::uint64_t expected) {
  switch (info.compression()) {
    case kCompressionNone:
      return compressed;
    case kCompressionLZW: {
      Marrowbright::LZWCompression codec(1, expected);
      return decode(codec, compressed);
    }
    case kCompressionDeflate:
      return decodeDeflate(compressed, expected);
    case kCompressionJPEG: {
      Marrowbright::JPEGCompression codec(expected);
      codec.setTables(info.jpegTables());
      const auto photometric = info.photometricInterpretation();
      codec.setKeepComponents(photometric == kRGB || photometric == kSeparated);
      return decode(codec, compressed);
    }
    default:
      throw ImageException("Unknown TIFF compression method used");
  }
}

void swapSamplePairs(Bytes& data) {
  for (std::size_t i = 0; i + 1 < data.size(); i += 2) std::swap(data[i], data[i + 1]);
}

}  // namespace

void ReadStripDataFromTIFFFormat(std::istream& in, const TIFFFileInfo& info, std::uint32_t strip,
                                 bool normalize, const RowCallback& callback) {
  const unsigned bits = info.bitsPerSample().empty() ? 0 : info.bitsPerSample()[0];
  if (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16) {
    throw ImageException("Unsupported bit-depth for this TIFF file");
  }
  const std::uint16_t compression = info.compression();
  if (compression != kCompressionNone && compression != kCompressionLZW &&
      compression != kCompressionJPEG && compression != kCompressionDeflate) {
    throw ImageException("Unknown TIFF compression method used");
  }
  const bool predicted = compression == kCompressionLZW || compression == kCompressionDeflate;
  if (predicted && info.predictor() != 1 && info.predictor() != 2) {
    throw ImageException("Unknown prediction method used in TIFF");
  }
  if (strip >= info.stripCount() || strip >= info.stripOffsets().size()) {
    throw ImageException("Data in this TIFF file is not stored correctly");
  }
  const std::size_t rowBytes = info.rowBytes();
  const std::uint64_t expected = std::uint64_t{info.rowsInStrip(strip)} * rowBytes;
  if (expected > Image::kMaxDataBytes) throw ImageException("Image too large");

  const std::uint64_t offset = info.stripOffsets()[strip];
  const std::uint64_t count = info.stripByteCounts()[strip];
  if (offset > info.fileSize() || count > info.fileSize() - offset) {
    throw ImageException("Unable to read required number of bytes");
  }
  Bytes compressed(static_cast<std::size_t>(count));
  in.clear();
  in.seekg(info.fileStart() + static_cast<std::streamoff>(offset));
  in.read(reinterpret_cast<char*>(compressed.data()), static_cast<std::streamsize>(count));
  if (static_cast<std::uint64_t>(in.gcount()) != count) {
    throw ImageException("Unable to read required number of bytes");
  }

  Bytes decoded;
  try {
    decoded = decodeStrip(info, compressed, expected);
    // Uncompressed strips may be padded; anything past the strip's rows is not image data.
    if (compression == kCompressionNone && decoded.size() > expected) {
      decoded.resize(static_cast<std::size_t>(expected));
    }
    if (decoded.size() != expected) {
      throw ImageException("Data in this TIFF file is not stored correctly");
    }
    const bool swapped = bits == 16 && !info.bigEndian() && compression != kCompressionJPEG;
    if (swapped) swapSamplePairs(decoded);  // most significant byte first from here on
    if (predicted && info.predictor() == 2) {
      const Marrowbright::TIFFPrediction predictor(info.samplesPerPixel(), bits, info.width());
      for (std::size_t at = 0; at < decoded.size(); at += rowBytes) {
        predictor.undoRow(std::span(decoded.data() + at, rowBytes));
      }
    }
    if (swapped && !normalize) swapSamplePairs(decoded);
  } catch (const Marrowbright::Exception& e) {
    throw ImageException(e.what());
  }

  if (normalize && info.photometricInterpretation() == kWhiteIsZero) {
    for (std::uint8_t& byte : decoded) byte = static_cast<std::uint8_t>(~byte);
    // Keep the bits past the last pixel of each row clear.
    const unsigned usedBits =
        static_cast<unsigned>((std::uint64_t{info.width()} * info.samplesPerPixel() * bits) % 8);
    if (usedBits != 0) {
      const auto keep = static_cast<std::uint8_t>(0xFF << (8 - usedBits));
      for (std::size_t at = rowBytes - 1; at < decoded.size(); at += rowBytes) decoded[at] &= keep;
    }
  }
  for (std::size_t at = 0; at < decoded.size(); at += rowBytes)
    callback(decoded.data() + at, rowBytes);
}

}  // namespace Tesselin::ImageIO
