#pragma once

// Raster files read by libcups's own reader: the reading our reader and filter are held to.
#include <cups/raster.h>
#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace OrnTest {

struct CupsPage {
  cups_page_header2_t header;
  std::vector<uint8_t> data;
  // A 1-bit dot, or an 8-bit value above 127 (black when thresholded at half darkness).
  bool black(unsigned x, unsigned y) const {
    const uint8_t* row = data.data() + size_t{y} * header.cupsBytesPerLine;
    return header.cupsBitsPerPixel == 8 ? row[x] > 127 : (row[x / 8] & (0x80 >> (x % 8))) != 0;
  }
};

// Every page with all its data; a page cut short ends the list.
inline std::vector<CupsPage> readWithLibcups(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY);
  cups_raster_t* r = cupsRasterOpen(fd, CUPS_RASTER_READ);
  std::vector<CupsPage> pages;
  for (CupsPage page; r && cupsRasterReadHeader2(r, &page.header);) {
    page.data.resize(size_t{page.header.cupsBytesPerLine} * page.header.cupsHeight);
    if (cupsRasterReadPixels(r, page.data.data(), page.data.size()) != page.data.size()) break;
    pages.push_back(page);
  }
  cupsRasterClose(r);
  if (fd >= 0) close(fd);
  return pages;
}

}  // namespace OrnTest
