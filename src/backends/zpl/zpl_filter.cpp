// ZPL page stream, one label per page:
//   ~DGR:PAGE.GRF,<total bytes>,<bytes per row>,\n   graphic download header
//   <hex digits of the rows with ink, line breaks every 40 bytes inside rows>
//   \n^XA\n                                        label format start
//   ^FX JOB NAME: <title>^FS\n ^MMC,|^MMP, ^PRs,s,\n  first page only
//   ^FO0,<top>\n^IMR:PAGE.GRF^FS\n^XZ\n            place and print the graphic
//   ^IDR:PAGE.GRF^FS\n                             delete it from printer memory
#include "backends/zpl/zpl_filter.h"

#include <array>
#include <cstring>
#include <string>

namespace Quillfeather {
namespace {

constexpr size_t kMaxJobNameLength = 20;

constexpr std::array<std::array<char, 2>, 256> makeHexTable() {
  constexpr char kDigits[] = "0123456789ABCDEF";
  std::array<std::array<char, 2>, 256> table{};
  for (size_t i = 0; i < 256; ++i) table[i] = {kDigits[i >> 4], kDigits[i & 15]};
  return table;
}
constexpr auto kHex = makeHexTable();

// The title as a ZPL comment may hold neither the command prefix "^" nor the
// control prefix "~".
std::string jobName(std::string title) {
  if (title.size() > kMaxJobNameLength) title.resize(kMaxJobNameLength);
  for (char& c : title) {
    if (c == '^' || c == '~') c = '_';
  }
  return title;
}

// Appends the hex digits of rows [top, bottom). A line break follows every
// byte whose running index is a multiple of 40, unless it starts or ends its row.
void appendHexRows(std::string& out, const Tesselin::Bitmap& bitmap, uint32_t top,
                   uint32_t bottom) {
  const size_t width = bitmap.bytesPerRow();
  const size_t total = size_t{bottom - top} * width;
  const size_t start = out.size();
  out.resize(start + total * 2 + total / 40 + 1);
  char* p = out.data() + start;
  const uint8_t* row = bitmap.data().data() + size_t{top} * width;
  size_t untilBreak = 1;  // the running index 0 is a multiple of 40
  for (uint32_t y = top; y < bottom; ++y, row += width) {
    for (size_t x = 0; x < width; ++x) {
      std::memcpy(p, kHex[row[x]].data(), 2);
      p += 2;
      if (--untilBreak == 0) {
        untilBreak = 40;
        if (x != 0 && x + 1 != width) *p++ = '\n';
      }
    }
  }
  out.resize(static_cast<size_t>(p - out.data()));
}

}  // namespace

ZPLFilter::ZPLFilter(std::istream& input, std::ostream& output, const JobSettings& settings)
    : Filter(input, output, settings) {}

bool ZPLFilter::queryStatus(int& status) {
  status = 0;
  return false;
}

void ZPLFilter::outputPage(const Tesselin::Bitmap& bitmap, const PageHeader&) {
  const Tesselin::Rect box = bitmap.boundingBox();
  const uint64_t width = bitmap.bytesPerRow();
  const uint64_t total = uint64_t{box.bottom - box.top} * width;

  // One buffer for the whole page, kept between pages so that its memory is reused.
  std::string& page = page_;
  page.clear();
  page += "~DGR:PAGE.GRF," + std::to_string(total) + "," + std::to_string(width) + ",\n";
  appendHexRows(page, bitmap, box.top, box.bottom);
  page += "\n^XA\n";
  if (pageCount() == 1) {
    page += "^FX JOB NAME: " + jobName(settings().get("Title", "Untitled")) + "^FS\n";
    if (settings().getLong("CutInterval", 0) != 0) {
      page += "^MMC,\n";
    } else if (settings().getBool("StripLabel", false)) {
      page += "^MMP,\n";
    }
    const std::string speed = std::to_string(settings().getLong("PrintSpeed", 2));
    page += "^PR" + speed + "," + speed + ",\n";
  }
  page += "^FO0," + std::to_string(box.top) + "\n";
  page += "^IMR:PAGE.GRF^FS\n^XZ\n^IDR:PAGE.GRF^FS\n";
  output().write(page.data(), static_cast<std::streamsize>(page.size()));
}

}  // namespace Quillfeather
