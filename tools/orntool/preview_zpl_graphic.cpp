// Graphic data of ZPL's ~DG download, rows of R bytes, 2 x R hexadecimal digits a row:
//   digits        0-9, A-F (a-f too), high nibble first
//   repeat count  G..Y (1 ... 19) and g..z (20, 40 ... 400) before a digit: the digit that many
//                 times; counts in a row add up, and may not run past the end of the row
//   ","  "!"      the rest of the row is 0 digits / F digits
//   ":"           in place of a row: a copy of the row before
//   :Z64:<base64>:<crc>   zlib data in base64; :B64:<base64>:<crc> the bytes themselves in
//                 base64; the CRC is four hexadecimal digits of the CRC-16 (polynomial 0x1021,
//                 initial value 0) of the base64 text
#include "orntool/preview_zpl_graphic.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "orntool/preview_image.h"

namespace OrnTool {

namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool isLineBreak(char c) { return c == '\n' || c == '\r'; }

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && isLineBreak(text.front())) text.remove_prefix(1);
  while (!text.empty() && isLineBreak(text.back())) text.remove_suffix(1);
  return text;
}

std::vector<uint8_t> decodeHex(std::string_view text, uint64_t total, uint64_t rowBytes) {
  std::vector<uint8_t> bytes(total);
  const uint64_t rowDigits = rowBytes * 2;
  uint64_t digits = 0;  // digits decoded so far
  uint64_t repeat = 0;  // the count in front of the next digit
  const auto put = [&bytes, &digits](int value, uint64_t count) {
    for (; count > 0; --count, ++digits) {
      bytes[digits >> 1] |= static_cast<uint8_t>((digits & 1) != 0 ? value : value << 4);
    }
  };
  size_t pos = 0;
  for (; pos < text.size() && digits < total * 2; ++pos) {
    const char c = text[pos];
    const uint64_t left = rowDigits - digits % rowDigits;  // digits left in this row
    if (c >= 'G' && c <= 'Y') {
      repeat += static_cast<uint64_t>(c - 'F');
    } else if (c >= 'g' && c <= 'z') {
      repeat += static_cast<uint64_t>(c - 'f') * 20;
    } else if (const int value = hexValue(c); value >= 0) {
      const uint64_t count = std::max<uint64_t>(repeat, 1);
      if (count > left) {
        throw PreviewError("a repeat count of " + std::to_string(count) + " runs past the end of " +
                           "row " + std::to_string(digits / rowDigits + 1));
      }
      put(value, count);
      repeat = 0;
    } else if (isLineBreak(c)) {
      continue;
    } else if (repeat != 0) {
      throw PreviewError("a repeat count is not followed by a hexadecimal digit");
    } else if (c == ',' || c == '!') {
      put(c == ',' ? 0 : 15, left);
    } else if (c == ':') {
      if (digits % rowDigits != 0) throw PreviewError("\":\" in the middle of a row");
      if (digits == 0) throw PreviewError("\":\" repeats a row before the first one");
      const uint64_t row = digits / 2;
      std::memcpy(bytes.data() + row, bytes.data() + row - rowBytes, rowBytes);
      digits += rowDigits;
    } else {
      throw PreviewError("graphic data holds a character that is not a hexadecimal digit");
    }
  }
  if (digits < total * 2) throw PreviewError("the graphic data is cut short");
  if (!trimmed(text.substr(pos)).empty()) {
    throw PreviewError("the graphic data goes on past its " + std::to_string(total) + " bytes");
  }
  return bytes;
}

std::vector<uint8_t> decodeBase64(std::string_view text) {
  std::vector<uint8_t> bytes;
  bytes.reserve(text.size() / 4 * 3);
  uint32_t bits = 0;
  int count = 0;
  size_t padding = 0;
  for (const char c : text) {
    int value = -1;
    if (c >= 'A' && c <= 'Z') value = c - 'A';
    if (c >= 'a' && c <= 'z') value = c - 'a' + 26;
    if (c >= '0' && c <= '9') value = c - '0' + 52;
    if (c == '+') value = 62;
    if (c == '/') value = 63;
    if (c == '=') {
      ++padding;
      continue;
    }
    if (value < 0 || padding != 0) throw PreviewError("the base64 text of the graphic is damaged");
    bits = bits << 6 | static_cast<uint32_t>(value);
    if (++count == 4) {
      bytes.push_back(static_cast<uint8_t>(bits >> 16));
      bytes.push_back(static_cast<uint8_t>(bits >> 8));
      bytes.push_back(static_cast<uint8_t>(bits));
      count = 0;
    }
  }
  if (count == 1 || padding > 2 || (padding != 0 && count + padding != 4)) {
    throw PreviewError("the base64 text of the graphic is damaged");
  }
  if (count == 2) bytes.push_back(static_cast<uint8_t>(bits >> 4));
  if (count == 3) {
    bytes.push_back(static_cast<uint8_t>(bits >> 10));
    bytes.push_back(static_cast<uint8_t>(bits >> 2));
  }
  return bytes;
}

