// Whole page loop of each back end on a fixed set of job settings.
// Input: one control byte, then a CUPS raster stream. The control byte picks
// the back end (low two bits, modulo 3) and one of eight settings sets (next
// three bits). The job runs twice on fresh streams; both runs must give the
// same printer data and the same outcome (success, failed flag, or an
// exception with the same message). Exceptions derived from std::exception
// are allowed; anything else escapes and is reported by libFuzzer.
#include <array>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <memory>
#include <sstream>
#include <streambuf>
#include <string>
#include <string_view>

#include "backends/ktrn8q/ktrn8q_filter.h"
#include "backends/lxpr/lxpr_filter.h"
#include "backends/zpl/zpl_filter.h"
#include "ppd/job_settings.h"

namespace {

using Quillfeather::Filter;
using Quillfeather::JobSettings;

// Sends the filter's log lines nowhere; they would drown libFuzzer's output.
class NullBuffer : public std::streambuf {
 protected:
  int overflow(int c) override { return traits_type::not_eof(c); }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

// Option strings as CUPS would pass them, one per settings set.
constexpr std::array<std::string_view, 8> kOptionSets = {
    "",
    "DocumentType=Graphics ImageDarkness=Darkest Duplex=DuplexTumble CuttingMode=EveryPage "
    "ZPLCompression=Hex",
    "DocumentType=Text ImageDarkness=Lightest Duplex=DuplexNoTumble CuttingMode=EndOfDocument "
    "PrintOnBackOnly=True Compression=None",
    "Compression=SKARN CommandCharacters=Unreadable StripLabel=True CutInterval=2 "
    "PrintMethod=ThermalTransfer Sensor=Reflective ZPLCompression=Z64",
    "Compression=Auto CutModule=Partial CutInterval=1 PrintSpeed=10 LabelGap=Custom.5.0 "
    "Sensor=Transmissive",
    "DocumentType=Graphics ImageDarkness=Normal Duplex=DuplexTumble PrintOnBackOnly=True "
    "CuttingMode=None CutModule=Linerless",
    "PrintSpeed=99999999999 CutInterval=-5 LabelGap=Custom.-1 ImageDarkness=Bogus "
    "Compression=Bogus Duplex=Bogus ZPLCompression=Bogus",
    "DocumentType=Graphics PrintMethod=DirectThermalHeadUp StripLabel=False CutInterval=10 "
    "Title=\\\"quoted\\\\title\\\"",
};

JobSettings makeSettings(unsigned variant) {
  JobSettings settings;
  // Ranges as the model PPDs give them through ParamCustom statements.
  settings.set("LabelGap.Minimum", "0");
  settings.set("PrintMethod", "DirectThermal");
  settings.set("PrintSpeed", "4");
  settings.set("LabelGap.Maximum", "30");
  settings.set("JobID", "42");
  settings.set("User", "fuzz");
  settings.set("Title", "Fuzz job");
  settings.set("Copies", "1");
  settings.parseOptions(kOptionSets[variant % kOptionSets.size()]);
  return settings;
}

struct Outcome {
  std::string output;
  bool failed = false;
  bool threw = false;
  std::string message;
  uint32_t pages = 0;
};

Outcome runOnce(unsigned backend, const JobSettings& settings, std::string_view raster) {
  std::istringstream in{std::string(raster)};
  std::ostringstream out;
  std::unique_ptr<Filter> filter;
  Outcome outcome;
  try {
    // A back end may reject the settings already when it is constructed.
    switch (backend) {
      case 0:
        filter = std::make_unique<Quillfeather::ZPLFilter>(in, out, settings);
        break;
      case 1:
        filter = std::make_unique<Quillfeather::LXPRFilter>(in, out, settings);
        break;
      default:
        filter = std::make_unique<Quillfeather::KTRN8QFilter>(in, out, settings);
        break;
    }
    filter->run();
  } catch (const std::exception& e) {
    outcome.threw = true;
    outcome.message = e.what();
  }
  // Without a back end the job failed as well.
  outcome.failed = filter ? filter->hasFailed() : true;
  outcome.pages = filter ? filter->pageCount() : 0;
  outcome.output = out.str();
  return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  static NullBuffer nullBuffer;
  std::cerr.rdbuf(&nullBuffer);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const unsigned backend = (data[0] & 3u) % 3u;
  const unsigned variant = (data[0] >> 2) & 7u;
  // A fresh copy, so reads past the end are caught by the address sanitizer.
  const std::string raster(reinterpret_cast<const char*>(data + 1), size - 1);
  const JobSettings settings = makeSettings(variant);

  const Outcome first = runOnce(backend, settings, raster);
  const Outcome second = runOnce(backend, settings, raster);
  if (first.output != second.output || first.failed != second.failed ||
      first.threw != second.threw || first.message != second.message ||
      first.pages != second.pages) {
    std::abort();
  }
  // A job that threw must have set the failed flag; one that did not, must not have.
  if (first.threw != first.failed) std::abort();
  return 0;
}
