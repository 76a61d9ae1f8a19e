#pragma once

// Reads the ZPL the filter writes back into labels: every ~DG graphic download
// followed by a ^XA ... ^FO0,y ... ^IM ... ^XZ format becomes one label bitmap
// (rows of bytesPerRow bytes, 1 = black) with the graphic placed at row y.
#include <cstdint>
#include <string>
#include <vector>

namespace OrnTest {

struct ZplLabel {
  uint32_t bytesPerRow = 0;
  uint32_t top = 0;                         // ^FO y offset
  std::vector<uint8_t> rows;                // rows from 0 to top + graphic height, top rows blank
  std::vector<std::string> formatCommands;  // the lines between ^XA and ^XZ
};

// Throws std::runtime_error when the data is not what the filter writes.
std::vector<ZplLabel> decodeZpl(const std::string& zpl);

}  // namespace OrnTest
