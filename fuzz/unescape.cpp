// unescape(escape(x)) == x for any bytes; unescape of arbitrary text either
// throws UnknownEscapeException or returns no more bytes than it was given.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "ppd/escapes.h"

using namespace Quillfeather;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  if (unescape(escape(input)) != input) abort();
  try {
    if (unescape(input).size() > input.size()) abort();
  } catch (const UnknownEscapeException& e) {
    if (std::string(e.what()).empty() || e.what()[0] != '\\') abort();
  }
  return 0;
}
