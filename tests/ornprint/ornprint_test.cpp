// The printer application as a client sees it: a real `ornprint server` on a loopback port with
// one printer per language, each printing to a socket sink run by the test. PWG raster pages go
// in with ipptool; what reaches the sink is decoded with the preview decoders and compared dot
// for dot with the page, and byte for byte with what rastertoorn writes for the same page.
#include <arpa/inet.h>
#include <cups/raster.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <bit>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <iterator>
#include <mutex>
#include <sstream>
#include <thread>

#include "cupsd_sandbox.h"
#include "orntool/preview_image.h"
#include "orntool/preview_ktrn8q.h"
#include "orntool/preview_lxpr.h"
#include "orntool/preview_png.h"
#include "orntool/preview_zpl.h"
#include "support/process.h"
#include "support/raster_builder.h"

using namespace OrnTest;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

constexpr uint32_t kDpi = 203, kWidth = 812, kHeight = 1218;  // 4 x 6 in

sockaddr_in loopback(uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  return address;
}

// A connection to a loopback port, or -1.
int connectTo(uint16_t port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = loopback(port);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
  close(fd);
  return -1;
}

int listenOnLoopback(uint16_t& port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = loopback(port);
  const int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  socklen_t length = sizeof address;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(fd, 8) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    throw std::runtime_error("cannot listen on loopback");
  port = ntohs(address.sin_port);
  return fd;
}

// A raw socket printer: every connection is one job; its bytes are kept once it closes.
class Sink {
 public:
  explicit Sink(uint16_t port = 0)
      : port_(port), fd_(listenOnLoopback(port_)), thread_([this] { serve(); }) {}
  ~Sink() {
    stop_ = true;
    thread_.join();
    close(fd_);
  }
  uint16_t port() const { return port_; }
  // While held, a connection is accepted but not read: the printer is busy.
  void hold(bool held) { held_ = held; }
  // The next finished job, or nullopt when none arrives in time.
  std::optional<std::string> next(std::chrono::seconds timeout = 30s) {
    std::unique_lock lock(mutex_);
    if (!ready_.wait_for(lock, timeout, [this] { return !jobs_.empty(); })) return std::nullopt;
    std::string job = std::move(jobs_.front());
    jobs_.erase(jobs_.begin());
    return job;
  }

 private:
  void serve() {
    while (!stop_) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 100) <= 0) continue;
      int client = accept(fd_, nullptr, nullptr);
      if (client < 0) continue;
      while (held_ && !stop_) std::this_thread::sleep_for(10ms);
      std::string data;
      char buffer[65536];
      for (ssize_t n; (n = read(client, buffer, sizeof buffer)) > 0;) data.append(buffer, n);
      close(client);
      std::lock_guard lock(mutex_);
      jobs_.push_back(std::move(data));
      ready_.notify_all();
    }
  }
  uint16_t port_ = 0;
  int fd_;
  std::atomic<bool> stop_{false}, held_{false};
  std::mutex mutex_;
  std::condition_variable ready_;
  std::vector<std::string> jobs_;
  std::thread thread_;
};

// A label of boxes, bars and a diagonal in black and white only, so that thresholding and the
// back ends' own conversion give the same dots.
bool ink(uint32_t x, uint32_t y) {
  if (x < 8 || y < 8 || x >= kWidth - 8 || y >= kHeight - 8) return x % 3 == 0;
  if (y > 100 && y < 400) return (x / 24 + y / 24) % 2 == 0;
  return x == y || (y > 600 && y < 700 && x % 40 < 20);
}

// The label's dots on a white picture of the given size, moved right by dx dots (left if negative).
Tesselin::Bitmap drawn(uint32_t width, uint32_t height, int64_t dx = 0) {
  Tesselin::Bitmap picture(width, height);
  for (uint32_t y = 0; y < std::min(height, kHeight); ++y)
    for (uint32_t x = 0; x < width; ++x)
      if (x - dx >= 0 && x - dx < kWidth && ink(x - dx, y)) picture.setPixel(x, y, true);
  return picture;
}

