#include "backends/ktrn8q/ktrn8q_back_channel.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>

#include "backends/ktrn8q/fake_printer.h"
#include "backends/ktrn8q/hex.h"
#include "backends/ktrn8q/ktrn8q_exceptions.h"
#include "support/capture_stderr.h"

namespace Quillfeather::ktrn8q {
namespace {

using namespace std::chrono_literals;
using test::FakePrinter;
using test::fromHex;
using test::PrinterStep;

constexpr auto kShortTimeout = 300ms;

std::string configurationAnswer(uint8_t paperType = 2, uint8_t powerControl = 1) {
  std::string bytes(16, '\x5A');
  bytes[0] = static_cast<char>(paperType);
  bytes[7] = static_cast<char>(powerControl);
  return bytes;
}

std::string statusAnswer(uint8_t group, uint8_t byte3, uint8_t byte4, uint8_t byte5) {
  return std::string{'\x77',
                     '\x77',
                     static_cast<char>(group),
                     static_cast<char>(byte3),
                     static_cast<char>(byte4),
                     static_cast<char>(byte5)};
}

std::vector<std::string> split(const std::string& bytes, std::size_t piece) {
  std::vector<std::string> chunks;
  for (std::size_t i = 0; i < bytes.size(); i += piece) chunks.push_back(bytes.substr(i, piece));
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
  const auto elapsed = std::chrono::steady_clock::now() - start;
  return {ok, status, log.text(), elapsed};
}

const std::string kFailurePrefix = "Info: The printer status could not be retrieved: ";

TEST(KTRN8QBackChannelTest, GoodAnswersInOnePiece) {
  FakePrinter printer({{3, {configurationAnswer()}}, {2, {statusAnswer(0x02, 0, 0, 0x08)}}}, true);
  const Query result = query(printer.descriptor());
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(result.status, 102);
  EXPECT_EQ(result.log, "");
  EXPECT_EQ(printer.received(), fromHex("1D 30 05 14 01"));
}

TEST(KTRN8QBackChannelTest, GoodAnswersSplitIntoSingleBytes) {
  FakePrinter printer({{3, split(configurationAnswer(4, 0), 1), 5ms},
                       {2, split(statusAnswer(0x01, 0, 0x04, 0), 1), 5ms}},
                      false);
  const Query result = query(printer.descriptor(), 5000ms);
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(result.status, 14);
  EXPECT_EQ(printer.received(), fromHex("1D 30 05 14 01"));
}

TEST(KTRN8QBackChannelTest, AllWell) {
  FakePrinter printer({{3, {configurationAnswer(0, 0)}}, {2, {statusAnswer(0, 0xFF, 0xFF, 0xFF)}}},
                      false);
  const Query result = query(printer.descriptor());
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(result.status, 0);
}

TEST(KTRN8QBackChannelTest, OutOfRangeConfiguration) {
  {
    FakePrinter printer({{3, {configurationAnswer(5, 0)}}}, false);
    const Query result = query(printer.descriptor());
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.status, -12345);
    EXPECT_EQ(result.log, kFailurePrefix +
                              "Parameter #paper type of the status response is outside the "
                              "expected range\n");
    // The status request is not sent after a bad configuration.
    EXPECT_EQ(printer.received(), fromHex("1D 30 05"));
  }
  {
    FakePrinter printer({{3, {configurationAnswer(1, 2)}}}, false);
    const Query result = query(printer.descriptor());
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.log, kFailurePrefix +
                              "Parameter #power control of the status response is outside the "
                              "expected range\n");
  }
}

TEST(KTRN8QBackChannelTest, ShortAnswerThenClosed) {
  FakePrinter printer({{3, {configurationAnswer().substr(0, 10)}}}, true);
  const Query result = query(printer.descriptor());
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.log, kFailurePrefix + "Unexpected response from printer\n");
}

