// Option strings written as cupsd writes them for filters (name=value pairs
// separated by spaces; a backslash before each space, tab, newline, backslash
// or quote of a value) must give the same pairs with parseOptions as with
// libcups's cupsParseOptions.
#include <cups/cups.h>
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "ppd/job_settings.h"
#include "ppd/ppd_file.h"
#include "real_ppds.h"

namespace Quillfeather {
namespace {

std::string cupsdEscape(const std::string& value) {
  std::string out;
  for (char c : value) {
    if (c == ' ' || c == '\t' || c == '\n' || c == '\\' || c == '\'' || c == '"') out += '\\';
    out += c;
  }
  return out;
}

std::map<std::string, std::string> parseWithLibcups(const std::string& options) {
  cups_option_t* parsed = nullptr;
  int count = cupsParseOptions(options.c_str(), 0, &parsed);
  std::map<std::string, std::string> result;
  for (int i = 0; i < count; ++i) result[parsed[i].name] = parsed[i].value;
  cupsFreeOptions(count, parsed);
  return result;
}

std::map<std::string, std::string> parseWithOurs(const std::string& options,
                                                 const std::vector<std::string>& names) {
  JobSettings settings;
  settings.parseOptions(options);
  std::map<std::string, std::string> result;
  for (const std::string& name : names) {
    if (!settings.contains(name)) continue;
    result[name] = (settings.isCustom(name) ? "Custom." : "") + settings.get(name, "");
  }
  return result;
}

// Option names and their choices from the real PPD files that parse.
void realChoices(std::vector<std::string>& names, std::vector<std::string>& choices) {
  std::set<std::string> nameSet;
  std::set<std::string> choiceSet;
  for (const Testing::RealPPD& real : Testing::realPPDs()) {
    try {
      PPDFile ppd(real.path.string());
      for (const PPDStatement& ui : ppd.findAll("OpenUI")) {
        std::string option = ui.optionKeyword.substr(1);
        nameSet.insert(option);
        for (const PPDStatement& choice : ppd.findAll(option)) {
          // A value that starts with '{' is a collection to libcups; cupsd does not write those.
          if (choice.optionKeyword.rfind('{', 0) != 0) choiceSet.insert(choice.optionKeyword);
        }
      }
    } catch (const PPDSyntaxException&) {
    }
  }
  names.assign(nameSet.begin(), nameSet.end());
  choices.assign(choiceSet.begin(), choiceSet.end());
}

std::string randomText(std::mt19937& rng) {
  static const std::string extra = " \t\n\\'\"=";
  std::string s(rng() % 24, ' ');
  for (char& c : s) {
    c = rng() % 3 == 0 ? extra[rng() % extra.size()] : static_cast<char>(32 + rng() % 95);
  }
  // A value that starts with '{' is a collection to libcups; cupsd does not write those.
  if (!s.empty() && s[0] == '{') s[0] = '(';
  return s;
}

void expectSamePairs(const std::vector<std::pair<std::string, std::string>>& pairs) {
  std::string options;
  std::vector<std::string> names;
  std::map<std::string, std::string> expected;
  for (const auto& [name, value] : pairs) {
    if (!options.empty()) options += ' ';
    options += name + "=" + cupsdEscape(value);
    names.push_back(name);
    expected[name] = value;
  }
  std::map<std::string, std::string> cups = parseWithLibcups(options);
  EXPECT_EQ(cups, expected) << options;
  EXPECT_EQ(parseWithOurs(options, names), cups) << options;
}

TEST(OptionStringVersusLibcups, RealChoiceValues) {
  std::vector<std::string> names;
  std::vector<std::string> choices;
  realChoices(names, choices);
  ASSERT_GE(names.size(), 10u);
  ASSERT_GE(choices.size(), 50u);
  std::mt19937 rng(3);
  for (int round = 0; round < 300; ++round) {
    std::vector<std::pair<std::string, std::string>> pairs;
    for (size_t i = 0; i < names.size(); ++i) {
      if (rng() % 2) pairs.emplace_back(names[i], choices[rng() % choices.size()]);
    }
    expectSamePairs(pairs);
  }
}

TEST(OptionStringVersusLibcups, RandomTextValues) {
  std::mt19937 rng(5);
  for (int round = 0; round < 2000; ++round) {
    std::vector<std::pair<std::string, std::string>> pairs;
    size_t count = 1 + rng() % 5;
    for (size_t i = 0; i < count; ++i) {
      pairs.emplace_back("opt" + std::to_string(i), randomText(rng));
    }
    expectSamePairs(pairs);
  }
}

}  // namespace
}  // namespace Quillfeather
