#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "ppd/ppd_file.h"

namespace Quillfeather::Testing {

inline PPDFile parsePPD(const std::string& text) {
  std::istringstream in(text);
  return PPDFile(in);
}

// Parses text and checks that it fails with exactly message on line.
inline void expectSyntaxError(const std::string& text, const std::string& message, uint32_t line) {
  try {
    parsePPD(text);
    ADD_FAILURE() << "no exception, expected \"" << message << "\"";
  } catch (const PPDSyntaxException& e) {
    EXPECT_EQ(e.what(), message);
    EXPECT_EQ(e.lineNumber(), line) << message;
  }
}

}  // namespace Quillfeather::Testing
