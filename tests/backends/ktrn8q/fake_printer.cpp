#include "backends/ktrn8q/fake_printer.h"

#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace Quillfeather::ktrn8q::test {

FakePrinter::FakePrinter(std::vector<PrinterStep> script, bool closeAfterScript) {
  int pair[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0) throw std::runtime_error("socketpair");
  ours_ = pair[0];
  theirs_ = pair[1];
  int stop[2];
  if (::pipe(stop) != 0) throw std::runtime_error("pipe");
  stopRead_ = stop[0];
  stopWrite_ = stop[1];
  thread_ = std::thread(&FakePrinter::serve, this, std::move(script), closeAfterScript);
}

FakePrinter::~FakePrinter() {
  received();
  for (int fd : {ours_, theirs_, stopRead_}) {
    if (fd >= 0) ::close(fd);
  }
}

std::string FakePrinter::received() {
  if (stopWrite_ >= 0) {
    ::close(stopWrite_);  // ends a silent wait
    stopWrite_ = -1;
  }
  if (thread_.joinable()) thread_.join();
  return received_;
}

void FakePrinter::hangUp() {
  received();
  if (theirs_ >= 0) ::close(theirs_);
  theirs_ = -1;
}

void FakePrinter::serve(std::vector<PrinterStep> script, bool closeAfterScript) {
  // Signals are for the thread under test.
  sigset_t all;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, nullptr);
  // Waits for the printer's end to become readable; false when told to stop.
  auto waitReadable = [this] {
    pollfd fds[2] = {{theirs_, POLLIN, 0}, {stopRead_, POLLIN, 0}};
    while (::poll(fds, 2, -1) < 0) {
      if (errno != EINTR) return false;
    }
    return (fds[1].revents == 0);
  };
  for (const PrinterStep& step : script) {
    std::size_t got = 0;
    while (got < step.requestBytes) {
      if (!waitReadable()) return;
      char buffer[64];
      const ssize_t n = ::read(theirs_, buffer, std::min(sizeof buffer, step.requestBytes - got));
      if (n <= 0) return;
      received_.append(buffer, static_cast<std::size_t>(n));
      got += static_cast<std::size_t>(n);
    }
    for (const std::string& chunk : step.chunks) {
      std::this_thread::sleep_for(step.pause);
      if (::send(theirs_, chunk.data(), chunk.size(), MSG_NOSIGNAL) < 0) return;
    }
  }
  if (closeAfterScript) {
    ::close(theirs_);
    theirs_ = -1;
    return;
  }
  // Stay silent, but keep collecting anything sent to us, until told to stop.
  while (waitReadable()) {
    char buffer[64];
    const ssize_t n = ::read(theirs_, buffer, sizeof buffer);
    if (n <= 0) return;
    received_.append(buffer, static_cast<std::size_t>(n));
  }
}

}  // namespace Quillfeather::ktrn8q::test
