// LZW encoding, the code stream the decoder reads: a clear code first, then one code per
// longest known string, the table growing by one entry per code; when the table is about to
// run out a clear code starts it afresh; the end code closes the data. Code widths follow
// the decoder's own rule, so the encoder tracks the width the decoder will use.
#include <array>
#include <vector>

#include "compression/bit_writer.h"
#include "compression/byte_source.h"
#include "compression/lzw_compression.h"

namespace Marrowbright {

namespace {

// Open-addressing map from (prefix code, next byte) to the code of that string.
class StringTable {
 public:
  StringTable() : slots_(kSize) {}
  void clear() { std::fill(slots_.begin(), slots_.end(), Slot{}); }
  int find(std::uint32_t key) const {
    for (std::uint32_t i = hash(key);; i = (i + 1) & (kSize - 1)) {
      if (slots_[i].key == 0) return -1;
      if (slots_[i].key == key + 1) return slots_[i].code;
    }
  }
  void insert(std::uint32_t key, int code) {
    std::uint32_t i = hash(key);
    while (slots_[i].key != 0) i = (i + 1) & (kSize - 1);
    slots_[i] = Slot{key + 1, code};
  }

 private:
  static constexpr std::uint32_t kSize = 16384;  // four times the codes, so probes stay short
  struct Slot {
    std::uint32_t key = 0;  // key + 1; 0 marks a free slot
    int code = 0;
  };
  static std::uint32_t hash(std::uint32_t key) { return (key * 2654435761u) >> 18; }
  std::vector<Slot> slots_;
};

}  // namespace

void LZWCompression::compress(std::istream& in, std::ostream& out) {
  StreamBitWriter bits(out);
  StringTable table;
  ByteSource source(in);

  unsigned width = kMinWidth;  // the width the decoder reads the next code with
  unsigned decoderNext = kFirstCode;
  bool firstAfterClear = true;
  unsigned freeEntry = kFirstCode;  // the next entry the encoder creates
  auto emit = [&](unsigned code) {
    bits.writeBits(code, width);
    if (firstAfterClear) {
      firstAfterClear = false;
      return;
    }
    ++decoderNext;
    if (decoderNext + variant_ >= (1u << width) && width < kMaxWidth) ++width;
  };
  auto emitClear = [&] {
    bits.writeBits(kClearCode, width);
    width = kMinWidth;
    decoderNext = kFirstCode;
    firstAfterClear = true;
    freeEntry = kFirstCode;
    table.clear();
  };

  emitClear();
  int current = -1;
  std::uint8_t byte = 0;
  while (source.next(byte)) {
    if (current < 0) {
      current = byte;
      continue;
    }
    const std::uint32_t key = static_cast<std::uint32_t>(current) << 8 | byte;
    const int found = table.find(key);
    if (found >= 0) {
      current = found;
      continue;
    }
    emit(static_cast<unsigned>(current));
    if (freeEntry >= kTableSize - 2) {
      emitClear();
    } else {
      table.insert(key, static_cast<int>(freeEntry++));
    }
    current = byte;
  }
  if (current >= 0) emit(static_cast<unsigned>(current));
  bits.writeBits(kEndCode, width);
  bits.flush();
}

}  // namespace Marrowbright
