#include "e2e_support.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace OrnTest {

std::string filterPath() { return std::string(ORN_BINARY_DIR) + "/rastertoorn"; }

std::string sourcePath(const std::string& relative) {
  return std::string(ORN_SOURCE_DIR) + "/" + relative;
}

std::string writeTempFile(const std::string& name, const std::string& content) {
  const auto dir = std::filesystem::temp_directory_path() / ("orn-e2e-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const auto path = dir / name;
  std::ofstream(path, std::ios::binary) << content;
  return path.string();
}

ProcessResult runFilter(const std::string& ppdPath, const std::string& raster,
                        const std::string& options, const std::string& title,
                        const std::vector<std::string>& extraArgs) {
  std::vector<std::string> argv = {filterPath(), "42", "bob", title, "1", options};
  argv.insert(argv.end(), extraArgs.begin(), extraArgs.end());
  ProcessOptions process;
  process.input = raster;
  process.env["PPD"] = ppdPath.empty() ? std::nullopt : std::optional<std::string>(ppdPath);
  return runProcess(argv, process);
}

std::vector<std::string> linesWithPrefix(const std::string& err, const std::string& prefix) {
  std::vector<std::string> result;
  for (const std::string& line : lines(err)) {
    if (line.rfind(prefix, 0) == 0) result.push_back(line);
  }
  return result;
}

std::string minimalPPD(const std::string& language, const std::string& extra) {
  return "*PPD-Adobe: \"4.3\"\n*ORNBarcodePrinterLanguage: " + language + "\n" + extra;
}

}  // namespace OrnTest