// The page as PWG raster written by libcups: in 8-bit grey (255 white) or 1-bit black, on the
// 4 x 6 in label or another PWG media size (the label's dots in its top-left corner).
void writePwg(const fs::path& path, const char* media = "oe_4x6-label_4x6in",
              const char* type = "sgray_8", int pages = 1,
              cups_mode_t mode = CUPS_RASTER_WRITE_PWG) {
  cups_file_t* file = cupsFileOpen(path.c_str(), "w");
  cups_raster_t* raster = cupsRasterOpen(cupsFileNumber(file), mode);
  cups_page_header2_t header;
  cupsRasterInitPWGHeader(&header, pwgMediaForPWG(media), type, kDpi, kDpi, "one-sided", nullptr);
  const bool grey = header.cupsBitsPerPixel == 8;
  std::vector<uint8_t> line(header.cupsBytesPerLine);
  for (uint32_t y = 0; y < header.cupsHeight * pages; ++y) {
    if (y % header.cupsHeight == 0) cupsRasterWriteHeader2(raster, &header);
    std::fill(line.begin(), line.end(), grey ? 255 : 0);
    for (uint32_t x = 0; x < std::min(kWidth, header.cupsWidth) && y % header.cupsHeight < kHeight;
         ++x) {
      if (!ink(x, y % header.cupsHeight)) continue;
      if (grey)
        line[x] = 0;
      else
        line[x / 8] |= uint8_t(0x80 >> (x % 8));
    }
    cupsRasterWritePixels(raster, line.data(), header.cupsBytesPerLine);
  }
  cupsRasterClose(raster);
  cupsFileClose(file);
}

// The same page as the CUPS raster that rastertoorn reads: 8-bit K (255 black).
std::string kRaster() {
  TestPage page;
  page.width = kWidth;
  page.height = kHeight;
  page.bitsPerColor = page.bitsPerPixel = 8;
  page.resolution = kDpi;
  for (uint32_t y = 0; y < kHeight; ++y)
    for (uint32_t x = 0; x < kWidth; ++x) page.data.push_back(ink(x, y) ? 255 : 0);
  return rasterStream({page});
}

struct Printer {
  const char* name;
  const char* driver;
  const char* ppd;
  std::vector<OrnTool::PreviewImage> (*decode)(std::span<const uint8_t>);
  uint32_t left;  // where the page starts across the label or ticket
};

std::vector<OrnTool::PreviewImage> decodeLxpr203(std::span<const uint8_t> data) {
  return OrnTool::decodeLxpr(data, kDpi);
}

const Printer kPrinters[] = {{"lxpr", "lxpr_203dpi", "orn-lxpr.ppd", decodeLxpr203, 0},
                             // Tickets are centred on the print head in whole bytes.
                             {"ktrn8q", "ktrn8q_203dpi", "orn-ktrn8q.ppd", OrnTool::decodeKtrn8q,
                              (OrnTool::kKtrn8qWidth / 8 - (kWidth + 7) / 8) / 2 * 8},
                             {"zpl", "zpl_203dpi", "orn-zpl.ppd", OrnTool::decodeZpl, 0}};

