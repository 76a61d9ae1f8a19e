#pragma once

#include <cstdint>
#include <memory>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "backends/lxpr/command_exception.h"

namespace Quillfeather::LXPRCommands {

// The value of one template field. format() renders the value in the shape
// the field spec asks for (sign marker, binary "*", hexadecimal "$", maximum
// length "/n") and returns true while the stream is still good.
class Argument {
 public:
  virtual bool format(std::ostream& out, std::string_view spec) const = 0;
  virtual ~Argument() = default;
};

// The arguments of one command, in field order.
using ArgumentList = std::vector<std::shared_ptr<const Argument>>;

class IntegerArgument : public Argument {
 public:
  explicit IntegerArgument(int32_t value) : value_(value) {}
  bool format(std::ostream& out, std::string_view spec) const override;

 private:
  int32_t value_;
};

class UIntegerArgument : public Argument {
 public:
  explicit UIntegerArgument(uint32_t value) : value_(value) {}
  bool format(std::ostream& out, std::string_view spec) const override;

 private:
  uint32_t value_;
};

class USmallIntegerArgument : public Argument {
 public:
  explicit USmallIntegerArgument(uint8_t value) : value_(value) {}
  bool format(std::ostream& out, std::string_view spec) const override;

 private:
  uint8_t value_;
};

class ULargeIntegerArgument : public Argument {
 public:
  explicit ULargeIntegerArgument(uint64_t value) : value_(value) {}
  bool format(std::ostream& out, std::string_view spec) const override;

 private:
  uint64_t value_;
};

class StringArgument : public Argument {
 public:
  explicit StringArgument(std::string value) : value_(std::move(value)) {}
  bool format(std::ostream& out, std::string_view spec) const override;

 private:
  std::string value_;
};

class BufferArgument : public Argument {
 public:
  explicit BufferArgument(std::vector<uint8_t> value) : value_(std::move(value)) {}
  explicit BufferArgument(std::span<const uint8_t> value) : value_(value.begin(), value.end()) {}
  bool format(std::ostream& out, std::string_view spec) const override;

 private:
  std::vector<uint8_t> value_;
};

class CharacterArgument : public Argument {
 public:
  explicit CharacterArgument(char value) : value_(value) {}
  bool format(std::ostream& out, std::string_view spec) const override;

 private:
  char value_;
};

// "-0" and "-0.0" in a signed field, which an integer cannot carry.
class NegativeZeroArgument : public Argument {
 public:
  bool format(std::ostream& out, std::string_view spec) const override;
};

// Maximum length of a text or byte field: the number after "/", else the
// spec's own length. 0 means unlimited.
size_t maximumFieldLength(std::string_view spec);

}  // namespace Quillfeather::LXPRCommands
