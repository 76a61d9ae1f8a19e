#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace OrnTool {

// A subcommand failed for a reason the user can act on; the message is printed as is.
class UsageError : public std::exception {
 public:
  explicit UsageError(std::string message) : message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

// One subcommand: `run` gets the arguments after the subcommand's name and returns the exit
// status; it throws UsageError or any std::exception on failure.
struct Command {
  std::string_view name;
  std::string_view usage;  // the arguments, e.g. "IN.tif OUT.tif [--compression lzw|deflate]"
  int (*run)(std::span<const std::string_view> arguments);
};

// The subcommands, in registration order.
std::vector<Command>& commands();

// Registers a subcommand from a static object in the subcommand's own file.
struct RegisterCommand {
  explicit RegisterCommand(Command command) { commands().push_back(command); }
};

}  // namespace OrnTool
