#pragma once

// Captures what the code under test writes to std::cerr (the log) while alive.
#include <iostream>
#include <sstream>
#include <string>

namespace OrnTest {

class CaptureStderr {
 public:
  CaptureStderr() : old_(std::cerr.rdbuf(buffer_.rdbuf())) {}
  ~CaptureStderr() { std::cerr.rdbuf(old_); }
  std::string text() const { return buffer_.str(); }

 private:
  std::ostringstream buffer_;
  std::streambuf* old_;
};

}  // namespace OrnTest
