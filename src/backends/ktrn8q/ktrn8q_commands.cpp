// Byte builders for the KT-RN8Q command stream; the layout of each command is
// listed in ktrn8q_commands.h.
#include "backends/ktrn8q/ktrn8q_commands.h"

#include <cassert>

namespace Quillfeather::ktrn8q {
namespace {

void appendBytes(std::string& out, std::initializer_list<uint8_t> bytes) {
  for (uint8_t byte : bytes) out.push_back(static_cast<char>(byte));
}

void appendWord(std::string& out, uint16_t value) {
  appendBytes(out, {static_cast<uint8_t>(value & 0xFF), static_cast<uint8_t>(value >> 8)});
}

}  // namespace

RowGeometry rowGeometry(std::size_t bytesPerRow) {
  if (bytesPerRow >= kRowBytes) return {0, kRowBytes, 0};
  return {(kRowBytes - bytesPerRow) / 2, bytesPerRow, (kRowBytes + 1 - bytesPerRow) / 2};
}

void appendInitialise(std::string& out) { appendBytes(out, {0x1B, 0x40}); }

void appendThermalMode(std::string& out, ThermalMode mode) {
  appendBytes(out, {0x1F, 0x62, static_cast<uint8_t>(mode), 0x00});
}

void appendPageHeight(std::string& out, uint16_t rows) {
  appendBytes(out, {0x1B, 0x50});
  appendWord(out, rows);
}

void appendPrintingSide(std::string& out, Side side) {
  appendBytes(out, {0x1F, 0x63, static_cast<uint8_t>(side), 0x00});
}

void appendFeed(std::string& out, uint64_t rows) {
  appendBytes(out, {0x1F, 0x61});
  while (rows >= 0x10000) {
    appendBytes(out, {0xFF, 0xFF, 0x1F, 0x61});
    rows -= 0xFFFF;
  }
  appendWord(out, static_cast<uint16_t>(rows));
}

void appendRasterRow(std::string& out, std::span<const uint8_t> row, const RowGeometry& geometry) {
  assert(row.size() >= geometry.data);
  assert(geometry.left + geometry.data + geometry.right == kRowBytes);
  appendBytes(out, {0x1B, 0x2E, 0x00, 0x01, 0x00, 0x00});
  out.append(geometry.left, '\0');
  out.append(reinterpret_cast<const char*>(row.data()), geometry.data);
  out.append(geometry.right, '\0');
}

void appendPrint(std::string& out, bool duplex) {
  if (duplex) {
    appendBytes(out, {0x1F, 0x64});
  } else {
    appendBytes(out, {0x1B, 0x0C});
  }
}

void appendKnifeCut(std::string& out) { appendBytes(out, {0x1B, 0x69}); }

}  // namespace Quillfeather::ktrn8q
