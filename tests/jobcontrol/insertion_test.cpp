#include "jobcontrol/insertion.h"

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "backends/zpl/zpl_filter.h"
#include "ppd/escapes.h"
#include "support/capture_stderr.h"
#include "support/raster_builder.h"

using namespace Quillfeather;
namespace fs = std::filesystem;

namespace {

InsertionVariables jobVariables(const std::string& title = "Label 7") {
  return makeInsertionVariables("42", "bob", title);
}

fs::path tempFile(const std::string& name, const std::string& content) {
  const fs::path dir = fs::temp_directory_path() / ("orn-insertion-" + std::to_string(getpid()));
  fs::create_directories(dir);
  const fs::path path = dir / name;
  std::ofstream(path, std::ios::binary) << content;
  return path;
}

}  // namespace

TEST(SubstituteVariablesTest, Codes) {
  const std::pair<const char*, const char*> cases[] = {
      {"%i-%u", "42-bob"}, {"%%d", "%d"},  {"%%h", "%h"}, {"%%%%", "%%"},
      {"100%", "100%"},    {"% i", "% i"}, {"%x", "%x"},  {"%j/%p", "Label 7/0"},
      {"a%-b", "a%-b"},    {"", ""},
  };
  const InsertionVariables variables = jobVariables();
  for (auto [text, expected] : cases) {
    OrnTest::CaptureStderr log;
    EXPECT_EQ(substituteVariables(text, variables), expected) << text;
  }
}

TEST(SubstituteVariablesTest, ReplacementsAreNotScannedAgain) {
  OrnTest::CaptureStderr log;
  EXPECT_EQ(substituteVariables("%j", jobVariables("50%u off")), "50%u off");
  EXPECT_EQ(log.text(), "");
}

TEST(SubstituteVariablesTest, UnknownCodeIsLogged) {
  OrnTest::CaptureStderr log;
  EXPECT_EQ(substituteVariables("a%qb", jobVariables()), "a%qb");
  EXPECT_EQ(log.text(), "Info: Unknown value: %q\n");
}

TEST(ExpandInsertionTest, TextAndNone) {
  const InsertionVariables variables = jobVariables();
  EXPECT_EQ(expandInsertion({InsertionType::Text, unescape("\\x1B%i")}, variables),
            "\x1B"
            "42");
  EXPECT_EQ(expandInsertion({InsertionType::None, "%i"}, variables), "");
  EXPECT_EQ(expandInsertion({InsertionType::Text, "%i"}, InsertionVariables{}), "");
  EXPECT_EQ(expandInsertion({static_cast<InsertionType>(7), "%i"}, variables), "");
}

TEST(ExpandInsertionTest, FileLines) {
  const std::pair<std::string, std::string> cases[] = {
      {"A\nB", "A\nB\n"},
      {"A\nB\n", "A\nB\n"},
      {"A\r\nB\r\n", "A\r\nB\r\n"},
      {"", ""},
      {"\n\n", "\n\n"},
      {"user %u page %p\n", "user bob page 0\n"},
      {std::string("nul\0byte", 8), std::string("nul\0byte\n", 9)},
  };
  int n = 0;
  for (const auto& [content, expected] : cases) {
    const fs::path path = tempFile("file" + std::to_string(n++), content);
    EXPECT_EQ(expandInsertion({InsertionType::File, path.string()}, jobVariables()), expected);
  }
}

TEST(ExpandInsertionTest, FilePathWithJobTitle) {
  const fs::path path = tempFile("Label 7", "title file\n");
  const std::string pattern = (path.parent_path() / "%j").string();
  EXPECT_EQ(expandInsertion({InsertionType::File, pattern}, jobVariables()), "title file\n");
}

TEST(ExpandInsertionTest, MissingFileSendsNothing) {
  OrnTest::CaptureStderr log;
  EXPECT_EQ(expandInsertion({InsertionType::File, "/nonexistent/orn/%i"}, jobVariables()), "");
  EXPECT_EQ(log.text(), "Info: Unable to read file: /nonexistent/orn/42\n");
}

TEST(ExpandInsertionTest, EndlessFileIsNotSent) {
  OrnTest::CaptureStderr log;
  EXPECT_EQ(expandInsertion({InsertionType::File, "/dev/zero"}, jobVariables()), "");
  EXPECT_EQ(log.text(), "Warning: Insertion file is too large and was not sent: /dev/zero\n");
}