TEST(KTRN8QBackChannelTest, ShortStatusAnswerThenSilence) {
  FakePrinter printer({{3, {configurationAnswer()}}, {2, {statusAnswer(0, 0, 0, 0).substr(0, 5)}}},
                      false);
  const Query result = query(printer.descriptor());
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.log, kFailurePrefix + "Unexpected response from printer\n");
  EXPECT_GE(result.elapsed, kShortTimeout);
  EXPECT_LT(result.elapsed, kShortTimeout + 2s);
}

TEST(KTRN8QBackChannelTest, NoAnswerWithinTimeLimit) {
  FakePrinter printer({}, false);
  const Query result = query(printer.descriptor());
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.log, kFailurePrefix + "Unexpected response from printer\n");
  EXPECT_GE(result.elapsed, kShortTimeout);
  EXPECT_LT(result.elapsed, kShortTimeout + 2s);
  EXPECT_EQ(printer.received(), fromHex("1D 30 05"));
}

// An answer longer than asked for: the extra bytes are left for the next
// read, so here they become the start of the status answer.
TEST(KTRN8QBackChannelTest, LongConfigurationAnswerShiftsTheStatus) {
  FakePrinter printer({{3, {configurationAnswer() + statusAnswer(0x02, 0, 0, 0x01)}}, {2, {}}},
                      false);
  const Query result = query(printer.descriptor());
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(result.status, 104);
}

TEST(KTRN8QBackChannelTest, PrinterGoneBeforeTheRequest) {
  FakePrinter printer({}, false);
  printer.hangUp();
  // Writing to a closed socket must fail cleanly, not end the process by SIGPIPE.
  const Query result = query(printer.descriptor());
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.log,
            kFailurePrefix + "An error occurred while sending the command to the printer\n");
}

TEST(KTRN8QBackChannelTest, ClosedDescriptor) {
  int pair[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
  ::close(pair[0]);
  ::close(pair[1]);
  const Query result = query(pair[0]);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.log,
            kFailurePrefix + "An error occurred while sending the command to the printer\n");
}

TEST(KTRN8QBackChannelTest, ReadErrorIsReported) {
  // A descriptor open for writing only: the request goes out, the read fails.
  const int fd = ::open("/dev/null", O_WRONLY);
  ASSERT_GE(fd, 0);
  const Query result = query(fd);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.log,
            kFailurePrefix + "An error occurred while receiving the response from the printer\n");
  ::close(fd);
}

void onAlarm(int) {}

// Signals arriving while we wait interrupt poll and read; the query goes on.
TEST(KTRN8QBackChannelTest, InterruptedWaitsAreResumed) {
  struct sigaction action {};
  action.sa_handler = onAlarm;  // no SA_RESTART: system calls fail with EINTR
  struct sigaction previous {};
  ASSERT_EQ(::sigaction(SIGALRM, &action, &previous), 0);
  itimerval timer{{0, 2000}, {0, 2000}};
  ASSERT_EQ(::setitimer(ITIMER_REAL, &timer, nullptr), 0);

  FakePrinter printer({{3, split(configurationAnswer(), 4), 20ms},
                       {2, split(statusAnswer(0x01, 0x10, 0, 0), 3), 20ms}},
                      false);
  const Query result = query(printer.descriptor(), 5000ms);

  itimerval off{};
  ::setitimer(ITIMER_REAL, &off, nullptr);
  ::sigaction(SIGALRM, &previous, nullptr);
  EXPECT_TRUE(result.ok) << result.log;
  EXPECT_EQ(result.status, 4);
}

// A channel that reports a short write.
class ShortWriteChannel : public BackChannel {
 public:
  Result writeSome(std::span<const uint8_t> bytes) override {
    return {Outcome::Done, bytes.size() - 1};
  }
  Result readSome(std::span<uint8_t>) override { return {Outcome::End, 0}; }
};

TEST(KTRN8QBackChannelTest, ShortWrite) {
  ShortWriteChannel channel;
  try {
    exchange(channel, kStatusRequest, kStatusResponseBytes);
    FAIL() << "no exception";
  } catch (const KTRN8QPrinterException& e) {
    EXPECT_STREQ(e.what(), "Unable to send complete command to printer");
  }
}

}  // namespace
}  // namespace Quillfeather::ktrn8q
