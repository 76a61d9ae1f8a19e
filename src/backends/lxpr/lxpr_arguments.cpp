// Rendering of LXPR command field values. A field spec is the matched template
// text: an optional "+" (sign always shown), a run of one lower-case letter,
// and an optional suffix "*" (big-endian binary, the last L-1 bytes of the
// value), "$" (upper-case hexadecimal, L-1 digits) or "/n" (maximum length n
// for texts and bytes). L is the length of the whole spec.
#include "backends/lxpr/lxpr_arguments.h"

#include <algorithm>
#include <stdexcept>

namespace Quillfeather::LXPRCommands {
namespace {

bool good(const std::ostream& out) { return !out.fail(); }

// One integer in the three forms; `bits` is the value's two's complement
// pattern in `size` bytes, `negative`/`magnitude` its decimal reading.
bool formatInteger(std::ostream& out, std::string_view spec, uint64_t bits, size_t size,
                   bool negative, uint64_t magnitude) {
  if (spec.find('/') != std::string_view::npos) throw CommandException("Unsupported format");
  const size_t length = spec.size();
  std::string text;
  if (spec.ends_with('*')) {
    const size_t count = length - 1;
    if (count > size) throw std::out_of_range("binary field is wider than its value");
    for (size_t i = count; i > 0; --i) {
      text.push_back(static_cast<char>((bits >> (8 * (i - 1))) & 0xFF));
    }
  } else if (spec.ends_with('$')) {
    constexpr char kHexDigits[] = "0123456789ABCDEF";
    std::string digits;
    do {
      digits.insert(digits.begin(), kHexDigits[bits & 0xF]);
      bits >>= 4;
    } while (bits != 0);
    const size_t width = length - 1;
    if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
    text = digits.substr(0, width);
  } else {
    const std::string digits = std::to_string(magnitude);
    if (spec.starts_with('+')) {
      text.push_back(negative ? '-' : '+');
      if (digits.size() + 1 < length) text.append(length - 1 - digits.size(), '0');
      text += digits;
    } else {
      text = negative ? "-" + digits : digits;
      if (text.size() < length) text.insert(0, length - text.size(), '0');
    }
    text.resize(std::min(text.size(), length));
  }
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  return good(out);
}

bool formatUnsigned(std::ostream& out, std::string_view spec, uint64_t value, size_t size) {
  return formatInteger(out, spec, value, size, false, value);
}

}  // namespace

size_t maximumFieldLength(std::string_view spec) {
  const size_t slash = spec.find('/');
  if (slash == std::string_view::npos) return spec.size();
  size_t maximum = 0;
  for (char c : spec.substr(slash + 1)) {
    if (c < '0' || c > '9') break;
    const size_t digit = static_cast<size_t>(c - '0');
    // A limit beyond any real buffer is as good as unlimited.
    if (maximum > (SIZE_MAX - digit) / 10) return 0;
    maximum = maximum * 10 + digit;
  }
  return maximum;
}

bool IntegerArgument::format(std::ostream& out, std::string_view spec) const {
  const bool negative = value_ < 0;
  const uint64_t magnitude = negative ? uint64_t{0} - static_cast<uint64_t>(int64_t{value_})
                                      : static_cast<uint64_t>(value_);
  return formatInteger(out, spec, static_cast<uint32_t>(value_), 4, negative, magnitude);
}

bool UIntegerArgument::format(std::ostream& out, std::string_view spec) const {
  return formatUnsigned(out, spec, value_, 4);
}

bool USmallIntegerArgument::format(std::ostream& out, std::string_view spec) const {
  return formatUnsigned(out, spec, value_, 1);
}

bool ULargeIntegerArgument::format(std::ostream& out, std::string_view spec) const {
  return formatUnsigned(out, spec, value_, 8);
}

bool StringArgument::format(std::ostream& out, std::string_view spec) const {
  const size_t maximum = maximumFieldLength(spec);
  const size_t count = maximum == 0 ? value_.size() : std::min(maximum, value_.size());
  out.write(value_.data(), static_cast<std::streamsize>(count));
  return good(out);
}

bool BufferArgument::format(std::ostream& out, std::string_view spec) const {
  const size_t maximum = maximumFieldLength(spec);
  const size_t count = maximum == 0 ? value_.size() : std::min(maximum, value_.size());
  out.write(reinterpret_cast<const char*>(value_.data()), static_cast<std::streamsize>(count));
  return good(out);
}

bool CharacterArgument::format(std::ostream& out, std::string_view) const {
  out.put(value_);
  return good(out);
}

bool NegativeZeroArgument::format(std::ostream& out, std::string_view spec) const {
  const size_t length = spec.size();
  size_t zeros = 0;
  if (length == 2) {
    zeros = 1;
  } else if (length >= 3) {
    zeros = (spec.ends_with('*') || spec.ends_with('$')) ? length - 2 : length - 1;
  }
  out.put('-');
  for (size_t i = 0; i < zeros; ++i) out.put('0');
  return good(out);
}

}  // namespace Quillfeather::LXPRCommands
