// Back-channel exchanges with the KT-RN8Q: write the request bytes, then read
// the fixed-length answer (16 bytes for the configuration, 6 for the status),
// collecting it over as many reads as the printer needs, within one deadline.
#include "backends/ktrn8q/ktrn8q_back_channel.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <climits>

#include "backends/ktrn8q/ktrn8q_exceptions.h"
#include "jobcontrol/log.h"

namespace Quillfeather::ktrn8q {
namespace {

// Blocks SIGPIPE while alive; a SIGPIPE raised meanwhile by a write to a
// closed peer is discarded, unless one was already pending before.
class SigpipeGuard {
 public:
  SigpipeGuard() {
    sigemptyset(&pipe_);
    sigaddset(&pipe_, SIGPIPE);
    sigset_t pending;
    sigemptyset(&pending);
    alreadyPending_ = sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1;
    blocked_ = pthread_sigmask(SIG_BLOCK, &pipe_, &previous_) == 0;
  }
  ~SigpipeGuard() {
    if (!blocked_) return;
    if (raised_ && !alreadyPending_) {
      const timespec zero{};
      while (sigtimedwait(&pipe_, nullptr, &zero) < 0 && errno == EINTR) {
      }
    }
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
  }
  SigpipeGuard(const SigpipeGuard&) = delete;
  SigpipeGuard& operator=(const SigpipeGuard&) = delete;
  void noteRaised() { raised_ = true; }

 private:
  sigset_t pipe_;
  sigset_t previous_;
  bool alreadyPending_ = false;
  bool blocked_ = false;
  bool raised_ = false;
};

}  // namespace

DescriptorChannel::DescriptorChannel(int descriptor, std::chrono::milliseconds timeout)
    : descriptor_(descriptor), deadline_(std::chrono::steady_clock::now() + timeout) {}

BackChannel::Outcome DescriptorChannel::waitFor(short events) {
  for (;;) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline_ - std::chrono::steady_clock::now());
    if (left.count() <= 0) return Outcome::TimedOut;
    pollfd entry{descriptor_, events, 0};
    const int ready =
        ::poll(&entry, 1, static_cast<int>(std::min<long long>(left.count(), INT_MAX)));
    if (ready < 0) {
      if (errno == EINTR) continue;
      return Outcome::Failed;
    }
    if (ready == 0) continue;  // the deadline check above decides
    if (entry.revents & POLLNVAL) return Outcome::Failed;
    // Readiness, an error or a hang-up: the following read or write reports which.
    return Outcome::Done;
  }
}

BackChannel::Result DescriptorChannel::writeSome(std::span<const uint8_t> bytes) {
  for (;;) {
    const Outcome waited = waitFor(POLLOUT);
    if (waited != Outcome::Done) return {waited, 0};
    SigpipeGuard guard;
    const ssize_t written = ::write(descriptor_, bytes.data(), bytes.size());
    if (written >= 0) return {Outcome::Done, static_cast<std::size_t>(written)};
    if (errno == EPIPE) guard.noteRaised();
    if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) return {Outcome::Failed, 0};
  }
}

BackChannel::Result DescriptorChannel::readSome(std::span<uint8_t> buffer) {
  for (;;) {
    const Outcome waited = waitFor(POLLIN);
    if (waited != Outcome::Done) return {waited, 0};
    const ssize_t got = ::read(descriptor_, buffer.data(), buffer.size());
    if (got > 0) return {Outcome::Done, static_cast<std::size_t>(got)};
    if (got == 0) return {Outcome::End, 0};
    if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) return {Outcome::Failed, 0};
  }
}

std::vector<uint8_t> exchange(BackChannel& channel, std::span<const uint8_t> request,
                              std::size_t responseBytes) {
  const BackChannel::Result sent = channel.writeSome(request);
  switch (sent.outcome) {
    case BackChannel::Outcome::Done:
      if (sent.count != request.size()) {
        throw KTRN8QPrinterException("Unable to send complete command to printer");
      }
      break;
    case BackChannel::Outcome::TimedOut:
      throw KTRN8QPrinterException("Unexpected response from printer");
    case BackChannel::Outcome::End:
    case BackChannel::Outcome::Failed:
      throw KTRN8QPrinterException("An error occurred while sending the command to the printer");
  }

  std::vector<uint8_t> response(responseBytes);
  std::size_t filled = 0;
  while (filled < responseBytes) {
    const BackChannel::Result got = channel.readSome(std::span(response).subspan(filled));
    switch (got.outcome) {
      case BackChannel::Outcome::Done:
        assert(got.count >= 1 && got.count <= responseBytes - filled);
        filled += got.count;
        break;
      case BackChannel::Outcome::End:
      case BackChannel::Outcome::TimedOut:
        throw KTRN8QPrinterException("Unexpected response from printer");
      case BackChannel::Outcome::Failed:
        throw KTRN8QPrinterException(
            "An error occurred while receiving the response from the printer");
    }
  }
  return response;
}

PrinterState readPrinterState(BackChannel& channel) {
  PrinterState state;
  state.configuration =
      parseConfiguration(exchange(channel, kConfigurationRequest, kConfigurationResponseBytes));
  state.status = parseStatus(exchange(channel, kStatusRequest, kStatusResponseBytes));
  return state;
}

bool queryPrinterStatus(int descriptor, std::chrono::milliseconds timeout, int& status) {
  try {
    DescriptorChannel channel(descriptor, timeout);
    status = statusCode(readPrinterState(channel).status);
    return true;
  } catch (const KTRN8QPrinterException& e) {
    Log::info() << "The printer status could not be retrieved: " << e.what() << std::endl;
    return false;
  }
}

}  // namespace Quillfeather::ktrn8q
