#pragma once

#include <string>

#include "backends/zpl/zpl_graphic.h"
#include "jobcontrol/filter.h"

namespace Quillfeather {

// Back end for printers that speak ZPL: every page is downloaded as a graphic
// into printer memory (R:PAGE.GRF), printed as one label and deleted again. The
// ZPLCompression setting (None, Hex or Z64) picks the form of the graphic data.
class ZPLFilter : public Filter {
 public:
  ZPLFilter(std::istream& input, std::ostream& output, const JobSettings& settings);

  // ZPL printers report nothing over the back channel: status 0, false.
  bool queryStatus(int& status) override;

 protected:
  void outputPage(const Tesselin::Bitmap& bitmap, const PageHeader& header) override;

 private:
  ZplCompression compression_ = ZplCompression::None;
  std::string page_;
};

}  // namespace Quillfeather
