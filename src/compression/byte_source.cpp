#include "compression/byte_source.h"

#include <algorithm>

namespace Marrowbright {

bool ByteSource::refill() {
  if (pos_ < end_) return true;
  if (ended_) return false;
  std::streambuf* buffer = in_.rdbuf();
  const std::streamsize got = buffer ? buffer->sgetn(reinterpret_cast<char*>(buffer_.data()),
                                                     static_cast<std::streamsize>(buffer_.size()))
                                     : 0;
  pos_ = 0;
  end_ = got > 0 ? static_cast<std::size_t>(got) : 0;
  fetched_ += end_;
  if (end_ == 0) {
    ended_ = true;
    in_.setstate(std::ios::eofbit);
    return false;
  }
  return true;
}

std::size_t ByteSource::read(std::uint8_t* out, std::size_t count) {
  std::size_t done = 0;
  while (done < count && refill()) {
    const std::size_t n = std::min(count - done, end_ - pos_);
    std::memcpy(out + done, buffer_.data() + pos_, n);
    pos_ += n;
    done += n;
  }
  return done;
}

void ByteSource::releaseUnused(std::size_t extra) {
  const std::size_t unread = (end_ - pos_) + extra;
  pos_ = end_;
  if (unread == 0 || in_.rdbuf() == nullptr) return;
  in_.clear(in_.rdstate() & ~std::ios::eofbit);
  in_.rdbuf()->pubseekoff(-static_cast<std::streamoff>(unread), std::ios::cur, std::ios::in);
  // A stream that cannot seek keeps its position; the bytes read ahead are lost to it.
}

}  // namespace Marrowbright
