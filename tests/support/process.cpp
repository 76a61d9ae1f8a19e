#include "support/process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace OrnTest {
namespace {

int openOrThrow(const std::string& path, int flags) {
  const int fd = open(path.c_str(), flags, 0644);
  if (fd < 0) throw std::runtime_error("cannot open " + path);
  return fd;
}

// Forks a child in its own process group that dies with the test, with descriptors 0-2 and the
// environment set.
pid_t spawn(const std::vector<std::string>& argv, int in, int out, int err,
            const std::map<std::string, std::optional<std::string>>& env) {
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid > 0) return pid;
  setpgid(0, 0);
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  dup2(in, 0);
  dup2(out, 1);
  dup2(err, 2);
  close(3);
  for (const auto& [name, value] : env) {
    value ? setenv(name.c_str(), value->c_str(), 1) : unsetenv(name.c_str());
  }
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  execv(args[0], args.data());
  _exit(127);
}

}  // namespace

ProcessResult runProcess(const std::vector<std::string>& argv, const ProcessOptions& options) {
  std::string base = "/tmp/orn-proc-XXXXXX";
  const int unique = mkstemp(base.data());
  if (unique < 0) throw std::runtime_error("mkstemp failed");
  close(unique);
  const std::string in = base + ".in", out = base + ".out", err = base + ".err";
  std::ofstream(in, std::ios::binary) << options.input;
  const int fds[] = {openOrThrow(in, O_RDONLY), openOrThrow(out, O_WRONLY | O_CREAT | O_TRUNC),
                     openOrThrow(err, O_WRONLY | O_CREAT | O_TRUNC)};
  const pid_t pid = spawn(argv, fds[0], fds[1], fds[2], options.env);
  for (int fd : fds) close(fd);

  ProcessResult result;
  int status = 0;
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(options.timeoutSeconds);
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(-pid, SIGKILL);
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (WIFEXITED(status)) result.exitStatus = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  result.out = fileContents(out);
  result.err = fileContents(err);
  for (const std::string& path : {base, in, out, err}) std::filesystem::remove(path);
  return result;
}

ProcessResult runFilter(const std::string& ppd, const std::string& raster,
                        const std::string& options, const std::vector<std::string>& extraArgs) {
  std::vector<std::string> argv = {
      std::string(ORN_BINARY_DIR) + "/rastertoorn", "7", "bob", "Test job", "1", options};
  argv.insert(argv.end(), extraArgs.begin(), extraArgs.end());
  ProcessOptions process;
  process.input = raster;
  process.env["PPD"] = ppd.empty() ? std::nullopt : std::optional<std::string>(ppd);
  return runProcess(argv, process);
}

std::string modelPPD(const std::string& language) {
  return std::string(ORN_SOURCE_DIR) + "/models/orn-" + language + ".ppd";
}

std::string fileContents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string writeTempFile(const std::string& name, const std::string& content) {
  const auto dir =
      std::filesystem::temp_directory_path() / ("orn-test-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  std::ofstream(dir / name, std::ios::binary) << content;
  return (dir / name).string();
}

std::vector<std::string> linesWithPrefix(const std::string& text, const std::string& prefix) {
  std::vector<std::string> result;
  for (const std::string& line : lines(text)) {
    if (line.starts_with(prefix)) result.push_back(line);
  }
  return result;
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) result.push_back(line);
  return result;
}

std::string findProgram(const std::string& name) {
  std::istringstream folders(std::string(std::getenv("PATH") ? std::getenv("PATH") : "") +
                             ":/usr/sbin:/sbin:/usr/local/sbin:/usr/bin:/bin");
  for (std::string folder; std::getline(folders, folder, ':');) {
    if (!folder.empty() && access((folder + "/" + name).c_str(), X_OK) == 0) {
      return folder + "/" + name;
    }
  }
  return "";
}

CommandResult runCommand(const std::vector<std::string>& argv, const Environment& environment,
                         std::chrono::milliseconds timeout) {
  ProcessOptions options;
  for (const auto& [name, value] : environment) options.env[name] = value;
  options.timeoutSeconds =
      static_cast<int>(std::chrono::ceil<std::chrono::seconds>(timeout).count());
  const ProcessResult r = runProcess(argv, options);
  return {r.exitStatus, r.out + r.err};
}

BackgroundProcess::BackgroundProcess(const std::vector<std::string>& argv,
                                     const std::string& logPath) {
  const int in = openOrThrow("/dev/null", O_RDONLY);
  const int log = openOrThrow(logPath, O_WRONLY | O_CREAT | O_TRUNC);
  pid_ = spawn(argv, in, log, log, {});
  close(in);
  close(log);
}

BackgroundProcess::~BackgroundProcess() { stop(std::chrono::seconds(10)); }

bool BackgroundProcess::running() {
  int status = 0;
  if (!reaped_ && waitpid(pid_, &status, WNOHANG) == pid_) reaped_ = true;
  return !reaped_;
}

void BackgroundProcess::stop(std::chrono::milliseconds grace) {
  if (!running()) return;
  kill(pid_, SIGTERM);
  for (const auto end = std::chrono::steady_clock::now() + grace;
       running() && std::chrono::steady_clock::now() < end;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  kill(-pid_, SIGKILL);  // whatever is left of the group (the server or programs it started)
  int status = 0;
  if (!reaped_) waitpid(pid_, &status, 0);
  reaped_ = true;
}

}  // namespace OrnTest
