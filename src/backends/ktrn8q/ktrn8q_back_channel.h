#pragma once

// Request/response exchanges with the KT-RN8Q over the CUPS back channel: a
// request is written in one piece, then exactly the expected number of answer
// bytes is collected, however the printer splits them. Every wait is bounded.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "backends/ktrn8q/ktrn8q_status.h"

namespace Quillfeather::ktrn8q {

// How long one status query may take as a whole.
inline constexpr std::chrono::milliseconds kBackChannelTimeout{3000};
// The CUPS back channel.
inline constexpr int kBackChannelDescriptor = 3;

// Something requests are written to and answers read from.
class BackChannel {
 public:
  enum class Outcome { Done, End, TimedOut, Failed };
  struct Result {
    Outcome outcome;
    std::size_t count;
  };

  virtual ~BackChannel() = default;
  // Writes at most bytes.size() bytes (Done with the count written).
  virtual Result writeSome(std::span<const uint8_t> bytes) = 0;
  // Reads at most buffer.size() bytes: Done with a count of at least 1, End
  // when the other side has closed.
  virtual Result readSome(std::span<uint8_t> buffer) = 0;
};

// A file descriptor with one deadline for everything done through it. Retries
// on EINTR, waits with poll, and turns a closed peer into Failed instead of a
// SIGPIPE.
class DescriptorChannel : public BackChannel {
 public:
  DescriptorChannel(int descriptor, std::chrono::milliseconds timeout);
  Result writeSome(std::span<const uint8_t> bytes) override;
  Result readSome(std::span<uint8_t> buffer) override;

 private:
  Outcome waitFor(short events);

  int descriptor_;
  std::chrono::steady_clock::time_point deadline_;
};

// Sends request and returns the responseBytes bytes of the answer. Throws
// KTRN8QPrinterException when the exchange fails or times out.
std::vector<uint8_t> exchange(BackChannel& channel, std::span<const uint8_t> request,
                              std::size_t responseBytes);

// Reads and checks the configuration, then the status record.
PrinterState readPrinterState(BackChannel& channel);

// Reads the printer state on descriptor within timeout and stores its status
// code. A KTRN8QPrinterException is logged at Info level and gives false.
bool queryPrinterStatus(int descriptor, std::chrono::milliseconds timeout, int& status);

}  // namespace Quillfeather::ktrn8q
