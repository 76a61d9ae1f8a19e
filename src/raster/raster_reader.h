#pragma once

#include <cstdint>
#include <istream>
#include <vector>

#include "raster/page_header.h"

namespace Quillfeather {

// Largest page the reader accepts, in bytes of page data. Large enough for an
// 8-bit page of 4 x 40 inches at 1200 dpi (230 MB) and far beyond any label or
// ticket; small enough that a hostile header cannot make the filter exhaust the
// memory of a print server (the loop holds about three page-sized buffers).
inline constexpr uint64_t kMaxPageBytes = uint64_t{256} << 20;

// Reads the 4-byte sync word. Throws IOException when fewer than 4 bytes
// arrive and CUPSSyncException when the word is not a known one.
RasterFormat readRasterFormat(std::istream& input);

// Reads one page header of the stream's version (420 or 1796 bytes).
PageHeader readPageHeader(const RasterFormat& format, std::istream& input);

// Reads a CUPS raster stream: the sync word, then page headers each followed by
// its data. Version 2 page data is run-length decoded, so every version yields
// cupsHeight x cupsBytesPerLine bytes per page.
class RasterReader {
 public:
  explicit RasterReader(std::istream& input) : input_(input) {}

  RasterFormat readFormat();
  // True when no further page follows (end of stream or a failed stream).
  bool atEnd();
  PageHeader readPageHeader();
  // Reads the data of the page whose header was read last.
  std::vector<uint8_t> readPageData(const PageHeader& header);
  // The same into a buffer whose memory is reused: pages of equal size cost no
  // new allocation.
  void readPageData(const PageHeader& header, std::vector<uint8_t>& data);

 private:
  std::istream& input_;
  RasterFormat format_;
};

}  // namespace Quillfeather
