#include "backends/lxpr/lxpr_status.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "support/capture_stderr.h"
#include "support/error_of.h"

namespace Quillfeather {
namespace {

// A pipe holding the bytes; the writing end is closed when asked.
struct Channel {
  explicit Channel(const std::string& bytes = "", bool close = false) {
    EXPECT_EQ(::pipe(fds), 0);
    EXPECT_EQ(::write(fds[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    if (close) fds[1] = (::close(fds[1]), -1);
  }
  ~Channel() {
    for (int fd : fds) ::close(fd);
  }
  int fds[2];
};

const std::string kStart("\x01\x02", 2);

std::string response(const std::string& code, const std::string& count,
                     const std::string& end = "\x03\x04\x0A\x0D") {
  return kStart + code + "?" + count + end;
}

// What readStatus makes of the bytes: "status/remaining" or the error message.
std::string read(const Channel& channel) {
  try {
    const LXPRPrinterStatus status = readStatus(channel.fds[0]);
    return std::to_string(status.status) + "/" + std::to_string(status.remaining);
  } catch (const EmptyLXPRPrinterStatusException& e) {
    return std::string("empty: ") + e.what();
  } catch (const InvalidLXPRPrinterStatusException& e) {
    return std::string("invalid: ") + e.what();
  } catch (const LXPRPrinterStatusException& e) {
    return e.what();
  }
}

// Each response read, and what queryLXPRStatus logs for it; a read error.
TEST(LXPRStatus, Responses) {
  const std::string invalid = "invalid: The response from the printer was invalid";
  const std::string shortRead = "Unable to read the requested number of bytes from the printer";
  const std::pair<std::string, std::string> cases[] = {
      {response("06", "0123"), "6/123"},
      {"", "empty: There was no printer status to read"},
      {response("06", "0123", "\x03\x04\x0D\x0A"), invalid},
      {"\x02\x01" + response("06", "0123").substr(2), invalid},
      {response("06", "  - "), invalid},
      // Numbers are read like strtol.
      {response(" 7", "12ab"), "7/12"},
      // A response that stops early is a short read and does not block.
      {kStart + "06?", shortRead},
      {kStart, shortRead},
  };
  for (const auto& [bytes, expected] : cases) {
    SCOPED_TRACE(bytes);
    EXPECT_EQ(read(Channel(bytes)), expected);
    const Channel channel(bytes);
    OrnTest::CaptureStderr capture;
    int status = -1;
    const bool ok = queryLXPRStatus(channel.fds[0], status);
    EXPECT_EQ(ok, expected.find('/') != std::string::npos);
    EXPECT_EQ(status, ok ? std::stoi(expected) : -1);
    EXPECT_EQ(capture.text(),
              ok                              ? ""
              : expected.starts_with("empty") ? "Info: Printer did not report any abnormal status\n"
              : expected == invalid ? "Info: The printer's status could not be understood\n"
                                    : "Error: " + expected + "\n");
  }
  EXPECT_EQ(read(Channel("", true)), shortRead);
  // Two responses are read one at a time.
  const Channel channel(response("01", "0002") + response("03", "0004"));
  EXPECT_EQ(read(channel), "1/2");
  EXPECT_EQ(read(channel), "3/4");
  const int directory = ::open("/", O_RDONLY | O_DIRECTORY);
  ASSERT_GE(directory, 0);
  uint8_t byte = 0;
  EXPECT_EQ(OrnTest::errorOf<LXPRPrinterStatusException>(
                [&] { readExactly(directory, std::span(&byte, 1)); }),
            "Unable to read any data from the printer");
  ::close(directory);
}

}  // namespace
}  // namespace Quillfeather