std::span<const uint8_t> bytesOf(const std::string& s) {
  return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

class OrnPrintServer : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ipptool_ = findProgram("ipptool");
    if (ipptool_.empty() || !fs::exists(ORN_BINARY_DIR "/ornprint")) return;
    dir_ = fs::temp_directory_path() / ("ornprint-test-" + std::to_string(getpid()));
    fs::create_directories(dir_ / "spool");
    writePwg(dir_ / "label.pwg");
    writePwg(dir_ / "label.urf", "oe_4x6-label_4x6in", "sgray_8", 1, CUPS_RASTER_WRITE_APPLE);
    fs::copy_file(ORN_SOURCE_DIR "/tests/ornprint/print-and-wait.test", dir_ / "wait.test");
    // State file and control socket go to the private folder, the models come from the tree.
    setenv("SNAP_COMMON", dir_.c_str(), 1);
    setenv("ORNPRINT_MODEL_DIR", ORN_SOURCE_DIR "/models", 1);
    uint16_t port = 0;
    close(listenOnLoopback(port));
    port_ = port;
    startServer();
    sink_ = std::make_unique<Sink>();
    for (const Printer& p : kPrinters) {
      CommandResult added =
          ornprint({"add", "-d", p.name, "-v",
                    "socket://127.0.0.1:" + std::to_string(sink_->port()), "-m", p.driver});
      if (added.exitStatus != 0) ADD_FAILURE() << "add " << p.driver << ": " << added.output;
    }
  }
  static void startServer() {
    server_ = std::make_unique<BackgroundProcess>(
        std::vector<std::string>{ORN_BINARY_DIR "/ornprint", "server", "-o",
                                 "server-port=" + std::to_string(port_), "-o",
                                 "spool-directory=" + (dir_ / "spool").string(), "-o",
                                 "log-file=" + (dir_ / "log").string(), "-o", "log-level=debug"},
        (dir_ / "server.out").string());
    // Waits for the control socket (a CLI call before it exists would start a server of its own)
    // and for the IPP port.
    for (int i = 0; i < 100 && !(fs::exists(dir_ / "ornprint.sock") && listening()); ++i)
      std::this_thread::sleep_for(100ms);
  }
  static bool listening() {
    const int fd = connectTo(port_);
    if (fd >= 0) close(fd);
    return fd >= 0;
  }
  static void TearDownTestSuite() {
    if (server_) ornprint({"shutdown"});
    if (server_) server_->stop(5s);
    server_.reset();
    sink_.reset();
    if (!dir_.empty()) fs::remove_all(dir_);
  }
  void SetUp() override {
    if (!server_) GTEST_SKIP() << "ornprint or ipptool is not built or installed";
  }
  static CommandResult ornprint(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), ORN_BINARY_DIR "/ornprint");
    return runCommand(arguments, {}, 30s);
  }
  // Sends a file to the named printer, waits for the job to end and returns how it ended
  // ("completed", "aborted" ...) and its job-state-message.
  static std::pair<std::string, std::string> submit(const std::string& printer,
                                                    const fs::path& file) {
    CommandResult r =
        runCommand({ipptool_, "-tf", file.string(),
                    "ipp://127.0.0.1:" + std::to_string(port_) + "/ipp/print/" + printer,
                    (dir_ / "wait.test").string()},
                   {}, 120s);
    auto value = [&](const std::string& name) {
      const size_t at = r.output.find(name + " (");
      if (at == std::string::npos) return std::string();
      const size_t start = r.output.find("= ", at) + 2;
      return r.output.substr(start, r.output.find('\n', start) - start);
    };
    return {value("job-state"), value("job-state-message")};
  }
  // Whether the server's log holds the text, given a few seconds (a loaded machine may show
  // the job's end before the log line is read back).
  static bool logged(const std::string& text) {
    for (int i = 0; i < 100; ++i, std::this_thread::sleep_for(100ms))
      if (fileContents(dir_ / "log").find(text) != std::string::npos) return true;
    return false;
  }
  // The labels of the next job that reaches the sink, decoded as ZPL (none when nothing arrives).
  static std::vector<OrnTool::PreviewImage> nextZplLabels() {
    std::optional<std::string> received = sink_->next();
    EXPECT_TRUE(received) << "nothing reached the printer";
    return received ? OrnTool::decodeZpl(bytesOf(*received)) : std::vector<OrnTool::PreviewImage>{};
  }
  // The option string of the printer's last job, as the server logged it.
  static std::string lastJobOptions() {
    const std::string log = fileContents(dir_ / "log");
    const size_t at = log.rfind("Job options: ");
    return at == std::string::npos ? "" : log.substr(at + 13, log.find('\n', at) - at - 13);
  }

  static inline fs::path dir_;
  static inline std::string ipptool_;
  static inline uint16_t port_ = 0;
  static inline std::unique_ptr<BackgroundProcess> server_;
  static inline std::unique_ptr<Sink> sink_;
};

