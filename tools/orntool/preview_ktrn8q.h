#pragma once

// Decodes the KT-RN8Q printer data the filter writes back into the ticket sides it prints.
#include <cstdint>
#include <span>
#include <vector>

#include "orntool/preview_image.h"

namespace OrnTool {

// Dots across the print head: every raster row carries this many.
inline constexpr uint32_t kKtrn8qWidth = 864;

// One picture per printed side, "ticket-N-front" and/or "ticket-N-back", handed to the sink at
// each print command. A side is as tall as the page height command says (or as its rows
// reach). PreviewError on damaged data.
void decodeKtrn8q(std::span<const uint8_t> data, const PreviewSink& sink);
std::vector<PreviewImage> decodeKtrn8q(std::span<const uint8_t> data);

}  // namespace OrnTool
