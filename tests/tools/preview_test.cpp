// The decoders of `orntool preview` on hand-made printer data: where each graphic lands, every
// form of the graphic data, damaged or cut-short input rejected with a one-line reason. PNGs
// that libpng reads back, and orntool preview's own output and error lines.
#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <filesystem>

#include "imaging/bitmap_encoding.h"
#include "imaging/pixel_reference.h"
#include "orntool/preview_image.h"
#include "orntool/preview_ktrn8q.h"
#include "orntool/preview_lxpr.h"
#include "orntool/preview_png.h"
#include "orntool/preview_zpl.h"
#include "orntool/preview_zpl_graphic.h"
#include "support/process.h"

using namespace OrnTool;
namespace fs = std::filesystem;

namespace {

std::span<const uint8_t> bytesOf(const std::string& text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

using Tesselin::Bitmap;
using Tesselin::encodeSkarn;
using Tesselin::testing::randomBitmap;
auto reason = [](auto&& f) { return Tesselin::testing::errorOf<PreviewError>(f); };

// The graphic drawn dot by dot onto a white picture of the given size.
Bitmap placed(const Bitmap& graphic, uint32_t width, uint32_t height, uint32_t x, uint32_t y) {
  Bitmap picture(width, height);
  for (uint32_t gy = 0; gy < graphic.height(); ++gy)
    for (uint32_t gx = 0; gx < graphic.width(); ++gx)
      if (x + gx < width && y + gy < height && graphic.getPixel(gx, gy))
        picture.setPixel(x + gx, y + gy, true);
  return picture;
}

std::string str(const std::vector<uint8_t>& bytes) { return {bytes.begin(), bytes.end()}; }

std::string bytes(std::initializer_list<int> values) { return {values.begin(), values.end()}; }

std::string readable(const std::string& body) { return "{" + body + "|}\n"; }
std::string unreadable(const std::string& body) { return "\x1B" + body + std::string("\n\0", 2); }

// One LXPR label as the filter sends it: size, adjustment, clear, graphic, issue.
std::string lxprLabel(std::string (*frame)(const std::string&), const std::string& graphic) {
  return frame("D0538,0762,0508") + frame("AX;+050,+000,+00") + frame("C") + frame(graphic) +
         frame("XS;I,0001,0002C4000");
}

const std::string kInit = bytes({0x1B, 0x40}), kFront = bytes({0x1F, 0x63, 0x00, 0x00});
const std::string kBack = bytes({0x1F, 0x63, 0x01, 0x00}), kCut = bytes({0x1B, 0x69});
const std::string kSimplexPrint = bytes({0x1B, 0x0C}), kDuplexPrint = bytes({0x1F, 0x64});
std::string mode(int m) { return bytes({0x1F, 0x62, m, 0x00}); }
std::string height(int rows) { return bytes({0x1B, 0x50, rows & 0xFF, rows >> 8}); }
std::string feed(int rows) { return bytes({0x1F, 0x61, rows & 0xFF, rows >> 8}); }
std::string row(const Bitmap& bitmap, uint32_t y) {
  const auto data = bitmap.row(y);
  return bytes({0x1B, 0x2E, 0x00, 0x01, 0x00, 0x00}) + std::string(data.begin(), data.end());
}

const std::string kZplLabel =
    "~DGR:PAGE.GRF,4,2,\n8001C003\n^XA\n^FX JOB NAME: Box_1^FS\n^PR4,4,\n^FO0,3\n"
    "^IMR:PAGE.GRF^FS\n^XZ\n^IDR:PAGE.GRF^FS\n";

TEST(PreviewZplGraphic, DecodesEveryForm) {
  // Rows 12 22 20, 12 22 20, FF FF FF (the zlib data made by Python's zlib, the CRC by hand).
  const std::vector<uint8_t> rows = {0x12, 0x22, 0x20, 0x12, 0x22, 0x20, 0xFF, 0xFF, 0xFF};
  for (const char* text : {"1J2,:!", ":Z64:eNoTUlIQUlL4//8/AAorA6Y=:0FE1", "\n1J2,\n:\n!\n",
                           "1222201222\n20FFFFFF\n", ":B64:EiIgEiIg////:A953"}) {
    EXPECT_EQ(decodeZplGraphicData(text, 9, 3), rows) << text;
  }
}

using Pictures = std::vector<PreviewImage> (*)(const std::string&);
std::vector<PreviewImage> zplPictures(const std::string& d) { return decodeZpl(bytesOf(d)); }
std::vector<PreviewImage> ktPictures(const std::string& d) { return decodeKtrn8q(bytesOf(d)); }

// Each row: the data, which of its pictures, that picture's name and dots.
TEST(PreviewDecoders, GraphicsLandWhereTheDataPutsThem) {
  const Bitmap a = Bitmap({0xFF, 0x81}, 8, 2), kt = randomBitmap(864, 3, 5);
  // Data bytes 7C 7D end a readable command: the decoder must go by the length.
  const Bitmap raw = Bitmap({0x7C, 0x7D, 0x80, 0x01, 0xFF, 0x7C}, 16, 3);
  const Bitmap skarn = randomBitmap(37, 23, 37);
  const Bitmap first = randomBitmap(8, 2, 1, 8), second = randomBitmap(8, 2, 2, 8);
  const Bitmap big = randomBitmap(20, 4, 9), front = randomBitmap(864, 2, 1);
  const Bitmap back = randomBitmap(864, 2, 2), black = randomBitmap(864, 1, 3, 8);
  const std::string lxprSequence =
      readable("D0100,0100,0100") + readable("SG;0000,0000,0008,0002,1," + str(first.data())) +
      readable("C") + readable("SG;0000,0050,0008,0002,1," + str(second.data())) +
      readable("XBaa;0000,0000,r,T24,G0,V1,B01=ABCD") + readable("XS;I,0002,0000D3000") +
      readable("D0100,0100,0100") + readable("C") + readable("XS;I,0001,0000C3000") +
      readable("D0010,0010,0010") + readable("SG;0005,0005,0020,0004,1," + str(big.data())) +
      readable("XS;I,0001,0000C3000");
  const std::string duplex = kInit + mode(2) + height(2) + kFront + row(front, 0) + row(front, 1) +
                             kBack + row(back, 0) + row(back, 1) + kDuplexPrint + kCut + kFront +
                             row(front, 0) + kBack + kDuplexPrint;
  const auto lxpr203 = [](const std::string& d) { return decodeLxpr(bytesOf(d), 203); };
  const auto lxpr300 = [](const std::string& d) { return decodeLxpr(bytesOf(d), 300); };
  const auto lxpr254 = [](const std::string& d) { return decodeLxpr(bytesOf(d), 254); };
  Bitmap simplex(864, 20);  // rows 0, 1 and 2 at 0, 4 and 5
  for (auto [from, to] : {std::pair{0u, 0u}, {1u, 4u}, {2u, 5u}}) simplex.setRow(to, kt.row(from));
  const struct {
    Pictures decode;
    std::string data;
    size_t index, count;
    std::string name;
    Bitmap expected;
  } rows[] = {
      {zplPictures, kZplLabel, 0, 1, "label-1",
       placed(Bitmap({0x80, 0x01, 0xC0, 0x03}, 16, 2), 16, 5, 0, 3)},
      {zplPictures, "~DGA,2,1,FF81^XA^PW40^LL30^FO9,2^IMA^FS^XZ^XA^FO0,0^XGA,1,1^FS^XZ", 0, 2,
       "label-1", placed(a, 40, 30, 9, 2)},
      {zplPictures, "~DGA,2,1,ff81^XA^FO0,0^XGA,1,1^FS^XZ", 0, 1, "label-1", a},
      {zplPictures, "~DGR:PAGE.GRF,0,102,\n\n^XA\n^FO0,0\n^IMR:PAGE.GRF^FS\n^XZ\n", 0, 1, "label-1",
       Bitmap(816, 1)},
      // 10 tenths at 203 dpi are dot 8; 762 x 508 tenths are 3 x 2 inches.
      {lxpr203, lxprLabel(readable, "SG;0010,0020,0016,0003,1," + str(raw.data())), 0, 1, "label-1",
       placed(raw, 609, 406, 8, 16)},
      // At 300 dpi 900 x 600 dots, and 31 tenths are dot 37 (36.6 rounded up).
      {lxpr300, lxprLabel(readable, "SG;0031,0031,0037,0300,3," + str(encodeSkarn(skarn))), 0, 1,
       "label-1", placed(skarn, 900, 600, 37, 37)},
      // Every issue is a label, clear drops the graphics before it, a graphic grows the label.
      {lxpr254, lxprSequence, 0, 3, "label-1", placed(second, 100, 100, 0, 50)},
      {lxpr254, lxprSequence, 1, 3, "label-2", Bitmap(100, 100)},
      {lxpr254, lxprSequence, 2, 3, "label-3", placed(big, 25, 10, 5, 5)},
      {ktPictures,
       kInit + mode(0) + height(20) + kFront + row(kt, 0) + feed(3) + row(kt, 1) + row(kt, 2) +
           kSimplexPrint + kCut,
       0, 1, "ticket-1-front", simplex},
      {ktPictures, duplex, 1, 4, "ticket-1-back", back},
      // Without a page height a side is as tall as its rows reach; feeds add up past 65535.
      {ktPictures, kInit + mode(1) + kBack + feed(9) + row(black, 0) + kSimplexPrint, 0, 1,
       "ticket-1-back", placed(black, 864, 10, 0, 9)},
      {ktPictures,
       kInit + mode(0) + kFront + feed(0xFFFF) + feed(1) + row(black, 0) + kSimplexPrint, 0, 1,
       "ticket-1-front", placed(black, 864, 65537, 0, 65536)},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name + " of " + r.data.substr(0, 40));
    const auto pictures = r.decode(r.data);
    ASSERT_EQ(pictures.size(), r.count);
    EXPECT_EQ(pictures[r.index].name, r.name);
    EXPECT_EQ(pictures[r.index].bitmap.width(), r.expected.width());  // the height: by the size
    EXPECT_EQ(pictures[r.index].bitmap.data(), r.expected.data());
  }
}

using Decode = void (*)(const std::string&);
void zpl(const std::string& d) { decodeZpl(bytesOf(d)); }
void lxpr(const std::string& d) { decodeLxpr(bytesOf(d), 600); }
void ktrn8q(const std::string& d) { decodeKtrn8q(bytesOf(d)); }
void graphic(const std::string& d) { decodeZplGraphicData(d, 9, 3); }
// LXPR data followed by an issue; KT-RN8Q data after the initialization, before the print.
void issued(const std::string& d) { lxpr(readable(d) + readable("XS;I,0001,0000C3000")); }
void ticket(const std::string& d) { ktrn8q(kInit + d + kSimplexPrint); }
void graphic6(const std::string& d) { decodeZplGraphicData(d, 6, 3); }

// A stream cut anywhere is rejected, except right after a complete label (at the lengths
// given) or, for ZPL, after the ^XZ that prints it when only the deletion is cut short.
TEST(PreviewDecoders, EveryCutShortStreamFailsCleanly) {
  const Bitmap g = randomBitmap(30, 5, 4), page = randomBitmap(864, 2, 6);
  const std::string lxprOne =
      lxprLabel(readable, "SG;0000,0000,0030,0300,3," + str(encodeSkarn(g)));
  const std::string ktOne =
      kInit + mode(0) + height(4) + kFront + row(page, 0) + feed(1) + row(page, 1) + kSimplexPrint;
  const std::string zplPrinted = kZplLabel.substr(0, kZplLabel.find("^XZ") + 3);
  const std::vector<std::tuple<Decode, std::string, std::vector<size_t>>> streams = {
      {zpl, kZplLabel, {}},
      {lxpr,
       lxprOne + lxprLabel(unreadable, "SG;0000,0000,0030,0005,1," + str(g.data())),
       {lxprOne.size() - 1, lxprOne.size()}},
      {ktrn8q,
       ktOne + kCut + kFront + row(page, 1) + kSimplexPrint,
       {ktOne.size(), ktOne.size() + kCut.size()}},
      {graphic, ":Z64:eNoTUlIQUlL4//8/AAorA6Y=:0FE1", {}},
  };
  for (const auto& [decode, full, complete] : streams) {
    for (size_t length = 0; length < full.size(); ++length) {
      SCOPED_TRACE(full.substr(0, 30) + " cut at " + std::to_string(length));
      const bool whole = std::find(complete.begin(), complete.end(), length) != complete.end();
      try {
        decode(full.substr(0, length));
        EXPECT_TRUE(whole || (decode == zpl && length >= zplPrinted.size()));
      } catch (const PreviewError& e) {
        EXPECT_FALSE(whole);
        if (decode == zpl && length >= zplPrinted.size()) {
          EXPECT_NE(std::string(e.what()).find("cut short"), std::string::npos) << e.what();
        }
      }
    }
    decode(full);
  }
  EXPECT_EQ(decodeZpl(bytesOf(zplPrinted)).size(), 1u);
}

// Damaged data of every language: a PreviewError with the exact one-line reason.
TEST(PreviewDecoders, DamagedDataIsRejectedWithItsReason) {
  const std::string issue = readable("XS;I,0001,0000C3000");
  const std::string z64 = ":Z64:eNoTUlIQUlL4//8/AAorA6Y=";
  std::string endless = kInit + kFront;
  for (int i = 0; i < 5; ++i) endless += feed(0xFFFF);
  const std::string z = "ZPL data, command at offset ", l = "LXPR data, command at offset 0: ";
  const std::string k = "KT-RN8Q data, command at offset ";
  const std::vector<std::tuple<Decode, std::string, std::string>> cases = {
      {zpl, "hello ^XA^XZ", z + "0: text outside a command"},
      {zpl, "^XA^FO0,0^IMR:NONE.GRF^FS^XZ", z + "9: graphic \"R:NONE.GRF\" was not downloaded"},
      {zpl, "~DGA,2,1,FG81^XA^IMA^XZ", z + "0: the graphic data is cut short"},
      {zpl, "~DGA,2,0,FF81^XA^IMA^XZ", z + "0: graphic size is not a whole number of rows"},
      {zpl, "~DGA,999999999,1,00^XA^IMA^XZ", z + "0: graphic too large"},
      {zpl, "~DGA,1,1,FF^XA^FOx,1^IMA^XZ", z + "14: malformed field origin \"x\""},
      {zpl, "^XZ", z + "0: ^XZ without ^XA"},
      {zpl, "^XA^XA^XZ", z + "3: ^XA inside a label format"},
      {zpl, "^XA^FO0,0", z + "3: the data ends inside a label format"},
      {zpl, "~DGA,1,1,FF^XA^FO999999999,0^IMA^XZ", "picture of 1000000007 x 1 dots is too large"},
      {zpl, "~DGA,1,1,FF^XA^IMA^IDA^XZ", z + "18: graphic deleted inside the format that uses it"},
      {zpl, "~DGA,1,1,FF", "no label in the ZPL data"},
      // Found by the hostile-input run: a damaged number quoted with the line feeds after it.
      {zpl, "~DGR:PAGE.GRF,72\xcb\n\n^XA,1,FF^XZ",
       z + "0: malformed graphic size \"72\\xCB\\x0A\\x0A^XA\""},
      {graphic, z64 + ":0FE2", "the CRC of the graphic is 0FE2, its data gives 0FE1"},
      {graphic, z64 + ":0FE", "the CRC of the graphic is malformed"},
      {graphic, z64, "the graphic data has no CRC"},
      {graphic, ":Z64:eNoT*lIQUlL4//8/AAorA6Y=:3AD9", "the base64 text of the graphic is damaged"},
      {graphic, ":Z64:eNoTUlIQUlL4//8/:82A8", "the Z64 data is cut short"},
      {graphic6, z64 + ":0FE1", "the Z64 data holds more bytes than the graphic's 6"},
      {graphic, "1J2,zG0", "a repeat count of 401 runs past the end of row 2"},
      {graphic, "1J2,:!0", "the graphic data goes on past its 9 bytes"},
      {graphic, ":", "\":\" repeats a row before the first one"},
      {graphic, "1:", "\":\" in the middle of a row"},
      {graphic, "1J,", "a repeat count is not followed by a hexadecimal digit"},
      {graphic, "1J2#", "graphic data holds a character that is not a hexadecimal digit"},
      {lxpr, "X" + issue, l + "byte 0x58 outside a command"},
      {issued, "SG;0000,0000,0008,0001,2,\x01", l + "unknown graphic type 0x32"},
      {issued, "SG;0000,0000,0008,0001", l + "',' expected after a number"},
      {issued, "SG;0000,,0008,0001,1,\x01", l + "number expected"},
      {issued, "SG;0000,0000,0000,0001,1,", l + "graphic width out of range"},
      {issued, "SG;0000,0000,999999999,999999999,1,", l + "graphic size out of range"},
      {issued, "SG;0000,0000,4097,0300,3,\x00\x01\x00", l + "SKARN graphic wider than 4096 dots"},
      {issued, std::string("SG;0000,0000,0008,0300,3,\x00\x03\x80\x40\x80", 30),
       l + "damaged SKARN graphic: SKARN row record addresses a byte beyond the row"},
      {issued, "SG;0000,0000,0008,0001,1,\x01\x02",
       l + "the command does not end where its length says"},
      {issued, "D12,34", l + "malformed label size \"D12,34\""},
      // Found by the hostile-input run: a label size was quoted with its line feed.
      {issued, "D1554,1\n016,1524", l + "malformed label size \"D1554,1\\x0A016,1524\""},
      {issued, "D1554,1016,15\r\x01", l + "malformed label size \"D1554,1016,15\\x0D\\x01\""},
      {lxpr, readable("D0100,0100,0100"), l + "the data ends before the last label is issued"},
      {lxpr, readable("C") + readable("AX;+000,+000,+00"), "no label in the LXPR data"},
      {lxpr, "{XS;I,0001,0000C3000", l + "the command is not terminated"},
      {ticket, bytes({0x1B, 0x41}), k + "2: unknown command"},
      {ticket, bytes({0x1F, 0x63, 0x02, 0x00}), k + "2: unknown printing side"},
      {ticket, mode(3), k + "2: unknown thermal mode"},
      {ticket, kFront + bytes({0x1B, 0x2E, 0x00, 0x02, 0x00, 0x00}) + std::string(108, '\0'),
       k + "6: unknown raster row header"},
      {ktrn8q, endless + row(randomBitmap(864, 1, 1), 0) + kSimplexPrint,
       k + "22: the side is too long"},
      {ktrn8q, kInit + kFront, k + "2: the data ends before the ticket is printed"},
      {ktrn8q, kInit + mode(0), "no ticket in the KT-RN8Q data"},
  };
  for (const auto& [decode, data, expected] : cases)
    EXPECT_EQ(reason([&] { decode(data); }), expected);
  EXPECT_EQ(reason([&] { decodeLxpr(bytesOf(issue), 601); }), "resolution 601 dpi is out of range");
}

TEST(PreviewImage, MessagesKeepOneLine) {
  EXPECT_EQ(printableMessage(std::string("\0 \x1f~\x7f\\", 6)), "\\x00 \\x1F~\\x7F\\\\");
}

// orntool preview's pictures (here of 812 to 816 dots) and writePng's of odd widths.
TEST(PreviewPng, LibpngReadsBackEveryDot) {
  const std::string path = fs::temp_directory_path() / ("orn-" + std::to_string(getpid()) + ".png");
  for (uint32_t width : {1u, 7u, 8u, 9u, 813u}) {
    SCOPED_TRACE(width);
    const Bitmap bitmap = randomBitmap(width, 11, width);
    writePng(bitmap, path);
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, path.c_str())) << image.message;
    image.format = PNG_FORMAT_GRAY;
    std::vector<uint8_t> grey(PNG_IMAGE_SIZE(image)), expected;
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, grey.data(), 0, nullptr)) << image.message;
    for (uint32_t i = 0; i < width * 11; ++i)
      expected.push_back(bitmap.getPixel(i % width, i / width) ? 0 : 255);
    EXPECT_EQ(image.width * 100 + image.height, width * 100 + 11);
    EXPECT_EQ(grey, expected);
  }
  fs::remove(path);
  const std::string bad = "/nonexistent-folder/x.png";
  EXPECT_NE(reason([&] { writePng(Bitmap(8, 8), bad); }).find(bad), std::string::npos);
}