uint16_t crc16(std::string_view text) {
  uint32_t crc = 0;
  for (const char c : text) {
    crc ^= uint32_t{static_cast<uint8_t>(c)} << 8;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x8000) != 0 ? (crc << 1) ^ 0x1021 : crc << 1;
  }
  return static_cast<uint16_t>(crc);
}

// Exactly `total` bytes out of zlib data.
std::vector<uint8_t> inflateAll(const std::vector<uint8_t>& packed, uint64_t total) {
  if (packed.size() > UINT32_MAX) throw PreviewError("the Z64 data is too large");
  std::vector<uint8_t> bytes(total + 1);  // one more, to find data that runs long
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) throw PreviewError("zlib cannot be started");
  stream.next_in = const_cast<Bytef*>(packed.data());
  stream.avail_in = static_cast<uInt>(packed.size());
  stream.next_out = bytes.data();
  stream.avail_out = static_cast<uInt>(bytes.size());
  const int result = inflate(&stream, Z_FINISH);
  const uint64_t produced = stream.total_out;
  inflateEnd(&stream);
  if (result == Z_STREAM_END && produced == total) {
    bytes.pop_back();
    return bytes;
  }
  if (produced > total || (result == Z_STREAM_END && produced < total)) {
    throw PreviewError("the Z64 data holds " + std::string(produced > total ? "more" : "fewer") +
                       " bytes than the graphic's " + std::to_string(total));
  }
  throw PreviewError(result == Z_BUF_ERROR ? "the Z64 data is cut short"
                                           : "the Z64 data is not valid zlib data");
}

std::vector<uint8_t> decodeBase64Form(std::string_view text, uint64_t total) {
  const bool packed = text.substr(0, 5) == ":Z64:";
  text.remove_prefix(5);
  const size_t colon = text.find(':');
  if (colon == std::string_view::npos) throw PreviewError("the graphic data has no CRC");
  const std::string_view base64 = text.substr(0, colon);
  const std::string_view crcText = trimmed(text.substr(colon + 1));
  uint32_t crc = 0;
  for (const char c : crcText) {
    const int value = hexValue(c);
    if (value < 0 || crcText.size() != 4) throw PreviewError("the CRC of the graphic is malformed");
    crc = crc << 4 | static_cast<uint32_t>(value);
  }
  if (crcText.size() != 4) throw PreviewError("the CRC of the graphic is malformed");
  const uint16_t computed = crc16(base64);
  if (crc != computed) {
    constexpr char kDigits[] = "0123456789ABCDEF";
    std::string expected;
    for (int shift = 12; shift >= 0; shift -= 4) expected += kDigits[(computed >> shift) & 15];
    throw PreviewError("the CRC of the graphic is " + std::string(crcText) + ", its data gives " +
                       expected);
  }
  std::vector<uint8_t> bytes = decodeBase64(base64);
  if (packed) return inflateAll(bytes, total);
  if (bytes.size() != total) {
    throw PreviewError("the B64 data holds " + std::to_string(bytes.size()) +
                       " bytes, the graphic " + std::to_string(total));
  }
  return bytes;
}

}  // namespace

std::vector<uint8_t> decodeZplGraphicData(std::string_view text, uint64_t total,
                                          uint64_t rowBytes) {
  const std::string_view data = trimmed(text);
  if (data.substr(0, 5) == ":Z64:" || data.substr(0, 5) == ":B64:") {
    return decodeBase64Form(data, total);
  }
  if (total == 0) {
    if (!data.empty()) throw PreviewError("the graphic data goes on past its 0 bytes");
    return {};
  }
  return decodeHex(data, total, rowBytes);
}

}  // namespace OrnTool