TEST_F(OrnPrintServer, PrintsPwgRasterLikeTheFilterInEveryLanguage) {
  for (const Printer& printer : kPrinters) {
    SCOPED_TRACE(printer.driver);
    // Apple raster on one printer, PWG raster on the others: the same page either way.
    const char* document = printer.decode == kPrinters[0].decode ? "label.urf" : "label.pwg";
    ASSERT_EQ(submit(printer.name, dir_ / document).first, "completed");
    if (printer.decode == kPrinters[0].decode) {
      EXPECT_TRUE(logged("document-format mimeMediaType image/urf"));
    }
    std::optional<std::string> received = sink_->next();
    ASSERT_TRUE(received) << "nothing reached the printer";

    std::vector<OrnTool::PreviewImage> labels = printer.decode(bytesOf(*received));
    ASSERT_EQ(labels.size(), 1u);
    const Tesselin::Bitmap& bitmap = labels[0].bitmap;
    ASSERT_GE(bitmap.width(), printer.left + kWidth);
    ASSERT_GE(bitmap.height(), kHeight);
    EXPECT_TRUE(bitmap.data() == drawn(bitmap.width(), bitmap.height(), printer.left).data());

    const std::string options = lastJobOptions();
    ProcessOptions run;
    run.input = kRaster();
    run.env["PPD"] = std::string(ORN_SOURCE_DIR "/models/") + printer.ppd;
    ProcessResult filter =
        runProcess({ORN_BINARY_DIR "/rastertoorn", "1", "user", "Untitled", "1", options}, run);
    ASSERT_EQ(filter.exitStatus, 0) << filter.err;
    EXPECT_TRUE(filter.out == *received) << "options: " << options;
  }
}

// Bad jobs end without printing, a page wider than the label is centred on it, and the server
// serves the next job.
TEST_F(OrnPrintServer, BadAndOversizedJobs) {
  const fs::path truncated = dir_ / "truncated.pwg", garbage = dir_ / "garbage.pwg",
                 a4 = dir_ / "a4.pwg";
  writePwg(truncated);
  fs::resize_file(truncated, fs::file_size(truncated) / 2);
  std::ofstream(garbage) << "RaS2 this is no raster";
  writePwg(a4, "iso_a4_210x297mm");

  EXPECT_NE(submit("zpl", truncated).first, "completed");
  EXPECT_TRUE(logged("Page 1 ended after 527 of 1218 lines"));
  const std::pair<std::string, std::string> aborted("aborted", "Job aborted.");
  EXPECT_EQ(submit("zpl", garbage), aborted);
  for (std::optional<std::string> job; (job = sink_->next(1s));) EXPECT_EQ(*job, "");

  // A4 at 203 dpi is 1678 dots wide: the label shows its middle 812.
  ASSERT_EQ(submit("zpl", a4).first, "completed");
  std::vector<OrnTool::PreviewImage> labels = nextZplLabels();
  ASSERT_EQ(labels.size(), 1u);
  const Tesselin::Bitmap& label = labels[0].bitmap;
  EXPECT_TRUE(label.data() ==
              drawn(label.width(), label.height(), -int64_t{(1678 - kWidth) / 2}).data());

  // An unknown media name is ignored (IPP's "substituted" status): the job prints on the label.
  ASSERT_EQ(
      ornprint({"submit", "-d", "zpl", "-o", "media=oe_bogus_1x1in", (dir_ / "label.pwg").string()})
          .exitStatus,
      0);
  labels = nextZplLabels();
  ASSERT_EQ(labels.size(), 1u);
  EXPECT_EQ(labels[0].bitmap.height(), kHeight);
  EXPECT_TRUE(server_->running());
}

// The state of a printer's newest job, as `ornprint jobs` lists it ("processing", ...), and its id.
std::pair<std::string, std::string> newestJob(const std::string& listing) {
  std::istringstream in(listing);
  std::string id, state;
  in >> id >> state;
  return {id, state};
}

