#pragma once

#include <exception>
#include <string>
#include <utility>

namespace Marrowbright {

// Base of the compression library's exceptions: one readable message, returned by what().
class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

// The underlying stream failed or ended.
class IOException : public Exception {
 public:
  using Exception::Exception;
};

// An encoder failed.
class CompressionException : public Exception {
 public:
  using Exception::Exception;
};

// Malformed compressed data.
class DecompressionException : public Exception {
 public:
  using Exception::Exception;
};

// A back-reference reaches outside the window of recent output.
class RollingOutputBufferException : public Exception {
 public:
  using Exception::Exception;
};

// An operation a codec does not offer.
class UnimplementedException : public Exception {
 public:
  using Exception::Exception;
};

}  // namespace Marrowbright
