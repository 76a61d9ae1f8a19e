#include "orntool/preview_zpl.h"

#include <gtest/gtest.h>

#include "preview_test_util.h"

using namespace OrnTool;
using namespace PreviewTest;

namespace {

TEST(PreviewZpl, GraphicLandsAtItsFieldOrigin) {
  // Two rows of a 16-dot graphic whose first inked row is row 3 of the page.
  const std::string data =
      "~DGR:PAGE.GRF,4,2,\n8001C003\n^XA\n^FX JOB NAME: Box_1^FS\n^PR4,4,\n^FO0,3\n"
      "^IMR:PAGE.GRF^FS\n^XZ\n^IDR:PAGE.GRF^FS\n";
  const auto labels = decodeZpl(bytesOf(data));
  ASSERT_EQ(labels.size(), 1u);
  EXPECT_EQ(labels[0].name, "label-1");
  const Tesselin::Bitmap& picture = labels[0].bitmap;
  ASSERT_EQ(picture.width(), 16u);
  ASSERT_EQ(picture.height(), 5u);
  EXPECT_EQ(picture.data(), std::vector<uint8_t>({0, 0, 0, 0, 0, 0, 0x80, 0x01, 0xC0, 0x03}));
}

TEST(PreviewZpl, LineFeedsInsideTheDataAndLowerCaseDigitsAreRead) {
  const Tesselin::Bitmap graphic = randomBitmap(800, 3, 8);
  std::string hex;
  const char* digits = "0123456789abcdef";
  for (size_t i = 0; i < graphic.data().size(); ++i) {
    hex += digits[graphic.data()[i] >> 4];
    hex += digits[graphic.data()[i] & 15];
    if (i % 40 == 0) hex += "\n";
  }
  const std::string data =
      "~DGR:PAGE.GRF,300,100,\n" + hex + "\n^XA\n^FO0,7\n^IMR:PAGE.GRF^FS\n^XZ\n^IDR:PAGE.GRF^FS\n";
  const auto labels = decodeZpl(bytesOf(data));
  ASSERT_EQ(labels.size(), 1u);
  EXPECT_EQ(labels[0].bitmap.data(), placed(graphic, 800, 10, 0, 7).data());
}

TEST(PreviewZpl, BlankPageAndLabelSizeCommands) {
  const std::string blank =
      "~DGR:PAGE.GRF,0,102,\n\n^XA\n^FO0,0\n^IMR:PAGE.GRF^FS\n^XZ\n^IDR:PAGE.GRF^FS\n";
  auto labels = decodeZpl(bytesOf(blank));
  ASSERT_EQ(labels.size(), 1u);
  EXPECT_EQ(labels[0].bitmap.width(), 816u);
  EXPECT_FALSE(hasInk(labels[0].bitmap));

  const std::string sized = "~DGA,2,1,FF81^XA^PW40^LL30^FO9,2^IMA^FS^XZ^XA^FO0,0^XGA,1,1^FS^XZ";
  labels = decodeZpl(bytesOf(sized));
  ASSERT_EQ(labels.size(), 2u);
  EXPECT_EQ(labels[0].bitmap.width(), 40u);
  EXPECT_EQ(labels[0].bitmap.height(), 30u);
  EXPECT_TRUE(labels[0].bitmap.getPixel(9, 2));
  EXPECT_TRUE(labels[0].bitmap.getPixel(16, 2));
  EXPECT_TRUE(labels[0].bitmap.getPixel(9, 3));
  EXPECT_FALSE(labels[0].bitmap.getPixel(10, 3));
  EXPECT_EQ(labels[1].bitmap.width(), 8u);
  EXPECT_EQ(labels[1].bitmap.height(), 2u);
}

TEST(PreviewZpl, EveryCutShortStreamFailsCleanly) {
  const std::string one =
      "~DGR:PAGE.GRF,4,2,\n8001C003\n^XA\n^FO0,3\n^IMR:PAGE.GRF^FS\n^XZ\n^IDR:PAGE.GRF^FS\n";
  const size_t printed = one.find("^XZ") + 3;
  for (size_t length = 0; length < one.size(); ++length) {
    const std::string prefix = one.substr(0, length);
    if (length < printed) {
      EXPECT_THROW(decodeZpl(bytesOf(prefix)), PreviewError) << "length " << length;
      continue;
    }
    // Once ^XZ is read the label is complete; what follows only deletes the graphic, and a
    // command cut inside its name is reported.
    try {
      EXPECT_EQ(decodeZpl(bytesOf(prefix)).size(), 1u) << "length " << length;
    } catch (const PreviewError& e) {
      EXPECT_NE(std::string(e.what()).find("cut short"), std::string::npos) << e.what();
    }
  }
  EXPECT_EQ(decodeZpl(bytesOf(one.substr(0, printed))).size(), 1u);
  EXPECT_EQ(decodeZpl(bytesOf(one)).size(), 1u);
}

TEST(PreviewZpl, DamagedDataIsRejected) {
  const std::vector<std::pair<const char*, std::string>> cases = {
      {"text outside commands", "hello ^XA^XZ"},
      {"unknown graphic", "^XA^FO0,0^IMR:NONE.GRF^FS^XZ"},
      {"not hexadecimal", "~DGA,2,1,FG81^XA^IMA^XZ"},
      {"ragged rows", "~DGA,3,2,FF8100^XA^IMA^XZ"},
      {"zero-byte rows", "~DGA,2,0,FF81^XA^IMA^XZ"},
      {"huge graphic", "~DGA,999999999,1,00^XA^IMA^XZ"},
      {"malformed origin", "~DGA,1,1,FF^XA^FOx,1^IMA^XZ"},
      {"end without start", "^XZ"},
      {"start inside a format", "^XA^XA^XZ"},
      {"not ended", "^XA^FO0,0"},
      {"graphic far away", "~DGA,1,1,FF^XA^FO999999999,0^IMA^XZ"},
      {"deleted while placed", "~DGA,1,1,FF^XA^IMA^IDA^XZ"},
      {"no label", "~DGA,1,1,FF"},
  };
  for (const auto& [what, data] : cases) {
    EXPECT_THROW(decodeZpl(bytesOf(data)), PreviewError) << what;
  }
}

// Found by the hostile-input run: a damaged number quoted with the line feeds that followed.
TEST(PreviewZpl, DamagedFieldsAreQuotedOnOneLine) {
  try {
    decodeZpl(bytesOf("~DGR:PAGE.GRF,72\xcb\n\n^XA,1,FF^XZ"));
    ADD_FAILURE() << "no error";
  } catch (const PreviewError& e) {
    const std::string message = e.what();
    EXPECT_EQ(message.find('\n'), std::string::npos) << message;
    EXPECT_NE(message.find("malformed"), std::string::npos) << message;
    EXPECT_NE(message.find("\\xCB\\x0A"), std::string::npos) << message;
  }
}

}  // namespace
