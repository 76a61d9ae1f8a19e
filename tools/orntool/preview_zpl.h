#pragma once

// Decodes the ZPL the filter writes back into the labels it prints.
#include <cstdint>
#include <span>
#include <vector>

#include "orntool/preview_image.h"

namespace OrnTool {

// One picture per label format (^XA ... ^XZ), "label-1", "label-2" ..., handed to the sink at
// each ^XZ. The picture is as wide and tall as ^PW/^LL say, or as the graphics placed in it
// reach (at least one dot). PreviewError on damaged data.
void decodeZpl(std::span<const uint8_t> data, const PreviewSink& sink);
std::vector<PreviewImage> decodeZpl(std::span<const uint8_t> data);

}  // namespace OrnTool
