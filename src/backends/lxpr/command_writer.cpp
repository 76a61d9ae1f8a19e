#include "backends/lxpr/command_writer.h"

#include <utility>

namespace Quillfeather::LXPRCommands {

void CommandWriter::setFraming(std::string start, std::string end, bool trailingNewline) {
  start_ = std::move(start);
  end_ = std::move(end);
  trailingNewline_ = trailingNewline;
}

void CommandWriter::begin(std::string_view head) {
  out_.write(start_.data(), static_cast<std::streamsize>(start_.size()));
  out_.write(head.data(), static_cast<std::streamsize>(head.size()));
}

void CommandWriter::end() {
  out_.write(end_.data(), static_cast<std::streamsize>(end_.size()));
  if (trailingNewline_) out_.put('\n');
}

}  // namespace Quillfeather::LXPRCommands
