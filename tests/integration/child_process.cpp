#include "child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace OrnIntegration {

namespace {

// In the child after fork: own process group, death with the parent, output to the two
// descriptors, exec.
[[noreturn]] void execChild(const std::vector<std::string>& argv, const Environment& environment,
                            int outputFd, int errorFd) {
  setpgid(0, 0);
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  const int devNull = open("/dev/null", O_RDONLY);
  dup2(devNull, 0);
  dup2(outputFd, 1);
  dup2(errorFd, 2);
  for (const auto& [name, value] : environment) setenv(name.c_str(), value.c_str(), 1);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  execv(args[0], args.data());
  _exit(127);
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

std::string findProgram(const std::string& name) {
  std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
  path += ":/usr/sbin:/sbin:/usr/local/sbin:/usr/bin:/bin";
  std::istringstream folders(path);
  std::string folder;
  while (std::getline(folders, folder, ':')) {
    if (folder.empty()) continue;
    const std::string candidate = folder + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return "";
}

CommandResult runCommand(const std::vector<std::string>& argv, const Environment& environment,
                         std::chrono::milliseconds timeout, const std::string& outputFile) {
  char outputPath[] = "/tmp/orn-integration-output-XXXXXX";
  const int outputFd = mkstemp(outputPath);
  if (outputFd < 0) throw std::runtime_error("mkstemp failed");
  int fileFd = outputFd;
  if (!outputFile.empty()) {
    fileFd = open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fileFd < 0) {
      close(outputFd);
      unlink(outputPath);
      throw std::runtime_error("cannot create " + outputFile);
    }
  }
  const pid_t pid = fork();
  if (pid < 0) {
    close(outputFd);
    if (fileFd != outputFd) close(fileFd);
    throw std::runtime_error("fork failed");
  }
  if (pid == 0) execChild(argv, environment, fileFd, outputFd);
  close(outputFd);
  if (fileFd != outputFd) close(fileFd);

  CommandResult result;
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(-pid, SIGKILL);
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      result.timedOut = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (!result.timedOut && WIFEXITED(status)) result.exitStatus = WEXITSTATUS(status);
  result.output = readFile(outputPath);
  unlink(outputPath);
  return result;
}

BackgroundProcess::BackgroundProcess(const std::vector<std::string>& argv,
                                     const std::string& logPath) {
  const int logFd = open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (logFd < 0) throw std::runtime_error("cannot create " + logPath);
  pid_ = fork();
  if (pid_ < 0) {
    close(logFd);
    throw std::runtime_error("fork failed");
  }
  if (pid_ == 0) execChild(argv, {}, logFd, logFd);
  close(logFd);
}

BackgroundProcess::~BackgroundProcess() { stop(std::chrono::seconds(10)); }

bool BackgroundProcess::running() {
  if (reaped_) return false;
  int status = 0;
  if (waitpid(pid_, &status, WNOHANG) == pid_) reaped_ = true;
  return !reaped_;
}

void BackgroundProcess::stop(std::chrono::milliseconds grace) {
  if (!running()) return;
  kill(pid_, SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + grace;
  while (running() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  // Whatever is left of the group (the server or programs it started) goes now.
  kill(-pid_, SIGKILL);
  if (!reaped_) {
    int status = 0;
    waitpid(pid_, &status, 0);
    reaped_ = true;
  }
}

}  // namespace OrnIntegration