OrnTest::CommandResult orntool(const std::vector<std::string>& arguments) {
  std::vector<std::string> argv = {ORN_ORNTOOL_PATH, "preview"};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return OrnTest::runCommand(argv, {}, std::chrono::seconds(60));
}

TEST(PreviewCommand, WritesOnePngPerLabelOrOneErrorLine) {
  const std::string job = OrnTest::writeTempFile("job.zpl", kZplLabel + kZplLabel);
  const std::string folder = job + ".pictures";
  const auto result = orntool({"--language", "zpl", job, folder});
  ASSERT_EQ(result.exitStatus, 0) << result.output;
  EXPECT_EQ(result.output,
            folder + "/label-1.png (16 x 5 dots)\n" + folder + "/label-2.png (16 x 5 dots)\n");
  EXPECT_TRUE(fs::exists(folder + "/label-2.png"));
  fs::remove_all(folder);

  const std::string damaged = OrnTest::writeTempFile("damaged.zpl", "~DGR:PAGE.GRF,4,2,\n80ZZ");
  const std::string empty = OrnTest::writeTempFile("empty", ""), out = damaged + ".out";
  for (const auto& arguments :
       std::vector<std::vector<std::string>>{{"--language", "zpl", damaged, out},
                                             {"--language=lxpr", "--dpi", "300", damaged, out},
                                             {"--language", "ktrn8q", empty, out},
                                             {"--language", "zpl", damaged + ".missing", out}}) {
    const auto r = orntool(arguments);
    EXPECT_EQ(r.exitStatus, 1) << r.output;
    EXPECT_EQ(r.output.rfind("orntool preview: ", 0), 0u) << r.output;
    EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 1) << r.output;
  }
  // All of a file is read, also a last byte alone in its block.
  EXPECT_EQ(orntool({"--language", "zpl", OrnTest::writeTempFile("one-byte", "X"), out}).output,
            "orntool preview: ZPL data, command at offset 0: text outside a command\n");
  // A wrong command line is a usage error.
  EXPECT_EQ(orntool({"--language", "pcl", "a", "b"}).exitStatus, 2);
  EXPECT_EQ(orntool({"--language", "lxpr", "--dpi", "601", damaged, out}).exitStatus, 2);
}

}  // namespace
