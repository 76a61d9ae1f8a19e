#include "raster_job.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "device_stream.h"
#include "drivers.h"
#include "job_options.h"
#include "jobcontrol/job_setup.h"
#include "jobcontrol/log.h"
#include "png_grey_depth.h"
#include "raster/raster_reader.h"
#include "vendor_options.h"

namespace OrnPrint {
namespace {

using Quillfeather::Log;
using Quillfeather::LogLevel;

// Largest page gathered in memory; a bigger page fails its job.
constexpr uint64_t kMaxPageBytes = uint64_t{256} << 20;

// Everything one job holds between the callbacks.
struct RasterJob {
  explicit RasterJob(pappl_device_t* device) : deviceBuffer(device), output(&deviceBuffer) {}
  DeviceStreamBuffer deviceBuffer;
  std::ostream output;
  std::istringstream input;  // no back channel: the back ends read nothing
  std::unique_ptr<Quillfeather::PreparedJob> prepared;
  Quillfeather::PageHeader header;
  uint32_t sourceBytesPerLine = 0;
  uint32_t cropOffset = 0;    // bytes dropped from the left of every line
  uint8_t tailMask = 0xFF;    // keeps the dots of a line's last byte that lie on the media
  uint32_t lines = 0;         // lines of the page received so far
  bool invert = false;        // grey lines (255 white) become raster values (255 black)
  uint8_t greyMaximum = 255;  // white in the lines PAPPL hands over (less for some PNG files)
  std::vector<uint8_t> page;
  std::string firstError;  // the first error or critical message, for job-state-message
};

RasterJob* jobData(pappl_job_t* job) { return static_cast<RasterJob*>(papplJobGetData(job)); }

// The back end's messages go to the job's log; the first failure becomes its state message.
void logToJob(pappl_job_t* job, RasterJob* data) {
  Log::setThreadSink([job, data](LogLevel level, std::string_view text) {
    pappl_loglevel_t papplLevel = PAPPL_LOGLEVEL_DEBUG;
    switch (level) {
      case LogLevel::Debug:
        papplLevel = PAPPL_LOGLEVEL_DEBUG;
        break;
      case LogLevel::Info:
        papplLevel = PAPPL_LOGLEVEL_INFO;
        break;
      case LogLevel::Warning:
        papplLevel = PAPPL_LOGLEVEL_WARN;
        break;
      case LogLevel::Error:
        papplLevel = PAPPL_LOGLEVEL_ERROR;
        break;
      case LogLevel::Critical:
        papplLevel = PAPPL_LOGLEVEL_FATAL;
        break;
    }
    const std::string line(text);
    papplLogJob(job, papplLevel, "%s", line.c_str());
    if (level >= LogLevel::Warning) papplJobSetMessage(job, "%s", line.c_str());
    if (level >= LogLevel::Error && data->firstError.empty()) data->firstError = line;
  });
}

bool fail(pappl_job_t* job, RasterJob* data, const std::string& message) {
  if (data->firstError.empty()) data->firstError = message;
  papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "%s", message.c_str());
  papplJobSetMessage(job, "%s", data->firstError.c_str());
  return false;
}

// Runs one step of the back end; an exception fails the job with its message.
template <typename Step>
bool guarded(pappl_job_t* job, RasterJob* data, Step step) {
  try {
    step();
    return true;
  } catch (const std::exception& e) {
    return fail(job, data, std::string("Unable to print: ") + e.what());
  } catch (...) {
    return fail(job, data, "Unable to print: unknown error");
  }
}

// The page header PAPPL hands over is the raster format's own header block, in host byte order.
Quillfeather::PageHeader pageHeader(const cups_page_header2_t& header) {
  std::string bytes(reinterpret_cast<const char*>(&header), sizeof header);
  std::istringstream in(bytes);
  Quillfeather::RasterFormat format;
  format.endianness = std::endian::native == std::endian::big ? 1 : 0;
  format.version = 3;
  return Quillfeather::readPageHeader(format, in);
}

const Driver* printerDriver(pappl_job_t* job) {
  return findDriver(papplPrinterGetDriverName(papplJobGetPrinter(job)));
}

}  // namespace

bool startRasterJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device) {
  const Driver* driver = printerDriver(job);
  if (driver == nullptr) {
    papplJobSetMessage(job, "Unknown driver");
    return false;
  }
  auto data = std::make_unique<RasterJob>(device);
  RasterJob* raw = data.get();
  papplJobSetData(job, data.release());
  logToJob(job, raw);
  const char* format = papplJobGetFormat(job);
  const char* file = papplJobGetFilename(job);
  if (format != nullptr && file != nullptr && std::strcmp(format, "image/png") == 0)
    raw->greyMaximum = pngGreyMaximum(file);

  pappl_pr_driver_data_t driverData;
  papplPrinterGetDriverData(papplJobGetPrinter(job), &driverData);
  Quillfeather::JobArguments arguments;
  arguments.jobId = std::to_string(papplJobGetID(job));
  arguments.user = papplJobGetUsername(job) ? papplJobGetUsername(job) : "";
  arguments.title = papplJobGetName(job) ? papplJobGetName(job) : "";
  arguments.options = jobOptions(*driver, *options, driverData.mode_configured);
  const std::string vendor = vendorSettings(*driver, options->num_vendor, options->vendor);
  if (!vendor.empty()) arguments.options += ' ' + vendor;
  papplLogJob(job, PAPPL_LOGLEVEL_DEBUG, "Job options: %s", arguments.options.c_str());
  const std::string ppd = modelPath(*driver);
  return guarded(job, raw, [&] {
    raw->prepared = std::make_unique<Quillfeather::PreparedJob>(ppd.c_str(), arguments, raw->input,
                                                                raw->output);
    raw->prepared->backend().beginJob();
  });
}

