#include "jobcontrol/log.h"

#include <gtest/gtest.h>

#include "support/capture_stderr.h"

using namespace Quillfeather;

// Every message is exactly one line, whatever its values hold: control bytes
// become \xHH, and only the final std::endl ends the line.
TEST(LogTest, MessageIsOneLine) {
  struct Case {
    std::string value;
    const char* line;
  };
  const Case cases[] = {
      {"plain", "Info: value plain\n"},
      {"x\nPAGE: 99 1", "Info: value x\\x0APAGE: 99 1\n"},
      {"a\r\tb\x1B\x7F", "Info: value a\\x0D\\x09b\\x1B\\x7F\n"},
      {"\\\n", "Info: value \\\\x0A\n"},
      {std::string("nul\0", 4), "Info: value nul\\x00\n"},
      {"caf\xC3\xA9 ~", "Info: value caf\xC3\xA9 ~\n"},
      {"ends\n", "Info: value ends\\x0A\n"},
  };
  for (const Case& c : cases) {
    OrnTest::CaptureStderr capture;
    Log::info() << "value " << c.value << std::endl;
    EXPECT_EQ(capture.text(), c.line);
  }
  OrnTest::CaptureStderr capture;
  Log::warning() << "no endl " << 42;
  Log::setPrefixes("", "", "", "", "");
  Log::critical() << "bare";
  Log::setPrefixes("Debug", "Info", "Warning", "Error", "Critical");
  EXPECT_EQ(capture.text(), "Warning: no endl 42\nbare\n");
}
