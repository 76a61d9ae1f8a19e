#pragma once

#include <ios>
#include <streambuf>
#include <vector>

namespace Quillfeather {

// A stream buffer reading from a byte vector held by reference: the get area is the whole
// vector. Seeks move the read position only.
template <typename CharT, typename ByteT>
class BasicInputVectorStreamBuffer : public std::basic_streambuf<CharT> {
  static_assert(sizeof(CharT) == sizeof(ByteT));

 public:
  using Base = std::basic_streambuf<CharT>;
  using typename Base::off_type;
  using typename Base::pos_type;

  explicit BasicInputVectorStreamBuffer(const std::vector<ByteT>& bytes) : bytes_(bytes) {
    CharT* begin = const_cast<CharT*>(reinterpret_cast<const CharT*>(bytes_.data()));
    this->setg(begin, begin, begin + bytes_.size());
  }

 protected:
  pos_type seekoff(off_type offset, std::ios_base::seekdir direction,
                   std::ios_base::openmode which = std::ios_base::in) override {
    if (which != std::ios_base::in) return pos_type(off_type(this->pptr() - this->pbase()));
    off_type base = 0;
    if (direction == std::ios_base::cur) base = this->gptr() - this->eback();
    if (direction == std::ios_base::end) base = this->egptr() - this->eback();
    const off_type target = base + offset;
    if (target < 0 || target > this->egptr() - this->eback()) return pos_type(off_type(-1));
    this->setg(this->eback(), this->eback() + target, this->egptr());
    return pos_type(target);
  }

  pos_type seekpos(pos_type position, std::ios_base::openmode which = std::ios_base::in) override {
    return seekoff(off_type(position), std::ios_base::beg, which);
  }

 private:
  const std::vector<ByteT>& bytes_;
};

// A stream buffer appending everything written to a byte vector held by reference. It keeps
// no put area, so every write is in the vector at once.
template <typename CharT, typename ByteT>
class BasicOutputVectorStreamBuffer : public std::basic_streambuf<CharT> {
  static_assert(sizeof(CharT) == sizeof(ByteT));

 public:
  using Base = std::basic_streambuf<CharT>;
  using typename Base::int_type;
  using typename Base::off_type;
  using typename Base::pos_type;
  using Traits = typename Base::traits_type;

  explicit BasicOutputVectorStreamBuffer(std::vector<ByteT>& bytes) : bytes_(bytes) {}

 protected:
  int_type overflow(int_type c) override {
    if (Traits::eq_int_type(c, Traits::eof())) return Traits::not_eof(c);
    bytes_.push_back(static_cast<ByteT>(Traits::to_char_type(c)));
    return c;
  }

  std::streamsize xsputn(const CharT* s, std::streamsize count) override {
    const auto* from = reinterpret_cast<const ByteT*>(s);
    bytes_.insert(bytes_.end(), from, from + count);
    return count;
  }

  // Only the position can be asked for: it is the vector's size.
  pos_type seekoff(off_type offset, std::ios_base::seekdir direction,
                   std::ios_base::openmode which = std::ios_base::out) override {
    if (offset == 0 && direction != std::ios_base::beg && (which & std::ios_base::out)) {
      return pos_type(off_type(bytes_.size()));
    }
    return pos_type(off_type(-1));
  }

 private:
  std::vector<ByteT>& bytes_;
};

using InputVectorStreamBuffer = BasicInputVectorStreamBuffer<char, unsigned char>;
using OutputVectorStreamBuffer = BasicOutputVectorStreamBuffer<char, unsigned char>;

}  // namespace Quillfeather
