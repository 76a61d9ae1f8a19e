#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace Tesselin::testing {

using Bytes = std::vector<std::uint8_t>;

// Describes an uncompressed TIFF written by the test's own plain writer.
struct TiffLayout {
  bool bigEndian = false;
  std::uint16_t bits = 8;
  std::uint16_t samples = 1;
  std::uint16_t photometric = 1;
  std::uint32_t width = 37;
  std::uint32_t height = 23;
  std::uint32_t rowsPerStrip = 5;
  std::uint16_t unit = 2;
  std::uint32_t xResolution = 300;
  std::uint32_t yResolution = 200;
};

inline std::uint32_t layoutRowBytes(const TiffLayout& s) {
  return static_cast<std::uint32_t>((std::uint64_t{s.width} * s.samples * s.bits + 7) / 8);
}

// Pixels in the image layout (16-bit samples most significant byte first), bits past the last
// pixel of a row clear.
inline Bytes makePixels(const TiffLayout& s, unsigned seed) {
  std::mt19937 random(seed);
  const std::uint32_t rowBytes = layoutRowBytes(s);
  Bytes pixels(std::size_t{rowBytes} * s.height);
  for (std::uint32_t y = 0; y < s.height; ++y) {
    for (std::uint32_t x = 0; x < rowBytes; ++x) {
      // Smooth areas and noise, so that predictors and compressors have something to do.
      pixels[y * rowBytes + x] =
          static_cast<std::uint8_t>((x / 4 + y * 3) % 7 == 0 ? random() : ((x * 5 + y * 2) & 0xFF));
    }
    const unsigned used = (s.width * s.samples * s.bits) % 8;
    if (used != 0)
      pixels[y * rowBytes + rowBytes - 1] &= static_cast<std::uint8_t>(0xFF << (8 - used));
  }
  return pixels;
}

// A plain uncompressed TIFF: header, one directory, values, strips. `pixels` are in the
// image layout; WhiteIsZero files store their complement, little-endian files swap 16-bit
// samples.
inline Bytes writePlainTiff(const TiffLayout& s, const Bytes& pixels) {
  Bytes file;
  auto put16 = [&](std::uint16_t v) {
    if (s.bigEndian) {
      file.push_back(static_cast<std::uint8_t>(v >> 8));
      file.push_back(static_cast<std::uint8_t>(v));
    } else {
      file.push_back(static_cast<std::uint8_t>(v));
      file.push_back(static_cast<std::uint8_t>(v >> 8));
    }
  };
  auto put32 = [&](std::uint32_t v) {
    if (s.bigEndian) {
      put16(static_cast<std::uint16_t>(v >> 16));
      put16(static_cast<std::uint16_t>(v));
    } else {
      put16(static_cast<std::uint16_t>(v));
      put16(static_cast<std::uint16_t>(v >> 16));
    }
  };
  const std::uint32_t rowBytes = layoutRowBytes(s);
  const std::uint32_t strips = (s.height + s.rowsPerStrip - 1) / s.rowsPerStrip;
  const std::uint16_t entries = 12;
  const std::uint32_t valuesAt = 8 + 2 + entries * 12 + 4;
  const std::uint32_t bitsAt = valuesAt;
  const std::uint32_t xAt = bitsAt + 2 * s.samples + (s.samples % 2) * 2;
  const std::uint32_t yAt = xAt + 8;
  const std::uint32_t offsetsAt = yAt + 8;
  const std::uint32_t countsAt = offsetsAt + 4 * strips;
  const std::uint32_t dataAt = countsAt + 4 * strips;

  file.push_back(s.bigEndian ? 'M' : 'I');
  file.push_back(s.bigEndian ? 'M' : 'I');
  put16(42);
  put32(8);
  put16(entries);
  auto entry = [&](std::uint16_t tag, std::uint16_t type, std::uint32_t count,
                   std::uint32_t value) {
    put16(tag);
    put16(type);
    put32(count);
    if (type == 3 && count == 1) {
      put16(static_cast<std::uint16_t>(value));
      put16(0);
    } else if (type == 3 && count == 2) {
      put16(static_cast<std::uint16_t>(value));
      put16(static_cast<std::uint16_t>(value));
    } else {
      put32(value);
    }
  };
  entry(256, 4, 1, s.width);
  entry(257, 4, 1, s.height);
  entry(258, 3, s.samples, s.samples <= 2 ? s.bits : bitsAt);
  entry(259, 3, 1, 1);
  entry(262, 3, 1, s.photometric);
  entry(273, 4, strips, strips == 1 ? dataAt : offsetsAt);
  entry(277, 3, 1, s.samples);
  entry(278, 4, 1, s.rowsPerStrip);
  entry(279, 4, strips, strips == 1 ? s.height * rowBytes : countsAt);
  entry(282, 5, 1, xAt);
  entry(283, 5, 1, yAt);
  entry(296, 3, 1, s.unit);
  put32(0);
  for (unsigned i = 0; i < s.samples; ++i) put16(s.bits);
  if (s.samples % 2) put16(0);
  put32(s.xResolution);
  put32(1);
  put32(s.yResolution);
  put32(1);
  for (std::uint32_t i = 0; i < strips; ++i) put32(dataAt + i * s.rowsPerStrip * rowBytes);
  for (std::uint32_t i = 0; i < strips; ++i) {
    const std::uint32_t rows = std::min(s.rowsPerStrip, s.height - i * s.rowsPerStrip);
    put32(rows * rowBytes);
  }
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    std::uint8_t byte = pixels[i];
    if (s.bits == 16 && !s.bigEndian) byte = pixels[i ^ 1];
    if (s.photometric == 0) byte = static_cast<std::uint8_t>(~byte);
    file.push_back(byte);
  }
  return file;
}

inline Bytes readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeFile(const std::filesystem::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

// A fresh directory for one test's files.
inline std::filesystem::path scratchDirectory(const std::string& name) {
  const auto dir = std::filesystem::path(ORN_BINARY_DIR) / "tiff_test_files" /
                   (name + "_" + std::to_string(::getpid()));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

// Runs a shell command; returns its exit status, with standard output and error in `output`.
inline int runCommand(const std::string& command, std::string* output = nullptr) {
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return -1;
  std::string text;
  char buffer[4096];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, got);
  const int status = ::pclose(pipe);
  if (output != nullptr) *output = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace Tesselin::testing
