#include "jobcontrol/job.h"

#include <exception>
#include <fstream>
#include <iostream>
#include <memory>

#include "jobcontrol/log.h"
#include "raster/exception.h"
#include "raster/raster_reader.h"

namespace Quillfeather {
namespace {

int usage(const char* program) {
  std::cerr << "Usage\n" << program << " job user title num-copies options [ filename ]\n";
  std::cerr.flush();
  return 1;
}

void readJob(std::istream& input) {
  RasterReader reader(input);
  reader.readFormat();
  while (!reader.atEnd()) {
    PageHeader header = reader.readPageHeader();
    Log::debug() << "cupsWidth: " << header.cupsWidth << std::endl;
    Log::debug() << "cupsHeight: " << header.cupsHeight << std::endl;
    reader.readPageData(header);
  }
}

}  // namespace

int runFilter(int argc, char** argv) {
  if (argc < 2) return usage(argc > 0 ? argv[0] : "rastertoorn");
  if (std::string_view(argv[1]) == "--version") {
    std::cerr << "3.04\n";
    std::cerr.flush();
    return 0;
  }
  if (argc < 6) return usage(argv[0]);

  Log::setPrefixes("DEBUG", "INFO", "WARNING", "ERROR", "CRIT");

  std::unique_ptr<std::ifstream> file;
  if (argc > 6) file = std::make_unique<std::ifstream>(argv[6], std::ios::binary);
  std::istream& input = file ? *file : std::cin;

  try {
    readJob(input);
    return 0;
  } catch (const std::exception& e) {
    Log::critical() << "An exception occurred during filter execution: " << e.what() << std::endl;
    return 1;
  }
}

}  // namespace Quillfeather
