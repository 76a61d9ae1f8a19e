// Fuzz target for the KT-RN8Q status query: configuration and status answers
// arbitrary bytes, delivered in arbitrary pieces.
// Input: byte 0 chooses how the channel ends after the bytes (closed, timed
// out, failed), byte 1 seeds the piece sizes, the rest is what the printer
// sends. The result (status code or message) must not depend on the pieces and
// must match parsing the bytes directly.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "backends/ktrn8q/ktrn8q_back_channel.h"
#include "backends/ktrn8q/ktrn8q_exceptions.h"

namespace {

using Quillfeather::ktrn8q::BackChannel;

class ScriptedChannel : public BackChannel {
 public:
  enum class Pieces { Whole, SingleBytes, Random };

  ScriptedChannel(std::vector<uint8_t> bytes, Outcome ending, Pieces pieces, uint32_t seed)
      : bytes_(std::move(bytes)), ending_(ending), pieces_(pieces), seed_(seed) {}

  Result writeSome(std::span<const uint8_t> request) override {
    written_.append(request.begin(), request.end());
    return {Outcome::Done, request.size()};
  }

  Result readSome(std::span<uint8_t> buffer) override {
    if (position_ == bytes_.size()) return {ending_, 0};
    if (pieceLeft_ == 0) pieceLeft_ = nextPieceSize();
    std::size_t count = std::min({pieceLeft_, buffer.size(), bytes_.size() - position_});
    std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(position_), count, buffer.begin());
    position_ += count;
    pieceLeft_ -= count;
    return {Outcome::Done, count};
  }

  const std::string& written() const { return written_; }

 private:
  std::size_t nextPieceSize() {
    switch (pieces_) {
      case Pieces::Whole:
        return bytes_.size();
      case Pieces::SingleBytes:
        return 1;
      case Pieces::Random:
        break;
    }
    seed_ = seed_ * 1103515245u + 12345u;
    return 1 + (seed_ >> 16) % 8;
  }

  std::vector<uint8_t> bytes_;
  Outcome ending_;
  Pieces pieces_;
  uint32_t seed_;
  std::size_t position_ = 0;
  std::size_t pieceLeft_ = 0;
  std::string written_;
};

struct QueryResult {
  std::string result;
  std::string written;
};

QueryResult query(const std::vector<uint8_t>& bytes, BackChannel::Outcome ending,
                  ScriptedChannel::Pieces pieces, uint32_t seed = 0) {
  ScriptedChannel channel(bytes, ending, pieces, seed);
  std::string result;
  try {
    const auto state = Quillfeather::ktrn8q::readPrinterState(channel);
    result = "code " + std::to_string(Quillfeather::ktrn8q::statusCode(state.status));
  } catch (const Quillfeather::KTRN8QPrinterException& e) {
    result = e.what();
  }
  return {result, channel.written()};
}

// Plain reference for the status code: the bits in priority order.
int referenceCode(const uint8_t* status) {
  auto bit = [&](int byte, int number) { return (status[byte] >> number) & 1; };
  if (bit(2, 0)) {
    int code = 1;
    for (int number = 7; number >= 0; --number, ++code) {
      if (bit(3, number)) return code;
    }
    for (int number = 7; number >= 2; --number, ++code) {
      if (bit(4, number)) return code;
    }
    return 99;
  }
  if (bit(2, 1)) {
    int code = 100;
    for (int number : {6, 4, 3, 1, 0}) {
      if (bit(5, number)) return code;
      ++code;
    }
    return 199;
  }
  return 0;
}

bool configurationValid(const std::vector<uint8_t>& bytes) {
  return bytes.size() >= 16 && bytes[0] <= 4 && bytes[7] <= 1;
}

// What the query must give, worked out from the bytes without a channel.
std::string expected(const std::vector<uint8_t>& bytes, BackChannel::Outcome ending) {
  const std::string incomplete =
      ending == BackChannel::Outcome::Failed
          ? "An error occurred while receiving the response from the printer"
          : "Unexpected response from printer";
  if (bytes.size() < 16) return incomplete;
  if (bytes[0] > 4) {
    return "Parameter #paper type of the status response is outside the expected range";
  }
  if (bytes[7] > 1) {
    return "Parameter #power control of the status response is outside the expected range";
  }
  if (bytes.size() < 22) return incomplete;
  return "code " + std::to_string(referenceCode(bytes.data() + 16));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  static constexpr BackChannel::Outcome kEndings[] = {
      BackChannel::Outcome::End, BackChannel::Outcome::TimedOut, BackChannel::Outcome::Failed};
  const BackChannel::Outcome ending = kEndings[data[0] % 3];
  const std::vector<uint8_t> bytes(data + 2, data + size);

  using Pieces = ScriptedChannel::Pieces;
  const QueryResult whole = query(bytes, ending, Pieces::Whole);
  const QueryResult single = query(bytes, ending, Pieces::SingleBytes);
  const QueryResult random = query(bytes, ending, Pieces::Random, data[1]);
  for (const QueryResult* other : {&single, &random}) {
    if (other->result != whole.result || other->written != whole.written) std::abort();
  }
  if (whole.result != expected(bytes, ending)) std::abort();
  // The status request follows only a valid configuration answer.
  const std::string configurationOnly("\x1D\x30\x05", 3);
  const std::string both("\x1D\x30\x05\x14\x01", 5);
  if (whole.written != (configurationValid(bytes) ? both : configurationOnly)) std::abort();
  return 0;
}
