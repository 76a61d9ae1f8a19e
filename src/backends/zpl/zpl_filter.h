#pragma once

#include <string>

#include "jobcontrol/filter.h"

namespace Quillfeather {

// Back end for printers that speak ZPL: every page is downloaded as a graphic
// into printer memory (R:PAGE.GRF), printed as one label and deleted again.
class ZPLFilter : public Filter {
 public:
  ZPLFilter(std::istream& input, std::ostream& output, const JobSettings& settings);

  // ZPL printers report nothing over the back channel: status 0, false.
  bool queryStatus(int& status) override;

 protected:
  void outputPage(const Tesselin::Bitmap& bitmap, const PageHeader& header) override;

 private:
  std::string page_;
};

}  // namespace Quillfeather
