// The filter inside real CUPS: the shipped PPDs pass cupstestppd, `cmake --install` stages the
// filter and the PPDs where CUPS looks for them, and a private cupsd prints a real PDF label
// on one queue per shipped PPD (created with `lpadmin -m` from the staged models). Every output
// file is decoded with the preview decoders and checked for size and content; the job log must
// show the filter's page accounting and its validation warnings.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "cupsd_sandbox.h"
#include "orntool/preview_image.h"
#include "orntool/preview_ktrn8q.h"
#include "orntool/preview_lxpr.h"
#include "orntool/preview_zpl.h"
#include "support/process.h"

using namespace OrnTest;
namespace fs = std::filesystem;

namespace {

const char* const kModels[] = {"orn-lxpr", "orn-ktrn8q", "orn-zpl"};

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::span<const uint8_t> bytesOf(const std::string& text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

std::string joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

// A temp folder that is removed again, reachable by CUPS's user when running as root.
class TempFolder {
 public:
  TempFolder() {
    std::string pattern = "/tmp/orn-integration-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
    fs::permissions(path_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                               fs::perms::others_read | fs::perms::others_exec);
  }
  ~TempFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

// `cmake --install` of this build below DESTDIR with the given prefix.
CommandResult stageInstall(const fs::path& destdir, const std::string& prefix,
                           std::chrono::milliseconds timeout = std::chrono::seconds(120)) {
  return runCommand({ORN_CMAKE_COMMAND, "--install", ORN_BINARY_DIR, "--prefix", prefix},
                    {{"DESTDIR", destdir.string()}}, timeout);
}

// CUPS's server binary folder below its prefix, as the install rules place the filter.
std::string cupsServerBinBelowPrefix() {
  const std::string program = findProgram("cups-config");
  if (program.empty()) return "lib/cups";
  CommandResult result = runCommand({program, "--serverbin"}, {}, std::chrono::seconds(20));
  std::string path = result.output.substr(0, result.output.find('\n'));
  for (const std::string prefix : {"/usr/local/", "/usr/"}) {
    if (path.rfind(prefix, 0) == 0 && path.size() > prefix.size())
      return path.substr(prefix.size());
  }
  return "lib/cups";
}

// The rest of the line after the first line that starts with the keyword.
std::string valueOf(const std::string& ppd, const std::string& keyword) {
  const size_t at = ppd.find("\n" + keyword);
  if (at == std::string::npos) return "";
  const size_t start = at + 1 + keyword.size();
  return ppd.substr(start, ppd.find('\n', start) - start);
}

// Whether one of the lines starts with the prefix and holds the text.
bool hasLine(const std::vector<std::string>& lines, const std::string& prefix,
             const std::string& text) {
  return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
    return line.rfind(prefix, 0) == 0 && line.find(text) != std::string::npos;
  });
}

bool sameFile(const fs::path& a, const fs::path& b) { return readFile(a) == readFile(b); }

double inkShare(const Tesselin::Bitmap& bitmap) {
  uint64_t black = 0;
  for (uint32_t y = 0; y < bitmap.height(); ++y) {
    for (uint32_t x = 0; x < bitmap.width(); ++x) black += bitmap.getPixel(x, y) ? 1 : 0;
  }
  return static_cast<double>(black) / (double{1} * bitmap.width() * bitmap.height());
}

#define SKIP_WITHOUT_CUPSD()                                                         \
  do {                                                                               \
    if (CupsdSandbox::cupsdPath().empty()) GTEST_SKIP() << "cupsd is not installed"; \
  } while (0)

TEST(CupsIntegration, ShippedModelsPassCupstestppd) {
  SKIP_WITHOUT_CUPSD();
  const std::string cupstestppd = findProgram("cupstestppd");
  ASSERT_FALSE(cupstestppd.empty()) << "cupstestppd is not installed";
  const std::map<std::string, std::string> languages = {
      {"orn-lxpr", "LXPR"}, {"orn-ktrn8q", "KTRN8Q"}, {"orn-zpl", "ZPL"}};
  for (const char* model : kModels) {
    SCOPED_TRACE(model);
    const std::string path = std::string(ORN_SOURCE_DIR) + "/models/" + model + ".ppd";
    // The filter is not installed in CUPS's filter folder while testing.
    const CommandResult result =
        runCommand({cupstestppd, "-I", "filters", path}, {}, std::chrono::seconds(60));
    EXPECT_EQ(result.exitStatus, 0) << result.output;
    EXPECT_NE(result.output.find(": PASS"), std::string::npos) << result.output;

    const std::string ppd = readFile(path);
    const std::string filter2 = valueOf(ppd, "*cupsFilter2: ");
    EXPECT_EQ(filter2.rfind("\"application/vnd.cups-raster application/", 0), 0u) << filter2;
    EXPECT_TRUE(filter2.ends_with(" 50 rastertoorn\"")) << filter2;
    EXPECT_EQ(valueOf(ppd, "*cupsFilter: "), "\"application/vnd.cups-raster 50 rastertoorn\"");
    EXPECT_NE(ppd.find("\n*ORNBarcodePrinterLanguage: " + languages.at(model) + "\n"),
              std::string::npos);
    // Every resolution asks for black-only raster of 1 or 8 bits.
    int resolutions = 0;
    for (size_t at = ppd.find("\n*Resolution "); at != std::string::npos;
         at = ppd.find("\n*Resolution ", at + 1)) {
      ++resolutions;
      const std::string code = ppd.substr(at, ppd.find('\n', at + 1) - at);
      EXPECT_NE(code.find("/cupsColorSpace 3"), std::string::npos) << code;
      EXPECT_TRUE(code.find("/cupsBitsPerColor 1/") != std::string::npos ||
                  code.find("/cupsBitsPerColor 8/") != std::string::npos)
          << code;
    }
    EXPECT_GT(resolutions, 0);
  }
}

TEST(CupsIntegration, StagedInstallHonoursDestdirAndPrefix) {
  SKIP_WITHOUT_CUPSD();
  const TempFolder stage;
  const fs::path filter = fs::path(ORN_BINARY_DIR) / "rastertoorn";
  for (const std::string prefix : {"/usr", "/opt/orn-staged"}) {
    SCOPED_TRACE(prefix);
    const fs::path destdir = stage.path() / ("stage" + std::to_string(prefix.size()));
    const CommandResult result = stageInstall(destdir, prefix);
    ASSERT_EQ(result.exitStatus, 0) << result.output;

    const fs::path root = destdir / prefix.substr(1);
    const fs::path installed = root / cupsServerBinBelowPrefix() / "filter/rastertoorn";
    ASSERT_TRUE(fs::is_regular_file(installed)) << result.output;
    EXPECT_TRUE(sameFile(installed, filter));
    struct stat info {};
    ASSERT_EQ(stat(installed.c_str(), &info), 0);
    // CUPS runs only filters that nobody but their owner may change.
    EXPECT_EQ(info.st_mode & 07777, 0755u);
    for (const char* model : kModels) {
      const fs::path ppd = root / "share/cups/model/orn" / (std::string(model) + ".ppd");
      ASSERT_TRUE(fs::is_regular_file(ppd)) << ppd;
      EXPECT_TRUE(
          sameFile(ppd, fs::path(ORN_SOURCE_DIR) / "models" / (std::string(model) + ".ppd")));
    }
    // Nothing lands outside DESTDIR.
    size_t files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(destdir)) {
      if (entry.is_regular_file()) ++files;
    }
    // The filter, the models, and the printer application with its systemd unit when built.
    const size_t printerApplication = fs::exists(fs::path(ORN_BINARY_DIR) / "ornprint") ? 2 : 0;
    EXPECT_EQ(files, 1 + std::size(kModels) + printerApplication);
  }
  EXPECT_FALSE(fs::exists("/opt/orn-staged"));
}

