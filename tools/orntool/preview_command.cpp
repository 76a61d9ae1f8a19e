// orntool preview --language zpl|lxpr|ktrn8q [--dpi N] IN OUTDIR: draws the printer data the
// filter wrote (IN, "-" for standard input) as one PNG per label or ticket side in OUTDIR, so
// that a job can be checked without printing it. Prints the path of each picture it writes.
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "orntool/command.h"
#include "orntool/preview_image.h"
#include "orntool/preview_ktrn8q.h"
#include "orntool/preview_lxpr.h"
#include "orntool/preview_png.h"
#include "orntool/preview_zpl.h"

namespace OrnTool {

namespace {

// Printer data larger than this is not a job the filter wrote for one queue.
constexpr std::streamsize kMaxInputBytes = std::streamsize{1} << 30;

std::vector<uint8_t> readAll(std::istream& in, const std::string& name) {
  std::vector<uint8_t> bytes;
  char buffer[65536];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    if (static_cast<std::streamsize>(bytes.size()) + in.gcount() > kMaxInputBytes) {
      throw PreviewError("\"" + name + "\" is larger than 1 GiB");
    }
    bytes.insert(bytes.end(), buffer, buffer + in.gcount());
  }
  if (in.bad()) throw PreviewError("cannot read \"" + name + "\"");
  return bytes;
}

uint32_t parseDpi(std::string_view text) {
  uint32_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9' || value > 100000) throw UsageError("--dpi needs a number");
    value = value * 10 + static_cast<uint32_t>(c - '0');
  }
  if (text.empty()) throw UsageError("--dpi needs a number");
  if (value < kMinLxprDpi || value > kMaxLxprDpi) {
    throw UsageError("--dpi must lie between " + std::to_string(kMinLxprDpi) + " and " +
                     std::to_string(kMaxLxprDpi));
  }
  return value;
}

int preview(std::span<const std::string_view> arguments) {
  std::string language;
  uint32_t dpi = 203;
  std::vector<std::string> files;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string_view argument = arguments[i];
    auto value = [&](std::string_view option) -> std::string_view {
      if (argument.size() > option.size() && argument[option.size()] == '=') {
        return argument.substr(option.size() + 1);
      }
      if (i + 1 == arguments.size()) throw UsageError(std::string(option) + " needs a value");
      return arguments[++i];
    };
    if (argument == "--language" || argument.starts_with("--language=")) {
      language = value("--language");
    } else if (argument == "--dpi" || argument.starts_with("--dpi=")) {
      dpi = parseDpi(value("--dpi"));
    } else if (argument.starts_with("--")) {
      throw UsageError("unknown option \"" + std::string(argument) + "\"");
    } else {
      files.emplace_back(argument);
    }
  }
  if (language != "zpl" && language != "lxpr" && language != "ktrn8q") {
    throw UsageError("--language must be zpl, lxpr or ktrn8q");
  }
  if (files.size() != 2) throw UsageError("expected the printer data and an output folder");

  std::vector<uint8_t> data;
  if (files[0] == "-") {
    data = readAll(std::cin, "standard input");
  } else {
    std::ifstream in(files[0], std::ios::binary);
    if (!in) {
      throw PreviewError("cannot open \"" + files[0] + "\": " + std::strerror(errno));
    }
    data = readAll(in, files[0]);
  }

  const std::filesystem::path folder(files[1]);
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error || !std::filesystem::is_directory(folder)) {
    throw PreviewError("cannot create the folder \"" + files[1] + "\"");
  }

  const PreviewSink write = [&folder](PreviewImage&& image) {
    const std::string path = (folder / (image.name + ".png")).string();
    writePng(image.bitmap, path);
    std::cout << path << " (" << image.bitmap.width() << " x " << image.bitmap.height()
              << " dots)\n";
  };
  if (language == "zpl") {
    decodeZpl(data, write);
  } else if (language == "lxpr") {
    decodeLxpr(data, dpi, write);
  } else {
    decodeKtrn8q(data, write);
  }
  std::cout.flush();
  return 0;
}

const RegisterCommand kPreview{
    {"preview", "--language zpl|lxpr|ktrn8q [--dpi N] IN OUTDIR", &preview}};

}  // namespace

}  // namespace OrnTool
