// CUPS cancels a job with SIGTERM: the filter finishes what it is writing,
// says so at Info level and stops before the next page.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "e2e_support.h"
#include "orntool/preview_zpl.h"

using namespace OrnTest;

namespace {

size_t labelCount(const std::string& zpl) {  // throws on a partial command
  if (zpl.empty()) return 0;
  return OrnTool::decodeZpl(std::span(reinterpret_cast<const uint8_t*>(zpl.data()), zpl.size()))
      .size();
}

struct Child {
  pid_t pid;
  int stdinFd, stdoutFd, stderrFd;
};

Child startFilter(const std::string& ppd) {
  int in[2], out[2], err[2];
  EXPECT_EQ(pipe(in), 0);
  EXPECT_EQ(pipe(out), 0);
  EXPECT_EQ(pipe(err), 0);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
    setenv("PPD", ppd.c_str(), 1);
    execl(filterPath().c_str(), filterPath().c_str(), "7", "bob", "cancel", "1", "", nullptr);
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  return {pid, in[1], out[0], err[0]};
}

// False when the reader went away before taking everything.
bool writeAll(int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = write(fd, data.data() + done, data.size() - done);
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
  while (poll(&p, 1, timeoutMs) > 0) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
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

TestPage stripedPage(uint32_t width, uint32_t height) {
  TestPage page = randomBitmapPage(width, height, 11, 0.4);
  return page;
}

}  // namespace

// The input stalls (nothing arrives and it never ends) before the raster, after
// the sync word and between pages: the signal ends the wait and the job at once.
TEST(CancelTest, EndsAWaitForInput) {
  signal(SIGPIPE, SIG_IGN);
  const std::string ppd = writeTempFile("cancel.ppd", minimalPPD("ZPL"));
  const TestPage page = stripedPage(64, 8);
  const std::string stream = rasterStream({page, page});
  const size_t onePage = 4 + 1796 + page.data.size();
  struct Case {
    size_t bytesSent;
    size_t pages;
  };
  for (const Case c : {Case{0, 0}, Case{4, 0}, Case{onePage, 1}}) {
    SCOPED_TRACE(c.bytesSent);
    Child child = startFilter(ppd);
    ASSERT_TRUE(writeAll(child.stdinFd, stream.substr(0, c.bytesSent)));
    std::string out = readAvailable(child.stdoutFd, c.pages ? 2000 : 300);
    kill(child.pid, SIGTERM);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(waitExit(child.pid), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    out += readAvailable(child.stdoutFd, 1000);
    const std::string err = readAvailable(child.stderrFd, 1000);
    EXPECT_EQ(labelCount(out), c.pages);
    EXPECT_NE(err.find("INFO: Job cancelled after " + std::to_string(c.pages) + " pages\n"),
              std::string::npos)
        << err;
    EXPECT_TRUE(linesWithPrefix(err, "CRIT: ").empty()) << err;
    for (int fd : {child.stdinFd, child.stdoutFd, child.stderrFd}) close(fd);
  }
}

TEST(CancelTest, FinishesTheGraphicItIsWriting) {
  signal(SIGPIPE, SIG_IGN);
  const std::string ppd = writeTempFile("cancel.ppd", minimalPPD("ZPL"));
  Child child = startFilter(ppd);
  // About 2 MB of ZPL per page: far more than a pipe holds, so the filter is
  // blocked in the middle of the graphic when the signal arrives.
  const TestPage page = stripedPage(2400, 3200);
  const std::string stream = rasterStream({page, page});
  std::thread feeder([&] {
    writeAll(child.stdinFd, stream);  // the filter may stop reading after page 1
    close(child.stdinFd);
  });
  std::string out;
  char buffer[4096];
  while (out.size() < 100000) {  // well inside the first graphic
    ssize_t n = read(child.stdoutFd, buffer, sizeof buffer);
    ASSERT_GT(n, 0);
    out.append(buffer, static_cast<size_t>(n));
  }
  kill(child.pid, SIGTERM);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  out += readAvailable(child.stdoutFd, 10000);
  feeder.join();
  const std::string err = readAvailable(child.stderrFd, 5000);
  EXPECT_EQ(waitExit(child.pid), 1);
  EXPECT_EQ(labelCount(out), 1u);
  EXPECT_NE(err.find("INFO: Job cancelled after 1 pages\n"), std::string::npos) << err;
  close(child.stdoutFd);
  close(child.stderrFd);
}
