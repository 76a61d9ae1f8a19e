#include "jobcontrol/filter.h"

#include "imaging/darkness.h"
#include "imaging/downsample.h"
#include "imaging/image.h"
#include "jobcontrol/log.h"
#include "raster/raster_reader.h"

namespace Quillfeather {
namespace {

// Halftoning methods of the imaging library used for 8-bit pages.
constexpr int kOrderedDither = 1;
constexpr int kThreshold = 5;

void logPageHeader(const PageHeader& h) {
  Log::debug() << "cupsWidth: " << h.cupsWidth << std::endl;
  Log::debug() << "cupsHeight: " << h.cupsHeight << std::endl;
  Log::debug() << "pageSize.x: " << h.PageSize[0] << std::endl;
  Log::debug() << "pageSize.y: " << h.PageSize[1] << std::endl;
  Log::debug() << "cupsBitsPerColor: " << h.cupsBitsPerColor << std::endl;
  Log::debug() << "cupsBitsPerPixel: " << h.cupsBitsPerPixel << std::endl;
  Log::debug() << "cupsBytesPerLine: " << h.cupsBytesPerLine << std::endl;
  Log::debug() << "orientation: " << h.Orientation << std::endl;
  Log::debug() << "resolution: " << h.HWResolution[0] << "x" << h.HWResolution[1] << std::endl;
}

// The page as a bitmap. The data buffer is taken over; for grey pages it is
// handed back after the conversion so that the next page can reuse it.
Tesselin::Bitmap pageBitmap(const PageHeader& header, std::vector<uint8_t>& data,
                            const JobSettings& settings) {
  if (header.cupsBitsPerColor == 1 && header.cupsBitsPerPixel == 1) {
    // Rows of a bitmap are ceil(width / 8) bytes; other row lengths would shift
    // every row after the first.
    if (header.cupsBytesPerLine != (uint64_t{header.cupsWidth} + 7) / 8) {
      throw FilterException("Incorrect raster image format");
    }
    return Tesselin::Bitmap(std::move(data), header.cupsWidth, header.cupsHeight);
  }
  if (header.cupsBitsPerColor == 8 && header.cupsBitsPerPixel == 8) {
    // Raster values grow with darkness; images hold luminance.
    Tesselin::Image image(8, 1, header.cupsWidth, header.cupsHeight, std::move(data));
    image.invert();
    int method = kThreshold;
    if (settings.get("DocumentType", "") == "Graphics") {
      Log::info() << "Using SH halftoner" << std::endl;
      method = kOrderedDither;
    } else {
      Log::info() << "Using thresholding" << std::endl;
    }
    const int darkness = Tesselin::darknessFromName(settings.get("ImageDarkness", "Normal"));
    Tesselin::Bitmap bitmap = Tesselin::downsample(
        image, Tesselin::Rect{0, 0, header.cupsWidth, header.cupsHeight}, 10, 0, method, darkness);
    data = std::move(image.data());
    return bitmap;
  }
  throw FilterException("Incorrect raster image format");
}

}  // namespace

Filter::Filter(std::istream& input, std::ostream& output, const JobSettings& settings)
    : input_(input), output_(output), settings_(settings) {}

Filter::~Filter() = default;

bool Filter::queryStatus(int&) { throw FilterException("This method should not be called"); }

void Filter::startJob() {}
void Filter::endJob() {}
void Filter::outputPage(const Tesselin::Bitmap&, const PageHeader&) {
  throw FilterException("This method should not be called");
}
bool Filter::needsTumble() { return false; }

void Filter::write(std::string_view bytes) {
  if (!bytes.empty()) output_.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void Filter::run() {
  if (failed_ || started_) return;
  try {
    runPages();
  } catch (...) {
    failed_ = true;
    throw;
  }
}

bool Filter::cancelRequested() {
  if (cancelled_) return true;
  if (!cancelCheck_ || !cancelCheck_()) return false;
  cancelled_ = true;
  Log::info() << "Job cancelled after " << pageCount_ << " pages" << std::endl;
  abort();
  return true;
}

template <typename Step>
void Filter::guarded(Step step) {
  try {
    step();
  } catch (...) {
    failed_ = true;
    throw;
  }
}

void Filter::beginJob() {
  guarded([this] {
    started_ = true;
    pageCount_ = 0;
    if (jobStartHook_) jobStartHook_(*this);
    startJob();
  });
}

void Filter::printPage(const PageHeader& header, std::vector<uint8_t>& data) {
  guarded([&] {
    Tesselin::Bitmap bitmap = pageBitmap(header, data, settings_);

    ++pageCount_;
    if (pageStartHook_) pageStartHook_(*this);
    if (needsTumble()) {
      Log::debug() << "The page needs to be tumbled" << std::endl;
      bitmap.rotate180();
    } else {
      Log::debug() << "The page does not need to be tumbled" << std::endl;
    }
    outputPage(bitmap, header);
    if (pageEndHook_) pageEndHook_(*this);
    output_.flush();
    if (!output_) throw IOException("Unable to write printer data to the output");
    if (data.empty()) data = std::move(bitmap.data());
  });
}

void Filter::finishJob() {
  guarded([this] {
    endJob();
    if (jobEndHook_) jobEndHook_(*this);
  });
}

void Filter::runPages() {
  RasterReader reader(input_);
  // A cancel ends the input early. What the reader then reports (an end of
  // input, a page cut short) is the cancel, not a fault of the job.
  try {
    reader.readFormat();
  } catch (...) {
    if (cancelRequested()) return;
    throw;
  }
  beginJob();
  while (!failed_ && !cancelRequested()) {
    const bool end = reader.atEnd();
    if (cancelRequested() || end) break;
    PageHeader header;
    try {
      header = reader.readPageHeader();
      logPageHeader(header);
      reader.readPageData(header, pageData_);
    } catch (...) {
      if (cancelRequested()) break;
      throw;
    }
    printPage(header, pageData_);
  }
  // Also after a cancel: the job end finishes what the printer holds (the
  // front of a two-sided ticket, the last cut), and every page sent is whole.
  finishJob();
}

}  // namespace Quillfeather
