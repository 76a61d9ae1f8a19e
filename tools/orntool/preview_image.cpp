// Canvas helpers of the preview: byte-wise OR of a graphic into a picture at any dot offset.
#include <algorithm>

#include "orntool/preview_image.h"

namespace OrnTool {

namespace {

// The bits of the last byte of a row that lie inside a picture `width` dots wide.
uint8_t lastByteMask(uint32_t width) {
  const uint32_t used = width % 8;
  return used == 0 ? 0xFF : static_cast<uint8_t>(0xFF00 >> used);
}

}  // namespace

Tesselin::Bitmap makeCanvas(uint64_t width, uint64_t height) {
  if (width == 0 || height == 0) throw PreviewError("picture without size");
  if (width > kMaxPreviewSide || height > kMaxPreviewSide ||
      (width + 7) / 8 * height > kMaxPreviewBytes) {
    throw PreviewError("picture of " + std::to_string(width) + " x " + std::to_string(height) +
                       " dots is too large");
  }
  return Tesselin::Bitmap(static_cast<uint32_t>(width), static_cast<uint32_t>(height));
}

void drawBitmap(Tesselin::Bitmap& canvas, const Tesselin::Bitmap& graphic, uint64_t x, uint64_t y) {
  if (x >= canvas.width() || y >= canvas.height() || graphic.width() == 0) return;
  const uint32_t canvasBytes = canvas.bytesPerRow();
  const uint32_t graphicBytes = graphic.bytesPerRow();
  const uint64_t firstByte = x / 8;
  const unsigned shift = static_cast<unsigned>(x % 8);
  const uint8_t graphicMask = lastByteMask(graphic.width());
  const uint8_t canvasMask = lastByteMask(canvas.width());
  const uint64_t rows = std::min<uint64_t>(graphic.height(), canvas.height() - y);
  for (uint64_t r = 0; r < rows; ++r) {
    const uint8_t* in = graphic.data().data() + r * graphicBytes;
    uint8_t* out = canvas.data().data() + (y + r) * canvasBytes;
    for (uint32_t i = 0; i < graphicBytes; ++i) {
      const uint8_t value = i + 1 == graphicBytes ? in[i] & graphicMask : in[i];
      if (value == 0) continue;
      const uint64_t at = firstByte + i;
      if (at < canvasBytes) out[at] |= static_cast<uint8_t>(value >> shift);
      if (shift != 0 && at + 1 < canvasBytes) {
        out[at + 1] |= static_cast<uint8_t>(value << (8 - shift));
      }
    }
    out[canvasBytes - 1] &= canvasMask;
  }
}

bool hasInk(const Tesselin::Bitmap& bitmap) {
  if (bitmap.width() == 0) return false;
  const uint32_t bytes = bitmap.bytesPerRow();
  const uint8_t mask = lastByteMask(bitmap.width());
  for (uint32_t r = 0; r < bitmap.height(); ++r) {
    const uint8_t* row = bitmap.data().data() + uint64_t{r} * bytes;
    if (std::any_of(row, row + bytes - 1, [](uint8_t b) { return b != 0; })) return true;
    if ((row[bytes - 1] & mask) != 0) return true;
  }
  return false;
}

std::string printableMessage(std::string_view text) {
  constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == '\\') {
      out += "\\\\";
    } else if (byte < 0x20 || byte > 0x7E) {
      out += "\\x";
      out += kDigits[byte >> 4];
      out += kDigits[byte & 15];
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace OrnTool
