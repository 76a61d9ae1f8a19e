#pragma once

#include <string>
#include <string_view>

namespace Quillfeather::ktrn8q::test {

// "1B 40 1F 62" -> the bytes: pairs of hexadecimal digits, one space apart.
inline std::string fromHex(std::string_view text) {
  std::string bytes;
  for (size_t i = 0; i + 1 < text.size(); i += 3) {
    bytes.push_back(static_cast<char>(std::stoi(std::string(text.substr(i, 2)), nullptr, 16)));
  }
  return bytes;
}

inline std::string toHex(std::string_view bytes) {
  std::string text;
  for (unsigned char byte : bytes) {
    if (!text.empty()) text.push_back(' ');
    text.push_back("0123456789ABCDEF"[byte >> 4]);
    text.push_back("0123456789ABCDEF"[byte & 15]);
  }
  return text;
}

}  // namespace Quillfeather::ktrn8q::test
