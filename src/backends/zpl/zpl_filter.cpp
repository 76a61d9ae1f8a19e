// ZPL page stream, one label per page:
//   ~DGR:PAGE.GRF,<total bytes>,<bytes per row>,\n   graphic download header
//   <the rows with ink, in the form the ZPLCompression setting picks>
//   \n^XA\n                                        label format start
//   ^FX JOB NAME: <title>^FS\n ^MMC,|^MMP, ^PRs,s,\n  first page only
//   ^FO0,<top>\n^IMR:PAGE.GRF^FS\n^XZ\n            place and print the graphic
//   ^IDR:PAGE.GRF^FS\n                             delete it from printer memory
#include "backends/zpl/zpl_filter.h"

#include <string>

#include "backends/zpl/zpl_graphic.h"
#include "jobcontrol/log.h"

namespace Quillfeather {
namespace {

constexpr size_t kMaxJobNameLength = 20;

// The title as a ZPL comment may hold neither the command prefix "^" nor the
// control prefix "~".
std::string jobName(std::string title) {
  if (title.size() > kMaxJobNameLength) title.resize(kMaxJobNameLength);
  for (char& c : title) {
    if (c == '^' || c == '~') c = '_';
  }
  return title;
}

}  // namespace

ZPLFilter::ZPLFilter(std::istream& input, std::ostream& output, const JobSettings& settings)
    : Filter(input, output, settings) {
  const std::string name = this->settings().get("ZPLCompression", "None");
  if (const auto chosen = zplCompressionFromName(name)) {
    compression_ = *chosen;
  } else {
    Log::warning() << "Unknown ZPLCompression \"" << name << "\", graphics are sent uncompressed"
                   << std::endl;
  }
}

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
  const std::span<const uint8_t> rows(bitmap.data().data() + box.top * width, total);
  appendZplGraphic(page, "R:PAGE.GRF", rows, width, compression_);
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
