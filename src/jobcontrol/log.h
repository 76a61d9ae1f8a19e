#pragma once

#include <functional>
#include <sstream>
#include <string>
#include <string_view>

namespace Quillfeather {

// One message for the log: the caller streams its text into it, and the whole
// line goes to standard error when the statement ends. Control bytes in the
// text (values from the job, the PPD or the printer) are written as \xHH, so a
// message is always exactly one line: CUPS reads every line as a new message,
// and a line feed in a value could otherwise forge a "PAGE:" or "CRIT:" line.
// A final std::endl only ends the message.
enum class LogLevel { Debug, Info, Warning, Error, Critical };

class LogLine {
 public:
  LogLine(const std::string& prefix, LogLevel level) : prefix_(prefix), level_(level) {}
  ~LogLine();

  LogLine(const LogLine&) = delete;
  LogLine& operator=(const LogLine&) = delete;

  template <typename T>
  LogLine& operator<<(const T& value) {
    text_ << value;
    return *this;
  }
  LogLine& operator<<(std::ostream& (*manipulator)(std::ostream&)) {
    manipulator(text_);
    return *this;
  }

 private:
  const std::string& prefix_;
  LogLevel level_;
  std::ostringstream text_;
};

// Appends text with every byte below 0x20 and 0x7F written as \xHH.
void appendEscapedControls(std::string& out, std::string_view text);

// The process-wide log on standard error. Each level starts a message with its
// prefix and ": ". There is no threshold: CUPS decides which levels it keeps.
class Log {
 public:
  static LogLine debug();
  static LogLine info();
  static LogLine warning();
  static LogLine error();
  static LogLine critical();

  // Replaces the five prefixes, in level order (the entry point sets the CUPS ones).
  static void setPrefixes(std::string debug, std::string info, std::string warning,
                          std::string error, std::string critical);
  // Sends the calling thread's messages (text without prefix, controls escaped) to a function
  // instead of standard error, for a printer application that runs each job on a thread of its
  // own; an empty function restores standard error.
  using Sink = std::function<void(LogLevel, std::string_view)>;
  static void setThreadSink(Sink sink);
};

}  // namespace Quillfeather
