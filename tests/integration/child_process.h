#pragma once

// Child processes for the CUPS integration test: short commands with a time limit, and one
// long-running server that dies with the test (also when the test itself is killed).
#include <sys/types.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

namespace OrnIntegration {

struct CommandResult {
  int exitStatus = -1;  // -1 when the command did not exit by itself
  bool timedOut = false;
  std::string output;  // standard output and standard error together
};

using Environment = std::vector<std::pair<std::string, std::string>>;

// The full path of a program found in PATH or the usual sbin folders, or "" when there is none.
std::string findProgram(const std::string& name);

// Runs argv (argv[0] a path) with the extra environment and no standard input. A command still
// running after the timeout is killed with its process group. With an output file, standard
// output goes there and only standard error is captured.
CommandResult runCommand(const std::vector<std::string>& argv, const Environment& environment,
                         std::chrono::milliseconds timeout, const std::string& outputFile = "");

// A server process in its own process group, with standard output and error in a file. It is
// killed when this object goes away and when the test process dies.
class BackgroundProcess {
 public:
  BackgroundProcess(const std::vector<std::string>& argv, const std::string& logPath);
  ~BackgroundProcess();
  BackgroundProcess(const BackgroundProcess&) = delete;
  BackgroundProcess& operator=(const BackgroundProcess&) = delete;

  bool running();
  // SIGTERM, then SIGKILL to the whole group once the grace time has passed.
  void stop(std::chrono::milliseconds grace);

 private:
  pid_t pid_ = -1;
  bool reaped_ = false;
};

}  // namespace OrnIntegration
