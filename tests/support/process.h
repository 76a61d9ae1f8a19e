#pragma once

// Runs a program the way CUPS runs a filter: arguments, environment, standard
// input from bytes, standard output and error captured.
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace OrnTest {

struct ProcessResult {
  int exitStatus = -1;  // -1 when the process did not exit normally
  int signal = 0;       // the terminating signal, if any
  std::string out;
  std::string err;
};

struct ProcessOptions {
  std::string input;                                      // standard input
  std::map<std::string, std::optional<std::string>> env;  // nullopt removes a variable
  int timeoutSeconds = 60;
  int backChannelFd = -1;  // passed to the child as descriptor 3 when set
};

ProcessResult runProcess(const std::vector<std::string>& argv, const ProcessOptions& options = {});

// Lines of a text, without their line feeds.
std::vector<std::string> lines(const std::string& text);

}  // namespace OrnTest
