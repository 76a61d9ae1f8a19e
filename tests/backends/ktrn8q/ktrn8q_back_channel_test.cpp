#include "backends/ktrn8q/ktrn8q_back_channel.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <thread>
#include <vector>

#include "backends/ktrn8q/ktrn8q_exceptions.h"
#include "support/capture_stderr.h"
#include "support/error_of.h"

namespace Quillfeather::ktrn8q {
namespace {

using namespace std::chrono_literals;
using OrnTest::errorOf;

// The printer's end of a socket pair. Its thread sends the chunks, waiting `pause` before each,
// then ends its output if asked; signals are blocked there so that they reach the thread under
// test.
struct FakePrinter {
  explicit FakePrinter(std::vector<std::string> chunks = {}, std::chrono::milliseconds pause = {},
                       bool endOutput = false) {
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) throw std::runtime_error("socketpair");
    thread = std::thread([this, chunks = std::move(chunks), pause, endOutput] {
      sigset_t all;
      sigfillset(&all);
      pthread_sigmask(SIG_BLOCK, &all, nullptr);
      for (const std::string& chunk : chunks) {
        std::this_thread::sleep_for(pause);
        ::send(fds[1], chunk.data(), chunk.size(), MSG_NOSIGNAL);
      }
      if (endOutput) ::shutdown(fds[1], SHUT_WR);
    });
  }
  ~FakePrinter() {
    hangUp();
    ::close(fds[0]);
  }
  // The bytes the printer has received so far.
  std::string received() {
    char buffer[64];
    const ssize_t n = ::recv(fds[1], buffer, sizeof buffer, MSG_DONTWAIT);
    return std::string(buffer, static_cast<size_t>(std::max<ssize_t>(n, 0)));
  }
  // Closes the printer's end once its chunks are sent.
  void hangUp() {
    if (thread.joinable()) thread.join();
    if (fds[1] >= 0) fds[1] = (::close(fds[1]), -1);
  }

