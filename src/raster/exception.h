#pragma once

#include <exception>
#include <string>
#include <utility>

namespace Quillfeather {

// Base of the filter's own exceptions: one readable message, returned by what().
class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

// The input ended or failed during a read.
class IOException : public Exception {
 public:
  using Exception::Exception;
};

// The stream does not start with a known raster sync word.
class CUPSSyncException : public Exception {
 public:
  using Exception::Exception;
};

// A page header that cannot be used.
class CUPSFormatException : public Exception {
 public:
  using Exception::Exception;
};

// A state that cannot be valid was reached.
class InternalInconsistencyException : public Exception {
 public:
  using Exception::Exception;
};

}  // namespace Quillfeather