TEST(ExpandInsertionTest, JobValuesCannotLeaveTheFolder) {
  const fs::path secret = tempFile("secret", "do not send\n");
  const std::string pattern = (secret.parent_path() / "sub" / "%j").string();
  for (const char* title : {"../secret", "..", ".", "a/b"}) {
    OrnTest::CaptureStderr log;
    EXPECT_EQ(expandInsertion({InsertionType::File, pattern}, jobVariables(title)), "") << title;
    EXPECT_NE(log.text().find("Warning: "), std::string::npos);
  }
  // A literal "%%j" is not a job value and does not count.
  const fs::path literal = tempFile("%j", "literal\n");
  const std::string escaped = (literal.parent_path() / "%%j").string();
  EXPECT_EQ(expandInsertion({InsertionType::File, escaped}, jobVariables("../x")), "literal\n");
}

TEST(UpdateDateTimeTest, FormatsWithTheContextFormats) {
  JobContext context;
  context.dateFormat = "%d.%m.%Y";
  context.timeFormat = "T%H";
  InsertionVariables variables = jobVariables();
  const std::time_t now = std::time(nullptr);
  updateDateTime(variables, context);
  std::tm local{};
  localtime_r(&now, &local);
  char expected[64];
  std::strftime(expected, sizeof expected, "%d.%m.%Y", &local);
  EXPECT_EQ(variables["%d"], expected);
  EXPECT_EQ(variables["%t"].substr(0, 1), "T");
  EXPECT_EQ(variables["%t"].size(), 3u);
}

TEST(InsertionHooksTest, SendCommandsAroundJobAndPages) {
  JobContext context;
  context.insertions["Pre"]["Job"] = {InsertionType::Text, "<job %p>"};
  context.insertions["Pre"]["Label"] = {InsertionType::Text, "<label %p>"};
  context.insertions["Post"]["Label"] = {InsertionType::Text, "</label %p>"};
  context.insertions["Post"]["Job"] = {InsertionType::Text, "</job %p>"};
  InsertionVariables variables = jobVariables();

  OrnTest::TestPage page;
  page.width = 8;
  page.height = 1;
  page.data = {0};
  std::istringstream in(OrnTest::rasterStream({page, page, page}));
  std::ostringstream out;
  OrnTest::CaptureStderr log;
  ZPLFilter filter(in, out, JobSettings());
  installInsertionHooks(filter, variables, context);
  filter.run();

  const std::string data = out.str();
  EXPECT_EQ(data.rfind("<job 0>", 0), 0u);
  EXPECT_EQ(data.substr(data.size() - 8), "</job 3>");
  size_t pos = 0;
  for (int p = 1; p <= 3; ++p) {
    pos = data.find("<label " + std::to_string(p) + ">", pos);
    ASSERT_NE(pos, std::string::npos);
    pos = data.find("~DGR", pos);
    pos = data.find("</label " + std::to_string(p) + ">", pos);
    ASSERT_NE(pos, std::string::npos);
    EXPECT_NE(log.text().find("Info: Processing page: " + std::to_string(p) + "\n"),
              std::string::npos);
    EXPECT_NE(log.text().find("PAGE: " + std::to_string(p) + " 1\n"), std::string::npos);
  }
}

TEST(InsertionHooksTest, NoCommandsStillAccountPages) {
  JobContext context;
  InsertionVariables variables = jobVariables();
  OrnTest::TestPage page;
  page.width = 8;
  page.height = 1;
  page.data = {0x80};
  std::istringstream in(OrnTest::rasterStream({page, page}));
  std::ostringstream out;
  OrnTest::CaptureStderr log;
  ZPLFilter filter(in, out, JobSettings());
  installInsertionHooks(filter, variables, context);
  filter.run();
  EXPECT_EQ(out.str().rfind("~DGR", 0), 0u);
  EXPECT_NE(log.text().find("PAGE: 1 1\n"), std::string::npos);
  EXPECT_NE(log.text().find("PAGE: 2 1\n"), std::string::npos);
}

// A short file of codes with a long title expands to far more than the file: it
// reaches the sink in pieces no longer than a line or a value, never as one string.
TEST(ExpandInsertionTest, LongExpansionIsStreamed) {
  std::string codes;
  for (int i = 0; i < 4096; ++i) codes += "%j%j%%\n";
  const fs::path path = tempFile("codes.txt", codes);
  const std::string title(4096, 'T');
  size_t total = 0, longest = 0, lineFeeds = 0;
  expandInsertion({InsertionType::File, path.string()}, jobVariables(title),
                  [&](std::string_view piece) {
                    total += piece.size();
                    longest = std::max(longest, piece.size());
                    lineFeeds += piece == "\n";
                  });
  EXPECT_EQ(total, 4096 * (2 * title.size() + 2));
  EXPECT_EQ(longest, title.size());
  EXPECT_EQ(lineFeeds, 4096u);
}
