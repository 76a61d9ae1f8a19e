#pragma once

// An output stream buffer that hands the back end's bytes to a PAPPL device (socket, USB or
// file). A failed write puts the stream in a failed state, which the back end reports.
#include <pappl/pappl.h>

#include <streambuf>

namespace OrnPrint {

class DeviceStreamBuffer : public std::streambuf {
 public:
  explicit DeviceStreamBuffer(pappl_device_t* device) : device_(device) {}

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    const char byte = traits_type::to_char_type(c);
    return xsputn(&byte, 1) == 1 ? c : traits_type::eof();
  }
  std::streamsize xsputn(const char* data, std::streamsize count) override {
    if (count <= 0) return 0;
    return papplDeviceWrite(device_, data, static_cast<size_t>(count)) < 0 ? 0 : count;
  }
  int sync() override {
    papplDeviceFlush(device_);
    return 0;
  }

 private:
  pappl_device_t* device_;
};

}  // namespace OrnPrint
