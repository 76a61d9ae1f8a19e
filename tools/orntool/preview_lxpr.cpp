// LXPR printer data, as the filter writes it: a sequence of framed commands, either
//   7B body 7C 7D 0A       ("{" body "|}" and a line feed; readable framing), or
//   1B body 0A 00          (ESC body LF NUL; unreadable framing).
// Bodies the preview reads (numbers in decimal, sizes and positions in 0.1 mm):
//   Dpppp,wwww,llll                 label pitch, width and length
//   C                               clear the image buffer
//   SG;xxxx,yyyy,wwww,hhhh,1,<data> raw graphic: h rows of ceil(w / 8) bytes, 1 = black
//   SG;xxxx,yyyy,wwww,rrrr,3,<data> SKARN graphic: 2-byte big-endian length L, L bytes of row
//                                   records (rrrr is the printer resolution class, 300 or 600)
//   XS;I,cccc,...                   issue the label (cccc copies)
// Every other body (adjustments AX/AY, RFID writes XB ...) is skipped. Graphic data is binary
// and may hold the end bytes, so SG is read by its lengths, never by scanning for the end.
#include "orntool/preview_lxpr.h"

#include <optional>
#include <string>
#include <string_view>

#include "imaging/bitmap_encoding.h"
#include "imaging/imaging_exception.h"

namespace OrnTool {

namespace {

struct Placed {
  uint64_t x = 0;  // dots
  uint64_t y = 0;
  Tesselin::Bitmap bitmap;
};

struct Label {
  std::optional<uint64_t> widthTenths;
  std::optional<uint64_t> lengthTenths;
  std::vector<Placed> graphics;
  uint64_t heldBytes = 0;
};

// Tenths of a millimetre to dots, rounded up: the filter truncates dots x 254 / dpi, and
// rounding up undoes that exactly up to 254 dpi (and within one dot above).
uint64_t tenthsToDots(uint64_t tenths, uint32_t dpi) { return (tenths * dpi + 253) / 254; }

class LxprReader {
 public:
  LxprReader(std::span<const uint8_t> data, uint32_t dpi, const PreviewSink& sink)
      : data_(data), dpi_(dpi), sink_(sink) {}

  void read() {
    while (pos_ < data_.size()) {
      const uint8_t byte = data_[pos_];
      if (byte == '{') {
        end_ = "|}";
      } else if (byte == 0x1B) {
        end_ = std::string_view("\n\0", 2);
      } else if (byte == '\n' || byte == '\r' || byte == ' ' || byte == '\t') {
        ++pos_;
        continue;
      } else {
        fail("byte 0x" + hex(byte) + " outside a command");
      }
      commandStart_ = pos_++;
      readCommand();
      if (end_ == "|}" && pos_ < data_.size() && data_[pos_] == '\n') ++pos_;
    }
    if (!label_.graphics.empty() || label_.widthTenths) {
      fail("the data ends before the last label is issued");
    }
    if (issued_ == 0) throw PreviewError("no label in the LXPR data");
  }

 private:
  [[noreturn]] void fail(const std::string& what) const {
    throw PreviewError("LXPR data, command at offset " + std::to_string(commandStart_) + ": " +
                       printableMessage(what));
  }

  static std::string hex(uint8_t byte) {
    constexpr char kDigits[] = "0123456789ABCDEF";
    return {kDigits[byte >> 4], kDigits[byte & 15]};
  }

  bool startsWith(std::string_view text) const {
    return data_.size() - pos_ >= text.size() &&
           std::equal(text.begin(), text.end(), data_.begin() + static_cast<ptrdiff_t>(pos_),
                      [](char a, uint8_t b) { return static_cast<uint8_t>(a) == b; });
  }

  // The text body up to the end bytes; the position moves past them.
  std::string_view textBody() {
    for (size_t i = pos_; i + end_.size() <= data_.size(); ++i) {
      if (std::equal(end_.begin(), end_.end(), data_.begin() + static_cast<ptrdiff_t>(i),
                     [](char a, uint8_t b) { return static_cast<uint8_t>(a) == b; })) {
        std::string_view body(reinterpret_cast<const char*>(data_.data()) + pos_, i - pos_);
        pos_ = i + end_.size();
        return body;
      }
    }
    fail("the command is not terminated");
  }

  void expectEnd() {
    if (!startsWith(end_)) fail("the command does not end where its length says");
    pos_ += end_.size();
  }

  // A decimal number (at most 9 digits) followed by the separator; the position moves past both.
  uint64_t number(char separator) {
    uint64_t value = 0;
    size_t digits = 0;
    while (pos_ < data_.size() && data_[pos_] >= '0' && data_[pos_] <= '9') {
      if (++digits > 9) fail("number too long");
      value = value * 10 + (data_[pos_++] - '0');
    }
    if (digits == 0) fail("number expected");
    if (pos_ >= data_.size() || data_[pos_] != separator) {
      fail(std::string("'") + separator + "' expected after a number");
    }
    ++pos_;
    return value;
  }

