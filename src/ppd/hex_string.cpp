// Hex substrings of quoted PPD values: literal text is copied, and text between
// '<' and '>' must be an even number of hex digits (no blanks), each pair one
// byte with the high digit first; the brackets themselves are dropped.
#include "ppd/hex_string.h"

#include <stdexcept>

namespace Quillfeather {

namespace {

int hexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

std::string decodeHexSubstrings(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t pos = 0;
  while (pos < text.size()) {
    size_t open = text.find('<', pos);
    if (open == std::string_view::npos) {
      out.append(text.substr(pos));
      break;
    }
    out.append(text.substr(pos, open - pos));
    size_t close = text.find('>', open + 1);
    if (close == std::string_view::npos) throw std::invalid_argument("Unterminated hex string");
    std::string_view digits = text.substr(open + 1, close - open - 1);
    if (digits.size() % 2 != 0)
      throw std::invalid_argument("Hex string is not multiple of 2 characters");
    for (size_t i = 0; i < digits.size(); i += 2) {
      int high = hexDigitValue(digits[i]);
      int low = hexDigitValue(digits[i + 1]);
      if (high < 0 || low < 0) throw std::invalid_argument("Not hexadecimal character");
      out.push_back(static_cast<char>(high * 16 + low));
    }
    pos = close + 1;
  }
  return out;
}

}  // namespace Quillfeather
