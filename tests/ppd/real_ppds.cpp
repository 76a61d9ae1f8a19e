#include "real_ppds.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

namespace Quillfeather::Testing {

namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Removed with everything in it when the test program ends.
struct TempDirectory {
  fs::path path = fs::temp_directory_path() / ("orn_ppd_oracle_" + std::to_string(getpid()));
  TempDirectory() { fs::create_directories(path); }
  ~TempDirectory() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
};

}  // namespace

// Generates the ppdc and openprinting PPDs once into a temporary directory.
const std::vector<RealPPD>& realPPDs() {
  static const TempDirectory temp;
  static const std::vector<RealPPD> ppds = [] {
    std::vector<RealPPD> result;
    const fs::path& dir = temp.path;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/usr/share/cups/drv", ec)) {
      if (entry.path().extension() != ".drv") continue;
      fs::path out = dir / "ppdc" / entry.path().stem();
      fs::create_directories(out);
      std::string command =
          "ppdc -d '" + out.string() + "' '" + entry.path().string() + "' >/dev/null 2>&1";
      if (std::system(command.c_str()) != 0) continue;
    }
    for (const auto& entry : fs::recursive_directory_iterator(dir / "ppdc", ec)) {
      if (entry.is_regular_file()) result.push_back({entry.path(), readFile(entry.path())});
    }
    // A sample of every 25th PPD of the openprinting-ppds archive.
    fs::path sample = dir / "openprinting";
    std::string extract = "python3 '" + std::string(ORN_SOURCE_DIR) +
                          "/tests/ppd/extract_openprinting_ppds.py' "
                          "/usr/lib/cups/driver/openprinting-ppds '" +
                          sample.string() + "' 25 >/dev/null 2>&1";
    if (std::system(extract.c_str()) == 0) {
      for (const auto& entry : fs::directory_iterator(sample, ec)) {
        if (entry.is_regular_file()) result.push_back({entry.path(), readFile(entry.path())});
      }
    }
    return result;
  }();
  return ppds;
}

}  // namespace Quillfeather::Testing
