// Reading a TIFF image: the header and first directory (TIFFFileInfo), then every strip in
// order, appended to one buffer, then the Image with the file's resolution in dots per inch.
#include "imaging/image_io.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <optional>

#include "imaging/imaging_exception.h"
#include "imaging/vector_stream_buffer.h"

namespace Tesselin::ImageIO {

namespace {

constexpr std::uint16_t kBlackIsZero = 1;
constexpr std::uint16_t kWhiteIsZero = 0;
constexpr std::uint16_t kRGB = 2;
constexpr std::uint16_t kSeparated = 5;
constexpr std::uint16_t kYCbCr = 6;

// Largest file read into memory from a stream that cannot seek.
constexpr std::uint64_t kMaxUnseekableFile = Image::kMaxDataBytes + (std::uint64_t{64} << 20);

std::uint32_t truncateResolution(double value) {
  if (!(value >= 0)) return 0;
  if (value >= static_cast<double>(std::numeric_limits<std::uint32_t>::max())) {
    return std::numeric_limits<std::uint32_t>::max();
  }
  return static_cast<std::uint32_t>(value);
}

std::vector<std::uint8_t> readAll(std::istream& in) {
  std::vector<std::uint8_t> bytes;
  std::array<char, 65536> chunk{};
  while (in.read(chunk.data(), chunk.size()) || in.gcount() > 0) {
    bytes.insert(bytes.end(), chunk.data(), chunk.data() + in.gcount());
    if (bytes.size() > kMaxUnseekableFile) throw ImageException("Image too large");
  }
  return bytes;
}

Image readImage(std::istream& in, TIFFFileInfo* infoOut) {
  const TIFFFileInfo info(in);
  if (infoOut != nullptr) *infoOut = info;

  const std::uint16_t photometric = info.photometricInterpretation();
  const bool supported = photometric == kWhiteIsZero || photometric == kBlackIsZero ||
                         photometric == kRGB || photometric == kSeparated ||
                         (photometric == kYCbCr && info.compression() == kCompressionJPEG);
  if (!supported) throw ImageException("Unsupported photometric interpretation");

  const std::uint32_t rowBytes = info.rowBytes();
  const std::uint64_t total = std::uint64_t{rowBytes} * info.height();
  if (total > Image::kMaxDataBytes) throw ImageException("Image too large");
  std::vector<std::uint8_t> data;
  // Grown strip by strip: a small file cannot claim a huge buffer up front.
  data.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(total, std::uint64_t{1} << 24)));
  for (std::uint32_t strip = 0; strip < info.stripCount(); ++strip) {
    ReadStripDataFromTIFFFormat(in, info, strip, true,
                                [&](const std::uint8_t* row, std::size_t length) {
                                  data.insert(data.end(), row, row + length);
                                });
  }
  Image image(info.bitsPerSample()[0], info.samplesPerPixel(), info.width(), info.height(),
              std::move(data));
  image.setResolution(truncateResolution(info.xResolution()),
                      truncateResolution(info.yResolution()));
  return image;
}

}  // namespace

Image ReadFromTIFFFormat(std::istream& in, TIFFFileInfo* info) {
  if (in.tellg() != std::streampos(-1)) return readImage(in, info);
  // A pipe: read the whole file, then parse it from memory.
  in.clear();
  const std::vector<std::uint8_t> bytes = readAll(in);
  Quillfeather::InputVectorStreamBuffer buffer(bytes);
  std::istream memory(&buffer);
  return readImage(memory, info);
}

}  // namespace Tesselin::ImageIO
