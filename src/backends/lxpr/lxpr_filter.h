#pragma once

#include <array>
#include <cstdint>
#include <istream>
#include <ostream>

#include "backends/lxpr/command_template.h"
#include "backends/lxpr/command_writer.h"
#include "jobcontrol/filter.h"

namespace Quillfeather {

// Back end for LXPR label printers. Every page is a complete label: size,
// adjustments, clear, graphic (raw or SKARN), RFID writes and the issue command.
class LXPRFilter : public Filter {
 public:
  LXPRFilter(std::istream& input, std::ostream& output, const JobSettings& settings);
  ~LXPRFilter() override = default;

  // Looks, without waiting, for a status response on the back channel.
  bool queryStatus(int& status) override;

 protected:
  void outputPage(const Tesselin::Bitmap& bitmap, const PageHeader& header) override;

 private:
  void send(std::string_view text, const LXPRCommands::ArgumentList& arguments);
  void sendFeedAdjustment();
  void sendToneAdjustments();
  void sendGraphic(const Tesselin::Bitmap& bitmap, const PageHeader& header);
  void sendRFIDWrites();

  LXPRCommands::CommandWriter writer_;
  uint32_t printMethod_ = 0;
  // One per RFID bank: its refusal was logged already.
  std::array<bool, 2> rfidRefusalLogged_{};
};

}  // namespace Quillfeather
