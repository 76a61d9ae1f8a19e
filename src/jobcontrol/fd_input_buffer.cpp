#include "jobcontrol/fd_input_buffer.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace Quillfeather {
namespace {

// How long one wait lasts before stop() is asked again. A signal ends the wait
// at once; the time-out only covers a signal that arrives just before it.
constexpr int kWaitMilliseconds = 200;

}  // namespace

FdInputBuffer::FdInputBuffer(int fd, std::function<bool()> stop, size_t bufferSize)
    : fd_(fd), stop_(std::move(stop)), buffer_(bufferSize) {
  setg(buffer_.data(), buffer_.data(), buffer_.data());
}

size_t FdInputBuffer::readSome(char* data, size_t size) {
  if (fd_ < 0) return 0;
  for (;;) {
    if (stop_ && stop_()) return 0;
    pollfd wait{fd_, POLLIN, 0};
    const int ready = ::poll(&wait, 1, kWaitMilliseconds);
    if (ready < 0 && errno != EINTR) return 0;
    if (ready <= 0) continue;
    const ssize_t got = ::read(fd_, data, size);
    if (got >= 0) return static_cast<size_t>(got);
    if (errno != EINTR && errno != EAGAIN) return 0;
  }
}

FdInputBuffer::int_type FdInputBuffer::underflow() {
  if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
  const size_t got = readSome(buffer_.data(), buffer_.size());
  setg(buffer_.data(), buffer_.data(), buffer_.data() + got);
  return got == 0 ? traits_type::eof() : traits_type::to_int_type(*gptr());
}

std::streamsize FdInputBuffer::xsgetn(char* s, std::streamsize n) {
  std::streamsize done = 0;
  while (done < n) {
    const std::streamsize buffered = egptr() - gptr();
    if (buffered > 0) {
      const std::streamsize take = std::min(buffered, n - done);
      std::memcpy(s + done, gptr(), static_cast<size_t>(take));
      gbump(static_cast<int>(take));
      done += take;
      continue;
    }
    const size_t want = static_cast<size_t>(n - done);
    if (want >= buffer_.size()) {
      const size_t got = readSome(s + done, want);
      if (got == 0) break;
      done += static_cast<std::streamsize>(got);
    } else if (underflow() == traits_type::eof()) {
      break;
    }
  }
  return done;
}

}  // namespace Quillfeather
