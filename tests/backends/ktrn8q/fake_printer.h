#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace Quillfeather::ktrn8q::test {

// One step of a scripted printer on the far end of a socketpair: read a
// request of the given length, then answer with the chunks, pausing before each.
struct PrinterStep {
  std::size_t requestBytes = 0;
  std::vector<std::string> chunks;
  std::chrono::milliseconds pause{0};
};

// Runs a script on its own thread. After the script the printer either closes
// its end or stays silent until destroyed.
class FakePrinter {
 public:
  FakePrinter(std::vector<PrinterStep> script, bool closeAfterScript);
  ~FakePrinter();
  FakePrinter(const FakePrinter&) = delete;
  FakePrinter& operator=(const FakePrinter&) = delete;

  // Our end of the socketpair.
  int descriptor() const { return ours_; }
  // Waits for the script to finish and returns every byte the printer received.
  std::string received();
  // Closes the printer's end now (before any request).
  void hangUp();

 private:
  void serve(std::vector<PrinterStep> script, bool closeAfterScript);

  int ours_ = -1;
  int theirs_ = -1;
  int stopRead_ = -1;
  int stopWrite_ = -1;
  std::string received_;
  std::thread thread_;
};

}  // namespace Quillfeather::ktrn8q::test
