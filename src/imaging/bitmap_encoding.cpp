// Bitmap encodings sent to the printer:
//   format 0: the bitmap's data bytes, rows top to bottom, each bytesPerRow bytes, no header;
//   format 1: SKARN, a 2-byte big-endian length followed by one row record per row
//             (see skarn_encoder.cpp).
#include "imaging/bitmap_encoding.h"

#include "imaging/imaging_exception.h"

namespace Tesselin {

void encode(const Bitmap& bitmap, int format, std::ostream& out) {
  if (format == kUncompressed) {
    out.write(reinterpret_cast<const char*>(bitmap.data().data()),
              static_cast<std::streamsize>(bitmap.dataSize()));
    return;
  }
  if (format != kSkarn) throw BitmapException("Unknown bitmap format specified");

  // The length field is filled in last, where this encoding starts.
  const std::ostream::pos_type start = out.tellp();
  if (start == std::ostream::pos_type(-1)) {
    throw BitmapException("SKARN output stream is not seekable");
  }
  out.write("\0\0", 2);
  const std::vector<uint8_t> bytes = encodeSkarn(bitmap);
  out.write(reinterpret_cast<const char*>(bytes.data()) + 2,
            static_cast<std::streamsize>(bytes.size() - 2));
  out.seekp(start);
  out.write(reinterpret_cast<const char*>(bytes.data()), 2);
  out.seekp(0, std::ios::end);
}

Bitmap decode(std::span<const uint8_t> bytes, uint32_t width, uint32_t height, int format) {
  if (format == kUncompressed) {
    if (uint64_t{Image::rowBytes(1, 1, width)} * height != bytes.size()) {
      throw BitmapException("Source data does not match size");
    }
    return Bitmap(std::vector<uint8_t>(bytes.begin(), bytes.end()), width, height);
  }
  if (format == kSkarn) return decodeSkarn(bytes, width);
  throw BitmapException("Unknown compression format specified");
}

}  // namespace Tesselin
