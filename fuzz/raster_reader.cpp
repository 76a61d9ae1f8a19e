// Raster reader: every page yields exactly cupsHeight x cupsBytesPerLine bytes
// or the reader throws one of the filter's exceptions.
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "raster/exception.h"
#include "raster/raster_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  Quillfeather::RasterReader reader(in);
  try {
    reader.readFormat();
    while (!reader.atEnd()) {
      const Quillfeather::PageHeader header = reader.readPageHeader();
      const auto page = reader.readPageData(header);
      if (page.size() != uint64_t{header.cupsHeight} * header.cupsBytesPerLine) std::abort();
    }
  } catch (const Quillfeather::Exception&) {
  }
  return 0;
}
