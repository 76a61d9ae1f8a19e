// orntool SUBCOMMAND ARGS...: dispatches to the registered subcommands. Failures are one line
// on standard error and exit status 1; a wrong command line gives the usage and status 2.
#include <exception>
#include <iostream>
#include <span>
#include <string_view>
#include <vector>

#include "orntool/command.h"

namespace OrnTool {

std::vector<Command>& commands() {
  static std::vector<Command> registered;
  return registered;
}

namespace {

void printUsage() {
  std::cerr << "usage:";
  const char* separator = " ";
  for (const Command& command : commands()) {
    std::cerr << separator << "orntool " << command.name << ' ' << command.usage << '\n';
    separator = "       ";
  }
}

}  // namespace

}  // namespace OrnTool

int main(int argc, char** argv) {
  using namespace OrnTool;
  const std::vector<std::string_view> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  if (arguments.empty()) {
    printUsage();
    return 2;
  }
  for (const Command& command : commands()) {
    if (command.name != arguments[0]) continue;
    try {
      return command.run(std::span(arguments).subspan(1));
    } catch (const UsageError& e) {
      std::cerr << "orntool " << command.name << ": " << e.what() << '\n'
                << "usage: orntool " << command.name << ' ' << command.usage << '\n';
      return 2;
    } catch (const std::exception& e) {
      std::cerr << "orntool " << command.name << ": " << e.what() << '\n';
      return 1;
    }
  }
  std::cerr << "orntool: unknown command \"" << arguments[0] << "\"\n";
  printUsage();
  return 2;
}
