#pragma once

// A private CUPS scheduler for one test: its own configuration, spool, cache, state and log
// folders in a fresh temp tree, listening on a free loopback port. ServerBin links CUPS's own
// filters, back ends and helper programs plus a copy of the filter under test; DataDir links
// CUPS's data with a model folder that can hold our PPDs, so that `lpadmin -m` finds them.
#include <cups/ipp.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "support/process.h"

namespace OrnTest {

struct CupsdSandboxSettings {
  std::string filterPath;  // copied to ServerBin/filter/rastertoorn
  std::string modelDir;    // linked as DataDir/model/orn when not empty
};

class CupsdSandbox {
 public:
  static std::string cupsdPath();  // "" when CUPS's scheduler is not installed

  explicit CupsdSandbox(const CupsdSandboxSettings& settings);
  ~CupsdSandbox();
  CupsdSandbox(const CupsdSandbox&) = delete;
  CupsdSandbox& operator=(const CupsdSandbox&) = delete;

  // Starts the scheduler and waits until it accepts connections; throws with its log.
  void start(std::chrono::seconds timeout);
  void stop();

  const std::string& root() const { return root_; }
  int port() const { return port_; }

  // Runs a CUPS client program (lp, lpadmin, lpstat ...) against this scheduler.
  CommandResult client(const std::string& program, std::vector<std::string> arguments,
                       std::chrono::seconds timeout = std::chrono::seconds(60)) const;

  // Submits a file with lp and returns the job id; throws when lp fails.
  int submit(const std::string& queue, const std::string& file, const std::string& title,
             const std::vector<std::string>& options) const;

  // Waits until the job has finished (completed, aborted, cancelled or stopped) and returns
  // its state; IPP_JSTATE_PENDING when the time ran out first.
  ipp_jstate_t waitForJob(int job, std::chrono::steady_clock::time_point deadline) const;

  std::string errorLog() const;
  std::string jobLog(int job) const;  // the error_log lines of one job

 private:
  std::string root_;
  int port_ = 0;
  std::unique_ptr<BackgroundProcess> cupsd_;
};

// A temp folder that is removed again, reachable by CUPS's user when running as root.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// CUPS's folder (--serverbin, --datadir) as cups-config names it, or the fallback.
std::string cupsConfig(const std::string& flag, const std::string& fallback);

}  // namespace OrnTest