// A job cancelled while the printer is busy with it ends "canceled" with only part of its data
// sent; a job for a printer that refuses connections waits and prints once the printer is back.
// The server prints the next job either way.
TEST_F(OrnPrintServer, CancelledAndWaitingJobs) {
  const fs::path many = dir_ / "many.pwg";
  writePwg(many, "oe_4x6-label_4x6in", "sgray_8", 100);  // 12 MB of uncompressed graphics
  sink_->hold(true);
  auto sent = std::async(std::launch::async, [&] {
    return ornprint({"submit", "-d", "zpl", "-o", "orn-graphic-compression=none", many.string()});
  });
  auto waitFor = [&](const std::string& printer, const std::string& state) {
    std::pair<std::string, std::string> job;
    for (int i = 0; i < 300 && job.second != state; ++i, std::this_thread::sleep_for(100ms))
      job = newestJob(ornprint({"jobs", "-d", printer}).output);
    return job;
  };
  const auto [id, state] = waitFor("zpl", "processing");
  ASSERT_EQ(state, "processing");
  std::this_thread::sleep_for(1s);  // until the device's buffers are full
  EXPECT_EQ(ornprint({"cancel", "-d", "zpl", "-j", id}).exitStatus, 0);
  sink_->hold(false);
  sent.wait();
  EXPECT_EQ(waitFor("zpl", "canceled"), std::make_pair(id, std::string("canceled")));
  std::optional<std::string> partial = sink_->next();
  ASSERT_TRUE(partial);
  EXPECT_LT(partial->size(), 100u * 102 * 1218);
  ASSERT_EQ(submit("zpl", dir_ / "label.pwg").first, "completed");
  ASSERT_TRUE(sink_->next());
  // The printer's status never waits for the device, which here never answers (a peer waits
  // 10 s for it on every request).
  const auto asked = std::chrono::steady_clock::now();
  EXPECT_NE(ornprint({"status", "-d", "zpl"}).output.find("idle"), std::string::npos);
  EXPECT_LT(std::chrono::steady_clock::now() - asked, 2s);

  uint16_t port = 0;
  close(listenOnLoopback(port));
  ASSERT_EQ(ornprint({"add", "-d", "down", "-v", "socket://127.0.0.1:" + std::to_string(port), "-m",
                      "zpl_203dpi"})
                .exitStatus,
            0);
  auto waiting = std::async(std::launch::async, [&] { return submit("down", dir_ / "label.pwg"); });
  std::this_thread::sleep_for(2s);
  EXPECT_NE(ornprint({"status", "-d", "down"}).output.find("paused"), std::string::npos);
  Sink back(port);
  EXPECT_EQ(waiting.get().first, "completed");
  std::optional<std::string> received = back.next();
  ASSERT_TRUE(received);
  EXPECT_EQ(OrnTool::decodeZpl(bytesOf(*received)).size(), 1u);
  ornprint({"delete", "-d", "down"});
}

// CUPS's driverless queue: a private cupsd makes an `everywhere` queue from ornprint's own
// attributes and prints a PDF label with lp; the label reaches the printer.
TEST_F(OrnPrintServer, DriverlessQueueFromCups) {
  if (CupsdSandbox::cupsdPath().empty()) GTEST_SKIP() << "cupsd is not installed";
  const auto deadline = std::chrono::steady_clock::now() + 180s;
  CupsdSandbox cupsd({ORN_BINARY_DIR "/rastertoorn", ""});
  cupsd.start(30s);
  const std::string pdf = cupsd.root() + "/label.pdf";
  ASSERT_EQ(
      runCommand({findProgram("gs"), "-q", "-dBATCH", "-dNOPAUSE", "-dSAFER", "-sDEVICE=pdfwrite",
                  "-dLastPage=1", "-sOutputFile=" + pdf, ORN_SOURCE_DIR "/samples/label.ps"})
          .exitStatus,
      0);
  fs::permissions(pdf, fs::perms::others_read, fs::perm_options::add);
  const CommandResult added =
      cupsd.client("lpadmin", {"-p", "labels", "-E", "-v",
                               "ipp://127.0.0.1:" + std::to_string(port_) + "/ipp/print/zpl", "-m",
                               "everywhere"});
  ASSERT_EQ(added.exitStatus, 0) << added.output;
  const int id = cupsd.submit("labels", pdf, {"media=oe_4x6-label_4x6in"});
  ASSERT_EQ(cupsd.waitForJob(id, deadline), IPP_JSTATE_COMPLETED) << cupsd.jobLog(id);
  std::vector<OrnTool::PreviewImage> labels = nextZplLabels();
  ASSERT_EQ(labels.size(), 1u);
  EXPECT_TRUE(OrnTool::hasInk(labels[0].bitmap));
  EXPECT_EQ(labels[0].bitmap.width(), 816u);  // 4 in at 203 dpi, in whole bytes
}

