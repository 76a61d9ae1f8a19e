#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace Quillfeather::Testing {

struct RealPPD {
  std::filesystem::path path;
  std::string bytes;
};

// Every PPD that ppdc makes from the installed .drv files and every PPD of the
// openprinting-ppds package, written once per run into a temporary directory.
const std::vector<RealPPD>& realPPDs();

}  // namespace Quillfeather::Testing
