// Real PPD files that no one here wrote: every PPD that CUPS's ppdc makes from
// the installed .drv files, and those of the openprinting-ppds package. Each
// must parse or fail exactly as a plain line scanner predicts, and where it
// parses, its options and defaults must match libcups's reading of the file.
#include <cups/ppd.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "expected_ppd_error.h"
#include "ppd/job_settings.h"
#include "ppd/ppd_file.h"
#include "real_ppds.h"

namespace Quillfeather {
namespace {

namespace fs = std::filesystem;
using Testing::RealPPD;
using Testing::realPPDs;

struct LibcupsModel {
  std::set<std::string> options;
  std::map<std::string, std::string> defaults;
};

void collectOptions(ppd_group_t* group, LibcupsModel& model) {
  for (int i = 0; i < group->num_options; ++i) {
    model.options.insert(group->options[i].keyword);
    model.defaults[group->options[i].keyword] = group->options[i].defchoice;
  }
  for (int i = 0; i < group->num_subgroups; ++i) collectOptions(&group->subgroups[i], model);
}

bool readWithLibcups(const fs::path& path, LibcupsModel& model) {
  ppd_file_t* ppd = ppdOpenFile(path.c_str());
  if (ppd == nullptr) return false;
  for (int i = 0; i < ppd->num_groups; ++i) collectOptions(&ppd->groups[i], model);
  ppdClose(ppd);
  return true;
}

TEST(RealPPDFiles, EnoughFilesWereGenerated) {
  size_t fromPpdc = 0;
  for (const RealPPD& ppd : realPPDs())
    if (ppd.path.string().find("/ppdc/") != std::string::npos) ++fromPpdc;
  EXPECT_GE(fromPpdc, 20u);
  EXPECT_GE(realPPDs().size() - fromPpdc, 100u);
}

TEST(RealPPDFiles, ParseOrFailAsTheLineScannerPredicts) {
  size_t parsed = 0;
  size_t refused = 0;
  std::map<std::string, size_t> messages;
  for (const RealPPD& ppd : realPPDs()) {
    SCOPED_TRACE(ppd.path.string());
    Testing::ExpectedPPDOutcome expected = Testing::expectedPPDOutcome(ppd.bytes);
    try {
      PPDFile file(ppd.path.string());
      EXPECT_TRUE(expected.parses)
          << "expected \"" << expected.message << "\" on line " << expected.line;
      EXPECT_FALSE(file.empty());
      ++parsed;
    } catch (const PPDSyntaxException& e) {
      EXPECT_FALSE(expected.parses)
          << "unexpected \"" << e.what() << "\" on line " << e.lineNumber();
      EXPECT_EQ(e.what(), expected.message);
      EXPECT_EQ(e.lineNumber(), expected.line);
      ++refused;
      ++messages[e.what()];
    }
  }
  EXPECT_GT(parsed, 0u);
  std::cout << "[ info ] " << parsed << " real PPD files parsed, " << refused << " refused\n";
  for (const auto& [message, count] : messages)
    std::cout << "[ info ]   " << count << " x " << message << "\n";
}

TEST(RealPPDFiles, OptionsAndDefaultsMatchLibcups) {
  size_t compared = 0;
  for (const RealPPD& ppd : realPPDs()) {
    if (!Testing::expectedPPDOutcome(ppd.bytes).parses) continue;
    SCOPED_TRACE(ppd.path.string());
    PPDFile file(ppd.path.string());
    LibcupsModel cups;
    ASSERT_TRUE(readWithLibcups(ppd.path, cups));
    std::set<std::string> ours;
    for (const PPDStatement& s : file.findAll("OpenUI")) ours.insert(s.optionKeyword.substr(1));
    for (const PPDStatement& s : file.findAll("JCLOpenUI")) ours.insert(s.optionKeyword.substr(1));
    EXPECT_EQ(ours, cups.options);
    JobSettings settings;
    settings.loadDefaults(file);
    for (const auto& [option, defchoice] : cups.defaults) {
      EXPECT_TRUE(file.isOption(option) || file.contains("JCLOpenUI")) << option;
      if (defchoice.empty()) {
        EXPECT_FALSE(settings.contains(option)) << option;
        continue;
      }
      EXPECT_EQ(file.getDefault(option).text, defchoice) << option;
      EXPECT_EQ(settings.get(option, "<none>"), defchoice) << option;
    }
    ++compared;
  }
  EXPECT_GT(compared, 0u);
}

}  // namespace
}  // namespace Quillfeather
