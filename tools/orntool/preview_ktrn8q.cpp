// KT-RN8Q printer data, as the filter writes it (bytes in hex; lo hi = 16 bits, low byte first):
//   1B 40                 initialise
//   1F 62 m 00            thermal mode (0 front only, 1 back only, 2 both sides)
//   1B 50 lo hi           page height in rows
//   1F 63 s 00            print on side s (0 front, 1 back) from its first row
//   1F 61 lo hi           skip lo hi blank rows
//   1B 2E 00 01 00 00 d…  one raster row: 108 bytes, 864 dots, 1 = black
//   1B 0C / 1F 64         print the selected side / both sides of the sheet
//   1B 69                 knife cut
// A print command ends a ticket: every side selected since the previous one becomes a picture.
#include "orntool/preview_ktrn8q.h"

#include <array>
#include <optional>
#include <string>

namespace OrnTool {

namespace {

constexpr uint32_t kRowBytes = kKtrn8qWidth / 8;
// Taller sides than this are damaged data (about 32 m at 203 dpi).
constexpr uint64_t kMaxRows = uint64_t{1} << 18;
constexpr std::array<uint8_t, 6> kRowHeader = {0x1B, 0x2E, 0x00, 0x01, 0x00, 0x00};

struct Side {
  bool used = false;
  uint64_t nextRow = 0;
  std::vector<uint8_t> rows;  // kRowBytes per row, rows below the last printed one absent
};

class Ktrn8qReader {
 public:
  Ktrn8qReader(std::span<const uint8_t> data, const PreviewSink& sink) : data_(data), sink_(sink) {}

  void read() {
    while (pos_ < data_.size()) {
      commandStart_ = pos_;
      const uint8_t first = data_[pos_];
      const uint8_t second = byteAt(pos_ + 1);
      if (first == 0x1B && second == 0x40) {
        pos_ += 2;
      } else if (first == 0x1F && second == 0x62) {
        const uint8_t mode = byteAt(pos_ + 2);
        if (mode > 2 || byteAt(pos_ + 3) != 0) fail("unknown thermal mode");
        pos_ += 4;
      } else if (first == 0x1B && second == 0x50) {
        pageHeight_ = word(pos_ + 2);
        pos_ += 4;
      } else if (first == 0x1F && second == 0x63) {
        const uint8_t side = byteAt(pos_ + 2);
        if (side > 1 || byteAt(pos_ + 3) != 0) fail("unknown printing side");
        current_ = side;
        sides_[side] = Side{true, 0, {}};
        pos_ += 4;
      } else if (first == 0x1F && second == 0x61) {
        Side& side = currentSide();
        side.nextRow += word(pos_ + 2);
        if (side.nextRow > kMaxRows) fail("the side is too long");
        pos_ += 4;
      } else if (first == 0x1B && second == 0x2E) {
        rasterRow();
      } else if ((first == 0x1B && second == 0x0C) || (first == 0x1F && second == 0x64)) {
        pos_ += 2;
        print();
      } else if (first == 0x1B && second == 0x69) {
        pos_ += 2;
      } else {
        fail("unknown command");
      }
    }
    if (sides_[0].used || sides_[1].used) fail("the data ends before the ticket is printed");
    if (tickets_ == 0) throw PreviewError("no ticket in the KT-RN8Q data");
  }

 private:
  [[noreturn]] void fail(const std::string& what) const {
    throw PreviewError("KT-RN8Q data, command at offset " + std::to_string(commandStart_) + ": " +
                       printableMessage(what));
  }

  uint8_t byteAt(size_t at) const {
    if (at >= data_.size()) fail("the command is cut short");
    return data_[at];
  }

  uint32_t word(size_t at) const { return byteAt(at) | uint32_t{byteAt(at + 1)} << 8; }

  Side& currentSide() {
    Side& side = sides_[current_];
    side.used = true;
    return side;
  }

  void rasterRow() {
    if (data_.size() - pos_ < kRowHeader.size() + kRowBytes) fail("the raster row is cut short");
    if (!std::equal(kRowHeader.begin(), kRowHeader.end(), data_.begin() + pos_)) {
      fail("unknown raster row header");
    }
    Side& side = currentSide();
    if (side.nextRow >= kMaxRows) fail("the side is too long");
    side.rows.resize((side.nextRow + 1) * kRowBytes);
    const auto row = data_.subspan(pos_ + kRowHeader.size(), kRowBytes);
    std::copy(row.begin(), row.end(), side.rows.begin() + side.nextRow * kRowBytes);
    ++side.nextRow;
    pos_ += kRowHeader.size() + kRowBytes;
  }

  void print() {
    // A print command without a side prints the front, as the printer starts there.
    if (!sides_[0].used && !sides_[1].used) sides_[current_].used = true;
    ++tickets_;
    for (uint32_t s = 0; s < 2; ++s) {
      Side& side = sides_[s];
      if (!side.used) continue;
      const uint64_t printedRows = side.rows.size() / kRowBytes;
      const uint64_t height = std::max<uint64_t>({pageHeight_.value_or(0), printedRows, 1});
      Tesselin::Bitmap canvas = makeCanvas(kKtrn8qWidth, height);
      std::copy(side.rows.begin(), side.rows.end(), canvas.data().begin());
      side = Side{};
      sink_({"ticket-" + std::to_string(tickets_) + (s == 0 ? "-front" : "-back"),
             std::move(canvas)});
    }
  }

  std::span<const uint8_t> data_;
  const PreviewSink& sink_;
  size_t pos_ = 0;
  size_t commandStart_ = 0;
  std::optional<uint32_t> pageHeight_;
  uint32_t current_ = 0;
  std::array<Side, 2> sides_;
  uint64_t tickets_ = 0;
};

}  // namespace

void decodeKtrn8q(std::span<const uint8_t> data, const PreviewSink& sink) {
  Ktrn8qReader(data, sink).read();
}

std::vector<PreviewImage> decodeKtrn8q(std::span<const uint8_t> data) {
  std::vector<PreviewImage> images;
  decodeKtrn8q(data, [&images](PreviewImage&& image) { images.push_back(std::move(image)); });
  return images;
}

}  // namespace OrnTool
