// SKARN decoding of arbitrary records. Input: 2 bytes big-endian (width - 1) mod 4096, then
// the row records. Decoding either throws one of the imaging exceptions or gives a bitmap that
// encodes to records decoding back to the same bitmap, and re-encoding is stable.
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "imaging/bitmap_encoding.h"
#include "imaging/imaging_exception.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint32_t width = ((uint32_t{data[0]} << 8 | data[1]) % Tesselin::kSkarnMaxWidth) + 1;
  // A buffer of exactly the record bytes, so reads past its end are caught.
  const std::vector<uint8_t> records(data + 2, data + size);
  Tesselin::Bitmap bitmap;
  try {
    bitmap = Tesselin::decode(records, width, 0, Tesselin::kSkarn);
  } catch (const Tesselin::Exception&) {
    return 0;
  }
  if (bitmap.width() != width || bitmap.height() > records.size() ||
      bitmap.dataSize() != size_t{bitmap.bytesPerRow()} * bitmap.height()) {
    std::abort();
  }
  if (bitmap.height() == 0) return 0;

  // Re-encoding drops unchanged bytes, so it is never longer than the input.
  const std::vector<uint8_t> encoded = Tesselin::encodeSkarn(bitmap);
  if (encoded.size() - 2 > records.size()) std::abort();
  std::ostringstream stream;
  Tesselin::encode(bitmap, Tesselin::kSkarn, stream);
  if (stream.str() != std::string(encoded.begin(), encoded.end())) std::abort();

  const std::vector<uint8_t> again(encoded.begin() + 2, encoded.end());
  const Tesselin::Bitmap decoded = Tesselin::decode(again, width, 0, Tesselin::kSkarn);
  if (decoded.data() != bitmap.data() || decoded.height() != bitmap.height()) std::abort();
  if (Tesselin::encodeSkarn(decoded) != encoded) std::abort();
  return 0;
}
