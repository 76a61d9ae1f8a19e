#include <gtest/gtest.h>

#include "compression/codec_test_util.h"
#include "compression/exceptions.h"
#include "compression/tiff_prediction.h"

namespace Marrowbright {
namespace {

using testing::Bytes;

// Plain reference: sample by sample, with explicit sample values.
Bytes referenceUndo(Bytes data, unsigned colors, unsigned bits, std::uint32_t columns) {
  const std::size_t bytesPerSample = bits / 8;
  const std::size_t rowBytes = columns * colors * bytesPerSample;
  auto sample = [&](std::size_t at) {
    return bits == 8 ? data[at] : static_cast<unsigned>(data[at] << 8 | data[at + 1]);
  };
  for (std::size_t row = 0; row < data.size() / rowBytes; ++row) {
    for (std::uint32_t x = 1; x < columns; ++x) {
      for (unsigned c = 0; c < colors; ++c) {
        const std::size_t at = row * rowBytes + (x * colors + c) * bytesPerSample;
        const std::size_t left = at - colors * bytesPerSample;
        const unsigned value = (sample(at) + sample(left)) & ((1u << bits) - 1);
        if (bits == 8) {
          data[at] = static_cast<std::uint8_t>(value);
        } else {
          data[at] = static_cast<std::uint8_t>(value >> 8);
          data[at + 1] = static_cast<std::uint8_t>(value);
        }
      }
    }
  }
  return data;
}

struct Layout {
  unsigned colors;
  unsigned bits;
  std::uint32_t columns;
};

class TIFFPredictionTest : public ::testing::TestWithParam<Layout> {};

TEST_P(TIFFPredictionTest, UndoMatchesReferenceAndApplyInvertsIt) {
  const Layout& l = GetParam();
  std::mt19937 random(l.colors * 100 + l.bits + l.columns);
  const std::size_t rowBytes = std::size_t{l.columns} * l.colors * l.bits / 8;
  const Bytes input = testing::randomBytes(random, rowBytes * 7);
  TIFFPrediction predictor(l.colors, l.bits, l.columns);
  const Bytes undone = testing::runDecoder(predictor, input);
  EXPECT_EQ(undone, referenceUndo(input, l.colors, l.bits, l.columns));
  EXPECT_EQ(testing::runEncoder(predictor, undone), input);
}

INSTANTIATE_TEST_SUITE_P(Layouts, TIFFPredictionTest,
                         ::testing::Values(Layout{1, 8, 1}, Layout{1, 8, 13}, Layout{3, 8, 5},
                                           Layout{4, 8, 9}, Layout{2, 8, 3}, Layout{1, 16, 11},
                                           Layout{3, 16, 7}, Layout{4, 16, 2}));

TEST(TIFFPredictionErrorsTest, RejectsUnsupportedLayouts) {
  const struct {
    unsigned colors;
    unsigned bits;
    std::uint32_t columns;
    const char* message;
  } cases[] = {
      {0, 8, 4, "Unsupported number of colors for TIFF prediction"},
      {5, 8, 4, "Unsupported number of colors for TIFF prediction"},
      {1, 4, 4, "Bits per component must be 8 or 16"},
      {1, 32, 4, "Bits per component must be 8 or 16"},
      {1, 8, 0, "Unable to perform TIFF prediction with no column data"},
  };
  for (const auto& c : cases) {
    try {
      TIFFPrediction(c.colors, c.bits, c.columns);
      ADD_FAILURE() << c.message;
    } catch (const Exception& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
  }
}

TEST(TIFFPredictionErrorsTest, RejectsPartialRow) {
  TIFFPrediction predictor(3, 8, 4);
  try {
    testing::runDecoder(predictor, Bytes(12 + 5));
    FAIL();
  } catch (const DecompressionException& e) {
    EXPECT_STREQ(e.what(), "Unexpected end of input");
  }
}

}  // namespace
}  // namespace Marrowbright
