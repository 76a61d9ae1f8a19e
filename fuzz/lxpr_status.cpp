// Status responses read from a pipe: the outcome must not depend on how the
// bytes were split into writes, and must match a plain reference reading.
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "backends/lxpr/lxpr_status.h"

namespace {

using namespace Quillfeather;

// Outcome of reading responses until the first failure, as text.
std::string readAll(int fd) {
  std::string outcome;
  for (int i = 0; i < 8; ++i) {
    try {
      const LXPRPrinterStatus s = readStatus(fd);
      outcome += std::to_string(s.status) + "/" + std::to_string(s.remaining) + ";";
    } catch (const Exception& e) {
      return outcome + e.what();
    }
  }
  return outcome;
}

long referenceNumber(const std::string& text, bool& ok) {
  char* end = nullptr;
  const std::string terminated(text.c_str());
  const long value = std::strtol(terminated.c_str(), &end, 10);
  ok = end != terminated.c_str();
  return value;
}

std::string reference(const std::string& bytes) {
  std::string outcome;
  size_t at = 0;
  for (int i = 0; i < 8; ++i) {
    if (at == bytes.size()) return outcome + "There was no printer status to read";
    const std::string shortRead = "Unable to read the requested number of bytes from the printer";
    const std::string invalid = "The response from the printer was invalid";
    if (bytes.size() - at < 2) return outcome + shortRead;
    if (bytes.compare(at, 2, "\x01\x02") != 0) return outcome + invalid;
    at += 2;
    if (bytes.size() - at < 7) return outcome + shortRead;
    bool statusOk = false, countOk = false;
    const long status = referenceNumber(bytes.substr(at, 2), statusOk);
    const long count = referenceNumber(bytes.substr(at + 3, 4), countOk);
    // strtol skips white space that the 2-byte field may not hold digits after.
    if (!statusOk || !countOk) return outcome + invalid;
    at += 7;
    if (bytes.size() - at < 4) return outcome + shortRead;
    if (bytes.compare(at, 4, "\x03\x04\x0A\x0D") != 0) return outcome + invalid;
    at += 4;
    outcome += std::to_string(static_cast<uint16_t>(status)) + "/" +
               std::to_string(static_cast<uint16_t>(count)) + ";";
  }
  return outcome;
}

std::string throughPipe(const std::string& bytes, const std::vector<size_t>& cuts) {
  int fds[2];
  if (::pipe(fds) != 0) std::abort();
  size_t from = 0;
  for (size_t cut : cuts) {
    if (cut > from && cut <= bytes.size()) {
      if (::write(fds[1], bytes.data() + from, cut - from) != static_cast<ssize_t>(cut - from)) {
        std::abort();
      }
      from = cut;
    }
  }
  if (from < bytes.size() && ::write(fds[1], bytes.data() + from, bytes.size() - from) !=
                                 static_cast<ssize_t>(bytes.size() - from)) {
    std::abort();
  }
  const std::string outcome = readAll(fds[0]);
  ::close(fds[0]);
  ::close(fds[1]);
  return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 4096) return 0;
  const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::vector<size_t> cuts;
  for (size_t cut = data[0] % 13 + 1; cut < bytes.size(); cut += data[0] % 7 + 1)
    cuts.push_back(cut);
  const std::string whole = throughPipe(bytes, {});
  if (whole != throughPipe(bytes, cuts)) std::abort();
  if (whole != reference(bytes)) std::abort();
  return 0;
}
