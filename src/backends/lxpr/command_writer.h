#pragma once

#include <ostream>
#include <string>
#include <string_view>

namespace Quillfeather::LXPRCommands {

// Frames LXPR commands on one stream: begin() writes the start text and an
// optional head, end() the end text and, when set, a line feed. The readable
// framing is "{" ... "|}" LF; the unreadable one is ESC ... LF NUL.
class CommandWriter {
 public:
  explicit CommandWriter(std::ostream& out) : out_(out) {}

  void setFraming(std::string start, std::string end, bool trailingNewline);
  void useReadableFraming() { setFraming("{", "|}", true); }
  void useUnreadableFraming() { setFraming(std::string("\x1B", 1), std::string("\n\0", 2), false); }

  void begin(std::string_view head = {});
  void end();

  std::ostream& stream() { return out_; }

 private:
  std::ostream& out_;
  std::string start_ = "{";
  std::string end_ = "|}";
  bool trailingNewline_ = true;
};

}  // namespace Quillfeather::LXPRCommands
