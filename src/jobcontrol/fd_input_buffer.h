#pragma once

#include <functional>
#include <streambuf>
#include <vector>

namespace Quillfeather {

// A buffered stream buffer that reads a file descriptor (the raster from CUPS)
// and can be stopped while it waits. A read that waits for data gives up,
// as at end of input, once stop() answers true; a signal handler that sets the
// flag behind stop() thus ends a read that would otherwise wait for ever. A
// read error also ends the input. Large reads bypass the buffer.
class FdInputBuffer : public std::streambuf {
 public:
  FdInputBuffer(int fd, std::function<bool()> stop, size_t bufferSize = size_t{1} << 16);

  FdInputBuffer(const FdInputBuffer&) = delete;
  FdInputBuffer& operator=(const FdInputBuffer&) = delete;

 protected:
  int_type underflow() override;
  std::streamsize xsgetn(char* s, std::streamsize n) override;

 private:
  // Up to size bytes; 0 at end of input, on an error or when stopped.
  size_t readSome(char* data, size_t size);

  int fd_;
  std::function<bool()> stop_;
  std::vector<char> buffer_;
};

}  // namespace Quillfeather
