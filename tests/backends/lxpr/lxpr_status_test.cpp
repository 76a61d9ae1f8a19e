#include "backends/lxpr/lxpr_status.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "support/capture_stderr.h"

namespace Quillfeather {
namespace {

using OrnTest::CaptureStderr;

// Both ends of a pipe or socket pair, closed on destruction.
class Channel {
 public:
  explicit Channel(bool socket = false) {
    int fds[2];
    if (socket) {
      EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    } else {
      EXPECT_EQ(::pipe(fds), 0);
    }
    read_ = fds[0];
    write_ = fds[1];
  }
  ~Channel() {
    ::close(read_);
    closeWriter();
  }
  Channel(const Channel&) = delete;
  Channel& operator=(const Channel&) = delete;

  void send(const std::string& bytes) {
    ASSERT_EQ(::write(write_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  void closeWriter() {
    if (write_ >= 0) ::close(write_);
    write_ = -1;
  }
  int reader() const { return read_; }

 private:
  int read_ = -1;
  int write_ = -1;
};

std::string response(const std::string& code, const std::string& count,
                     const std::string& end = "\x03\x04\x0A\x0D") {
  return std::string("\x01\x02", 2) + code + "?" + count + end;
}

TEST(LXPRStatus, CompleteResponseOverPipe) {
  Channel channel;
  channel.send(response("06", "0123"));
  const LXPRPrinterStatus status = readStatus(channel.reader());
  EXPECT_EQ(status.status, 6);
  EXPECT_EQ(status.remaining, 123);
}

TEST(LXPRStatus, CompleteResponseOverSocketPair) {
  Channel channel(true);
  channel.send(response("42", "9999"));
  const LXPRPrinterStatus status = readStatus(channel.reader());
  EXPECT_EQ(status.status, 42);
  EXPECT_EQ(status.remaining, 9999);
}

TEST(LXPRStatus, TwoResponsesAreReadOneAtATime) {
  Channel channel;
  channel.send(response("01", "0002") + response("03", "0004"));
  EXPECT_EQ(readStatus(channel.reader()).status, 1);
  EXPECT_EQ(readStatus(channel.reader()).remaining, 4);
  EXPECT_THROW(readStatus(channel.reader()), EmptyLXPRPrinterStatusException);
}

TEST(LXPRStatus, NothingWaitingIsEmpty) {
  Channel channel;
  try {
    readStatus(channel.reader());
    FAIL() << "no exception";
  } catch (const EmptyLXPRPrinterStatusException& e) {
    EXPECT_STREQ(e.what(), "There was no printer status to read");
  }
}

struct InvalidCase {
  const char* name;
  std::string bytes;
};

TEST(LXPRStatus, InvalidResponses) {
  const InvalidCase cases[] = {
      {"swapped terminator", response("06", "0123", "\x03\x04\x0D\x0A")},
      {"wrong start", "\x02\x01" + response("06", "0123").substr(2)},
      {"status without digits", response("xx", "0123")},
      {"count without digits", response("06", "  - ")},
      {"sign only", response("+", "0123").substr(0, 4) + "x?0123\x03\x04\x0A\x0D"},
  };
  for (const InvalidCase& c : cases) {
    Channel channel;
    channel.send(c.bytes);
    try {
      readStatus(channel.reader());
      ADD_FAILURE() << c.name << ": no exception";
    } catch (const InvalidLXPRPrinterStatusException& e) {
      EXPECT_STREQ(e.what(), "The response from the printer was invalid") << c.name;
    }
  }
}

TEST(LXPRStatus, NumbersAreReadLikeStrtol) {
  Channel channel;
  channel.send(response(" 7", "12ab") + response("+3", " 045") +
               response("9x", std::string("0\0"
                                          "99",
                                          4)));
  LXPRPrinterStatus status = readStatus(channel.reader());
  EXPECT_EQ(status.status, 7);
  EXPECT_EQ(status.remaining, 12);
  status = readStatus(channel.reader());
  EXPECT_EQ(status.status, 3);
  EXPECT_EQ(status.remaining, 45);
  status = readStatus(channel.reader());
  EXPECT_EQ(status.status, 9);
  EXPECT_EQ(status.remaining, 0);
}

TEST(LXPRStatus, SplitResponseIsAShortRead) {
  Channel channel;
  channel.send(
      std::string("\x01\x02"
                  "06?",
                  5));
  try {
    readStatus(channel.reader());
    FAIL() << "no exception";
  } catch (const LXPRPrinterStatusException& e) {
    EXPECT_STREQ(e.what(), "Unable to read the requested number of bytes from the printer");
  }
}

TEST(LXPRStatus, ResponseThatStopsAfterItsStartDoesNotBlock) {
  for (const std::string& part : {std::string("\x01\x02", 2), std::string("\x01\x02"
                                                                          "06?0123",
                                                                          9)}) {
    Channel channel;
    channel.send(part);
    try {
      readStatus(channel.reader());
      ADD_FAILURE() << "no exception";
    } catch (const LXPRPrinterStatusException& e) {
      EXPECT_STREQ(e.what(), "Unable to read the requested number of bytes from the printer");
    }
  }
}

TEST(LXPRStatus, ClosedChannelIsAShortRead) {
  Channel channel;
  channel.closeWriter();
  EXPECT_THROW(readStatus(channel.reader()), LXPRPrinterStatusException);
}

TEST(LXPRStatus, ReadErrorIsReported) {
  const int directory = ::open("/", O_RDONLY | O_DIRECTORY);
  ASSERT_GE(directory, 0);
  uint8_t byte = 0;
  try {
    readExactly(directory, std::span(&byte, 1));
    ADD_FAILURE() << "no exception";
  } catch (const LXPRPrinterStatusException& e) {
    EXPECT_STREQ(e.what(), "Unable to read any data from the printer");
  }
  ::close(directory);
}

TEST(LXPRStatus, QueryLogsEachOutcome) {
  struct Case {
    const char* name;
    std::string bytes;
    bool result;
    std::string log;
  };
  const Case cases[] = {
      {"complete", response("06", "0123"), true, ""},
      {"empty", "", false, "Info: Printer did not report any abnormal status\n"},
      {"swapped", response("06", "0123", "\x03\x04\x0D\x0A"), false,
       "Info: The printer's status could not be understood\n"},
      {"split",
       std::string("\x01\x02"
                   "06",
                   4),
       false, "Error: Unable to read the requested number of bytes from the printer\n"},
  };
  for (const Case& c : cases) {
    Channel channel;
    if (!c.bytes.empty()) channel.send(c.bytes);
    CaptureStderr log;
    int status = -1;
    EXPECT_EQ(queryLXPRStatus(channel.reader(), status), c.result) << c.name;
    EXPECT_EQ(log.text(), c.log) << c.name;
    EXPECT_EQ(status, c.result ? 6 : -1) << c.name;
  }
}

}  // namespace
}  // namespace Quillfeather
