// LXPR status response on the back channel, 13 bytes:
//   01 02 | status code, 2 ASCII digits | 1 byte, ignored |
//   remaining count, 4 ASCII digits | 03 04 0A 0D
// The printer sends it unasked; the reader only looks, never waits, not even
// for the rest of a response that has begun.
#include "backends/lxpr/lxpr_status.h"

#include <poll.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <limits>

#include "jobcontrol/log.h"

namespace Quillfeather {
namespace {

// Decimal reading as strtol does it: leading white space, an optional sign,
// digits up to the first other byte (at most four here, so no overflow). No
// digit at all makes the response invalid.
int32_t parseNumber(std::span<const uint8_t> text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  if (i == text.size() || text[i] < '0' || text[i] > '9') {
    throw InvalidLXPRPrinterStatusException();
  }
  int32_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
    value = value * 10 + (text[i] - '0');
  return negative ? -value : value;
}

// True when the descriptor has data (or an end of file, or an error) to read now.
bool readable(int descriptor) {
  pollfd entry{descriptor, POLLIN, 0};
  int result;
  do {
    result = ::poll(&entry, 1, 0);
  } while (result < 0 && errno == EINTR);
  return result == 1 && (entry.revents & (POLLIN | POLLHUP | POLLERR)) != 0;
}

}  // namespace

void readExactly(int descriptor, std::span<uint8_t> buffer) {
  if (buffer.size() > static_cast<size_t>(std::numeric_limits<ssize_t>::max())) {
    throw InternalInconsistencyException("Cannot read this amount of data at once");
  }
  // A response that stops part-way must not leave the filter waiting for the
  // rest: data that is not there yet counts as a short read.
  if (!buffer.empty() && !readable(descriptor)) {
    throw LXPRPrinterStatusException(
        "Unable to read the requested number of bytes from the printer");
  }
  ssize_t count;
  do {
    count = ::read(descriptor, buffer.data(), buffer.size());
  } while (count < 0 && errno == EINTR);
  if (count < 0) throw LXPRPrinterStatusException("Unable to read any data from the printer");
  if (static_cast<size_t>(count) != buffer.size()) {
    throw LXPRPrinterStatusException(
        "Unable to read the requested number of bytes from the printer");
  }
}

LXPRPrinterStatus readStatus(int descriptor) {
  if (!readable(descriptor)) throw EmptyLXPRPrinterStatusException();

  std::array<uint8_t, 2> start{};
  readExactly(descriptor, start);
  if (start[0] != 0x01 || start[1] != 0x02) throw InvalidLXPRPrinterStatusException();

  std::array<uint8_t, 7> body{};
  readExactly(descriptor, body);
  LXPRPrinterStatus result;
  result.status = static_cast<uint16_t>(parseNumber(std::span(body).subspan(0, 2)));
  result.remaining = static_cast<uint16_t>(parseNumber(std::span(body).subspan(3, 4)));

  std::array<uint8_t, 4> terminator{};
  readExactly(descriptor, terminator);
  if (terminator != std::array<uint8_t, 4>{0x03, 0x04, 0x0A, 0x0D}) {
    throw InvalidLXPRPrinterStatusException();
  }
  return result;
}

bool queryLXPRStatus(int descriptor, int& status) {
  try {
    status = readStatus(descriptor).status;
    return true;
  } catch (const EmptyLXPRPrinterStatusException&) {
    Log::info() << "Printer did not report any abnormal status" << std::endl;
  } catch (const InvalidLXPRPrinterStatusException&) {
    Log::info() << "The printer's status could not be understood" << std::endl;
  } catch (const LXPRPrinterStatusException& e) {
    Log::error() << e.what() << std::endl;
  }
  return false;
}

}  // namespace Quillfeather
