#pragma once

#include <cstdint>
#include <istream>
#include <ostream>
#include <string>

#include "backends/ktrn8q/ktrn8q_commands.h"
#include "jobcontrol/filter.h"

namespace Quillfeather {

// Back end for the KT-RN8Q two-sided ticket printer with a knife cutter. In the
// two-sided modes odd pages are fronts and even pages backs of one sheet; a
// sheet is printed once its back has been sent (or at the end of the job).
class KTRN8QFilter : public Filter {
 public:
  enum class TwoSidedMode : uint8_t { None = 0, DuplexNoTumble = 1, DuplexTumble = 2 };
  enum class CuttingMode : uint8_t { None = 0, EveryPage = 1, EndOfDocument = 2 };

  KTRN8QFilter(std::istream& input, std::ostream& output, const JobSettings& settings);

  // Reads the printer's configuration and status over the CUPS back channel.
  bool queryStatus(int& status) override;

  TwoSidedMode twoSidedMode() const { return twoSidedMode_; }
  bool printOnBackOnly() const { return printOnBackOnly_; }
  CuttingMode cuttingMode() const { return cuttingMode_; }

 protected:
  void startJob() override;
  void endJob() override;
  void outputPage(const Tesselin::Bitmap& bitmap, const PageHeader& header) override;
  bool needsTumble() override;

 private:
  ktrn8q::Side currentSide() const;
  void sendPrintingSide(ktrn8q::Side side);
  void sendPrint();
  void sendKnifeCut();
  void sendRows(const Tesselin::Bitmap& bitmap);
  void flushBuffer();

  TwoSidedMode twoSidedMode_ = TwoSidedMode::None;
  bool printOnBackOnly_ = false;
  CuttingMode cuttingMode_ = CuttingMode::None;
  uint32_t firstPageHeight_ = 0;
  // Commands collect here and go to the output in large writes.
  std::string buffer_;
};

}  // namespace Quillfeather
