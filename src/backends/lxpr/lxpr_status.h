#pragma once

#include <cstdint>
#include <span>

#include "raster/exception.h"

namespace Quillfeather {

// Reading the printer's status from the back channel failed.
class LXPRPrinterStatusException : public Exception {
 public:
  using Exception::Exception;
};

// Nothing was waiting on the back channel.
class EmptyLXPRPrinterStatusException : public LXPRPrinterStatusException {
 public:
  EmptyLXPRPrinterStatusException()
      : LXPRPrinterStatusException("There was no printer status to read") {}
};

// The bytes on the back channel are not a status response.
class InvalidLXPRPrinterStatusException : public LXPRPrinterStatusException {
 public:
  InvalidLXPRPrinterStatusException()
      : LXPRPrinterStatusException("The response from the printer was invalid") {}
};

struct LXPRPrinterStatus {
  uint16_t status = 0;
  uint16_t remaining = 0;
};

// The back channel CUPS gives a filter.
inline constexpr int kBackChannelDescriptor = 3;

// Fills the whole buffer with one read of the descriptor (retried only when a
// signal interrupts it); a short read is an error, and so is a descriptor with
// nothing to read yet: it never waits.
void readExactly(int descriptor, std::span<uint8_t> buffer);

// Reads one status response if one is waiting, without blocking.
LXPRPrinterStatus readStatus(int descriptor);

// readStatus with the failures logged: true and the status code stored, or
// false after one log line.
bool queryLXPRStatus(int descriptor, int& status);

}  // namespace Quillfeather
