#pragma once

// Child processes for the tests (each in its own process group, dying with the test): a program
// run as CUPS runs a filter, commands with a time limit, and a long-running server.
#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <utility>
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
};

// Runs argv (argv[0] a path); a child still running after the timeout is killed with its group.
ProcessResult runProcess(const std::vector<std::string>& argv, const ProcessOptions& options = {});

// The built rastertoorn run as CUPS runs it: job 7, user bob, title "Test job", one copy, the
// options and the extra arguments (an input file); PPD names the PPD (unset when empty).
ProcessResult runFilter(const std::string& ppd, const std::string& raster,
                        const std::string& options = "",
                        const std::vector<std::string>& extraArgs = {});

// A shipped PPD by printer language: "zpl", "lxpr" or "ktrn8q".
std::string modelPPD(const std::string& language);

std::vector<std::string> lines(const std::string& text);  // without their line feeds
std::vector<std::string> linesWithPrefix(const std::string& text, const std::string& prefix);
std::string fileContents(const std::string& path);
// Writes a file into a per-process temp folder and returns its path.
std::string writeTempFile(const std::string& name, const std::string& content);

// The full path of a program found in PATH or the usual sbin folders, or "" when there is none.
std::string findProgram(const std::string& name);

struct CommandResult {
  int exitStatus = -1;  // -1 when the command did not exit by itself
  std::string output;   // standard output, then standard error
};

using Environment = std::vector<std::pair<std::string, std::string>>;

// runProcess without input, the outputs together.
CommandResult runCommand(const std::vector<std::string>& argv, const Environment& environment = {},
                         std::chrono::milliseconds timeout = std::chrono::seconds(60));

// A server, its output in a file; killed with this object or the test.
class BackgroundProcess {
 public:
  BackgroundProcess(const std::vector<std::string>& argv, const std::string& logPath);
  ~BackgroundProcess();
  BackgroundProcess(const BackgroundProcess&) = delete;
  bool running();
  // SIGTERM, then SIGKILL to the whole group once the grace time has passed.
  void stop(std::chrono::milliseconds grace);

 private:
  pid_t pid_ = -1;
  bool reaped_ = false;
};

}  // namespace OrnTest
