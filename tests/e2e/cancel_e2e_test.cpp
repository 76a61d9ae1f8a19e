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

// The filter with its standard input, output and error on pipes (in, out, err of the test).
struct Child {
  pid_t pid;
  int in, out, err;
  Child() {
    const std::string ppd =
        writeTempFile("cancel.ppd", "*PPD-Adobe: \"4.3\"\n*ORNBarcodePrinterLanguage: ZPL\n");
    const std::string filter = std::string(ORN_BINARY_DIR) + "/rastertoorn";
    int p[3][2];
    for (auto& fds : p) EXPECT_EQ(pipe(fds), 0);
    pid = fork();
    if (pid == 0) {
      dup2(p[0][0], 0);
      dup2(p[1][1], 1);
      dup2(p[2][1], 2);
      for (auto& fds : p) close(fds[0]), close(fds[1]);
      setenv("PPD", ppd.c_str(), 1);
      execl(filter.c_str(), filter.c_str(), "7", "bob", "cancel", "1", "", nullptr);
      _exit(127);
    }
    close(p[0][0]), close(p[1][1]), close(p[2][1]);
    in = p[0][1], out = p[1][0], err = p[2][0];
  }
};

bool writeAll(int fd, const std::string& data) {  // false when the reader went away
  for (size_t done = 0; done < data.size();) {
    const ssize_t n = write(fd, data.data() + done, data.size() - done);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
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

int waitExit(pid_t pid) {
  int status = 0;
  for (int i = 0; i < 1000; ++i) {
    if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  return -2;
}

}  // namespace

// The input stalls (nothing arrives and it never ends) before the raster, after the sync word
// and between pages: the signal ends the wait and the job at once.
TEST(CancelTest, EndsAWaitForInput) {
  signal(SIGPIPE, SIG_IGN);
  const TestPage page = randomBitmapPage(64, 8, 11, 0.4);
  const std::string stream = rasterStream({page, page});
  const size_t onePage = 4 + 1796 + page.data.size();
  for (const auto& [bytesSent, pages] : {std::pair<size_t, size_t>{0, 0}, {4, 0}, {onePage, 1}}) {
    SCOPED_TRACE(bytesSent);
    Child child;
    ASSERT_TRUE(writeAll(child.in, stream.substr(0, bytesSent)));
    std::string out = readAvailable(child.out, pages ? 2000 : 300);
    kill(child.pid, SIGTERM);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(waitExit(child.pid), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    out += readAvailable(child.out, 1000);
    const std::string err = readAvailable(child.err, 1000);
    EXPECT_EQ(out.empty() ? 0 : labelCount(out), pages);
    EXPECT_NE(err.find("INFO: Job cancelled after " + std::to_string(pages) + " pages\n"),
              std::string::npos)
        << err;
    EXPECT_TRUE(linesWithPrefix(err, "CRIT: ").empty()) << err;
    for (int fd : {child.in, child.out, child.err}) close(fd);
  }
}

TEST(CancelTest, FinishesTheGraphicItIsWriting) {
  signal(SIGPIPE, SIG_IGN);
  Child child;
  // About 2 MB of ZPL per page: far more than a pipe holds, so the filter is blocked in the
  // middle of the graphic when the signal arrives.
  const TestPage page = randomBitmapPage(2400, 3200, 11, 0.4);
  const std::string stream = rasterStream({page, page});
  std::thread feeder([&] {
    writeAll(child.in, stream);  // the filter may stop reading after page 1
    close(child.in);
  });
  std::string out;
  char buffer[4096];
  while (out.size() < 100000) {  // well inside the first graphic
    const ssize_t n = read(child.out, buffer, sizeof buffer);
    ASSERT_GT(n, 0);
    out.append(buffer, static_cast<size_t>(n));
  }
  kill(child.pid, SIGTERM);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  out += readAvailable(child.out, 10000);
  feeder.join();
  const std::string err = readAvailable(child.err, 5000);
  EXPECT_EQ(waitExit(child.pid), 1);
  EXPECT_EQ(labelCount(out), 1u);
  EXPECT_NE(err.find("INFO: Job cancelled after 1 pages\n"), std::string::npos) << err;
  close(child.out);
  close(child.err);
}
