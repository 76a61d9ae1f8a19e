// Z64 graphic data: ":Z64:" + base64 (RFC 4648 alphabet, "=" padding, no line breaks) of the
// bytes in the zlib format (RFC 1950, made by deflateBitmap) + ":" + CRC-16 of the base64 text in
// four upper-case hexadecimal digits.
#include "backends/zpl/zpl_z64.h"

#include <array>
#include <vector>

#include "backends/zpl/zpl_deflate.h"

namespace Quillfeather {
namespace {

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// kCrcTables[k][b]: the CRC of byte b followed by k zero bytes. With them eight bytes of text
// go through the CRC at once, each looked up independently of the others (as in slicing-by-8).
constexpr std::array<std::array<uint16_t, 256>, 8> makeCrcTables() {
  std::array<std::array<uint16_t, 256>, 8> tables{};
  for (unsigned i = 0; i < 256; ++i) {
    unsigned crc = i << 8;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x8000) != 0 ? (crc << 1) ^ 0x1021 : crc << 1;
    tables[0][i] = static_cast<uint16_t>(crc);
  }
  for (size_t k = 1; k < 8; ++k) {
    for (unsigned i = 0; i < 256; ++i) {
      const uint16_t crc = tables[k - 1][i];
      tables[k][i] = static_cast<uint16_t>(crc << 8) ^ tables[0][crc >> 8];
    }
  }
  return tables;
}
constexpr auto kCrcTables = makeCrcTables();

void appendBase64(std::string& out, std::span<const uint8_t> bytes) {
  const size_t start = out.size();
  out.resize(start + (bytes.size() + 2) / 3 * 4);
  char* p = out.data() + start;
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const uint32_t v = uint32_t{bytes[i]} << 16 | uint32_t{bytes[i + 1]} << 8 | bytes[i + 2];
    p[0] = kBase64[v >> 18];
    p[1] = kBase64[(v >> 12) & 63];
    p[2] = kBase64[(v >> 6) & 63];
    p[3] = kBase64[v & 63];
    p += 4;
  }
  if (i < bytes.size()) {
    const bool two = i + 1 < bytes.size();
    const uint32_t v = uint32_t{bytes[i]} << 16 | (two ? uint32_t{bytes[i + 1]} << 8 : 0);
    p[0] = kBase64[v >> 18];
    p[1] = kBase64[(v >> 12) & 63];
    p[2] = two ? kBase64[(v >> 6) & 63] : '=';
    p[3] = '=';
  }
}

}  // namespace

uint16_t zplCrc16(std::string_view text) {
  const auto& t = kCrcTables;
  const auto byte = [&text](size_t i) { return static_cast<uint8_t>(text[i]); };
  uint16_t crc = 0;
  size_t i = 0;
  for (; i + 8 <= text.size(); i += 8) {
    crc = t[7][byte(i) ^ (crc >> 8)] ^ t[6][byte(i + 1) ^ (crc & 0xFF)] ^ t[5][byte(i + 2)] ^
          t[4][byte(i + 3)] ^ t[3][byte(i + 4)] ^ t[2][byte(i + 5)] ^ t[1][byte(i + 6)] ^
          t[0][byte(i + 7)];
  }
  for (; i < text.size(); ++i) {
    crc = static_cast<uint16_t>(crc << 8) ^ t[0][(crc >> 8) ^ byte(i)];
  }
  return crc;
}

void appendZ64(std::string& out, std::span<const uint8_t> bytes, size_t bytesPerRow) {
  out += ":Z64:";
  const size_t start = out.size();
  // Kept from page to page so that its memory is reused.
  thread_local std::vector<uint8_t> packed;
  const size_t size = deflateBitmap(bytes, bytesPerRow, packed);
  appendBase64(out, std::span<const uint8_t>(packed.data(), size));
  const uint16_t crc = zplCrc16(std::string_view(out).substr(start));
  constexpr char kDigits[] = "0123456789ABCDEF";
  out += ':';
  for (int shift = 12; shift >= 0; shift -= 4) out += kDigits[(crc >> shift) & 15];
}

}  // namespace Quillfeather
