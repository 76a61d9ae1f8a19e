#pragma once

#include <array>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace Quillfeather {

// Byte order and version of a raster stream, from its sync word.
struct RasterFormat {
  int32_t endianness = 0;  // 1 = big-endian stream, 0 = little-endian stream
  int32_t version = 0;     // 1, 2 or 3
};

// Page orientation, also the rotation code of the image conversion.
enum class Rotation : uint32_t { Deg0 = 0, Deg90 = 1, Deg180 = 2, Deg270 = 3 };

// Writes "0 deg" .. "270 deg"; any other value writes nothing.
std::ostream& operator<<(std::ostream& out, Rotation rotation);

// One page header of a CUPS raster stream. Field names are those of the raster
// format; a version 1 header leaves everything from cupsNumColors on untouched.
struct PageHeader {
  int32_t endianness = 0;
  int32_t version = 0;

  std::string MediaClass;
  std::string MediaColor;
  std::string MediaType;
  std::string OutputType;
  uint32_t AdvanceDistance = 0;
  uint32_t AdvanceMedia = 0;
  bool Collate = false;
  uint32_t CutMedia = 0;
  bool Duplex = false;
  std::array<uint32_t, 2> HWResolution{};
  std::array<uint32_t, 4> ImagingBoundingBox{};
  bool InsertSheet = false;
  uint32_t Jog = 0;
  uint32_t LeadingEdge = 0;
  std::array<uint32_t, 2> Margins{};
  bool ManualFeed = false;
  uint32_t MediaPosition = 0;
  uint32_t MediaWeight = 0;
  bool MirrorPrint = false;
  bool NegativePrint = false;
  uint32_t NumCopies = 0;
  Rotation Orientation = Rotation::Deg0;
  bool OutputFaceUp = false;
  std::array<uint32_t, 2> PageSize{};
  bool Separations = false;
  bool TraySwitch = false;
  bool Tumble = false;
  uint32_t cupsWidth = 0;
  uint32_t cupsHeight = 0;
  uint32_t cupsMediaType = 0;
  uint32_t cupsBitsPerColor = 0;
  uint32_t cupsBitsPerPixel = 0;
  uint32_t cupsBytesPerLine = 0;
  uint32_t cupsColorOrder = 0;
  uint32_t cupsColorSpace = 0;
  uint32_t cupsCompression = 0;
  uint32_t cupsRowCount = 0;
  uint32_t cupsRowFeed = 0;
  uint32_t cupsRowStep = 0;
  // Versions 2 and 3 only.
  uint32_t cupsNumColors = 0;
  float cupsBorderlessScalingFactor = 0;
  std::array<float, 2> cupsPageSize{};
  std::array<float, 4> cupsImagingBBox{};
  std::vector<uint32_t> cupsInteger;
  std::vector<float> cupsReal;
  std::vector<std::string> cupsString;
  std::string cupsMarkerType;
  std::string cupsRenderingIntent;
  std::string cupsPageSizeName;
};

}  // namespace Quillfeather