// One job of the big test: what is printed, and what the output must decode to.
struct Job {
  std::string queue;
  std::vector<std::string> options;
  int id = 0;
};

class CupsPrinting : public ::testing::Test {
 protected:
  void SetUp() override {
    SKIP_WITHOUT_CUPSD();
    const CommandResult install = stageInstall(stage_.path() / "stage", "/usr", left());
    ASSERT_EQ(install.exitStatus, 0) << install.output;
    const fs::path root = stage_.path() / "stage/usr";
    sandbox_ = std::make_unique<CupsdSandbox>(
        CupsdSandboxSettings{(root / cupsServerBinBelowPrefix() / "filter/rastertoorn").string(),
                             (root / "share/cups/model/orn").string()});
    sandbox_->setDeadline(deadline_);
    sandbox_->start(std::chrono::seconds(30));

    // The sample label as a real PDF file, made by Ghostscript.
    pdf_ = (fs::path(sandbox_->root()) / "label.pdf").string();
    const std::string gs = findProgram("gs");
    ASSERT_FALSE(gs.empty()) << "Ghostscript is not installed";
    const CommandResult made =
        runCommand({gs, "-q", "-dBATCH", "-dNOPAUSE", "-dSAFER", "-sDEVICE=pdfwrite",
                    "-sOutputFile=" + pdf_, std::string(ORN_SOURCE_DIR) + "/samples/label.ps"},
                   {}, left());
    ASSERT_EQ(made.exitStatus, 0) << made.output;
    fs::permissions(pdf_, fs::perms::others_read, fs::perm_options::add);
  }

