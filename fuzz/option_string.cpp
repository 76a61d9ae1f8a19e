// Any option string parses; a value written as cupsd writes it (backslash
// before blanks, backslashes and quotes) reads back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "ppd/job_settings.h"

using namespace Quillfeather;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  JobSettings raw;
  raw.parseOptions(input);

  std::string escaped = "A=1 opt=";
  for (char c : input) {
    if (c == ' ' || c == '\t' || c == '\n' || c == '\\' || c == '\'' || c == '"') escaped += '\\';
    escaped += c;
  }
  escaped += " B=2";
  JobSettings settings;
  settings.parseOptions(escaped);
  const std::string custom = "Custom.";
  bool isCustom = input.compare(0, custom.size(), custom) == 0;
  std::string expected = isCustom ? input.substr(custom.size()) : input;
  if (settings.get("opt", "<missing>") != expected || settings.isCustom("opt") != isCustom) abort();
  if (settings.get("A", "") != "1" || settings.get("B", "") != "2") abort();
  return 0;
}
