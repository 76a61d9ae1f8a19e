// Placeholder for the TIFF input and output of Image; the TIFF I/O replaces this file.
#include "imaging/image.h"
#include "imaging/imaging_exception.h"

namespace Tesselin {

void Image::load(std::istream&) { throw ImageException("Unsupported format"); }

void Image::save(int, std::ostream&) const { throw ImageException("Unsupported format"); }

}  // namespace Tesselin
