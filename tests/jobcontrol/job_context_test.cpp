#include "jobcontrol/job_context.h"

#include <gtest/gtest.h>

#include <sstream>

#include "ppd/escapes.h"

using namespace Quillfeather;

namespace {

JobContext contextFrom(const std::string& ppdText) {
  std::istringstream in(ppdText);
  PPDFile ppd(in);
  return readJobContext(ppd);
}

}  // namespace

TEST(JobContextTest, DefaultsWithoutStatements) {
  JobContext context = contextFrom("*PPD-Adobe: \"4.3\"\n");
  EXPECT_EQ(context.dateFormat, "%Y-%m-%d");
  EXPECT_EQ(context.timeFormat, "%H:%M:%S");
  EXPECT_EQ(context.language, PrinterLanguage::LXPR);
  EXPECT_EQ(context.insertion("Pre", "Job").type, InsertionType::None);
}

TEST(JobContextTest, InsertionStatements) {
  JobContext context = contextFrom(
      "*ORNPreJobInsertion Text: \"\\x1B@%j\"\n"
      "*ORNPostJobInsertion File: \"/tmp/%i.txt\"\n"
      "*ORNPreLabelInsertion: \"ignored without option keyword\"\n"
      "*ORNPostLabelInsertion Anything: \"first\"\n"
      "*ORNPostLabelInsertion Anything: \"last wins\"\n");
  EXPECT_EQ(context.insertion("Pre", "Job").type, InsertionType::Text);
  EXPECT_EQ(context.insertion("Pre", "Job").text, "\x1B@%j");
  EXPECT_EQ(context.insertion("Post", "Job").type, InsertionType::File);
  EXPECT_EQ(context.insertion("Post", "Job").text, "/tmp/%i.txt");
  EXPECT_EQ(context.insertion("Pre", "Label").type, InsertionType::None);
  EXPECT_EQ(context.insertion("Post", "Label").text, "last wins");
}

TEST(JobContextTest, FormatsAndLanguage) {
  struct Case {
    const char* statement;
    PrinterLanguage language;
  };
  for (const Case& c : {Case{"*ORNBarcodePrinterLanguage: ZPL\n", PrinterLanguage::ZPL},
                        Case{"*ORNBarcodePrinterLanguage: \"KTRN8Q\"\n", PrinterLanguage::KTRN8Q},
                        Case{"*ORNBarcodePrinterLanguage: zpl\n", PrinterLanguage::Unknown},
                        Case{"*ORNBarcodePrinterLanguage\n", PrinterLanguage::LXPR}}) {
    EXPECT_EQ(contextFrom(c.statement).language, c.language) << c.statement;
  }
  JobContext context =
      contextFrom("*ORNInsertionDateFormat: \"%d.%m.%Y\"\n*ORNInsertionTimeFormat: %H%M\n");
  EXPECT_EQ(context.dateFormat, "%d.%m.%Y");
  EXPECT_EQ(context.timeFormat, "%H%M");
}

TEST(JobContextTest, UnknownEscapeIsNotSwallowed) {
  EXPECT_THROW(contextFrom("*ORNPreJobInsertion Text: \"\\q\"\n"), UnknownEscapeException);
}
