#include <gtest/gtest.h>

#include <cstdio>
// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>

#include "compression/codec_test_util.h"
#include "compression/exceptions.h"
#include "compression/jpeg_compression.h"

namespace Marrowbright {
namespace {

using testing::Bytes;

// Encodes with libjpeg at the highest quality, as the test's source of JPEG data.
Bytes encodeJpeg(const Bytes& pixels, unsigned width, unsigned height, int components,
                 bool progressive = false) {
  jpeg_compress_struct info{};
  jpeg_error_mgr errors{};
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = width;
  info.image_height = height;
  info.input_components = components;
  info.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, 100, TRUE);
  if (progressive) jpeg_simple_progression(&info);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < height) {
    JSAMPROW row[1] = {
        const_cast<JSAMPLE*>(pixels.data() + info.next_scanline * width * components)};
    jpeg_write_scanlines(&info, row, 1);
  }
  jpeg_finish_compress(&info);
  Bytes out(buffer, buffer + size);
  jpeg_destroy_compress(&info);
  free(buffer);
  return out;
}

Bytes gradient(unsigned width, unsigned height, unsigned components) {
  Bytes pixels(width * height * components);
  for (unsigned y = 0; y < height; ++y) {
    for (unsigned x = 0; x < width * components; ++x) {
      pixels[y * width * components + x] = static_cast<std::uint8_t>((x / components) * 4 + y * 2);
    }
  }
  return pixels;
}

void expectClose(const Bytes& actual, const Bytes& expected, int tolerance) {
  ASSERT_EQ(actual.size(), expected.size());
  for (std::size_t i = 0; i < actual.size(); ++i) {
    ASSERT_LE(std::abs(actual[i] - expected[i]), tolerance) << i;
  }
}

TEST(JPEGDecoderTest, DecodesGreyAndColour) {
  for (unsigned components : {1u, 3u}) {
    const Bytes pixels = gradient(40, 24, components);
    JPEGCompression codec;
    const Bytes decoded = testing::runDecoder(codec, encodeJpeg(pixels, 40, 24, components));
    EXPECT_EQ(codec.lastWidth(), 40u);
    EXPECT_EQ(codec.lastHeight(), 24u);
    EXPECT_EQ(codec.lastComponents(), components);
    expectClose(decoded, pixels, 6);
  }
}

TEST(JPEGDecoderTest, CorruptDataThrows) {
  Bytes data = encodeJpeg(gradient(16, 16, 1), 16, 16, 1);
  data.resize(20);
  JPEGCompression codec;
  EXPECT_THROW(testing::runDecoder(codec, data), DecompressionException);
  EXPECT_THROW(testing::runDecoder(codec, Bytes{'n', 'o', 't', 'j', 'p', 'g'}),
               DecompressionException);
  EXPECT_THROW(testing::runDecoder(codec, Bytes{}), DecompressionException);
}

TEST(JPEGDecoderTest, RefusesImagesLargerThanTheLimit) {
  JPEGCompression codec(16 * 16 - 1);
  EXPECT_THROW(testing::runDecoder(codec, encodeJpeg(gradient(16, 16, 1), 16, 16, 1)),
               DecompressionException);
}

TEST(JPEGDecoderTest, RefusesTooManyScans) {
  // A progressive image, then its scan markers repeated past the limit.
  Bytes data = encodeJpeg(gradient(16, 16, 3), 16, 16, 3, true);
  Bytes extra;
  for (unsigned i = 0; i <= JPEGCompression::kMaxScans; ++i) {
    extra.insert(extra.end(), {0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00});
  }
  data.insert(data.end() - 2, extra.begin(), extra.end());
  JPEGCompression codec;
  try {
    testing::runDecoder(codec, data);
    FAIL();
  } catch (const DecompressionException& e) {
    EXPECT_STREQ(e.what(), "JPEG data has too many scans");
  }
}

}  // namespace
}  // namespace Marrowbright
