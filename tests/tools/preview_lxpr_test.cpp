#include "orntool/preview_lxpr.h"

#include <gtest/gtest.h>

#include "imaging/bitmap_encoding.h"
#include "preview_test_util.h"

using namespace OrnTool;
using namespace PreviewTest;

namespace {

std::string readable(const std::string& body) { return "{" + body + "|}\n"; }
std::string unreadable(const std::string& body) { return "\x1B" + body + std::string("\n\0", 2); }

std::string skarnBytes(const Tesselin::Bitmap& bitmap) {
  const std::vector<uint8_t> encoded = Tesselin::encodeSkarn(bitmap);
  return std::string(encoded.begin(), encoded.end());
}

// One label as the filter sends it: size, adjustment, clear, graphic, issue.
std::string label(std::string (*frame)(const std::string&), const std::string& graphic) {
  return frame("D0538,0762,0508") + frame("AX;+050,+000,+00") + frame("C") + frame(graphic) +
         frame("XS;I,0001,0002C4000");
}

TEST(PreviewLxpr, RawGraphicIsPlacedDotForDotOnTheLabel) {
  // Data bytes 7C 7D are the end of a readable command: the decoder must go by the length.
  Tesselin::Bitmap graphic(16, 3);
  graphic.data() = {0x7C, 0x7D, 0x80, 0x01, 0xFF, 0x7C};
  // 10 tenths at 203 dpi are dot 8 (the filter wrote 8 x 254 / 203 = 10).
  const std::string data = label(readable, "SG;0010,0020,0016,0003,1," + rawBytes(graphic));
  const auto labels = decodeLxpr(bytesOf(data), 203);
  ASSERT_EQ(labels.size(), 1u);
  EXPECT_EQ(labels[0].name, "label-1");
  // 762 x 508 tenths: 3 x 2 inches.
  EXPECT_EQ(labels[0].bitmap.width(), 609u);
  EXPECT_EQ(labels[0].bitmap.height(), 406u);
  EXPECT_EQ(labels[0].bitmap.data(), placed(graphic, 609, 406, 8, 16).data());
}

TEST(PreviewLxpr, SkarnGraphicMatchesTheEncodedBitmap) {
  for (uint32_t width : {1u, 37u, 64u, 520u}) {
    SCOPED_TRACE(width);
    const Tesselin::Bitmap graphic = randomBitmap(width, 23, width);
    const std::string data =
        label(readable, "SG;0031,0031,0" + std::to_string(1000 + width).substr(1) + ",0300,3," +
                            skarnBytes(graphic));
    const auto labels = decodeLxpr(bytesOf(data), 300);
    ASSERT_EQ(labels.size(), 1u);
    // 762 x 508 tenths at 300 dpi: 900 x 600 dots; 31 tenths: dot 37 (36.6 rounded up).
    EXPECT_EQ(labels[0].bitmap.data(), placed(graphic, 900, 600, 37, 37).data());
  }
}

TEST(PreviewLxpr, BothFramingsGiveTheSamePicture) {
  const Tesselin::Bitmap graphic = randomBitmap(45, 12, 3);
  const std::string sg = "SG;0100,0000,0045,0012,1," + rawBytes(graphic);
  const auto a = decodeLxpr(bytesOf(label(readable, sg)), 203);
  const auto b = decodeLxpr(bytesOf(label(unreadable, sg)), 203);
  ASSERT_EQ(a.size(), 1u);
  ASSERT_EQ(b.size(), 1u);
  EXPECT_EQ(a[0].bitmap.data(), b[0].bitmap.data());
  EXPECT_TRUE(hasInk(a[0].bitmap));
}

TEST(PreviewLxpr, EveryIssueIsALabelAndClearDropsEarlierGraphics) {
  const Tesselin::Bitmap first = randomBitmap(8, 2, 1, 100);
  const Tesselin::Bitmap second = randomBitmap(8, 2, 2, 100);
  const std::string data =
      readable("D0100,0100,0100") + readable("SG;0000,0000,0008,0002,1," + rawBytes(first)) +
      readable("C") + readable("SG;0000,0050,0008,0002,1," + rawBytes(second)) +
      readable("XBaa;0000,0000,r,T24,G0,V1,B01=ABCD") + readable("XS;I,0002,0000D3000") +
      readable("D0100,0100,0100") + readable("C") + readable("XS;I,0001,0000C3000");
  const auto labels = decodeLxpr(bytesOf(data), 254);
  ASSERT_EQ(labels.size(), 2u);
  EXPECT_EQ(labels[0].name, "label-1");
  EXPECT_EQ(labels[1].name, "label-2");
  EXPECT_EQ(labels[0].bitmap.data(), placed(second, 100, 100, 0, 50).data());
  EXPECT_FALSE(hasInk(labels[1].bitmap));
}

TEST(PreviewLxpr, GraphicBeyondTheLabelGrowsThePicture) {
  const Tesselin::Bitmap graphic = randomBitmap(20, 4, 9, 100);
  const std::string data = readable("D0010,0010,0010") +
                           readable("SG;0005,0005,0020,0004,1," + rawBytes(graphic)) +
                           readable("XS;I,0001,0000C3000");
  const auto labels = decodeLxpr(bytesOf(data), 254);
  ASSERT_EQ(labels.size(), 1u);
  EXPECT_EQ(labels[0].bitmap.width(), 25u);
  EXPECT_EQ(labels[0].bitmap.height(), 10u);
}

TEST(PreviewLxpr, EveryCutShortStreamFailsCleanly) {
  const Tesselin::Bitmap graphic = randomBitmap(30, 5, 4);
  const std::string one = label(readable, "SG;0000,0000,0030,0300,3," + skarnBytes(graphic));
  const std::string two = one + label(unreadable, "SG;0000,0000,0030,0005,1," + rawBytes(graphic));
  for (size_t length = 0; length < two.size(); ++length) {
    const std::string prefix = two.substr(0, length);
    // A stream cut right after a label (before or after its line feed) holds that label.
    if (length == one.size() || length == one.size() - 1) {
      EXPECT_EQ(decodeLxpr(bytesOf(prefix), 203).size(), 1u);
      continue;
    }
    EXPECT_THROW(decodeLxpr(bytesOf(prefix), 203), PreviewError) << "length " << length;
  }
  EXPECT_EQ(decodeLxpr(bytesOf(two), 203).size(), 2u);
}

TEST(PreviewLxpr, DamagedDataIsRejected) {
  const std::string issue = readable("XS;I,0001,0000C3000");
  const std::vector<std::pair<const char*, std::string>> cases = {
      {"byte outside a command", "X" + issue},
      {"unknown graphic type", readable("SG;0000,0000,0008,0001,2,\x01") + issue},
      {"no graphic type", readable("SG;0000,0000,0008,0001") + issue},
      {"number expected", readable("SG;0000,,0008,0001,1,\x01") + issue},
      {"number too long", readable("SG;0000000000,0000,0008,0001,1,\x01") + issue},
      {"zero width", readable("SG;0000,0000,0000,0001,1,") + issue},
      {"huge raw graphic", readable("SG;0000,0000,999999999,999999999,1,") + issue},
      {"SKARN wider than 4096", readable("SG;0000,0000,4097,0300,3,\x00\x01\x00") + issue},
      {"SKARN byte beyond the row",
       readable(std::string("SG;0000,0000,0008,0300,3,\x00\x03\x80\x40\x80", 30)) + issue},
      {"SKARN record cut short",
       readable(std::string("SG;0000,0000,0008,0300,3,\x00\x02\x80\x80", 29)) + issue},
      {"raw data longer than its size", readable("SG;0000,0000,0008,0001,1,\x01\x02") + issue},
      {"malformed size", readable("D12,34") + issue},
      {"size not issued", readable("D0100,0100,0100")},
      {"no label", readable("C") + readable("AX;+000,+000,+00")},
      {"not terminated", "{XS;I,0001,0000C3000"},
      {"graphic far off the label",
       readable("D0100,0100,0100") + readable("SG;999999999,0000,0008,0001,1,\x01") + issue},
  };
  for (const auto& [what, data] : cases) {
    EXPECT_THROW(decodeLxpr(bytesOf(data), 600), PreviewError) << what;
  }
  EXPECT_THROW(decodeLxpr(bytesOf(issue), 99), PreviewError);
  EXPECT_THROW(decodeLxpr(bytesOf(issue), 601), PreviewError);
}

// Found by the hostile-input run: a label size cut by a line feed was quoted into the
// message as it stood, so the one-line error of orntool became two lines.
TEST(PreviewLxpr, DamagedFieldsAreQuotedOnOneLine) {
  const std::string issue = readable("XS;I,0001,0000C3000");
  for (const std::string& size :
       {std::string("D1554,1\n016,1524"), std::string("D1554,1016,15\r\x01")}) {
    try {
      decodeLxpr(bytesOf(readable(size) + issue), 203);
      ADD_FAILURE() << "no error for " << size;
    } catch (const PreviewError& e) {
      const std::string message = e.what();
      EXPECT_EQ(message.find_first_of("\r\n"), std::string::npos) << message;
      EXPECT_NE(message.find("malformed label size"), std::string::npos) << message;
    }
  }
}

}  // namespace
