// The ZPL the filter writes: commands that start with "~" or "^" and two letters, parameters
// up to the next command. What the preview understands:
//   ~DGname,T,W,<data>  download a graphic of T bytes, W bytes a row, as hexadecimal digits
//                       (plain or with repeat counts) or Z64 data: preview_zpl_graphic.cpp
//   ^XA ... ^XZ         one label format; ^XZ prints it
//   ^FOx,y              field origin in dots
//   ^IMname / ^XGname   draw the stored graphic at the field origin
//   ^IDname             delete a stored graphic
//   ^PWw / ^LLl         label width and length in dots
//   ^FX text            comment up to the next command
// Other commands (^MM, ^PR, ^FS ...) do not change the picture and are skipped.
#include "orntool/preview_zpl.h"

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "orntool/preview_zpl_graphic.h"

namespace OrnTool {

namespace {

struct Graphic {
  uint64_t rowBytes = 0;
  std::vector<uint8_t> bytes;
};

struct Placed {
  uint64_t x = 0;
  uint64_t y = 0;
  const Graphic* graphic = nullptr;
  uint64_t width() const { return graphic->rowBytes * 8; }
  uint64_t height() const {
    return graphic->rowBytes == 0 ? 0 : graphic->bytes.size() / graphic->rowBytes;
  }
};

class ZplReader {
 public:
  ZplReader(std::span<const uint8_t> data, const PreviewSink& sink) : data_(data), sink_(sink) {}

  void read() {
    while (pos_ < data_.size()) {
      const uint8_t c = data_[pos_];
      if (c == '\n' || c == '\r' || c == ' ' || c == '\t') {
        ++pos_;
        continue;
      }
      if (c != '^' && c != '~') fail("text outside a command");
      commandStart_ = pos_;
      if (data_.size() - pos_ < 3) fail("command cut short");
      const std::string name{static_cast<char>(c), static_cast<char>(data_[pos_ + 1]),
                             static_cast<char>(data_[pos_ + 2])};
      pos_ += 3;
      command(name);
    }
    if (inFormat_) fail("the data ends inside a label format");
    if (labels_ == 0) throw PreviewError("no label in the ZPL data");
  }

 private:
  [[noreturn]] void fail(const std::string& what) const {
    throw PreviewError("ZPL data, command at offset " + std::to_string(commandStart_) + ": " +
                       printableMessage(what));
  }

  // The parameters: the text up to the next command.
  std::string_view parameters() {
    const size_t start = pos_;
    while (pos_ < data_.size() && data_[pos_] != '^' && data_[pos_] != '~') ++pos_;
    std::string_view text(reinterpret_cast<const char*>(data_.data()) + start, pos_ - start);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
    return text;
  }

  static std::optional<uint64_t> toNumber(std::string_view text) {
    if (text.empty() || text.size() > 9) return std::nullopt;
    uint64_t value = 0;
    for (char ch : text) {
      if (ch < '0' || ch > '9') return std::nullopt;
      value = value * 10 + static_cast<uint64_t>(ch - '0');
    }
    return value;
  }

  // Splits "a,b,c" into its fields.
  static std::vector<std::string_view> fields(std::string_view text) {
    std::vector<std::string_view> out;
    size_t start = 0;
    for (size_t comma = text.find(','); comma != std::string_view::npos;
         comma = text.find(',', start)) {
      out.push_back(text.substr(start, comma - start));
      start = comma + 1;
    }
    out.push_back(text.substr(start));
    return out;
  }

  uint64_t requireNumber(std::string_view text, const char* what) const {
    const auto value = toNumber(text);
    if (!value) fail(std::string("malformed ") + what + " \"" + std::string(text) + "\"");
    return *value;
  }

  void command(const std::string& name) {
    if (name == "~DG") {
      downloadGraphic();
    } else if (name == "^XA") {
      if (inFormat_) fail("^XA inside a label format");
      inFormat_ = true;
      placed_.clear();
      originX_ = originY_ = 0;
      labelWidth_ = labelLength_ = 0;
      parameters();
    } else if (name == "^XZ") {
      if (!inFormat_) fail("^XZ without ^XA");
      parameters();
      printLabel();
    } else if (name == "^FO") {
      const auto f = fields(parameters());
      originX_ = requireNumber(f[0], "field origin");
      originY_ = f.size() > 1 ? requireNumber(f[1], "field origin") : 0;
    } else if (name == "^IM" || name == "^XG") {
      if (!inFormat_) fail(name + " outside a label format");
      const std::string graphicName(fields(parameters())[0]);
      const auto found = graphics_.find(graphicName);
      if (found == graphics_.end()) fail("graphic \"" + graphicName + "\" was not downloaded");
      placed_.push_back({originX_, originY_, &found->second});
    } else if (name == "^ID") {
      const std::string graphicName(fields(parameters())[0]);
      const auto found = graphics_.find(graphicName);
      if (found != graphics_.end()) {
        if (placedGraphic(found->second)) fail("graphic deleted inside the format that uses it");
        heldBytes_ -= found->second.bytes.size();
        graphics_.erase(found);
      }
    } else if (name == "^PW") {
      labelWidth_ = requireNumber(parameters(), "label width");
    } else if (name == "^LL") {
      labelLength_ = requireNumber(fields(parameters())[0], "label length");
    } else {
      parameters();
    }
  }

