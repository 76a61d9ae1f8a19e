// TIFF reading: any input reads or throws ImageException; an image read has exactly
// rows x row bytes of data and survives our writer and reader unchanged.
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "imaging/image_io.h"
#include "imaging/imaging_exception.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);  // a fresh copy
  Tesselin::Image image;
  try {
    std::istringstream probe(input);
    const Tesselin::TIFFFileInfo info(probe);
    // Large pictures are valid but only slow the search down.
    if (std::uint64_t{info.rowBytes()} * info.height() > (4u << 20)) return 0;
    std::istringstream in(input);
    image = Tesselin::ImageIO::ReadFromTIFFFormat(in, nullptr);
  } catch (const Tesselin::ImageException&) {
    return 0;
  }
  if (image.dataSize() != std::uint64_t{image.bytesPerRow()} * image.height()) std::abort();

  std::ostringstream written;
  Tesselin::ImageIO::WriteToTIFFFormat(image, written, Tesselin::ImageIO::kCompressionDeflate);
  std::istringstream again(written.str());
  const Tesselin::Image back = Tesselin::ImageIO::ReadFromTIFFFormat(again, nullptr);
  if (back.data() != image.data() || back.width() != image.width() ||
      back.channels() != image.channels()) {
    std::abort();
  }
  return 0;
}