// Defaults set on the server outlive a restart (CUPS's driverless queue does not send them), and
// they and the job's vendor attributes reach the back end as PPD settings.
TEST_F(OrnPrintServer, DefaultsAndVendorAttributes) {
  ASSERT_EQ(ornprint({"modify", "-d", "zpl", "-o", "printer-darkness-configured=80", "-o",
                      "label-mode-configured=peel-off"})
                .exitStatus,
            0);
  ornprint({"shutdown"});
  server_->stop(10s);
  fs::remove(dir_ / "ornprint.sock");
  startServer();
  CommandResult sent = ornprint(
      {"submit", "-d", "zpl", "-o", "orn-graphic-compression=z64", (dir_ / "label.pwg").string()});
  ASSERT_EQ(sent.exitStatus, 0) << sent.output;
  std::optional<std::string> received = sink_->next();
  ASSERT_TRUE(received);
  EXPECT_NE(received->find(":Z64:"), std::string::npos);
  EXPECT_EQ(OrnTool::decodeZpl(bytesOf(*received)).size(), 1u);
  const std::string options = lastJobOptions();
  for (const char* setting : {"ImageDarkness=Darker", "StripLabel=True", "ZPLCompression=Z64"})
    EXPECT_NE(options.find(setting), std::string::npos) << options;
}

// PNG and JPEG pages, which PAPPL decodes itself, print once per copy, and a 1-bit PNG (whose
// lines PAPPL passes on unscaled) prints as drawn.
TEST_F(OrnPrintServer, PngAndJpegPrintOncePerCopy) {
  OrnTool::writePng(drawn(kWidth, kHeight), (dir_ / "label.png").string());
  const std::string jpeg = (dir_ / "label.jpg").string();
  ASSERT_EQ(runCommand({findProgram("gs"), "-q", "-dBATCH", "-dNOPAUSE", "-dSAFER",
                        "-sDEVICE=jpeggray", "-r203", "-dLastPage=1", "-sOutputFile=" + jpeg,
                        ORN_SOURCE_DIR "/samples/label.ps"})
                .exitStatus,
            0);
  for (const std::string& file : {(dir_ / "label.png").string(), jpeg}) {
    SCOPED_TRACE(file);
    ASSERT_EQ(ornprint({"submit", "-d", "zpl", "-o", "copies=2", file}).exitStatus, 0);
    std::vector<OrnTool::PreviewImage> labels = nextZplLabels();
    ASSERT_EQ(labels.size(), 2u);
    EXPECT_TRUE(OrnTool::hasInk(labels[0].bitmap));
    EXPECT_TRUE(labels[0].bitmap.data() == labels[1].bitmap.data());
    // The 1-bit PNG of the label's size prints dot for dot; the JPEG label is not all black.
    const Tesselin::Bitmap& label = labels[0].bitmap;
    uint64_t black = 0;
    for (uint8_t byte : label.data()) black += std::popcount(byte);
    if (file == jpeg)
      EXPECT_LT(black, label.data().size() * 4);
    else
      EXPECT_TRUE(label.data() == drawn(label.width(), label.height()).data());
  }
}

// The web interface's pages are served without harm (each crashed the server once).
TEST_F(OrnPrintServer, WebPagesAreServed) {
  for (const char* page : {"/", "/zpl", "/zpl/media"}) {
    SCOPED_TRACE(page);
    const int fd = connectTo(port_);
    ASSERT_GE(fd, 0);
    const std::string request = std::string("GET ") + page + " HTTP/1.0\r\nHost: localhost\r\n\r\n";
    ASSERT_EQ(write(fd, request.data(), request.size()), ssize_t(request.size()));
    std::string response;
    char buffer[4096];
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) response.append(buffer, n);
    close(fd);
    EXPECT_EQ(response.substr(0, 12), "HTTP/1.0 200") << response.substr(0, 200);
    EXPECT_TRUE(server_->running());
  }
}

}  // namespace