  void TearDown() override {
    if (sandbox_ && HasFailure()) {
      const std::string log = sandbox_->errorLog();
      std::cerr << "cupsd error_log (last 6000 bytes):\n"
                << log.substr(log.size() > 6000 ? log.size() - 6000 : 0) << '\n';
    }
    sandbox_.reset();  // stops cupsd, also after a failed assertion
  }

  std::string output(const std::string& queue) const {
    return (fs::path(sandbox_->root()) / "out" / (queue + ".prn")).string();
  }

  // Creates the queue from an installed model, printing into a file.
  void addQueue(const std::string& queue, const std::string& model) {
    const CommandResult added = sandbox_->client(
        "lpadmin", {"-p", queue, "-E", "-v", "file://" + output(queue), "-m", "orn/" + model});
    ASSERT_EQ(added.exitStatus, 0) << added.output;
  }

  // What is left of the test's time limit, for one step.
  std::chrono::milliseconds left() const {
    const auto now = std::chrono::steady_clock::now();
    return deadline_ > now ? std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - now)
                           : std::chrono::milliseconds(0);
  }

  // The whole test, cupsd's start and every job included, ends within this time.
  const std::chrono::steady_clock::time_point deadline_ =
      std::chrono::steady_clock::now() + std::chrono::seconds(300);
  TempFolder stage_;
  std::unique_ptr<CupsdSandbox> sandbox_;
  std::string pdf_;
};

