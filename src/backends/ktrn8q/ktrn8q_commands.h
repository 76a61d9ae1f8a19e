#pragma once

// Builders for the KT-RN8Q command stream. Each appends the bytes of one
// command to a byte buffer; 16-bit values are sent low byte first.
//
//   initialise        1B 40
//   thermal mode      1F 62 m 00      m: 0 front only, 1 back only, 2 duplex
//   page height       1B 50 lo hi     rows
//   printing side     1F 63 s 00      s: 0 front, 1 back
//   feed blank rows   1F 61 lo hi     repeated for counts above 65535
//   raster row        1B 2E 00 01 00 00 + 108 data bytes
//   print             1B 0C simplex, 1F 64 duplex
//   knife cut         1B 69

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace Quillfeather::ktrn8q {

// Every raster row carries this many data bytes (864 dots).
inline constexpr std::size_t kRowBytes = 108;
inline constexpr std::size_t kRowHeaderBytes = 6;

enum class ThermalMode : uint8_t { SimplexFront = 0, SimplexBack = 1, Duplex = 2 };
enum class Side : uint8_t { Front = 0, Back = 1 };

// How a bitmap row of some width is placed in a 108-byte printer row: narrower
// rows are centred (the odd byte goes right), wider ones keep their first 108
// bytes.
struct RowGeometry {
  std::size_t left = 0;
  std::size_t data = 0;
  std::size_t right = 0;
};
RowGeometry rowGeometry(std::size_t bytesPerRow);

void appendInitialise(std::string& out);
void appendThermalMode(std::string& out, ThermalMode mode);
void appendPageHeight(std::string& out, uint16_t rows);
void appendPrintingSide(std::string& out, Side side);
// Any count, 0 included; counts above 65535 become several commands.
void appendFeed(std::string& out, uint64_t rows);
// row must hold at least geometry.data bytes; only those are sent.
void appendRasterRow(std::string& out, std::span<const uint8_t> row, const RowGeometry& geometry);
void appendPrint(std::string& out, bool duplex);
void appendKnifeCut(std::string& out);

}  // namespace Quillfeather::ktrn8q
