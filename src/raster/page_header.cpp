// Page header layout of a CUPS raster stream. Offsets are from the start of the
// header; every 32-bit field is in the stream's byte order:
//   0 MediaClass, 64 MediaColor, 128 MediaType, 192 OutputType (64-byte strings)
//   256 .. 416 integer, enum and boolean fields (see PageHeader), 420 bytes in all
//   for version 1; versions 2 and 3 add cupsNumColors .. cupsPageSizeName up to
//   1796 bytes.
#include <bit>
#include <cstring>

#include "jobcontrol/log.h"
#include "raster/exception.h"
#include "raster/raster_reader.h"

namespace Quillfeather {
namespace {

constexpr size_t kV1HeaderSize = 420;
constexpr size_t kV2HeaderSize = 1796;

class FieldParser {
 public:
  FieldParser(const uint8_t* data, size_t size, bool swap)
      : data_(data), size_(size), swap_(swap) {}

  std::string string() {
    const uint8_t* field = take(64);
    const void* nul = std::memchr(field, 0, 64);
    size_t length = nul ? static_cast<const uint8_t*>(nul) - field : 64;
    return std::string(reinterpret_cast<const char*>(field), length);
  }
  uint32_t integer() {
    uint32_t value;
    std::memcpy(&value, take(4), 4);
    return swap_ ? __builtin_bswap32(value) : value;
  }
  float real() { return std::bit_cast<float>(integer()); }
  bool boolean() {
    const uint8_t* field = take(4);
    return (field[0] | field[1] | field[2] | field[3]) != 0;
  }

 private:
  const uint8_t* take(size_t count) {
    if (size_ - offset_ < count) throw CUPSFormatException("Unable to read fields");
    const uint8_t* field = data_ + offset_;
    offset_ += count;
    return field;
  }

  const uint8_t* data_;
  size_t size_;
  bool swap_;
  size_t offset_ = 0;
};

bool hostIsBigEndian() {
  static const bool big = std::endian::native == std::endian::big;
  return big;
}

void parseHeader(FieldParser& p, PageHeader& h) {
  h.MediaClass = p.string();
  h.MediaColor = p.string();
  h.MediaType = p.string();
  h.OutputType = p.string();
  h.AdvanceDistance = p.integer();
  h.AdvanceMedia = p.integer();
  h.Collate = p.boolean();
  h.CutMedia = p.integer();
  h.Duplex = p.boolean();
  for (auto& v : h.HWResolution) v = p.integer();
  for (auto& v : h.ImagingBoundingBox) v = p.integer();
  h.InsertSheet = p.boolean();
  h.Jog = p.integer();
  h.LeadingEdge = p.integer();
  for (auto& v : h.Margins) v = p.integer();
  h.ManualFeed = p.boolean();
  h.MediaPosition = p.integer();
  h.MediaWeight = p.integer();
  h.MirrorPrint = p.boolean();
  h.NegativePrint = p.boolean();
  h.NumCopies = p.integer();
  h.Orientation = static_cast<Rotation>(p.integer());
  h.OutputFaceUp = p.boolean();
  for (auto& v : h.PageSize) v = p.integer();
  h.Separations = p.boolean();
  h.TraySwitch = p.boolean();
  h.Tumble = p.boolean();
  h.cupsWidth = p.integer();
  h.cupsHeight = p.integer();
  h.cupsMediaType = p.integer();
  h.cupsBitsPerColor = p.integer();
  h.cupsBitsPerPixel = p.integer();
  h.cupsBytesPerLine = p.integer();
  h.cupsColorOrder = p.integer();
  h.cupsColorSpace = p.integer();
  h.cupsCompression = p.integer();
  h.cupsRowCount = p.integer();
  h.cupsRowFeed = p.integer();
  h.cupsRowStep = p.integer();
  if (h.version == 1) return;

  h.cupsNumColors = p.integer();
  h.cupsBorderlessScalingFactor = p.real();
  for (auto& v : h.cupsPageSize) v = p.real();
  for (auto& v : h.cupsImagingBBox) v = p.real();
  h.cupsInteger.resize(16);
  for (auto& v : h.cupsInteger) v = p.integer();
  h.cupsReal.resize(16);
  for (auto& v : h.cupsReal) v = p.real();
  h.cupsString.resize(16);
  for (auto& v : h.cupsString) v = p.string();
  h.cupsMarkerType = p.string();
  h.cupsRenderingIntent = p.string();
  h.cupsPageSizeName = p.string();
}

}  // namespace

std::ostream& operator<<(std::ostream& out, Rotation rotation) {
  switch (rotation) {
    case Rotation::Deg0:
      return out << "0 deg";
    case Rotation::Deg90:
      return out << "90 deg";
    case Rotation::Deg180:
      return out << "180 deg";
    case Rotation::Deg270:
      return out << "270 deg";
  }
  return out;
}

RasterFormat readRasterFormat(std::istream& input) {
  char sync[4];
  if (!input.read(sync, 4)) throw IOException("Unable to read from input");

  struct Known {
    const char* word;
    int32_t version;
    int32_t endianness;
  };
  static constexpr Known kKnown[] = {{"RaS3", 3, 1}, {"RaS2", 2, 1}, {"RaSt", 1, 1},
                                     {"3SaR", 3, 0}, {"2SaR", 2, 0}, {"tSaR", 1, 0}};
  for (const Known& known : kKnown) {
    if (std::memcmp(sync, known.word, 4) == 0) {
      RasterFormat format{known.endianness, known.version};
      Log::debug() << "Format endianness: " << (format.endianness ? "big" : "little") << std::endl;
      return format;
    }
  }
  throw CUPSSyncException("Format not understood");
}

PageHeader readPageHeader(const RasterFormat& format, std::istream& input) {
  PageHeader header;
  header.endianness = format.endianness;
  header.version = format.version;

  const size_t size = format.version == 1 ? kV1HeaderSize : kV2HeaderSize;
  uint8_t buffer[kV2HeaderSize];
  if (!input.read(reinterpret_cast<char*>(buffer), static_cast<std::streamsize>(size))) {
    throw IOException("Unable to read from input");
  }
  const bool swap = (format.endianness == 1) != hostIsBigEndian();
  FieldParser parser(buffer, size, swap);
  parseHeader(parser, header);
  return header;
}

}  // namespace Quillfeather
