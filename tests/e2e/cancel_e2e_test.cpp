// CUPS cancels a job with SIGTERM: the filter finishes what it is writing, says so at Info
// level and stops before the next page.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "orntool/preview_zpl.h"
#include "support/process.h"
#include "support/raster_builder.h"

using namespace OrnTest;

namespace {

size_t labelCount(const std::string& zpl) {  // throws on a partial command
  return OrnTool::decodeZpl(std::span(reinterpret_cast<const uint8_t*>(zpl.data()), zpl.size()))
      .size();
}

// Reads until end of file or until nothing arrives for the time-out.
std::string readAvailable(int fd, int timeoutMs) {
  std::string text;
  char buffer[65536];
  pollfd p{fd, POLLIN, 0};
  for (ssize_t n; poll(&p, 1, timeoutMs) > 0 && (n = read(fd, buffer, sizeof buffer)) > 0;) {
    text.append(buffer, static_cast<size_t>(n));
  }
  return text;
}

// The filter on a ZPL job, its standard input, output and error on pipes; fed with the bytes
// (from a thread, closing the input after them when close is set), cancelled once `out` holds
// `before` bytes, or (before 0) when nothing more comes for quietMs. Returns the exit status
// (-2: it did not end within 3 s).
int cancelledJob(const std::string& bytes, bool close, size_t before, int quietMs, std::string& out,
                 std::string& err) {
  signal(SIGPIPE, SIG_IGN);
  const std::string ppd =
      writeTempFile("cancel.ppd", "*PPD-Adobe: \"4.3\"\n*ORNBarcodePrinterLanguage: ZPL\n");
  const std::string filter = std::string(ORN_BINARY_DIR) + "/rastertoorn";
  int p[3][2];
  for (auto& fds : p) EXPECT_EQ(pipe(fds), 0);
  const pid_t pid = fork();
  if (pid == 0) {
    for (int i = 0; i < 3; ++i) dup2(p[i][i == 0 ? 0 : 1], i);
    for (auto& fds : p) ::close(fds[0]), ::close(fds[1]);
    setenv("PPD", ppd.c_str(), 1);
    execl(filter.c_str(), filter.c_str(), "7", "bob", "cancel", "1", "", nullptr);
    _exit(127);
  }
  ::close(p[0][0]), ::close(p[1][1]), ::close(p[2][1]);
  std::thread feeder([&] {
    for (size_t done = 0, n = 1; done < bytes.size() && n > 0; done += n) {
      n = static_cast<size_t>(
          std::max<ssize_t>(0, write(p[0][1], bytes.data() + done, bytes.size() - done)));
    }
    if (close) ::close(p[0][1]);
  });
  char buffer[4096];
  for (ssize_t n = 1; out.size() < before && n > 0;) {
    n = read(p[1][0], buffer, sizeof buffer);
    out.append(buffer, static_cast<size_t>(std::max<ssize_t>(n, 0)));
  }
  if (before == 0) out = readAvailable(p[1][0], quietMs);
  kill(pid, SIGTERM);
  const auto start = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  out += readAvailable(p[1][0], 10000);
  feeder.join();
  err = readAvailable(p[2][0], 3000);
  int status = 0, result = -2;
  while (std::chrono::steady_clock::now() - start < std::chrono::seconds(3)) {
    if (waitpid(pid, &status, WNOHANG) == pid) {
      result = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (result == -2) kill(pid, SIGKILL), waitpid(pid, &status, 0);
  for (int fd : {p[0][1], p[1][0], p[2][0]}) ::close(fd);
  return result;
}

}  // namespace

// The input stalls (nothing arrives and it never ends) before the raster, after the sync word
// and between pages: the signal ends the wait and the job at once.
TEST(CancelTest, EndsAWaitForInput) {
  const TestPage page = randomBitmapPage(64, 8, 11, 0.4);
  const std::string stream = rasterStream({page, page});
  const size_t onePage = 4 + 1796 + page.data.size();
  for (const auto& [bytesSent, pages] : {std::pair<size_t, size_t>{0, 0}, {4, 0}, {onePage, 1}}) {
    SCOPED_TRACE(bytesSent);
    std::string out, err;
    EXPECT_EQ(cancelledJob(stream.substr(0, bytesSent), false, 0, pages ? 2000 : 300, out, err), 1);
    EXPECT_EQ(out.empty() ? 0 : labelCount(out), pages);
    EXPECT_NE(err.find("INFO: Job cancelled after " + std::to_string(pages) + " pages\n"),
              std::string::npos)
        << err;
    EXPECT_TRUE(linesWithPrefix(err, "CRIT: ").empty()) << err;
  }
}

// About 2 MB of ZPL per page: far more than a pipe holds, so the filter is blocked in the
// middle of the first graphic when the signal arrives.
TEST(CancelTest, FinishesTheGraphicItIsWriting) {
  const TestPage page = randomBitmapPage(2400, 3200, 11, 0.4);
  std::string out, err;
  EXPECT_EQ(cancelledJob(rasterStream({page, page}), true, 100000, 0, out, err), 1);
  EXPECT_EQ(labelCount(out), 1u);
  EXPECT_NE(err.find("INFO: Job cancelled after 1 pages\n"), std::string::npos) << err;
}
