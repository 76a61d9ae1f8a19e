#pragma once

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
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
  std::uint16_t bits = 8, samples = 1, photometric = 1;
  std::uint32_t width = 37, height = 23, rowsPerStrip = 5;
  std::uint16_t unit = 2;
  std::uint32_t xResolution = 300, yResolution = 200;
};

inline std::uint32_t layoutRowBytes(const TiffLayout& s) {
  return static_cast<std::uint32_t>((std::uint64_t{s.width} * s.samples * s.bits + 7) / 8);
}

// Pixels in the image layout (16-bit samples most significant byte first), smooth areas and
// noise, bits past the last pixel of a row clear.
inline Bytes makePixels(const TiffLayout& s, unsigned seed) {
  std::mt19937 random(seed);
  const std::uint32_t rowBytes = layoutRowBytes(s);
  const unsigned used = (s.width * s.samples * s.bits) % 8;
  Bytes pixels(std::size_t{rowBytes} * s.height);
  for (std::uint32_t y = 0; y < s.height; ++y) {
    for (std::uint32_t x = 0; x < rowBytes; ++x) {
      pixels[y * rowBytes + x] =
          static_cast<std::uint8_t>((x / 4 + y * 3) % 7 == 0 ? random() : ((x * 5 + y * 2) & 0xFF));
    }
    if (used != 0)
      pixels[y * rowBytes + rowBytes - 1] &= static_cast<std::uint8_t>(0xFF << (8 - used));
  }
  return pixels;
}

// A plain uncompressed TIFF: header, one directory of 12 entries, values, strips. WhiteIsZero
// files store the complement of `pixels`, little-endian files swap 16-bit samples.
inline Bytes writePlainTiff(const TiffLayout& s, const Bytes& pixels) {
  Bytes file;
  auto put = [&](std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) {
      file.push_back(static_cast<std::uint8_t>(v >> 8 * (s.bigEndian ? bytes - 1 - i : i)));
    }
  };
  const std::uint32_t rowBytes = layoutRowBytes(s);
  const std::uint32_t strips = (s.height + s.rowsPerStrip - 1) / s.rowsPerStrip;
  const std::uint32_t bitsAt = 8 + 2 + 12 * 12 + 4;
  const std::uint32_t xAt = bitsAt + 2 * s.samples + (s.samples % 2) * 2;
  const std::uint32_t offsetsAt = xAt + 16, countsAt = offsetsAt + 4 * strips;
  const std::uint32_t dataAt = countsAt + 4 * strips;
  file = {static_cast<std::uint8_t>(s.bigEndian ? 'M' : 'I'),
          static_cast<std::uint8_t>(s.bigEndian ? 'M' : 'I')};
  put(42, 2);
  put(8, 4);
  put(12, 2);
  auto entry = [&](std::uint16_t tag, std::uint16_t type, std::uint32_t count,
                   std::uint32_t value) {
    put(tag, 2);
    put(type, 2);
    put(count, 4);
    if (type == 3 && count <= 2) {
      put(value, 2);
      put(count == 2 ? value : 0, 2);
    } else {
      put(value, 4);
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
  entry(283, 5, 1, xAt + 8);
  entry(296, 3, 1, s.unit);
  put(0, 4);
  for (int i = 0; i < s.samples + s.samples % 2; ++i) put(i < s.samples ? s.bits : 0, 2);
  for (std::uint32_t v : {s.xResolution, 1u, s.yResolution, 1u}) put(v, 4);
  for (std::uint32_t i = 0; i < strips; ++i) put(dataAt + i * s.rowsPerStrip * rowBytes, 4);
  for (std::uint32_t i = 0; i < strips; ++i)
    put(std::min(s.rowsPerStrip, s.height - i * s.rowsPerStrip) * rowBytes, 4);
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    const std::uint8_t byte = pixels[s.bits == 16 && !s.bigEndian ? i ^ 1 : i];
    file.push_back(s.photometric == 0 ? static_cast<std::uint8_t>(~byte) : byte);
  }
  return file;
}

inline Bytes readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeFile(const std::filesystem::path& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
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
  for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
    text.append(buffer, got);
  const int status = ::pclose(pipe);
  if (output != nullptr) *output = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace Tesselin::testing
