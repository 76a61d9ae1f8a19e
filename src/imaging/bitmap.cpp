#include "imaging/bitmap.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "imaging/bit_tables.h"
#include "imaging/imaging_exception.h"

namespace Tesselin {

namespace {

bool allZero(const uint8_t* bytes, size_t count) {
  uint64_t any = 0;
  size_t i = 0;
  for (; i + 8 <= count; i += 8) {
    uint64_t word;
    std::memcpy(&word, bytes + i, 8);
    any |= word;
    if (any != 0) return false;
  }
  for (; i < count; ++i) any |= bytes[i];
  return any == 0;
}

// Checks a crop rectangle against the source and returns the new bitmap's size.
std::pair<uint32_t, uint32_t> cropSize(const Bitmap& source, const Rect& r) {
  if (r.left > r.right || r.top > r.bottom || r.right == 0 || r.bottom == 0) {
    throw BitmapException("Invalid size");
  }
  // An empty rectangle (left == right or top == bottom) would give a bitmap without pixels.
  if (r.left == r.right || r.top == r.bottom) throw BitmapException("Invalid size");
  if (r.right > source.width() || r.bottom > source.height()) {
    throw BitmapException("Index out of range");
  }
  return {r.right - r.left, r.bottom - r.top};
}

uint64_t load64(const uint8_t* bytes) {
  uint64_t word;
  std::memcpy(&word, bytes, 8);
  return word;
}

void store64(uint8_t* bytes, uint64_t word) { std::memcpy(bytes, &word, 8); }

// Eight bytes in memory order as a number whose first byte is the most significant.
uint64_t loadBigEndian(const uint8_t* bytes) {
  const uint64_t word = load64(bytes);
  return std::endian::native == std::endian::little ? __builtin_bswap64(word) : word;
}

void storeBigEndian(uint8_t* bytes, uint64_t word) {
  store64(bytes, std::endian::native == std::endian::little ? __builtin_bswap64(word) : word);
}

// The bits of every byte of the word reversed, each byte staying in place.
uint64_t reverseBitsInBytes(uint64_t x) {
  x = ((x >> 1) & 0x5555555555555555ULL) | ((x & 0x5555555555555555ULL) << 1);
  x = ((x >> 2) & 0x3333333333333333ULL) | ((x & 0x3333333333333333ULL) << 2);
  return ((x >> 4) & 0x0F0F0F0F0F0F0F0FULL) | ((x & 0x0F0F0F0F0F0F0F0FULL) << 4);
}

// Writes the `width` pixels of src to dst in reverse order, left-aligned, with the bits beyond
// width cleared. src and dst hold `bytes` bytes each and must not overlap.
void reverseRow(const uint8_t* src, uint8_t* dst, uint32_t bytes, uint32_t width) {
  // Reversing the byte order and the bits of each byte puts pixel x at 8 * bytes - 1 - x.
  uint32_t i = 0;
  for (; i + 8 <= bytes; i += 8) {
    store64(dst + i, reverseBitsInBytes(__builtin_bswap64(load64(src + bytes - 8 - i))));
  }
  for (; i < bytes; ++i) dst[i] = kReversedBits[src[bytes - 1 - i]];

  // Shifting everything left by the unused bit count moves pixel x to width - 1 - x.
  const uint32_t shift = bytes * 8 - width;
  if (shift == 0) return;
  i = 0;
  for (; i + 9 <= bytes; i += 8) {
    storeBigEndian(dst + i, (loadBigEndian(dst + i) << shift) | (dst[i + 8] >> (8 - shift)));
  }
  for (; i + 1 < bytes; ++i) {
    dst[i] = static_cast<uint8_t>((dst[i] << shift) | (dst[i + 1] >> (8 - shift)));
  }
  dst[bytes - 1] = static_cast<uint8_t>(dst[bytes - 1] << shift);
}

}  // namespace

Bitmap::Bitmap(std::vector<uint8_t> data, uint32_t width, uint32_t height)
    : Image(1, 1, width, height, std::move(data)) {
  if (!hasWholeRows()) throw BitmapException("Source data does not match size");
}

Bitmap::Bitmap(const Bitmap& source, const Rect& r) : Bitmap(cropSize(source, r)) {
  source.checkRows();
  const uint32_t sourceBytes = source.bytesPerRow();
  const uint32_t bytes = bytesPerRow();
  const uint32_t first = r.left / 8;
  const uint32_t shift = r.left % 8;
  const uint8_t lastMask = lastByteMask(width());
  const uint8_t* sourceBase = source.data().data();
  uint8_t* base = data().data();
  for (uint32_t y = 0; y < height(); ++y) {
    const uint8_t* in = sourceBase + (uint64_t{r.top} + y) * sourceBytes + first;
    uint8_t* out = base + uint64_t{y} * bytes;
    if (shift == 0) {
      std::memcpy(out, in, bytes);
    } else {
      // Every output byte but the last has both of its source bytes inside the row; the last
      // one may sit at the row's end.
      uint32_t j = 0;
      for (; j + 8 < bytes; j += 8) {
        storeBigEndian(out + j, (loadBigEndian(in + j) << shift) | (in[j + 8] >> (8 - shift)));
      }
      for (; j + 1 < bytes; ++j) {
        out[j] = static_cast<uint8_t>((in[j] << shift) | (in[j + 1] >> (8 - shift)));
      }
      const uint32_t last = bytes - 1;
      const uint32_t following = first + last + 1 < sourceBytes ? in[last + 1] : 0;
      out[last] = static_cast<uint8_t>((in[last] << shift) | (following >> (8 - shift)));
    }
    out[bytes - 1] &= lastMask;
  }
  setOrigin(r.left, r.top);
}

void Bitmap::checkRows() const {
  if (!hasWholeRows()) throw BitmapException("Bitmap data does not match its size");
}

void Bitmap::invert() {
  for (uint8_t& byte : data()) byte = static_cast<uint8_t>(~byte);
}

bool Bitmap::getPixel(uint32_t x, uint32_t y) const {
  if (x >= width() || y >= height()) throw BitmapException("Index out of range");
  checkRows();
  return (data()[uint64_t{y} * bytesPerRow() + x / 8] >> (7 - x % 8)) & 1;
}

void Bitmap::setPixel(uint32_t x, uint32_t y, bool bit) {
  if (x >= width() || y >= height()) throw BitmapException("Index out of range");
  checkRows();
  uint8_t& byte = data()[uint64_t{y} * bytesPerRow() + x / 8];
  const uint8_t mask = static_cast<uint8_t>(0x80 >> (x % 8));
  byte = bit ? (byte | mask) : (byte & ~mask);
}

std::span<const uint8_t> Bitmap::row(uint32_t y) const {
  if (y >= height()) throw BitmapException("Index out of range");
  checkRows();
  return {data().data() + uint64_t{y} * bytesPerRow(), bytesPerRow()};
}

std::vector<uint8_t> Bitmap::getRow(uint32_t y) const {
  const auto bytes = row(y);
  return {bytes.begin(), bytes.end()};
}

void Bitmap::setRow(uint32_t y, std::span<const uint8_t> bytes) {
  if (y >= height()) throw BitmapException("Index out of range");
  if (bytes.size() < bytesPerRow()) throw BitmapException("Row data not large enough");
  checkRows();
  std::copy_n(bytes.begin(), bytesPerRow(), data().begin() + uint64_t{y} * bytesPerRow());
}

void Bitmap::growByOneRow() {
  checkRows();
  if (height() == UINT32_MAX) throw ImageException("Image too large");
  data().resize(checkedDataBytes(bytesPerRow(), height() + 1));
  setHeight(height() + 1);
}

void Bitmap::appendRow(std::span<const uint8_t> bytes) {
  if (bytes.size() != bytesPerRow()) throw BitmapException("Row data is the wrong length");
  growByOneRow();
  std::copy(bytes.begin(), bytes.end(), data().end() - bytesPerRow());
}

void Bitmap::appendRowXor(std::span<const uint8_t> bytes) {
  if (bytes.size() != bytesPerRow()) throw BitmapException("Row data is the wrong length");
  const bool hadRows = height() != 0;
  growByOneRow();
  const size_t bytesPerRowSize = bytesPerRow();
  uint8_t* out = data().data() + data().size() - bytesPerRowSize;
  if (hadRows) {
    const uint8_t* previous = out - bytesPerRowSize;
    for (size_t i = 0; i < bytesPerRowSize; ++i) out[i] = previous[i] ^ bytes[i];
  } else {
    std::copy(bytes.begin(), bytes.end(), out);
  }
}

void Bitmap::xorRow(uint32_t from, uint32_t to, std::span<const uint8_t> bytes) {
  if (from >= height() || to >= height()) throw BitmapException("Invalid row");
  checkRows();
  const size_t rowSize = bytesPerRow();
  const uint8_t* in = data().data() + uint64_t{from} * rowSize;
  uint8_t* out = data().data() + uint64_t{to} * rowSize;
  const size_t mixed = std::min(rowSize, bytes.size());
  for (size_t i = 0; i < mixed; ++i) out[i] = in[i] ^ bytes[i];
  if (in != out && rowSize != mixed) std::memcpy(out + mixed, in + mixed, rowSize - mixed);
}

bool Bitmap::isRowEmpty(uint32_t y) const {
  const auto bytes = row(y);
  return allZero(bytes.data(), bytes.size());
}

bool Bitmap::isColumnEmpty(uint32_t x) const {
  if (height() == 0) return true;
  if (x >= width()) throw BitmapException("Index out of range");
  checkRows();
  const uint8_t mask = static_cast<uint8_t>(0x80 >> (x % 8));
  const uint8_t* byte = data().data() + x / 8;
  for (uint32_t y = 0; y < height(); ++y, byte += bytesPerRow()) {
    if (*byte & mask) return false;
  }
  return true;
}

Rect Bitmap::boundingBox() const {
  checkRows();
  const uint32_t rowSize = bytesPerRow();
  const uint8_t* base = data().data();
  uint32_t top = 0;
  while (top < height() && allZero(base + uint64_t{top} * rowSize, rowSize)) ++top;
  if (top == height()) return {0, 0, 0, 0};
  uint32_t bottom = height();
  while (allZero(base + uint64_t{bottom - 1} * rowSize, rowSize)) --bottom;

  // A column is empty when its bit is clear in the OR of all rows; rows outside top..bottom
  // are all zero and add nothing.
  std::vector<uint8_t> columns(rowSize, 0);
  uint8_t* acc = columns.data();
  for (uint32_t y = top; y < bottom; ++y) {
    const uint8_t* in = base + uint64_t{y} * rowSize;
    for (uint32_t i = 0; i < rowSize; ++i) acc[i] |= in[i];
  }
  columns[rowSize - 1] &= lastByteMask(width());

  // Set bits only beyond width leave no column set: left is then 0 and the right-hand scan
  // stops at column 0, giving right 1.
  uint32_t left = 0;
  uint32_t right = 1;
  const auto firstByte = std::find_if(columns.begin(), columns.end(), [](uint8_t b) { return b; });
  if (firstByte != columns.end()) {
    const auto lastByte =
        std::find_if(columns.rbegin(), columns.rend(), [](uint8_t b) { return b; });
    const uint32_t firstIndex = static_cast<uint32_t>(firstByte - columns.begin());
    const uint32_t lastIndex = static_cast<uint32_t>(columns.rend() - lastByte - 1);
    left = firstIndex * 8 + static_cast<uint32_t>(__builtin_clz(*firstByte) - 24);
    right = lastIndex * 8 + (8 - static_cast<uint32_t>(__builtin_ctz(*lastByte)));
  }
  return {left, top, right, bottom};
}

void Bitmap::mask(const Bitmap& other) {
  if (other.dataSize() != dataSize()) {
    throw BitmapException("Cannot mask image if the mask is a different size");
  }
  const uint8_t* in = other.data().data();
  uint8_t* out = data().data();
  for (size_t i = 0, n = dataSize(); i < n; ++i) out[i] &= static_cast<uint8_t>(~in[i]);
}

void Bitmap::paste(const Bitmap& other) {
  checkRows();
  other.checkRows();
  // The column is rounded to a whole byte; from the middle of a byte on, it rounds up.
  const uint64_t x = other.origin().first;
  const uint64_t column = x % 8 >= 4 ? (x + x % 8) / 8 : x / 8;
  if (column >= bytesPerRow() || other.bytesPerRow() == 0) return;
  const size_t count = std::min<uint64_t>(other.bytesPerRow(), bytesPerRow() - column);
  for (uint32_t i = 0; i < other.height(); ++i) {
    const uint64_t y = uint64_t{other.origin().second} + i;
    if (y >= height()) break;
    std::memcpy(data().data() + y * bytesPerRow() + column,
                other.data().data() + uint64_t{i} * other.bytesPerRow(), count);
  }
}

void Bitmap::clear() { std::fill(data().begin(), data().end(), uint8_t{0}); }

void Bitmap::rotate180() {
  checkRows();
  const uint32_t rowSize = bytesPerRow();
  if (rowSize == 0 || height() == 0) return;
  // The bits beyond width belong to no pixel; each row keeps its own.
  const uint8_t padding = static_cast<uint8_t>(~lastByteMask(width()));
  std::vector<uint8_t> saved(rowSize);
  uint8_t* base = data().data();
  for (uint32_t y = 0, other = height() - 1; y < other; ++y, --other) {
    uint8_t* upper = base + uint64_t{y} * rowSize;
    uint8_t* lower = base + uint64_t{other} * rowSize;
    const uint8_t upperPadding = upper[rowSize - 1] & padding;
    const uint8_t lowerPadding = lower[rowSize - 1] & padding;
    std::memcpy(saved.data(), upper, rowSize);
    reverseRow(lower, upper, rowSize, width());
    reverseRow(saved.data(), lower, rowSize, width());
    upper[rowSize - 1] |= upperPadding;
    lower[rowSize - 1] |= lowerPadding;
  }
  if (height() % 2 == 1) {
    uint8_t* middle = base + uint64_t{height() / 2} * rowSize;
    const uint8_t middlePadding = middle[rowSize - 1] & padding;
    std::memcpy(saved.data(), middle, rowSize);
    reverseRow(saved.data(), middle, rowSize, width());
    middle[rowSize - 1] |= middlePadding;
  }
}

}  // namespace Tesselin
