#include "support/zpl_decoder.h"

#include <sstream>
#include <stdexcept>

namespace OrnTest {
namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

size_t expect(const std::string& zpl, size_t pos, const std::string& text) {
  if (zpl.compare(pos, text.size(), text) != 0) {
    throw std::runtime_error("expected " + text + " at " + std::to_string(pos));
  }
  return pos + text.size();
}

uint64_t number(const std::string& zpl, size_t& pos) {
  size_t start = pos;
  uint64_t value = 0;
  while (pos < zpl.size() && zpl[pos] >= '0' && zpl[pos] <= '9')
    value = value * 10 + (zpl[pos++] - '0');
  if (pos == start) throw std::runtime_error("number expected at " + std::to_string(start));
  return value;
}

}  // namespace

std::vector<ZplLabel> decodeZpl(const std::string& zpl) {
  std::vector<ZplLabel> labels;
  size_t pos = 0;
  while (pos < zpl.size()) {
    ZplLabel label;
    pos = expect(zpl, pos, "~DGR:PAGE.GRF,");
    const uint64_t total = number(zpl, pos);
    pos = expect(zpl, pos, ",");
    label.bytesPerRow = static_cast<uint32_t>(number(zpl, pos));
    pos = expect(zpl, pos, ",\n");
    std::vector<uint8_t> graphic;
    graphic.reserve(total);
    while (graphic.size() < total) {
      if (pos < zpl.size() && zpl[pos] == '\n') {
        ++pos;
        continue;
      }
      if (pos + 1 >= zpl.size()) throw std::runtime_error("graphic data ends early");
      int hi = hexValue(zpl[pos]), lo = hexValue(zpl[pos + 1]);
      if (hi < 0 || lo < 0) throw std::runtime_error("bad hex digit");
      graphic.push_back(static_cast<uint8_t>(hi << 4 | lo));
      pos += 2;
    }
    if (label.bytesPerRow && total % label.bytesPerRow) throw std::runtime_error("partial row");
    pos = expect(zpl, pos, "\n^XA\n");
    bool placed = false;
    for (;;) {
      size_t end = zpl.find('\n', pos);
      if (end == std::string::npos) throw std::runtime_error("label format not closed");
      std::string line = zpl.substr(pos, end - pos);
      pos = end + 1;
      if (line == "^XZ") break;
      label.formatCommands.push_back(line);
      if (line.rfind("^FO0,", 0) == 0) {
        size_t p = 5;
        label.top = static_cast<uint32_t>(number(line, p));
        placed = true;
      }
    }
    if (!placed) throw std::runtime_error("graphic never placed");
    pos = expect(zpl, pos, "^IDR:PAGE.GRF^FS\n");
    label.rows.assign(size_t{label.top} * label.bytesPerRow, 0);
    label.rows.insert(label.rows.end(), graphic.begin(), graphic.end());
    labels.push_back(std::move(label));
  }
  return labels;
}

}  // namespace OrnTest