  bool placedGraphic(const Graphic& graphic) const {
    for (const Placed& p : placed_) {
      if (p.graphic == &graphic) return true;
    }
    return false;
  }

  void downloadGraphic() {
    // Name, total bytes and bytes per row, each ended by a comma; the data follows.
    std::string_view header[3];
    for (auto& field : header) {
      const size_t start = pos_;
      while (pos_ < data_.size() && data_[pos_] != ',' && pos_ - start < 64) ++pos_;
      if (pos_ >= data_.size() || data_[pos_] != ',') fail("malformed ~DG header");
      field = std::string_view(reinterpret_cast<const char*>(data_.data()) + start, pos_ - start);
      ++pos_;
    }
    const uint64_t total = requireNumber(header[1], "graphic size");
    const uint64_t rowBytes = requireNumber(header[2], "graphic row size");
    if (total != 0 && (rowBytes == 0 || total % rowBytes != 0)) {
      fail("graphic size is not a whole number of rows");
    }
    if (total > kMaxPreviewBytes) fail("graphic too large");
    const std::string name(header[0]);
    if (const auto old = graphics_.find(name); old != graphics_.end()) {
      if (placedGraphic(old->second)) fail("graphic replaced inside the format that uses it");
      heldBytes_ -= old->second.bytes.size();
      graphics_.erase(old);
    }
    if (heldBytes_ + total > kMaxHeldGraphicBytes) fail("too much graphic data stored");

    const size_t start = pos_;
    while (pos_ < data_.size() && data_[pos_] != '^' && data_[pos_] != '~') ++pos_;
    const std::string_view text(reinterpret_cast<const char*>(data_.data()) + start, pos_ - start);
    Graphic graphic{rowBytes, {}};
    try {
      graphic.bytes = decodeZplGraphicData(text, total, rowBytes);
    } catch (const PreviewError& e) {
      fail(e.what());
    }
    heldBytes_ += total;
    graphics_[name] = std::move(graphic);
  }

  void printLabel() {
    uint64_t width = std::max<uint64_t>(labelWidth_, 1);
    uint64_t height = std::max<uint64_t>(labelLength_, 1);
    for (const Placed& p : placed_) {
      width = std::max(width, p.x + p.width());
      height = std::max(height, p.y + p.height());
    }
    Tesselin::Bitmap canvas = makeCanvas(width, height);
    for (const Placed& p : placed_) {
      if (p.height() == 0) continue;
      const Tesselin::Bitmap graphic(p.graphic->bytes, static_cast<uint32_t>(p.width()),
                                     static_cast<uint32_t>(p.height()));
      drawBitmap(canvas, graphic, p.x, p.y);
    }
    inFormat_ = false;
    placed_.clear();
    sink_({"label-" + std::to_string(++labels_), std::move(canvas)});
  }

  std::span<const uint8_t> data_;
  const PreviewSink& sink_;
  size_t pos_ = 0;
  size_t commandStart_ = 0;
  std::map<std::string, Graphic> graphics_;
  uint64_t heldBytes_ = 0;
  bool inFormat_ = false;
  std::vector<Placed> placed_;
  uint64_t originX_ = 0;
  uint64_t originY_ = 0;
  uint64_t labelWidth_ = 0;
  uint64_t labelLength_ = 0;
  uint64_t labels_ = 0;
};

}  // namespace

void decodeZpl(std::span<const uint8_t> data, const PreviewSink& sink) {
  ZplReader(data, sink).read();
}

std::vector<PreviewImage> decodeZpl(std::span<const uint8_t> data) {
  std::vector<PreviewImage> images;
  decodeZpl(data, [&images](PreviewImage&& image) { images.push_back(std::move(image)); });
  return images;
}

}  // namespace OrnTool
