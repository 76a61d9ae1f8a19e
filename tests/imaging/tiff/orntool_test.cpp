// orntool convert, run as a program.
#include <gtest/gtest.h>

#include <fstream>

#include "imaging/image_io.h"
#include "imaging/tiff/tiff_fixture.h"

namespace Tesselin {
namespace {

const std::string kTool = std::string(ORN_BINARY_DIR) + "/tools/orntool";

TEST(OrntoolConvertTest, ConvertsWithBothCompressions) {
  const auto dir = testing::scratchDirectory("orntool");
  testing::TiffLayout s;
  s.bits = 1;
  s.photometric = 0;
  const auto source = dir / "source.tif";
  testing::writeFile(source, testing::writePlainTiff(s, testing::makePixels(s, 8)));
  for (const char* compression : {"lzw", "deflate"}) {
    const auto out = dir / (std::string(compression) + ".tif");
    std::string output;
    ASSERT_EQ(testing::runCommand(kTool + " convert " + source.string() + " " + out.string() +
                                      " --compression " + compression,
                                  &output),
              0)
        << output;
    EXPECT_TRUE(output.empty()) << output;
    ASSERT_EQ(testing::runCommand("tiffinfo " + out.string(), &output), 0) << output;
    EXPECT_NE(output.find(std::string("Compression Scheme: ") +
                          (compression == std::string("lzw") ? "LZW" : "AdobeDeflate")),
              std::string::npos)
        << output;
    // The same picture: libtiff's decodings of source and result, as luminance, agree.
    const auto plainSource = dir / "plain_source.tif";
    const auto plainOut = dir / "plain_out.tif";
    ASSERT_EQ(testing::runCommand("tiffcp -c none " + source.string() + " " + plainSource.string()),
              0);
    ASSERT_EQ(testing::runCommand("tiffcp -c none " + out.string() + " " + plainOut.string()), 0);
    std::ifstream a(plainSource, std::ios::binary);
    std::ifstream b(plainOut, std::ios::binary);
    EXPECT_TRUE(ImageIO::ReadFromTIFFFormat(a, nullptr).data() ==
                ImageIO::ReadFromTIFFFormat(b, nullptr).data());
  }
  std::string output;
  ASSERT_EQ(testing::runCommand("cat " + source.string() + " | " + kTool + " convert - - > " +
                                    (dir / "piped.tif").string(),
                                &output),
            0)
      << output;
  EXPECT_EQ(testing::runCommand("tiffinfo " + (dir / "piped.tif").string()), 0);
}

TEST(OrntoolConvertTest, FailuresAreOneLineAndNonZero) {
  const auto dir = testing::scratchDirectory("orntool_errors");
  testing::writeFile(dir / "bad.tif", testing::Bytes{'G', 'I', 'F', '8', '9', 'a'});
  const struct {
    std::string arguments;
    const char* expected;
  } cases[] = {
      {"convert " + (dir / "bad.tif").string() + " " + (dir / "o.tif").string(),
       "orntool convert: Not a valid TIFF file\n"},
      {"convert " + (dir / "missing.tif").string() + " " + (dir / "o.tif").string(),
       "orntool convert: cannot open \""},
  };
  for (const auto& c : cases) {
    std::string output;
    EXPECT_NE(testing::runCommand(kTool + " " + c.arguments, &output), 0);
    EXPECT_EQ(output.rfind(c.expected, 0), 0u) << output;
    EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 1) << output;
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "o.tif"));
  std::string output;
  EXPECT_NE(testing::runCommand(kTool + " convert a.tif b.tif --compression jpeg", &output), 0);
  EXPECT_NE(output.find("unknown compression"), std::string::npos) << output;
  EXPECT_NE(testing::runCommand(kTool + " frobnicate", &output), 0);
}

}  // namespace
}  // namespace Tesselin
