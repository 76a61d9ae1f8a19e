// orntool convert, run as a program; libtiff's tools check what it writes.
#include <gtest/gtest.h>

#include "imaging/image_io.h"
#include "imaging/tiff/tiff_fixture.h"

namespace Tesselin {
namespace {

using testing::runCommand;
const std::string kTool = std::string(ORN_BINARY_DIR) + "/tools/orntool";

Image plain(const std::filesystem::path& file, const std::filesystem::path& scratch) {
  EXPECT_EQ(runCommand("tiffcp -c none " + file.string() + " " + scratch.string()), 0);
  std::ifstream in(scratch, std::ios::binary);
  return ImageIO::ReadFromTIFFFormat(in, nullptr);
}

TEST(OrntoolConvertTest, ConvertsWithBothCompressions) {
  const auto dir = testing::scratchDirectory("orntool");
  testing::TiffLayout s;
  s.bits = 1;
  s.photometric = 0;
  const auto source = dir / "source.tif";
  testing::writeFile(source, testing::writePlainTiff(s, testing::makePixels(s, 8)));
  for (auto [compression, scheme] : {std::pair{"lzw", "LZW"}, {"deflate", "AdobeDeflate"}}) {
    const auto out = dir / (std::string(compression) + ".tif");
    std::string output;
    ASSERT_EQ(runCommand(kTool + " convert " + source.string() + " " + out.string() +
                             " --compression " + compression,
                         &output),
              0)
        << output;
    EXPECT_TRUE(output.empty()) << output;
    ASSERT_EQ(runCommand("tiffinfo " + out.string(), &output), 0) << output;
    EXPECT_NE(output.find(std::string("Compression Scheme: ") + scheme), std::string::npos)
        << output;
    // The same picture: libtiff's decodings of source and result agree.
    EXPECT_TRUE(plain(source, dir / "a.tif").data() == plain(out, dir / "b.tif").data())
        << compression;
  }
  std::string output;
  const auto piped = dir / "piped.tif";
  ASSERT_EQ(
      runCommand("cat " + source.string() + " | " + kTool + " convert - - > " + piped.string(),
                 &output),
      0)
      << output;
  EXPECT_EQ(runCommand("tiffinfo " + piped.string()), 0);
}

TEST(OrntoolConvertTest, FailuresAreOneLineAndNonZero) {
  const auto dir = testing::scratchDirectory("orntool_errors");
  testing::writeFile(dir / "bad.tif", testing::Bytes{'G', 'I', 'F', '8', '9', 'a'});
  const std::pair<std::string, const char*> cases[] = {
      {"bad.tif", "orntool convert: Not a valid TIFF file\n"},
      {"missing.tif", "orntool convert: cannot open \""}};
  for (const auto& [input, expected] : cases) {
    std::string output;
    EXPECT_NE(
        runCommand(kTool + " convert " + (dir / input).string() + " " + (dir / "o.tif").string(),
                   &output),
        0);
    EXPECT_EQ(output.rfind(expected, 0), 0u) << output;
    EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 1) << output;
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "o.tif"));
  std::string output;
  EXPECT_NE(runCommand(kTool + " convert a.tif b.tif --compression jpeg", &output), 0);
  EXPECT_NE(output.find("unknown compression"), std::string::npos) << output;
  EXPECT_NE(runCommand(kTool + " frobnicate", &output), 0);
}

}  // namespace
}  // namespace Tesselin
