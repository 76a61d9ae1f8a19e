#include "jobcontrol/job.h"

#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <exception>
#include <iostream>

#include "jobcontrol/fd_input_buffer.h"
#include "jobcontrol/fd_output_buffer.h"
#include "jobcontrol/job_setup.h"
#include "jobcontrol/log.h"

namespace Quillfeather {
namespace {

// Set when CUPS cancels the job; the page loop stops before the next page, so
// no command is ever left half written, and a wait for input ends.
volatile std::sig_atomic_t terminateRequested = 0;

extern "C" void onTerminate(int) { terminateRequested = 1; }

void handleSignals() {
  struct sigaction action {};
  action.sa_handler = onTerminate;
  sigemptyset(&action.sa_mask);
  sigaction(SIGTERM, &action, nullptr);
  // A printer connection that went away shows as a write error, not a signal.
  std::signal(SIGPIPE, SIG_IGN);
}

int usage(const char* program) {
  std::cerr << "Usage\n" << program << " job user title num-copies options [ filename ]\n";
  std::cerr.flush();
  return 1;
}

int runJob(char** argv, std::istream& input, std::ostream& output) {
  PreparedJob job(std::getenv("PPD"), JobArguments{argv[1], argv[2], argv[3], argv[4], argv[5]},
                  input, output);
  Filter& backend = job.backend();
  backend.setCancelCheck([] { return terminateRequested != 0; });
  backend.run();
  output.flush();
  if (!output) throw IOException("Unable to write printer data to the output");
  return backend.hasFailed() ? 1 : 0;
}

}  // namespace

int runFilter(int argc, char** argv) {
  if (argc < 2) return usage(argc > 0 ? argv[0] : "rastertoorn");
  if (std::string_view(argv[1]) == "--version") {
    std::cerr << "3.04\n";
    std::cerr.flush();
    return 0;
  }
  if (argc < 6) return usage(argv[0]);

  Log::setPrefixes("DEBUG", "INFO", "WARNING", "ERROR", "CRIT");
  handleSignals();
  // Every page needs buffers of the same few sizes: keep freed memory in the
  // process instead of returning it to the system and faulting it in again.
  mallopt(M_MMAP_THRESHOLD, 64 << 20);
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
  std::ios::sync_with_stdio(false);

  // The raster comes from the named file or standard input. A file that cannot
  // be opened reads as empty input, which the raster reader reports.
  const int inputFd = argc > 6 ? ::open(argv[6], O_RDONLY | O_CLOEXEC) : 0;
  FdInputBuffer inputBuffer(inputFd, [] { return terminateRequested != 0; });
  std::istream input(&inputBuffer);
  FdOutputBuffer stdoutBuffer(1);
  std::ostream output(&stdoutBuffer);

  try {
    return runJob(argv, input, output);
  } catch (const std::exception& e) {
    Log::critical() << "An exception occurred during filter execution: " << e.what() << std::endl;
  } catch (...) {
    Log::critical() << "An exception occurred during filter execution: unknown error" << std::endl;
  }
  return 1;
}

}  // namespace Quillfeather
