// The file interface of Image: TIFF input and output.
#include <cstdint>

#include "imaging/image.h"
#include "imaging/image_io.h"
#include "imaging/imaging_exception.h"

namespace Tesselin {

namespace {
constexpr int kFormatTIFF = 0;
}  // namespace

void Image::load(std::istream& in) {
  Image image = ImageIO::ReadFromTIFFFormat(in, nullptr);
  if (isBitmap()) {
    // A bitmap holds ink, not luminance: a set bit is a black dot.
    if (image.bitsPerSample() != 1 || image.channels() != 1) {
      throw ImageException("Only 1-bit grey images can be loaded into a bitmap");
    }
    const uint32_t usedBits = image.width() % 8;
    const auto keep = static_cast<uint8_t>(usedBits == 0 ? 0xFF : 0xFF << (8 - usedBits));
    std::vector<uint8_t>& bytes = image.data();
    const uint32_t rowBytes = image.bytesPerRow();
    for (size_t at = 0; at < bytes.size(); ++at) {
      bytes[at] = static_cast<uint8_t>(~bytes[at]);
      if (at % rowBytes == rowBytes - 1) bytes[at] &= keep;
    }
  }
  Image::operator=(std::move(image));
}

void Image::save(int format, std::ostream& out) const {
  if (format != kFormatTIFF) throw ImageException("Unsupported format");
  ImageIO::WriteToTIFFFormat(*this, out, ImageIO::kCompressionLZW);
}

}  // namespace Tesselin