bool startRasterPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t*, unsigned) {
  RasterJob* data = jobData(job);
  if (data == nullptr || !data->prepared) return false;
  return guarded(job, data, [&] {
    data->header = pageHeader(options->header);
    Quillfeather::PageHeader& h = data->header;
    // PAPPL repeats the document for copies itself, and PWG raster leaves the count at 0.
    h.NumCopies = 1;
    if (h.cupsBitsPerPixel != 1 && h.cupsBitsPerPixel != 8)
      throw std::runtime_error("Pages of " + std::to_string(h.cupsBitsPerPixel) +
                               " bits per pixel cannot be printed");
    data->sourceBytesPerLine = h.cupsBytesPerLine;
    data->cropOffset = 0;
    data->lines = 0;
    data->tailMask = 0xFF;
    // The back ends take CUPS's black raster values; PAPPL hands over sGray or white lines.
    data->invert = h.cupsColorSpace == CUPS_CSPACE_SW || h.cupsColorSpace == CUPS_CSPACE_W;
    if (data->invert) h.cupsColorSpace = CUPS_CSPACE_K;
    // A page wider than the media is centred on it: the middle of every line is kept (in
    // whole bytes for 1-bit pages, whose dots past the media width are cleared).
    const Driver* driver = printerDriver(job);
    const uint64_t mediaDots =
        driver ? uint64_t(options->media.size_width) * driver->dpi / 2540 : h.cupsWidth;
    if (mediaDots > 0 && h.cupsWidth > mediaDots) {
      const uint64_t dropped = (h.cupsWidth - mediaDots) / 2;
      h.cupsWidth = static_cast<uint32_t>(mediaDots);
      if (h.cupsBitsPerPixel == 8) {
        data->cropOffset = static_cast<uint32_t>(dropped);
        h.cupsBytesPerLine = h.cupsWidth;
      } else {
        data->cropOffset = static_cast<uint32_t>(dropped / 8);
        h.cupsBytesPerLine = (h.cupsWidth + 7) / 8;
        if (h.cupsWidth % 8 != 0)
          data->tailMask = static_cast<uint8_t>(0xFF00 >> (h.cupsWidth % 8));
      }
    }
    if (uint64_t{data->cropOffset} + h.cupsBytesPerLine > data->sourceBytesPerLine)
      throw std::runtime_error("The page's lines are shorter than its width");
    const uint64_t bytes = uint64_t{h.cupsBytesPerLine} * h.cupsHeight;
    if (bytes > kMaxPageBytes) throw std::runtime_error("The page is too large");
    data->page.assign(bytes, 0);
  });
}

bool writeRasterLine(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*, unsigned y,
                     const unsigned char* line) {
  RasterJob* data = jobData(job);
  if (data == nullptr || y >= data->header.cupsHeight) return data != nullptr;
  const uint32_t rowBytes = data->header.cupsBytesPerLine;
  uint8_t* row = data->page.data() + uint64_t{y} * rowBytes;
  std::memcpy(row, line + data->cropOffset, rowBytes);
  if (data->greyMaximum != 255 && data->header.cupsBitsPerPixel == 8) {
    const unsigned scale = 255 / data->greyMaximum;
    for (uint32_t x = 0; x < rowBytes; ++x)
      row[x] = static_cast<uint8_t>(std::min<unsigned>(row[x], data->greyMaximum) * scale);
  }
  if (data->invert) {
    for (uint32_t x = 0; x < rowBytes; ++x) row[x] = static_cast<uint8_t>(~row[x]);
  }
  if (rowBytes > 0) row[rowBytes - 1] &= data->tailMask;
  data->lines = std::max(data->lines, y + 1);
  return true;
}

bool endRasterPage(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*, unsigned page) {
  RasterJob* data = jobData(job);
  if (data == nullptr || !data->prepared) return false;
  if (papplJobIsCanceled(job)) return false;
  // A page cut short (a truncated or damaged document) is not printed.
  if (data->lines < data->header.cupsHeight)
    return fail(job, data,
                "Page " + std::to_string(page) + " ended after " + std::to_string(data->lines) +
                    " of " + std::to_string(data->header.cupsHeight) + " lines");
  return guarded(job, data, [&] { data->prepared->backend().printPage(data->header, data->page); });
}

bool endRasterJob(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*) {
  std::unique_ptr<RasterJob> data(jobData(job));
  papplJobSetData(job, nullptr);
  if (!data) return false;
  bool ok = false;
  if (data->prepared) {
    Quillfeather::Filter& backend = data->prepared->backend();
    // Also after a cancel or a failed page: the job end finishes what the printer holds.
    ok = guarded(job, data.get(),
                 [&] {
                   if (!backend.hasFailed()) backend.finishJob();
                   data->output.flush();
                   if (!data->output)
                     throw std::runtime_error("Unable to write printer data to the output");
                 }) &&
         !backend.hasFailed();
  }
  Log::setThreadSink({});
  return ok;
}

}  // namespace OrnPrint
