// The filter inside real CUPS: the shipped PPDs pass cupstestppd, `cmake --install` stages the
// filter and the PPDs where CUPS looks for them, and a private cupsd prints a real PDF label on
// one queue per shipped PPD (created with `lpadmin -m` from the staged models). Every output
// file is decoded with the preview decoders and checked for size and content; the job logs must
// show the filter's page accounting and its validation warnings.
#include <gtest/gtest.h>

#include <filesystem>

#include "cupsd_sandbox.h"
#include "orntool/preview_image.h"
#include "orntool/preview_ktrn8q.h"
#include "orntool/preview_lxpr.h"
#include "orntool/preview_zpl.h"

using namespace OrnTest;
namespace fs = std::filesystem;

namespace {

const char* const kModels[] = {"orn-lxpr", "orn-ktrn8q", "orn-zpl"};

std::span<const uint8_t> bytesOf(const std::string& text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

// `cmake --install` of this build below DESTDIR with the given prefix; returns the staged
// filter's path below DESTDIR/prefix (CUPS's server binary folder below its prefix).
std::string stageInstall(const fs::path& destdir, const std::string& prefix,
                         CommandResult& result) {
  result = runCommand({ORN_CMAKE_COMMAND, "--install", ORN_BINARY_DIR, "--prefix", prefix},
                      {{"DESTDIR", destdir.string()}}, std::chrono::seconds(120));
  std::string serverBin = cupsConfig("--serverbin", "/usr/lib/cups");
  for (const std::string top : {"/usr/local/", "/usr/"}) {
    if (serverBin.starts_with(top)) serverBin = serverBin.substr(top.size());
  }
  return (destdir / prefix.substr(1) / serverBin / "filter/rastertoorn").string();
}

double inkShare(const Tesselin::Bitmap& bitmap) {
  uint64_t black = 0;
  for (uint32_t y = 0; y < bitmap.height(); ++y) {
    for (uint32_t x = 0; x < bitmap.width(); ++x) black += bitmap.getPixel(x, y);
  }
  return static_cast<double>(black) / (double{1} * bitmap.width() * bitmap.height());
}

#define SKIP_WITHOUT_CUPSD()                                                     \
  if (CupsdSandbox::cupsdPath().empty() || findProgram("cupstestppd").empty()) { \
    GTEST_SKIP() << "cupsd or cupstestppd is not installed";                     \
  }

TEST(CupsIntegration, ShippedModelsPassCupstestppd) {
  SKIP_WITHOUT_CUPSD();
  for (const char* model : kModels) {
    SCOPED_TRACE(model);
    const std::string path = std::string(ORN_SOURCE_DIR) + "/models/" + model + ".ppd";
    // The filter is not installed in CUPS's filter folder while testing.
    const CommandResult result = runCommand({findProgram("cupstestppd"), "-I", "filters", path});
    EXPECT_EQ(result.exitStatus, 0) << result.output;
    EXPECT_NE(result.output.find(": PASS"), std::string::npos) << result.output;
  }
}

TEST(CupsIntegration, StagedInstallHonoursDestdirAndPrefix) {
  SKIP_WITHOUT_CUPSD();
  const TempFolder stage;
  for (const std::string prefix : {"/usr", "/opt/orn-staged"}) {
    SCOPED_TRACE(prefix);
    const fs::path destdir = stage.path + "/stage" + std::to_string(prefix.size());
    CommandResult result;
    const std::string installed = stageInstall(destdir, prefix, result);
    ASSERT_EQ(result.exitStatus, 0) << result.output;
    ASSERT_TRUE(fs::is_regular_file(installed)) << result.output;
    EXPECT_EQ(fileContents(installed), fileContents(std::string(ORN_BINARY_DIR) + "/rastertoorn"));
    // CUPS runs only filters that nobody but their owner may change.
    EXPECT_EQ(fs::status(installed).permissions(), static_cast<fs::perms>(0755));
    for (const std::string model : kModels) {
      const fs::path ppd = destdir / prefix.substr(1) / "share/cups/model/orn" / (model + ".ppd");
      EXPECT_EQ(fileContents(ppd), fileContents(modelPPD(model.substr(4)))) << ppd;
    }
    // Nothing else lands in DESTDIR but the printer application with its systemd unit.
    const auto files = std::count_if(fs::recursive_directory_iterator(destdir), {},
                                     [](const auto& entry) { return entry.is_regular_file(); });
    const size_t printerApplication = fs::exists(std::string(ORN_BINARY_DIR) + "/ornprint") ? 2 : 0;
    EXPECT_EQ(static_cast<size_t>(files), 1 + std::size(kModels) + printerApplication);
  }
  EXPECT_FALSE(fs::exists("/opt/orn-staged"));
}

TEST(CupsPrinting, PrintsPdfLabelsOnEveryShippedQueue) {
  SKIP_WITHOUT_CUPSD();
  // The whole test, cupsd's start and every job included, ends within this time.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(300);
  const TempFolder stage;
  CommandResult install;
  const std::string filter = stageInstall(stage.path + "/stage", "/usr", install);
  ASSERT_EQ(install.exitStatus, 0) << install.output;
  CupsdSandbox cupsd({filter, stage.path + "/stage/usr/share/cups/model/orn"});
  cupsd.start(std::chrono::seconds(30));
  const auto output = [&](const std::string& queue) {
    return fileContents(cupsd.root() + "/out/" + queue + ".prn");
  };

  // The sample label as a real PDF file, made by Ghostscript.
  const std::string pdf = cupsd.root() + "/label.pdf";
  const CommandResult made =
      runCommand({findProgram("gs"), "-q", "-dBATCH", "-dNOPAUSE", "-dSAFER", "-sDEVICE=pdfwrite",
                  "-sOutputFile=" + pdf, std::string(ORN_SOURCE_DIR) + "/samples/label.ps"});
  ASSERT_EQ(made.exitStatus, 0) << made.output;
  fs::permissions(pdf, fs::perms::others_read, fs::perm_options::add);

  // The installed models are what `lpinfo -m` lists.
  const CommandResult models = cupsd.client("lpinfo", {"-m"});
  for (const std::string model : kModels) {
    EXPECT_NE(models.output.find("orn/" + model + ".ppd "), std::string::npos) << models.output;
  }
  // Same screening on the LXPR and ZPL queues, so their labels must agree dot for dot.
  const std::map<std::string, std::vector<std::string>> jobs = {
      {"lxpr",
       {"PrintSpeed=7", "DocumentType=Graphics", "ImageDarkness=Dark", "LabelGap=Custom.4.5"}},
      {"zpl", {"PrintSpeed=3", "DocumentType=Graphics", "ImageDarkness=Dark"}},
      {"ktrn8q", {"PageSize=w288h432", "Duplex=DuplexTumble", "CuttingMode=EveryPage"}},
  };
  std::map<std::string, std::string> log;
  for (const auto& [queue, options] : jobs) {
    const CommandResult added = cupsd.client(
        "lpadmin", {"-p", queue, "-E", "-v", "file://" + cupsd.root() + "/out/" + queue + ".prn",
                    "-m", "orn/orn-" + queue + ".ppd"});
    ASSERT_EQ(added.exitStatus, 0) << added.output;
    const int id = cupsd.submit(queue, pdf, options);
    ASSERT_EQ(cupsd.waitForJob(id, deadline), IPP_JSTATE_COMPLETED) << cupsd.jobLog(id);
    log[queue] = cupsd.jobLog(id);
    // The filter's page accounting: three pages.
    for (const std::string page : {"1", "2", "3", "4"}) {
      EXPECT_EQ(log[queue].find("] PAGE: " + page + " 1\n") != std::string::npos, page != "4")
          << queue << "\n"
          << log[queue];
    }
    EXPECT_EQ(log[queue].find("CRIT: "), std::string::npos) << queue;
  }
  // The error log escapes the quotes of a message.
  for (const char* line :
       {R"(Invalid choice for PrintSpeed, replacing \"7\" with default value \"4\")",
        "Print settings were amended", "Using SH halftoner"}) {
    EXPECT_NE(log["lxpr"].find(line), std::string::npos) << log["lxpr"];
  }
  EXPECT_EQ(log["zpl"].find("Invalid choice"), std::string::npos);

  // LXPR, 4 x 6 in at 203 dpi: 1016 x 1524 tenths of a millimetre, 4.5 mm gap, speed replaced
  // by the default 4, transmissive sensor and direct thermal from the PPD defaults.
  const std::string lxpr = output("lxpr");
  EXPECT_TRUE(lxpr.starts_with("{D1569,1016,1524|}\n")) << lxpr.substr(0, 40);
  EXPECT_NE(lxpr.find("{XS;I,0001,0002C4000|}\n"), std::string::npos);
  const auto lxprLabels = OrnTool::decodeLxpr(bytesOf(lxpr), 203);
  ASSERT_EQ(lxprLabels.size(), 3u);
  // ZPL: full rows of 102 bytes from the first to the last inked row, speed 3.
  const std::string zpl = output("zpl");
  EXPECT_NE(zpl.find("^FX JOB NAME: Integration label^FS\n"), std::string::npos);
  EXPECT_NE(zpl.find("^PR3,3,\n"), std::string::npos);
  const auto zplLabels = OrnTool::decodeZpl(bytesOf(zpl));
  ASSERT_EQ(zplLabels.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    const Tesselin::Bitmap &l = lxprLabels[i].bitmap, &z = zplLabels[i].bitmap;
    EXPECT_EQ(std::pair(l.width(), l.height()), std::pair(812u, 1218u));
    EXPECT_TRUE(inkShare(l) > 0.03 && inkShare(l) < 0.6) << inkShare(l);
    // The label's frame: a 6 pt line 12 pt inside the edge, so 15 pt (42 dots) down the row
    // from 15 pt to 273 pt across is black.
    for (uint32_t x = 43; x < 770; ++x) ASSERT_TRUE(l.getPixel(x, 42)) << x;
    EXPECT_EQ(z.width(), 816u);
    EXPECT_TRUE(z.height() > 1100u && z.height() <= 1218u) << z.height();
    uint64_t differences = 0;
    for (uint32_t y = 0; y < l.height(); ++y) {
      for (uint32_t x = 0; x < z.width(); ++x) {
        differences += (y < z.height() && z.getPixel(x, y)) != (x < l.width() && l.getPixel(x, y));
      }
    }
    EXPECT_EQ(differences, 0u) << "label " << i;
  }

  // KT-RN8Q, two-sided with the back turned: three pages make two sheets, the last back blank;
  // every side is 1218 rows of 864 dots.
  const std::string tickets = output("ktrn8q");
  EXPECT_TRUE(tickets.starts_with(std::string("\x1B\x40\x1F\x62\x02\x00\x1B\x50\xC2\x04", 10)));
  const auto sides = OrnTool::decodeKtrn8q(bytesOf(tickets));
  ASSERT_EQ(sides.size(), 4u);
  for (size_t i = 0; i < sides.size(); ++i) {
    EXPECT_EQ(sides[i].name, "ticket-" + std::to_string(i / 2 + 1) + (i % 2 ? "-back" : "-front"));
    EXPECT_EQ(std::pair(sides[i].bitmap.width(), sides[i].bitmap.height()), std::pair(864u, 1218u));
    EXPECT_EQ(inkShare(sides[i].bitmap) > 0.03 && inkShare(sides[i].bitmap) < 0.6, i < 3) << i;
  }
  EXPECT_FALSE(OrnTool::hasInk(sides[3].bitmap));
  // The back of sheet 1 is turned half a turn: its frame's top line is at the bottom.
  const uint32_t padding = (864 - 816) / 2;
  EXPECT_TRUE(sides[0].bitmap.getPixel(padding + 400, 42));
  EXPECT_TRUE(sides[1].bitmap.getPixel(863 - padding - 400, 1217 - 42));
  if (HasFailure()) std::cerr << cupsd.errorLog();
}

}  // namespace
