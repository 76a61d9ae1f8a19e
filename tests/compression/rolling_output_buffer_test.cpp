#include <gtest/gtest.h>

#include <sstream>

#include "compression/exceptions.h"
#include "compression/rolling_output_buffer.h"

namespace Marrowbright {
namespace {

TEST(RollingOutputBufferTest, CopiesOverlappingRuns) {
  std::ostringstream out;
  RollingOutputBuffer window(out, 16);
  window.put('a');
  window.put('b');
  window.copy(2, 7);
  window.flush();
  EXPECT_EQ(out.str(), "ababababa");
}

TEST(RollingOutputBufferTest, KeepsTheLastWindowAcrossFlushes) {
  std::ostringstream out;
  std::string expected;
  RollingOutputBuffer window(out, 8);
  for (int i = 0; i < 100; ++i) {
    const auto byte = static_cast<std::uint8_t>('A' + i % 26);
    window.put(byte);
    expected += static_cast<char>(byte);
    if (i % 10 == 9) {
      window.copy(8, 5);
      expected += expected.substr(expected.size() - 8, 5);
    }
  }
  window.flush();
  EXPECT_EQ(out.str(), expected);
  EXPECT_EQ(window.total(), expected.size());
}

TEST(RollingOutputBufferTest, RejectsDistancesOutsideTheWindow) {
  std::ostringstream out;
  RollingOutputBuffer window(out, 8);
  try {
    window.copy(1, 3);
    FAIL();
  } catch (const RollingOutputBufferException& e) {
    EXPECT_STREQ(e.what(), "Backwards distance exceeds available bytes");
  }
  for (int i = 0; i < 40; ++i) window.put('x');
  EXPECT_NO_THROW(window.copy(8, 3));
  EXPECT_THROW(window.copy(9, 3), RollingOutputBufferException);
}

TEST(RollingOutputBufferTest, ReadsHeldBytesByOffset) {
  std::ostringstream out;
  RollingOutputBuffer window(out, 4);
  for (char c : std::string("abcdefghij")) window.put(static_cast<std::uint8_t>(c));
  EXPECT_EQ(window.at(0), 'g');
  EXPECT_EQ(window.at(3), 'j');
  try {
    window.at(4);
    FAIL();
  } catch (const RollingOutputBufferException& e) {
    EXPECT_STREQ(e.what(), "Internal inconsistency: first byte offset exceeds existing data count");
  }
}

TEST(RollingOutputBufferTest, WritesNoMoreThanTheLimit) {
  std::ostringstream out;
  RollingOutputBuffer window(out, 4, 6);
  for (char c : std::string("abcdefghij")) window.put(static_cast<std::uint8_t>(c));
  window.flush();
  EXPECT_EQ(out.str(), "abcdef");
  EXPECT_TRUE(window.limitReached());
}

}  // namespace
}  // namespace Marrowbright
