#include "jobcontrol/fd_output_buffer.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace Quillfeather {

FdOutputBuffer::FdOutputBuffer(int fd, size_t bufferSize) : fd_(fd), buffer_(bufferSize) {
  setp(buffer_.data(), buffer_.data() + buffer_.size());
}

FdOutputBuffer::~FdOutputBuffer() { flushBuffer(); }

bool FdOutputBuffer::writeAll(const char* data, size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd_, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

bool FdOutputBuffer::flushBuffer() {
  const size_t pending = static_cast<size_t>(pptr() - pbase());
  setp(buffer_.data(), buffer_.data() + buffer_.size());
  return writeAll(buffer_.data(), pending);
}

FdOutputBuffer::int_type FdOutputBuffer::overflow(int_type c) {
  if (!flushBuffer()) return traits_type::eof();
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  *pptr() = traits_type::to_char_type(c);
  pbump(1);
  return c;
}

std::streamsize FdOutputBuffer::xsputn(const char* s, std::streamsize n) {
  if (n <= 0) return 0;
  const size_t size = static_cast<size_t>(n);
  const size_t room = static_cast<size_t>(epptr() - pptr());
  if (size <= room) {
    std::memcpy(pptr(), s, size);
    pbump(static_cast<int>(size));
    return n;
  }
  if (!flushBuffer()) return 0;
  if (size >= buffer_.size()) return writeAll(s, size) ? n : 0;
  std::memcpy(pptr(), s, size);
  pbump(static_cast<int>(size));
  return n;
}

int FdOutputBuffer::sync() { return flushBuffer() ? 0 : -1; }

}  // namespace Quillfeather
