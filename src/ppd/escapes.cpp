// Backslash escapes of insertion texts: a backslash and one of 0 \ " a b e f n
// r t v stands for one byte (NUL, backslash, quote, BEL, BS, ESC, FF, LF, CR,
// HT, VT); a backslash, 'x' and two hex digits stand for the byte of that value.
#include "ppd/escapes.h"

#include <array>
#include <cstdint>

namespace Quillfeather {

namespace {

struct NamedEscape {
  char byte;
  char letter;
};

constexpr std::array<NamedEscape, 11> kNamedEscapes = {{{'\0', '0'},
                                                        {'\\', '\\'},
                                                        {'"', '"'},
                                                        {'\a', 'a'},
                                                        {'\b', 'b'},
                                                        {'\x1b', 'e'},
                                                        {'\f', 'f'},
                                                        {'\n', 'n'},
                                                        {'\r', 'r'},
                                                        {'\t', 't'},
                                                        {'\v', 'v'}}};

// Lookup tables indexed by byte value: the letter that escapes a byte, and
// the byte an escape letter stands for (-1: none).
struct EscapeTables {
  std::array<int16_t, 256> letterOf{};
  std::array<int16_t, 256> byteOf{};
  constexpr EscapeTables() {
    for (auto& v : letterOf) v = -1;
    for (auto& v : byteOf) v = -1;
    for (const NamedEscape& e : kNamedEscapes) {
      letterOf[static_cast<uint8_t>(e.byte)] = static_cast<uint8_t>(e.letter);
      byteOf[static_cast<uint8_t>(e.letter)] = static_cast<uint8_t>(e.byte);
    }
  }
};

constexpr EscapeTables kTables;

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

std::string unescape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    char c = text[i];
    if (c != '\\' || i + 1 == text.size()) {
      out.push_back(c);
      ++i;
      continue;
    }
    char next = text[i + 1];
    if (next == 'x') {
      int high = i + 2 < text.size() ? hexValue(text[i + 2]) : -1;
      int low = i + 3 < text.size() ? hexValue(text[i + 3]) : -1;
      if (high < 0 || low < 0) {
        // Not an escape: the backslash stays, and the 'x' is ordinary text.
        out.push_back(c);
        ++i;
        continue;
      }
      out.push_back(static_cast<char>(high * 16 + low));
      i += 4;
      continue;
    }
    int16_t byte = kTables.byteOf[static_cast<uint8_t>(next)];
    if (byte < 0) throw UnknownEscapeException(std::string(text.substr(i, 2)));
    out.push_back(static_cast<char>(byte));
    i += 2;
  }
  return out;
}

std::string escape(std::string_view text) {
  static constexpr char kHexDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    uint8_t byte = static_cast<uint8_t>(c);
    int16_t letter = kTables.letterOf[byte];
    if (letter >= 0) {
      out.push_back('\\');
      out.push_back(static_cast<char>(letter));
    } else if (byte >= 0x80) {
      out.push_back('\\');
      out.push_back('x');
      out.push_back(kHexDigits[byte >> 4]);
      out.push_back(kHexDigits[byte & 0x0f]);
    } else {
      out.push_back(c);
    }
  }
  return out;
}

}  // namespace Quillfeather
