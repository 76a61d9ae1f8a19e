#pragma once

// Writes a preview picture as a 1-bit greyscale PNG (black dots black) with libpng.
#include <string>

#include "imaging/bitmap.h"

namespace OrnTool {

// Throws PreviewError when the file cannot be written; a partly written file is removed.
void writePng(const Tesselin::Bitmap& bitmap, const std::string& path);

}  // namespace OrnTool