  std::span<const uint8_t> take(uint64_t count) {
    if (count > data_.size() - pos_) fail("the graphic data is cut short");
    const auto bytes = data_.subspan(pos_, count);
    pos_ += count;
    return bytes;
  }

  void readCommand() {
    if (startsWith("SG;")) {
      pos_ += 3;
      readGraphic();
      return;
    }
    const std::string_view body = textBody();
    if (body == "C") {
      label_.graphics.clear();
      label_.heldBytes = 0;
    } else if (body.starts_with("XS;")) {
      issue();
    } else if (body.starts_with("D") && body.size() > 1 && body[1] >= '0' && body[1] <= '9') {
      readSize(body.substr(1));
    }
  }

  void readSize(std::string_view fields) {
    uint64_t values[3] = {0, 0, 0};
    size_t field = 0;
    size_t digits = 0;
    for (char c : fields) {
      if (c == ',' && digits != 0 && field < 2) {
        ++field;
        digits = 0;
      } else if (c >= '0' && c <= '9' && digits < 9) {
        values[field] = values[field] * 10 + static_cast<uint64_t>(c - '0');
        ++digits;
      } else {
        fail("malformed label size \"D" + std::string(fields) + "\"");
      }
    }
    if (field != 2 || digits == 0) fail("malformed label size \"D" + std::string(fields) + "\"");
    label_.widthTenths = values[1];
    label_.lengthTenths = values[2];
  }

  void readGraphic() {
    const uint64_t x = number(',');
    const uint64_t y = number(',');
    const uint64_t width = number(',');
    const uint64_t fourth = number(',');
    if (pos_ + 1 >= data_.size() || data_[pos_ + 1] != ',') fail("graphic type expected");
    const uint8_t type = data_[pos_];
    pos_ += 2;
    if (width == 0 || width > UINT32_MAX) fail("graphic width out of range");
    Tesselin::Bitmap graphic;
    if (type == '1') {
      const uint64_t rowBytes = (width + 7) / 8;
      if (fourth == 0 || rowBytes * fourth > kMaxPreviewBytes) fail("graphic size out of range");
      const auto bytes = take(rowBytes * fourth);
      graphic = Tesselin::Bitmap(std::vector<uint8_t>(bytes.begin(), bytes.end()),
                                 static_cast<uint32_t>(width), static_cast<uint32_t>(fourth));
    } else if (type == '3') {
      if (width > Tesselin::kSkarnMaxWidth) fail("SKARN graphic wider than 4096 dots");
      const auto length = take(2);
      const auto records = take(uint64_t{length[0]} << 8 | length[1]);
      try {
        graphic = Tesselin::decodeSkarn(records, static_cast<uint32_t>(width));
      } catch (const Tesselin::Exception& e) {
        fail(std::string("damaged SKARN graphic: ") + e.what());
      }
    } else {
      fail("unknown graphic type 0x" + hex(type));
    }
    expectEnd();
    label_.heldBytes += graphic.dataSize();
    if (label_.heldBytes > kMaxHeldGraphicBytes) fail("too much graphic data for one label");
    label_.graphics.push_back({tenthsToDots(x, dpi_), tenthsToDots(y, dpi_), std::move(graphic)});
  }

  void issue() {
    uint64_t width = label_.widthTenths ? tenthsToDots(*label_.widthTenths, dpi_) : 1;
    uint64_t height = label_.lengthTenths ? tenthsToDots(*label_.lengthTenths, dpi_) : 1;
    // A graphic that reaches over the edge (rounding, or data sent for a wider label) grows
    // the picture, so that the preview shows everything the printer was sent.
    for (const Placed& g : label_.graphics) {
      width = std::max(width, g.x + g.bitmap.width());
      height = std::max(height, g.y + g.bitmap.height());
    }
    Tesselin::Bitmap canvas = makeCanvas(width, height);
    for (const Placed& g : label_.graphics) drawBitmap(canvas, g.bitmap, g.x, g.y);
    label_ = Label{};
    sink_({"label-" + std::to_string(++issued_), std::move(canvas)});
  }

  std::span<const uint8_t> data_;
  uint32_t dpi_;
  size_t pos_ = 0;
  size_t commandStart_ = 0;
  std::string_view end_;
  const PreviewSink& sink_;
  Label label_;
  uint64_t issued_ = 0;
};

}  // namespace

void decodeLxpr(std::span<const uint8_t> data, uint32_t dpi, const PreviewSink& sink) {
  if (dpi < kMinLxprDpi || dpi > kMaxLxprDpi) {
    throw PreviewError("resolution " + std::to_string(dpi) + " dpi is out of range");
  }
  LxprReader(data, dpi, sink).read();
}

std::vector<PreviewImage> decodeLxpr(std::span<const uint8_t> data, uint32_t dpi) {
  std::vector<PreviewImage> images;
  decodeLxpr(data, dpi, [&images](PreviewImage&& image) { images.push_back(std::move(image)); });
  return images;
}

}  // namespace OrnTool
