#include "imaging/vector_stream_buffer.h"

#include <gtest/gtest.h>

#include <istream>
#include <ostream>
#include <vector>

namespace Quillfeather {
namespace {

TEST(InputVectorStreamBufferTest, ReadsAndSeeksInTheVector) {
  const std::vector<unsigned char> bytes = {'a', 'b', 'c', 'd', 'e'};
  InputVectorStreamBuffer buffer(bytes);
  std::istream in(&buffer);
  char c = 0;
  in.get(c);
  EXPECT_EQ(c, 'a');
  EXPECT_EQ(in.tellg(), 1);
  in.seekg(3);
  in.get(c);
  EXPECT_EQ(c, 'd');
  in.seekg(-2, std::ios::end);
  in.get(c);
  EXPECT_EQ(c, 'd');
  in.seekg(-3, std::ios::cur);
  in.get(c);
  EXPECT_EQ(c, 'b');
  in.seekg(0, std::ios::end);
  EXPECT_EQ(in.tellg(), 5);
  in.seekg(6);
  EXPECT_TRUE(in.fail());  // outside the vector
}

TEST(InputVectorStreamBufferTest, SeeksForOutputMoveNothing) {
  const std::vector<unsigned char> bytes = {'x', 'y'};
  InputVectorStreamBuffer buffer(bytes);
  EXPECT_EQ(buffer.pubseekoff(1, std::ios::beg, std::ios::in | std::ios::out), 0);
  EXPECT_EQ(buffer.sgetc(), 'x');
}

TEST(OutputVectorStreamBufferTest, AppendsEveryWriteAtOnce) {
  std::vector<unsigned char> bytes = {'>'};
  OutputVectorStreamBuffer buffer(bytes);
  std::ostream out(&buffer);
  out.put('a');
  EXPECT_EQ(bytes.size(), 2u);
  out.write("bcd", 3);
  EXPECT_EQ(bytes, (std::vector<unsigned char>{'>', 'a', 'b', 'c', 'd'}));
  EXPECT_EQ(out.tellp(), 5);
}

}  // namespace
}  // namespace Quillfeather