  int fds[2] = {-1, -1};
  std::thread thread;
};

constexpr auto kShortTimeout = 300ms;

std::string configuration(uint8_t paperType = 2, uint8_t powerControl = 1) {
  std::string bytes(16, '\x5A');
  bytes[0] = static_cast<char>(paperType);
  bytes[7] = static_cast<char>(powerControl);
  return bytes;
}

// The status answer with bytes 2 to 5 as given.
std::string status(uint32_t bytes, char head = '\x77') {
  std::string answer(2, head);
  for (int shift = 24; shift >= 0; shift -= 8) answer += static_cast<char>(bytes >> shift);
  return answer;
}

std::vector<std::string> split(const std::string& bytes, size_t piece) {
  std::vector<std::string> chunks;
  for (size_t i = 0; i < bytes.size(); i += piece) chunks.push_back(bytes.substr(i, piece));
  return chunks;
}

struct Query {
  bool ok;
  int status;
  std::string log;
  std::chrono::steady_clock::duration elapsed;
};

Query query(int descriptor, std::chrono::milliseconds timeout = kShortTimeout) {
  OrnTest::CaptureStderr log;
  int status = -12345;
  const auto start = std::chrono::steady_clock::now();
  const bool ok = queryPrinterStatus(descriptor, timeout, status);
  return {ok, status, log.text(), std::chrono::steady_clock::now() - start};
}

const std::string kFailed = "Info: The printer status could not be retrieved: ";
const std::string kUnexpected = kFailed + "Unexpected response from printer\n";
const std::string kSendError =
    kFailed + "An error occurred while sending the command to the printer\n";
const std::string kBothRequests = "\x1D\x30\x05\x14\x01";

TEST(KTRN8QBackChannelTest, Exchanges) {
  const std::string range = " of the status response is outside the expected range\n";
  const std::string paper = kFailed + "Parameter #paper type" + range;
  const std::string power = kFailed + "Parameter #power control" + range;
  // The chunks, the pause before each, whether the printer ends its output, the status (-12345:
  // the query fails) and the log.
  const std::tuple<std::vector<std::string>, std::chrono::milliseconds, bool, int, std::string>
      cases[] = {
          // Bytes beyond the configuration answer are the start of the status answer.
          {{configuration() + status(0x02000008)}, 0ms, true, 102, ""},
          {split(configuration(4, 0) + status(0x01000400), 1), 5ms, false, 14, ""},
          {{configuration(5, 0)}, 0ms, false, -12345, paper},
          {{configuration(1, 2)}, 0ms, false, -12345, power},
          {{configuration().substr(0, 10)}, 0ms, true, -12345, kUnexpected},
          {{configuration(), status(0).substr(0, 5)}, 0ms, false, -12345, kUnexpected},
      };
  for (const auto& [chunks, pause, endOutput, code, log] : cases) {
    SCOPED_TRACE(log + std::to_string(code));
    FakePrinter printer(chunks, pause, endOutput);
    const Query result = query(printer.fds[0], pause > 0ms ? 5000ms : kShortTimeout);
    EXPECT_EQ(result.ok, code != -12345);
    EXPECT_EQ(result.status, code);
    EXPECT_EQ(result.log, log);
    if (log == kUnexpected && !endOutput) {
      EXPECT_GE(result.elapsed, kShortTimeout);
      EXPECT_LT(result.elapsed, kShortTimeout + 2s);
    }
    // The status request follows only a good configuration answer.
    if (code != -12345 || log != kUnexpected) {
      EXPECT_EQ(printer.received(), kBothRequests.substr(0, code == -12345 ? 3 : 5));
    }
  }
}

class ShortWriteChannel : public BackChannel {
 public:
  Result writeSome(std::span<const uint8_t> bytes) override {
    return {Outcome::Done, bytes.size() - 1};
  }
  Result readSome(std::span<uint8_t>) override { return {Outcome::End, 0}; }
};

// Broken descriptors and a channel that takes less than it is given.
TEST(KTRN8QBackChannelTest, BrokenChannels) {
  // Writing to a closed socket must fail cleanly, not end the process by SIGPIPE.
  FakePrinter printer;
  printer.hangUp();
  EXPECT_EQ(query(printer.fds[0]).log, kSendError);
  int pair[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
  ::close(pair[0]);
  ::close(pair[1]);
  EXPECT_EQ(query(pair[0]).log, kSendError);
  // Open for writing only: the request goes out, the read fails.
  const int fd = ::open("/dev/null", O_WRONLY);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(query(fd).log,
            kFailed + "An error occurred while receiving the response from the printer\n");
  ::close(fd);
  ShortWriteChannel channel;
  EXPECT_EQ(errorOf<KTRN8QPrinterException>(
                [&] { exchange(channel, kStatusRequest, kStatusResponseBytes); }),
            "Unable to send complete command to printer");
}

void onAlarm(int) {}

// Signals arriving while the query waits interrupt poll and read, and the query goes on.
TEST(KTRN8QBackChannelTest, QueryGoesOnThroughSignals) {
  struct sigaction action {};
  action.sa_handler = onAlarm;  // no SA_RESTART: system calls fail with EINTR
  struct sigaction previous {};
  ASSERT_EQ(::sigaction(SIGALRM, &action, &previous), 0);
  FakePrinter printer(split(configuration() + status(0x01100000), 4), 20ms);
  itimerval timer{{0, 2000}, {0, 2000}}, off{};
  ASSERT_EQ(::setitimer(ITIMER_REAL, &timer, nullptr), 0);
  const Query result = query(printer.fds[0], 5000ms);
  ::setitimer(ITIMER_REAL, &off, nullptr);
  ::sigaction(SIGALRM, &previous, nullptr);
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(result.status, 4);
  EXPECT_EQ(printer.received(), kBothRequests);
}

// Answers of the wrong length, then the status code of each record.
TEST(KTRN8QStatusTest, ParseAndCode) {
  EXPECT_EQ(
      errorOf<InvalidKTRN8QPrinterResponse>([] { parseConfiguration(std::vector<uint8_t>(17)); }),
      "The configuration response must be 16 bytes in length");
  EXPECT_EQ(errorOf<InvalidKTRN8QPrinterResponse>([] { parseStatus(std::vector<uint8_t>(5)); }),
            "The status response must be 6 bytes in length");

  // Pairs of record bytes 2 to 5 and the code: no group flag means all is well, whatever else is
  // set; a first-group reason counts over the second group; byte 4 bits 1 and 0 and byte 5 are
  // no first-group reason.
  std::vector<uint32_t> cases = {0xFCFFFFFF, 0,   0x0181FF00, 1,   0x01038000, 7,   0x01000C00, 13,
                                 0x010003FF, 99,  0x03000040, 99,  0x03020040, 7,   0x02000040, 100,
                                 0x02000010, 101, 0x02000008, 102, 0x02000002, 103, 0x02000001, 104,
                                 0x0200005B, 100, 0x02000000, 199, 0x02FFFFA4, 199};
  // The first group's reasons, in priority order.
  for (uint32_t bit = 0; bit < 14; ++bit)
    cases.insert(cases.end(), {0x01000000u | 0x800000u >> bit, bit + 1});
  for (size_t i = 0; i < cases.size(); i += 2) {
    const std::string bytes = status(cases[i], '\xFF');
    EXPECT_EQ(statusCode(parseStatus(std::vector<uint8_t>(bytes.begin(), bytes.end()))),
              static_cast<int>(cases[i + 1]))
        << std::hex << cases[i];
  }
}

}  // namespace
}  // namespace Quillfeather::ktrn8q
