#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Quillfeather::ktrn8q::test {

// A printed sheet as the printer would build it from the command stream:
// each side is a list of 108-byte rows from the top, without trailing blank
// rows.
struct DecodedSheet {
  std::vector<std::string> front;
  std::vector<std::string> back;
  bool duplexPrint = false;
};

struct DecodedJob {
  bool initialised = false;
  int thermalMode = -1;
  std::vector<uint32_t> pageHeights;
  std::vector<DecodedSheet> sheets;
  // For each knife cut, the number of sheets printed before it.
  std::vector<std::size_t> cuts;
  // Rows or feeds sent but never printed.
  bool pendingContent = false;
};

// Plays the printer: interprets every command of the stream. Throws
// std::runtime_error on bytes that are not a complete known command.
DecodedJob decodeJob(std::string_view bytes);

// Drops blank rows from the end.
void trimTrailingBlankRows(std::vector<std::string>& rows);

}  // namespace Quillfeather::ktrn8q::test
