// Any input parses or throws PPDSyntaxException with a line number inside the
// input; parsed statements keep the shapes the syntax allows, and hex
// substrings decode back to the bytes they encode.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "ppd/hex_string.h"
#include "ppd/ppd_file.h"

using namespace Quillfeather;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  size_t lines = 1;
  for (char c : input) lines += c == '\n';
  std::istringstream in(input);
  try {
    PPDFile ppd(in);
    size_t count = 0;
    for (const auto& [keyword, s] : ppd) {
      ++count;
      if (keyword != s.mainKeyword || keyword.empty() || keyword.size() > 40) abort();
      if (s.line == 0 || s.line > lines) abort();
      if (s.value.type == PPDValueType::None && !s.value.text.empty()) abort();
      if (s.value.type == PPDValueType::Symbol && s.value.text[0] != '^') abort();
      if (ppd.first(keyword).line < s.line) abort();
    }
    if (count != ppd.size()) abort();
  } catch (const PPDSyntaxException& e) {
    if (e.lineNumber() == 0 || e.lineNumber() > lines) abort();
  }

  static constexpr char kDigits[] = "0123456789abcdef";
  std::string encoded = "<";
  for (unsigned char c : input) {
    encoded += kDigits[c >> 4];
    encoded += kDigits[c & 15];
  }
  encoded += ">";
  if (decodeHexSubstrings(encoded) != input) abort();
  return 0;
}
