#include "jobcontrol/log.h"

#include <array>
#include <iostream>

namespace Quillfeather {
namespace {

enum Level { kDebug, kInfo, kWarning, kError, kCritical };

thread_local Log::Sink threadSink;

std::array<std::string, 5>& prefixes() {
  static std::array<std::string, 5> table{"Debug", "Info", "Warning", "Error", "Critical"};
  return table;
}

}  // namespace

void appendEscapedControls(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    } else {
      out += c;
    }
  }
}

LogLine::~LogLine() {
  std::string_view text = text_.view();
  if (!text.empty() && text.back() == '\n') text.remove_suffix(1);  // std::endl
  if (threadSink) {
    std::string escaped;
    appendEscapedControls(escaped, text);
    threadSink(level_, escaped);
    return;
  }
  std::string line;
  line.reserve(prefix_.size() + text.size() + 3);
  if (!prefix_.empty()) line.append(prefix_).append(": ");
  appendEscapedControls(line, text);
  line += '\n';
  // One write per message, so lines never interleave.
  std::cerr.write(line.data(), static_cast<std::streamsize>(line.size()));
  std::cerr.flush();
}

LogLine Log::debug() { return LogLine(prefixes()[kDebug], LogLevel::Debug); }
LogLine Log::info() { return LogLine(prefixes()[kInfo], LogLevel::Info); }
LogLine Log::warning() { return LogLine(prefixes()[kWarning], LogLevel::Warning); }
LogLine Log::error() { return LogLine(prefixes()[kError], LogLevel::Error); }
LogLine Log::critical() { return LogLine(prefixes()[kCritical], LogLevel::Critical); }

void Log::setThreadSink(Sink sink) { threadSink = std::move(sink); }

void Log::setPrefixes(std::string debug, std::string info, std::string warning, std::string error,
                      std::string critical) {
  prefixes() = {std::move(debug), std::move(info), std::move(warning), std::move(error),
                std::move(critical)};
}

}  // namespace Quillfeather
