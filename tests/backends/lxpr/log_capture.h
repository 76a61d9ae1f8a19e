#pragma once

#include <iostream>
#include <sstream>
#include <string>

namespace Quillfeather::Testing {

// Collects everything written to standard error (where the log goes) while alive.
class LogCapture {
 public:
  LogCapture() : previous_(std::cerr.rdbuf(captured_.rdbuf())) {}
  ~LogCapture() { std::cerr.rdbuf(previous_); }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  std::string text() const { return captured_.str(); }

 private:
  std::ostringstream captured_;
  std::streambuf* previous_;
};

}  // namespace Quillfeather::Testing
