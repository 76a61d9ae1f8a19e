// Printer-data decoders of `orntool preview`. Input: one control byte, then
// printer data. The control byte picks the decoder (low two bits, modulo 3:
// ZPL, LXPR, KT-RN8Q) and, for LXPR, the resolution. Invariants: the decoder
// either returns pictures or throws PreviewError; every picture lies within
// the preview size limits and holds exactly its rows; the streaming and the
// collecting forms of a decoder agree.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "orntool/preview_image.h"
#include "orntool/preview_ktrn8q.h"
#include "orntool/preview_lxpr.h"
#include "orntool/preview_zpl.h"

namespace {

using OrnTool::PreviewImage;

constexpr uint32_t kDpis[] = {100, 203, 300, 600};

void checkPicture(const PreviewImage& picture) {
  const auto& bitmap = picture.bitmap;
  if (bitmap.width() == 0 || bitmap.height() == 0) std::abort();
  if (bitmap.width() > OrnTool::kMaxPreviewSide || bitmap.height() > OrnTool::kMaxPreviewSide) {
    std::abort();
  }
  const uint64_t bytes = uint64_t{bitmap.bytesPerRow()} * bitmap.height();
  if (bytes > OrnTool::kMaxPreviewBytes || bytes != bitmap.data().size()) std::abort();
  if (picture.name.empty()) std::abort();
}

struct Result {
  std::vector<PreviewImage> pictures;
  bool failed = false;
  std::string message;
};

Result decodeStreaming(unsigned language, uint32_t dpi, std::span<const uint8_t> data) {
  Result result;
  const OrnTool::PreviewSink sink = [&](PreviewImage&& picture) {
    checkPicture(picture);
    result.pictures.push_back(std::move(picture));
  };
  try {
    if (language == 0) OrnTool::decodeZpl(data, sink);
    if (language == 1) OrnTool::decodeLxpr(data, dpi, sink);
    if (language == 2) OrnTool::decodeKtrn8q(data, sink);
  } catch (const OrnTool::PreviewError& e) {
    result.failed = true;
    result.message = e.what();
  }
  return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const unsigned language = (data[0] & 3u) % 3u;
  const uint32_t dpi = kDpis[(data[0] >> 2) & 3u];
  // A fresh copy, so reads past the end are caught by the address sanitizer.
  const std::vector<uint8_t> bytes(data + 1, data + size);

  const Result streamed = decodeStreaming(language, dpi, bytes);
  std::vector<PreviewImage> collected;
  bool failed = false;
  try {
    if (language == 0) collected = OrnTool::decodeZpl(bytes);
    if (language == 1) collected = OrnTool::decodeLxpr(bytes, dpi);
    if (language == 2) collected = OrnTool::decodeKtrn8q(bytes);
  } catch (const OrnTool::PreviewError& e) {
    failed = true;
    if (e.what() != streamed.message) std::abort();
  }
  if (failed != streamed.failed) std::abort();
  if (!failed) {
    if (collected.size() != streamed.pictures.size()) std::abort();
    for (size_t i = 0; i < collected.size(); ++i) {
      const auto& a = collected[i];
      const auto& b = streamed.pictures[i];
      if (a.name != b.name || a.bitmap.width() != b.bitmap.width() ||
          a.bitmap.height() != b.bitmap.height() || a.bitmap.data() != b.bitmap.data()) {
        std::abort();
      }
    }
  }
  return 0;
}
