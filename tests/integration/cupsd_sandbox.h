#pragma once

// A private CUPS scheduler for one test in a fresh temp tree (configuration, spool, logs,
// ServerBin with CUPS's programs and a copy of the filter, DataDir with an optional model
// folder that `lpadmin -m orn/...` finds), listening on a free loopback port.
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

// A temp folder below /tmp that CUPS's user can read (also as root), removed again.
struct TempFolder {
  TempFolder();
  ~TempFolder();
  std::string path;
};

class CupsdSandbox {
 public:
  static std::string cupsdPath();  // "" when CUPS's scheduler is not installed
  explicit CupsdSandbox(const CupsdSandboxSettings& settings);
  ~CupsdSandbox();
  // Starts the scheduler and waits until it accepts connections; throws with its log.
  void start(std::chrono::seconds timeout);
  const std::string& root() const { return tree_.path; }
  int port() const { return port_; }
  // Runs a CUPS client program (lp, lpadmin, lpinfo ...) against this scheduler.
  CommandResult client(const std::string& program, std::vector<std::string> arguments) const;
  // Submits a file with lp and returns the job id; throws when lp fails.
  int submit(const std::string& queue, const std::string& file,
             const std::vector<std::string>& options) const;
  // The job's state once it has finished, or IPP_JSTATE_PENDING at the deadline.
  ipp_jstate_t waitForJob(int job, std::chrono::steady_clock::time_point deadline) const;
  std::string errorLog() const;
  std::string jobLog(int job) const;  // the error_log lines of one job

 private:
  TempFolder tree_;
  int port_ = 0;
  std::unique_ptr<BackgroundProcess> cupsd_;
};

// A folder that cups-config names (--serverbin, --datadir), or the fallback.
std::string cupsConfig(const std::string& flag, const std::string& fallback);

}  // namespace OrnTest
