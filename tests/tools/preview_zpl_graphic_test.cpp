#include "orntool/preview_zpl_graphic.h"

#include <gtest/gtest.h>

#include <string>

#include "orntool/preview_image.h"

using namespace OrnTool;

namespace {

// Rows 12 22 20, 12 22 20, FF FF FF: in compressed hex and as Z64 (zlib data made by Python's
// zlib, the CRC by hand).
const std::string kHex = "1J2,:!";
const std::string kZ64 = ":Z64:eNoTUlIQUlL4//8/AAorA6Y=:0FE1";
const std::vector<uint8_t> kRows = {0x12, 0x22, 0x20, 0x12, 0x22, 0x20, 0xFF, 0xFF, 0xFF};

TEST(PreviewZplGraphic, DecodesEveryForm) {
  for (const std::string& text :
       {kHex, kZ64, std::string("\n1J2,\n:\n!\n"), std::string("1222201222\n20FFFFFF\n"),
        std::string(":B64:EiIgEiIg////:A953")}) {
    EXPECT_EQ(decodeZplGraphicData(text, 9, 3), kRows) << text;
  }
}

TEST(PreviewZplGraphic, DamagedDataGivesOneLineReasons) {
  struct Case {
    std::string text;
    uint64_t total, rowBytes;
    const char* reason;
  };
  const std::vector<Case> cases = {
      {":Z64:eNoTUlIQUlL4//8/AAorA6Y=:0FE2", 9, 3,
       "CRC of the graphic is 0FE2, its data gives 0FE1"},
      {":Z64:eNoTUlIQUlL4//8/AAorA6Y=:0FE", 9, 3, "CRC of the graphic is malformed"},
      {":Z64:eNoTUlIQUlL4//8/AAorA6Y=", 9, 3, "has no CRC"},
      {":Z64:eNoT*lIQUlL4//8/AAorA6Y=:3AD9", 9, 3, "base64 text of the graphic is damaged"},
      {":Z64:eNoTUlIQUlL4//8/:82A8", 9, 3, "Z64 data is cut short"},
      {":Z64:aGVsbG8gd29ybGQ=:91E4", 9, 3, "not valid zlib data"},
      {":Z64:eNoTUlIQUlL4//8/AAorA6Y=:0FE1", 6, 3, "more bytes than the graphic's 6"},
      {":Z64:eNoTUlIQUlL4//8/AAorA6Y=:0FE1", 12, 3, "fewer bytes than the graphic's 12"},
      {"1J2,zG0", 9, 3, "a repeat count of 401 runs past the end of row 2"},
      {"1L2", 9, 3, "a repeat count of 6 runs past the end of row 1"},
      {"1J2,:", 9, 3, "cut short"},
      {"1J2,:!0", 9, 3, "goes on past its 9 bytes"},
      {":", 9, 3, "repeats a row before the first one"},
      {"1:", 9, 3, "in the middle of a row"},
      {"1J,", 9, 3, "not followed by a hexadecimal digit"},
      {"1J2#", 9, 3, "not a hexadecimal digit"},
  };
  for (const Case& c : cases) {
    try {
      decodeZplGraphicData(c.text, c.total, c.rowBytes);
      ADD_FAILURE() << c.text << ": no error";
    } catch (const PreviewError& e) {
      const std::string message = e.what();
      EXPECT_NE(message.find(c.reason), std::string::npos) << c.text << ": " << message;
      EXPECT_EQ(message.find('\n'), std::string::npos) << message;
    }
  }
}

TEST(PreviewZplGraphic, EveryCutShortEncodingFails) {
  for (const std::string& text : {kHex, kZ64}) {
    for (size_t length = 0; length < text.size(); ++length) {
      EXPECT_THROW(decodeZplGraphicData(text.substr(0, length), 9, 3), PreviewError)
          << text.substr(0, length);
    }
  }
}

}  // namespace