TEST_F(CupsPrinting, PrintsPdfLabelsOnEveryShippedQueue) {
  // The installed models are what `lpinfo -m` lists.
  const CommandResult models = sandbox_->client("lpinfo", {"-m"});
  ASSERT_EQ(models.exitStatus, 0) << models.output;
  for (const char* model : kModels) {
    EXPECT_NE(models.output.find("orn/" + std::string(model) + ".ppd "), std::string::npos)
        << models.output;
  }
  addQueue("lxpr", "orn-lxpr.ppd");
  addQueue("lxpr300", "orn-lxpr.ppd");
  addQueue("zpl", "orn-zpl.ppd");
  addQueue("ktrn8q", "orn-ktrn8q.ppd");
  ASSERT_FALSE(HasFatalFailure());

  // Same screening on the LXPR and ZPL queues, so their labels must agree dot for dot.
  std::vector<Job> jobs = {
      {"lxpr",
       {"PrintSpeed=7", "DocumentType=Graphics", "ImageDarkness=Dark", "LabelGap=Custom.4.5"}},
      {"zpl", {"PrintSpeed=3", "DocumentType=Graphics", "ImageDarkness=Dark"}},
      {"lxpr300",
       {"Resolution=300dpi", "PageSize=Custom.216x144", "CommandCharacters=Unreadable",
        "Compression=None", "PrintSpeed=8", "fit-to-page"}},
      {"ktrn8q", {"PageSize=w288h432", "Duplex=DuplexTumble", "CuttingMode=EveryPage"}},
  };
  for (Job& job : jobs)
    job.id = sandbox_->submit(job.queue, pdf_, "Integration label", job.options);

  for (const Job& job : jobs) {
    EXPECT_EQ(sandbox_->waitForJob(job.id, deadline_), IPP_JSTATE_COMPLETED)
        << job.queue << " job " << job.id << ":\n"
        << joined(sandbox_->jobLog(job.id));
  }
  ASSERT_FALSE(HasFailure());

  // The job logs: the filter's page accounting, and its corrections of invalid choices.
  for (const Job& job : jobs) {
    const std::string log = joined(sandbox_->jobLog(job.id));
    for (int page = 1; page <= 3; ++page) {
      EXPECT_NE(log.find("] PAGE: " + std::to_string(page) + " 1\n"), std::string::npos)
          << job.queue << "\n"
          << log;
    }
    EXPECT_EQ(log.find("] PAGE: 4 1"), std::string::npos) << job.queue;
    EXPECT_EQ(log.find("CRIT: "), std::string::npos) << job.queue;
  }
  const std::string lxprLog = joined(sandbox_->jobLog(jobs[0].id));
  // The error log escapes the quotes of a message.
  EXPECT_TRUE(hasLine(sandbox_->jobLog(jobs[0].id), "W [",
                      R"(Invalid choice for PrintSpeed, replacing \"7\" with default value \"4\")"))
      << lxprLog;
  EXPECT_NE(lxprLog.find("Print settings were amended"), std::string::npos);
  EXPECT_NE(lxprLog.find("Using SH halftoner"), std::string::npos);
  const std::string lxpr300Log = joined(sandbox_->jobLog(jobs[2].id));
  EXPECT_NE(lxpr300Log.find("Using thresholding"), std::string::npos);
  EXPECT_EQ(lxpr300Log.find("Invalid choice"), std::string::npos);

  // LXPR, 4 x 6 in at 203 dpi: 1016 x 1524 tenths of a millimetre, 4.5 mm gap, speed replaced
  // by the default 4, transmissive sensor and direct thermal from the PPD defaults.
  const std::string lxpr = readFile(output("lxpr"));
  EXPECT_EQ(lxpr.rfind("{D1569,1016,1524|}\n", 0), 0u) << lxpr.substr(0, 40);
  EXPECT_NE(lxpr.find("{XS;I,0001,0002C4000|}\n"), std::string::npos);
  const auto lxprLabels = OrnTool::decodeLxpr(bytesOf(lxpr), 203);
  ASSERT_EQ(lxprLabels.size(), 3u);
  for (const auto& label : lxprLabels) {
    SCOPED_TRACE(label.name);
    EXPECT_EQ(label.bitmap.width(), 812u);
    EXPECT_EQ(label.bitmap.height(), 1218u);
    EXPECT_GT(inkShare(label.bitmap), 0.03);
    EXPECT_LT(inkShare(label.bitmap), 0.6);
    // The label's frame: a 6 pt line 12 pt inside the edge, so 15 pt (42 dots) down the row
    // from 15 pt to 273 pt across is black.
    for (uint32_t x = 43; x < 770; ++x) ASSERT_TRUE(label.bitmap.getPixel(x, 42)) << x;
  }

  // ZPL: full rows of 102 bytes from the first to the last inked row, speed 3.
  const std::string zpl = readFile(output("zpl"));
  EXPECT_NE(zpl.find("^FX JOB NAME: Integration label^FS\n"), std::string::npos);
  EXPECT_NE(zpl.find("^PR3,3,\n"), std::string::npos);
  const auto zplLabels = OrnTool::decodeZpl(bytesOf(zpl));
  ASSERT_EQ(zplLabels.size(), 3u);
  for (size_t i = 0; i < zplLabels.size(); ++i) {
    SCOPED_TRACE(zplLabels[i].name);
    const Tesselin::Bitmap& z = zplLabels[i].bitmap;
    const Tesselin::Bitmap& l = lxprLabels[i].bitmap;
    EXPECT_EQ(z.width(), 816u);
    EXPECT_LE(z.height(), 1218u);
    EXPECT_GT(z.height(), 1100u);
    uint64_t differences = 0;
    for (uint32_t y = 0; y < l.height(); ++y) {
      for (uint32_t x = 0; x < z.width(); ++x) {
        const bool zplDot = y < z.height() && z.getPixel(x, y);
        const bool lxprDot = x < l.width() && l.getPixel(x, y);
        differences += zplDot != lxprDot ? 1 : 0;
      }
    }
    EXPECT_EQ(differences, 0u);
  }

  // LXPR at 300 dpi on a custom 3 x 2 in label, raw graphics, control-character framing.
  const std::string lxpr300 = readFile(output("lxpr300"));
  EXPECT_EQ(lxpr300.rfind(std::string("\x1B"
                                      "D0538,0762,0508\n\0",
                                      18),
                          0),
            0u);
  EXPECT_NE(lxpr300.find(std::string("\x1B"
                                     "XS;I,0001,0002C8000\n\0",
                                     22)),
            std::string::npos);
  EXPECT_EQ(lxpr300.find('{'), std::string::npos);
  const auto lxpr300Labels = OrnTool::decodeLxpr(bytesOf(lxpr300), 300);
  ASSERT_EQ(lxpr300Labels.size(), 3u);
  for (const auto& label : lxpr300Labels) {
    SCOPED_TRACE(label.name);
    EXPECT_EQ(label.bitmap.width(), 900u);
    EXPECT_EQ(label.bitmap.height(), 600u);
    EXPECT_GT(inkShare(label.bitmap), 0.03);
    EXPECT_LT(inkShare(label.bitmap), 0.6);
  }

  // KT-RN8Q, two-sided with the back turned: three pages make two sheets, the last back blank;
  // every side is 1218 rows of 864 dots.
  const std::string tickets = readFile(output("ktrn8q"));
  EXPECT_EQ(tickets.rfind(std::string("\x1B\x40\x1F\x62\x02\x00\x1B\x50\xC2\x04", 10), 0), 0u);
  const auto sides = OrnTool::decodeKtrn8q(bytesOf(tickets));
  ASSERT_EQ(sides.size(), 4u);
  const char* const names[] = {"ticket-1-front", "ticket-1-back", "ticket-2-front",
                               "ticket-2-back"};
  for (size_t i = 0; i < sides.size(); ++i) {
    SCOPED_TRACE(names[i]);
    EXPECT_EQ(sides[i].name, names[i]);
    EXPECT_EQ(sides[i].bitmap.width(), 864u);
    EXPECT_EQ(sides[i].bitmap.height(), 1218u);
    if (i < 3) {
      EXPECT_GT(inkShare(sides[i].bitmap), 0.03);
      EXPECT_LT(inkShare(sides[i].bitmap), 0.6);
    } else {
      EXPECT_FALSE(OrnTool::hasInk(sides[i].bitmap));
    }
  }
  // The back of sheet 1 is turned half a turn: its frame's top line is at the bottom.
  const Tesselin::Bitmap& back = sides[1].bitmap;
  const uint32_t padding = (864 - 816) / 2;
  EXPECT_TRUE(sides[0].bitmap.getPixel(padding + 400, 42));
  EXPECT_TRUE(back.getPixel(863 - padding - 400, 1217 - 42));
}

}  // namespace
