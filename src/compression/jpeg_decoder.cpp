// JPEG decoding through libjpeg. The input is one JPEG stream (SOI ... EOI), possibly
// abbreviated, with its tables supplied apart. libjpeg's errors are turned into exceptions by
// the error handler; progressive streams with too many scans are refused before decoding,
// and the library's memory is bounded.
#include <cstdio>
// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>

#include <vector>

#include "compression/exceptions.h"
#include "compression/jpeg_compression.h"

namespace Marrowbright {

namespace {

constexpr long kMaxLibraryMemory = 256L * 1024 * 1024;

[[noreturn]] void throwError(j_common_ptr info) {
  char message[JMSG_LENGTH_MAX] = {};
  (*info->err->format_message)(info, message);
  throw DecompressionException(std::string("JPEG decoding failed: ") + message);
}

void ignoreMessage(j_common_ptr) {}

// Owns the decompression object for the length of one call.
class Decompressor {
 public:
  Decompressor() {
    info_.err = jpeg_std_error(&errors_);
    errors_.error_exit = throwError;
    errors_.output_message = ignoreMessage;
    jpeg_create_decompress(&info_);
    info_.mem->max_memory_to_use = kMaxLibraryMemory;
  }
  ~Decompressor() { jpeg_destroy_decompress(&info_); }
  Decompressor(const Decompressor&) = delete;
  Decompressor& operator=(const Decompressor&) = delete;
  jpeg_decompress_struct* get() { return &info_; }

 private:
  jpeg_error_mgr errors_{};
  jpeg_decompress_struct info_{};
};

// Start-of-scan markers; 0xFF inside entropy-coded data is always followed by 0x00, so every
// 0xFF 0xDA is a real marker.
unsigned countScans(const std::vector<std::uint8_t>& data) {
  unsigned scans = 0;
  for (std::size_t i = 0; i + 1 < data.size(); ++i) {
    if (data[i] == 0xFF && data[i + 1] == 0xDA) ++scans;
  }
  return scans;
}

}  // namespace

void JPEGCompression::decompress(std::istream& in, std::ostream& out) {
  std::vector<std::uint8_t> data{std::istreambuf_iterator<char>(in),
                                 std::istreambuf_iterator<char>()};
  if (data.empty()) throw DecompressionException("JPEG decoding failed: no data");
  if (countScans(data) > kMaxScans) throw DecompressionException("JPEG data has too many scans");

  Decompressor decompressor;
  jpeg_decompress_struct* info = decompressor.get();
  if (!tables_.empty()) {
    jpeg_mem_src(info, tables_.data(), static_cast<unsigned long>(tables_.size()));
    jpeg_read_header(info, FALSE);
  }
  jpeg_mem_src(info, data.data(), static_cast<unsigned long>(data.size()));
  jpeg_read_header(info, TRUE);
  if (keepComponents_ || info->num_components == 4) {
    info->jpeg_color_space = JCS_UNKNOWN;
    info->out_color_space = JCS_UNKNOWN;
  } else if (info->num_components == 3) {
    info->jpeg_color_space = JCS_YCbCr;
    info->out_color_space = JCS_RGB;
  }
  jpeg_calc_output_dimensions(info);
  const std::uint64_t rowBytes = std::uint64_t{info->output_width} * info->output_components;
  if (rowBytes == 0 || rowBytes * info->output_height > outputLimit_) {
    throw DecompressionException("JPEG image is larger than expected");
  }
  jpeg_start_decompress(info);
  width_ = info->output_width;
  height_ = info->output_height;
  components_ = static_cast<unsigned>(info->output_components);

  std::vector<std::uint8_t> row(static_cast<std::size_t>(rowBytes));
  while (info->output_scanline < info->output_height) {
    JSAMPROW rows[1] = {row.data()};
    if (jpeg_read_scanlines(info, rows, 1) != 1) {
      throw DecompressionException("JPEG decoding failed: no progress");
    }
    out.write(reinterpret_cast<const char*>(row.data()), static_cast<std::streamsize>(row.size()));
  }
  jpeg_finish_decompress(info);
  if (!out) throw IOException("Unable to write decompressed data");
}

}  // namespace Marrowbright
