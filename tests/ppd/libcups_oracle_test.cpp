// Real PPD files that no one here wrote: every PPD that CUPS's ppdc makes from
// the installed .drv files, and a sample of the openprinting-ppds package. Each
// must parse or fail exactly as a plain line scanner predicts; where it parses,
// its options and defaults must match libcups's reading of it, and option
// strings written as cupsd writes them must give the pairs cupsParseOptions gives.
#include <cups/cups.h>
#include <cups/ppd.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "ppd/job_settings.h"
#include "ppd/ppd_file.h"

namespace Quillfeather {
namespace {

namespace fs = std::filesystem;
using std::string_view;

struct RealPPD {
  fs::path path;
  std::string bytes;
};

// Generated once per run into a temporary directory, removed at exit.
const std::vector<RealPPD>& realPPDs() {
  static const struct Temp {
    fs::path path = fs::temp_directory_path() / ("orn_ppd_oracle_" + std::to_string(getpid()));
    ~Temp() { fs::remove_all(path, ec); }
    mutable std::error_code ec;
  } temp;
  static const std::vector<RealPPD> ppds = [] {
    std::error_code ec;
    for (const auto& drv : fs::directory_iterator("/usr/share/cups/drv", ec)) {
      if (drv.path().extension() != ".drv") continue;
      fs::path out = temp.path / "ppdc" / drv.path().stem();
      fs::create_directories(out);
      if (std::system(
              ("ppdc -d '" + out.string() + "' '" + drv.path().string() + "' >/dev/null 2>&1")
                  .c_str()))
        continue;
    }
    // Every 25th PPD of the openprinting-ppds archive.
    if (std::system(("python3 '" ORN_SOURCE_DIR "/tests/ppd/extract_openprinting_ppds.py' "
                     "/usr/lib/cups/driver/openprinting-ppds '" +
                     (temp.path / "openprinting").string() + "' 25 >/dev/null 2>&1")
                        .c_str()))
      return std::vector<RealPPD>{};
    std::vector<RealPPD> result;
    for (const auto& entry : fs::recursive_directory_iterator(temp.path, ec)) {
      if (!entry.is_regular_file()) continue;
      std::ifstream in(entry.path(), std::ios::binary);
      result.push_back({entry.path(), {std::istreambuf_iterator<char>(in), {}}});
    }
    return result;
  }();
  return ppds;
}

// A plain reference for the one PPD syntax rule these files break: a quoted value of a statement
// without option keyword must close on its line. The first such value as "line: message", or "".
// A parser reporting any other error on these files fails the comparison too.
std::string expectedOutcome(string_view bytes) {
  std::vector<string_view> lines;  // without their LF or CR LF
  for (size_t start = 0; start < bytes.size();) {
    size_t lf = std::min(bytes.find('\n', start), bytes.size());
    size_t end = lf < bytes.size() && lf > start && bytes[lf - 1] == '\r' ? lf - 1 : lf;
    lines.push_back(bytes.substr(start, end - start));
    start = lf + 1;
  }
  for (size_t i = 0; i < lines.size(); ++i) {
    string_view s = lines[i];
    if (s.size() < 2 || s[0] != '*' || s[1] == '%') continue;
    size_t k = 1;
    while (k < s.size() && s[k] > 32 && s[k] < 127 && s[k] != ':' && s[k] != '/') ++k;
    size_t c = s.find_first_not_of(" \t", k);
    if (c == string_view::npos) continue;  // keyword only
    bool optionOrQuery = s[c] != ':' || s[1] == '?';
    size_t v = s.find_first_not_of(" \t", s.find(':', c) + 1);
    if (v == string_view::npos || s[v] != '"') continue;
    size_t close = s.find('"', v + 1);
    if (!optionOrQuery && close == string_view::npos)
      return std::to_string(i + 1) +
             ": Unexpected end of line encountered while parsing quoted value";
    while (optionOrQuery && close == string_view::npos && ++i < lines.size())
      close = lines[i].find('"');  // an invocation value continues up to its closing quote
  }
  return "";
}

TEST(RealPPDFiles, ParseOrFailAsTheLineScannerPredicts) {
  size_t fromPpdc = 0;
  for (const RealPPD& ppd : realPPDs()) {
    SCOPED_TRACE(ppd.path.string());
    fromPpdc += ppd.path.string().find("/ppdc/") != std::string::npos;
    std::string got;
    try {
      EXPECT_FALSE(PPDFile(ppd.path.string()).empty());
    } catch (const PPDSyntaxException& e) {
      got = std::to_string(e.lineNumber()) + ": " + e.what();
    }
    EXPECT_EQ(got, expectedOutcome(ppd.bytes));
  }
  EXPECT_GE(fromPpdc, 20u);
  EXPECT_GE(realPPDs().size() - fromPpdc, 100u);
}

void collectOptions(ppd_group_t* group, std::map<std::string, std::string>& defaults) {
  for (int i = 0; i < group->num_options; ++i)
    defaults[group->options[i].keyword] = group->options[i].defchoice;
  for (int i = 0; i < group->num_subgroups; ++i) collectOptions(&group->subgroups[i], defaults);
}

TEST(RealPPDFiles, OptionsAndDefaultsMatchLibcups) {
  size_t compared = 0;
  for (const RealPPD& ppd : realPPDs()) {
    if (!expectedOutcome(ppd.bytes).empty()) continue;
    SCOPED_TRACE(ppd.path.string());
    PPDFile file(ppd.path.string());
    ppd_file_t* cups = ppdOpenFile(ppd.path.c_str());
    ASSERT_NE(cups, nullptr);
    std::map<std::string, std::string> defaults;  // option -> default choice, by libcups
    for (int i = 0; i < cups->num_groups; ++i) collectOptions(&cups->groups[i], defaults);
    ppdClose(cups);
    std::set<std::string> ours, theirs;
    for (const char* ui : {"OpenUI", "JCLOpenUI"})
      for (const PPDStatement& s : file.findAll(ui)) ours.insert(s.optionKeyword.substr(1));
    for (const auto& [option, defchoice] : defaults) theirs.insert(option);
    EXPECT_EQ(ours, theirs);
    JobSettings settings;
    settings.loadDefaults(file);
    for (const auto& [option, defchoice] : defaults) {
      EXPECT_EQ(defchoice.empty() ? "" : file.getDefault(option).text, defchoice) << option;
      EXPECT_EQ(settings.get(option, ""), defchoice) << option;
      EXPECT_EQ(settings.contains(option), !defchoice.empty()) << option;
    }
    ++compared;
  }
  EXPECT_GT(compared, 0u);
}

// Writes pairs as cupsd does (a backslash before each space, tab, newline, backslash
// or quote of a value) and parses them with libcups and with parseOptions.
void expectSamePairs(const std::vector<std::pair<std::string, std::string>>& pairs) {
  std::string options;
  std::map<std::string, std::string> expected, cups, ours;
  for (const auto& [name, value] : pairs) {
    options += (options.empty() ? "" : " ") + name + "=";
    for (char c : value)
      options += string_view(" \t\n\\'\"").find(c) != string_view::npos ? std::string{'\\', c}
                                                                        : std::string{c};
    expected[name] = value;
  }
  cups_option_t* parsed = nullptr;
  int count = cupsParseOptions(options.c_str(), 0, &parsed);
  for (int i = 0; i < count; ++i) cups[parsed[i].name] = parsed[i].value;
  cupsFreeOptions(count, parsed);
  EXPECT_EQ(cups, expected) << options;
  JobSettings settings;
  settings.parseOptions(options);
  for (const auto& [name, value] : pairs)
    if (settings.contains(name))
      ours[name] = (settings.isCustom(name) ? "Custom." : "") + settings.get(name, "");
  EXPECT_EQ(ours, cups) << options;
}

// Choice values of the real PPDs and random text values, a few to a string.
TEST(OptionStringVersusLibcups, RealChoicesAndRandomText) {
  std::set<std::string> choiceSet;
  for (const RealPPD& real : realPPDs()) {
    if (!expectedOutcome(real.bytes).empty()) continue;
    PPDFile ppd(real.path.string());
    for (const PPDStatement& ui : ppd.findAll("OpenUI"))
      for (const PPDStatement& choice : ppd.findAll(ui.optionKeyword.substr(1)))
        if (choice.optionKeyword[0] != '{') choiceSet.insert(choice.optionKeyword);  // collections
  }
  const std::vector<std::string> choices(choiceSet.begin(), choiceSet.end());
  ASSERT_GE(choices.size(), 50u);
  std::mt19937 rng(3);
  static const std::string extra = " \t\n\\'\"=";
  for (int round = 0; round < 2500; ++round) {
    std::vector<std::pair<std::string, std::string>> pairs;
    for (size_t i = 0, count = 1 + rng() % 5; i < count; ++i) {
      std::string s(rng() % 24, ' ');
      for (char& c : s)
        c = rng() % 3 == 0 ? extra[rng() % extra.size()] : static_cast<char>(32 + rng() % 95);
      if (!s.empty() && s[0] == '{') s[0] = '(';  // a collection to libcups; cupsd writes none
      pairs.emplace_back("opt" + std::to_string(i),
                         rng() % 2 ? s : choices[rng() % choices.size()]);
    }
    expectSamePairs(pairs);
  }
}

}  // namespace
}  // namespace Quillfeather
