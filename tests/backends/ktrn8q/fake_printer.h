#pragma once

#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace Quillfeather::ktrn8q::test {

// The printer's end of a socket pair. Its thread sends the chunks, waiting `pause` before each,
// then optionally ends its output; every signal is blocked there so that they reach the thread
// under test.
class FakePrinter {
 public:
  explicit FakePrinter(std::vector<std::string> chunks = {}, std::chrono::milliseconds pause = {},
                       bool endOutput = false) {
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0) throw std::runtime_error("socketpair");
    ours_ = pair[0];
    theirs_ = pair[1];
    thread_ = std::thread([this, chunks = std::move(chunks), pause, endOutput] {
      sigset_t all;
      sigfillset(&all);
      pthread_sigmask(SIG_BLOCK, &all, nullptr);
      for (const std::string& chunk : chunks) {
        std::this_thread::sleep_for(pause);
        ::send(theirs_, chunk.data(), chunk.size(), MSG_NOSIGNAL);
      }
      if (endOutput) ::shutdown(theirs_, SHUT_WR);
    });
  }
  ~FakePrinter() {
    hangUp();
    ::close(ours_);
  }
  FakePrinter(const FakePrinter&) = delete;
  FakePrinter& operator=(const FakePrinter&) = delete;

  int descriptor() const { return ours_; }
  // The bytes the printer has received so far.
  std::string received() {
    std::string bytes;
    char buffer[64];
    for (ssize_t n; (n = ::recv(theirs_, buffer, sizeof buffer, MSG_DONTWAIT)) > 0;) {
      bytes.append(buffer, static_cast<size_t>(n));
    }
    return bytes;
  }
  // Closes the printer's end once its chunks are sent.
  void hangUp() {
    if (thread_.joinable()) thread_.join();
    if (theirs_ >= 0) ::close(theirs_);
    theirs_ = -1;
  }

 private:
  int ours_ = -1;
  int theirs_ = -1;
  std::thread thread_;
};

}  // namespace Quillfeather::ktrn8q::test
