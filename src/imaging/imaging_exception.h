#pragma once

#include <exception>
#include <string>
#include <utility>

namespace Tesselin {

// Base of the imaging library's exceptions: one readable message, returned by what().
class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

// A failure of an Image operation or of image construction.
class ImageException : public Exception {
 public:
  using Exception::Exception;
};

// A failure of a Bitmap operation, a conversion or a bitmap encoding.
class BitmapException : public Exception {
 public:
  using Exception::Exception;
};

// A halftoning method asked for something it cannot do.
class HalftoningException : public Exception {
 public:
  using Exception::Exception;
};

}  // namespace Tesselin
