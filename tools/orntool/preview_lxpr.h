#pragma once

// Decodes the LXPR printer data the filter writes back into the labels it describes.
#include <cstdint>
#include <span>
#include <vector>

#include "orntool/preview_image.h"

namespace OrnTool {

// Resolutions a preview of LXPR data may be drawn at (the data does not name it).
inline constexpr uint32_t kMinLxprDpi = 100;
inline constexpr uint32_t kMaxLxprDpi = 600;

// One picture per issue command ("label-1", "label-2" ...), label size from the last "D"
// command, graphics placed as their "SG" commands say, handed to the sink as each label is
// issued. PreviewError on damaged data (labels before the damage have been handed over).
void decodeLxpr(std::span<const uint8_t> data, uint32_t dpi, const PreviewSink& sink);
std::vector<PreviewImage> decodeLxpr(std::span<const uint8_t> data, uint32_t dpi);

}  // namespace OrnTool
