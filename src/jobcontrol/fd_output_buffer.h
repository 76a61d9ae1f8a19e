#pragma once

#include <streambuf>
#include <vector>

namespace Quillfeather {

// A buffered stream buffer on a file descriptor (standard output for the
// printer data). Large blocks bypass the buffer; interrupted writes are resumed,
// so a signal never leaves a command half written. A write error puts the
// stream into the bad state.
class FdOutputBuffer : public std::streambuf {
 public:
  explicit FdOutputBuffer(int fd, size_t bufferSize = size_t{1} << 16);
  ~FdOutputBuffer() override;

  FdOutputBuffer(const FdOutputBuffer&) = delete;
  FdOutputBuffer& operator=(const FdOutputBuffer&) = delete;

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* s, std::streamsize n) override;
  int sync() override;

 private:
  bool flushBuffer();
  bool writeAll(const char* data, size_t size);

  int fd_;
  std::vector<char> buffer_;
};

}  // namespace Quillfeather
