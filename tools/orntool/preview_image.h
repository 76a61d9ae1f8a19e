#pragma once

// What the printer-data decoders of `orntool preview` produce: one 1-bit picture per label or
// ticket side, as the printer would put it on paper, and the helpers that draw it.
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "imaging/bitmap.h"

namespace OrnTool {

// The printer data is not what the filter writes: truncated, damaged or of another language.
class PreviewError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct PreviewImage {
  std::string name;  // file name without extension, e.g. "label-1" or "ticket-2-back"
  Tesselin::Bitmap bitmap;
};

// Receives the pictures one by one, in print order, as a decoder finishes them.
using PreviewSink = std::function<void(PreviewImage&&)>;

// Largest picture a decoder draws (bytes of 1-bit data, and dots along either side); bigger
// sizes are damaged input.
inline constexpr uint64_t kMaxPreviewBytes = uint64_t{128} << 20;
inline constexpr uint64_t kMaxPreviewSide = uint64_t{1} << 18;

// Most graphic data a decoder holds at once (decoded bytes), so that small but damaged input
// cannot make it allocate without bound.
inline constexpr uint64_t kMaxHeldGraphicBytes = uint64_t{256} << 20;

// A white picture of width x height dots; PreviewError when a side is 0 or it is too large.
Tesselin::Bitmap makeCanvas(uint64_t width, uint64_t height);

// ORs the graphic's dots into the canvas with its top-left corner at (x, y), dot for dot; what
// falls outside the canvas is dropped.
void drawBitmap(Tesselin::Bitmap& canvas, const Tesselin::Bitmap& graphic, uint64_t x, uint64_t y);

// True when any dot of the picture is black.
bool hasInk(const Tesselin::Bitmap& bitmap);

// The message text of a decoder failure with every byte outside printable ASCII written as
// \xHH (and a backslash as \\), so that data quoted from damaged input stays on one line.
std::string printableMessage(std::string_view text);

}  // namespace OrnTool
