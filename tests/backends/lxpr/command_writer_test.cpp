#include "backends/lxpr/command_writer.h"

#include <gtest/gtest.h>

#include <sstream>

#include "backends/lxpr/command_template.h"

namespace Quillfeather::LXPRCommands {
namespace {

void writeLabelSize(CommandWriter& writer) {
  writer.begin();
  formatCommand(
      writer.stream(), "Daaaa,bbbb,cccc",
      {std::make_shared<UIntegerArgument>(1040u), std::make_shared<UIntegerArgument>(1000u),
       std::make_shared<UIntegerArgument>(1020u)});
  writer.end();
}

TEST(CommandWriter, ReadableFramingIsTheDefault) {
  std::ostringstream out;
  CommandWriter writer(out);
  writeLabelSize(writer);
  EXPECT_EQ(out.str(), "{D1040,1000,1020|}\n");
}

TEST(CommandWriter, UnreadableFraming) {
  std::ostringstream out;
  CommandWriter writer(out);
  writer.useUnreadableFraming();
  writeLabelSize(writer);
  EXPECT_EQ(out.str(), std::string("\x1B"
                                   "D1040,1000,1020\n\0",
                                   18));
}

TEST(CommandWriter, FramingChangeAppliesFromTheNextCommand) {
  std::ostringstream out;
  CommandWriter writer(out);
  writer.begin();
  writer.useUnreadableFraming();
  formatCommand(out, "C", {});
  writer.end();
  writer.useReadableFraming();
  writer.begin();
  formatCommand(out, "C", {});
  writer.end();
  EXPECT_EQ(out.str(), std::string("{C\n\0{C|}\n", 9));
}

TEST(CommandWriter, HeadFollowsTheStartText) {
  std::ostringstream out;
  CommandWriter writer(out);
  writer.setFraming("<", ">", false);
  writer.begin("AX;");
  formatCommand(out, "+bbb,", {std::make_shared<IntegerArgument>(50)});
  formatCommand(out, "+ddd,", {std::make_shared<IntegerArgument>(0)});
  formatCommand(out, "+ff", {std::make_shared<NegativeZeroArgument>()});
  writer.end();
  EXPECT_EQ(out.str(), "<AX;+050,+000,-00>");
}

}  // namespace
}  // namespace Quillfeather::LXPRCommands
