// A model of the KT-RN8Q for tests: reads the command stream
//   1B 40 | 1F 62 m 00 | 1B 50 lo hi | 1F 63 s 00 | 1F 61 lo hi |
//   1B 2E 00 01 00 00 + 108 bytes | 1B 0C | 1F 64 | 1B 69
// and lays raster rows and feeds onto the current side of the sheet; a print
// command ejects the sheet.
#include "backends/ktrn8q/sheet_decoder.h"

#include <algorithm>
#include <stdexcept>

namespace Quillfeather::ktrn8q::test {
namespace {

constexpr std::size_t kRowBytes = 108;

class Reader {
 public:
  explicit Reader(std::string_view bytes) : bytes_(bytes) {}
  bool atEnd() const { return position_ == bytes_.size(); }
  uint8_t byte() {
    if (atEnd()) throw std::runtime_error("command cut short at byte " + std::to_string(position_));
    return static_cast<uint8_t>(bytes_[position_++]);
  }
  uint16_t word() {
    const uint8_t low = byte();
    return static_cast<uint16_t>(low | byte() << 8);
  }
  std::string take(std::size_t count) {
    if (bytes_.size() - position_ < count) throw std::runtime_error("raster row cut short");
    std::string taken(bytes_.substr(position_, count));
    position_ += count;
    return taken;
  }
  void expect(uint8_t value, const char* what) {
    if (byte() != value) throw std::runtime_error(std::string("malformed ") + what);
  }
  std::size_t position() const { return position_; }

 private:
  std::string_view bytes_;
  std::size_t position_ = 0;
};

struct SideCanvas {
  std::vector<std::string> rows;
  std::size_t cursor = 0;
};

}  // namespace

void trimTrailingBlankRows(std::vector<std::string>& rows) {
  while (!rows.empty() &&
         std::all_of(rows.back().begin(), rows.back().end(), [](char c) { return c == 0; })) {
    rows.pop_back();
  }
}

DecodedJob decodeJob(std::string_view bytes) {
  DecodedJob job;
  Reader in(bytes);
  SideCanvas sides[2];
  int side = 0;
  bool content = false;

  while (!in.atEnd()) {
    const std::size_t start = in.position();
    const uint8_t first = in.byte();
    const uint8_t second = in.byte();
    if (first == 0x1B && second == 0x40) {
      job.initialised = true;
    } else if (first == 0x1F && second == 0x62) {
      job.thermalMode = in.byte();
      in.expect(0, "thermal mode");
    } else if (first == 0x1B && second == 0x50) {
      job.pageHeights.push_back(in.word());
    } else if (first == 0x1F && second == 0x63) {
      side = in.byte();
      if (side > 1) throw std::runtime_error("unknown side");
      in.expect(0, "printing side");
    } else if (first == 0x1F && second == 0x61) {
      sides[side].cursor += in.word();
      content = true;
    } else if (first == 0x1B && second == 0x2E) {
      for (uint8_t expected : {0x00, 0x01, 0x00, 0x00}) in.expect(expected, "raster row header");
      SideCanvas& canvas = sides[side];
      if (canvas.rows.size() <= canvas.cursor)
        canvas.rows.resize(canvas.cursor + 1, std::string(kRowBytes, '\0'));
      canvas.rows[canvas.cursor++] = in.take(kRowBytes);
      content = true;
    } else if ((first == 0x1B && second == 0x0C) || (first == 0x1F && second == 0x64)) {
      DecodedSheet sheet;
      sheet.front = std::move(sides[0].rows);
      sheet.back = std::move(sides[1].rows);
      trimTrailingBlankRows(sheet.front);
      trimTrailingBlankRows(sheet.back);
      sheet.duplexPrint = first == 0x1F;
      job.sheets.push_back(std::move(sheet));
      sides[0] = {};
      sides[1] = {};
      content = false;
    } else if (first == 0x1B && second == 0x69) {
      job.cuts.push_back(job.sheets.size());
    } else {
      throw std::runtime_error("unknown command at byte " + std::to_string(start));
    }
  }
  job.pendingContent = content;
  return job;
}

}  // namespace Quillfeather::ktrn8q::test
