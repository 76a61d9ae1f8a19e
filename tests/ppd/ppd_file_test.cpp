#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "ppd/ppd_file.h"
#include "ppd_test_support.h"

namespace Quillfeather {
namespace {

using Testing::parsePPD;

const char* const kModel =
    "*PPD-Adobe: \"4.3\"\n"
    "*OpenUI *PrintSpeed/Print Speed: PickOne\n"
    "*DefaultPrintSpeed: 3\n"
    "*PrintSpeed 2/Slow: \"\"\n"
    "*PrintSpeed 3/Normal: \"\"\n"
    "*PrintSpeed 4/Fast: \"\"\n"
    "*CloseUI: *PrintSpeed\n"
    "*TransferMode On: \"\"\n"
    "*DefaultCuttingMode: A\n"
    "*DefaultCuttingMode: B\n";

TEST(PPDFile, LookupsSeeLastStatementFirst) {
  PPDFile ppd = parsePPD(kModel);
  EXPECT_EQ(ppd.getDefault("CuttingMode").text, "B");
  EXPECT_EQ(ppd.first("DefaultCuttingMode").line, 10u);
  std::vector<PPDStatement> all = ppd.findAll("DefaultCuttingMode");
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[0].value.text, "B");
  EXPECT_EQ(all[1].value.text, "A");
  std::vector<PPDStatement> speeds = ppd.findAll("PrintSpeed");
  ASSERT_EQ(speeds.size(), 3u);
  EXPECT_EQ(speeds[0].optionKeyword, "4");
  EXPECT_EQ(speeds[2].optionKeyword, "2");
  EXPECT_TRUE(ppd.findAll("Missing").empty());
}

TEST(PPDFile, FirstAndFind) {
  PPDFile ppd = parsePPD(kModel);
  PPDStatement s;
  EXPECT_TRUE(ppd.find("PrintSpeed", s));
  EXPECT_EQ(s.optionKeyword, "4");
  s.line = 99;
  EXPECT_FALSE(ppd.find("printspeed", s));
  EXPECT_EQ(s.line, 0u);
  EXPECT_TRUE(s.mainKeyword.empty());
  EXPECT_FALSE(s.hasValue());
  EXPECT_TRUE(ppd.contains("PrintSpeed"));
  EXPECT_FALSE(ppd.contains("printSpeed"));
  try {
    ppd.first("Missing");
    ADD_FAILURE();
  } catch (const PPDKeywordNotFoundException& e) {
    EXPECT_STREQ(e.what(), "Unknown main keyword");
  }
  try {
    ppd.getDefault("TransferMode");
    ADD_FAILURE();
  } catch (const PPDKeywordNotFoundException& e) {
    EXPECT_STREQ(e.what(), "DefaultTransferMode");
  }
}

TEST(PPDFile, OptionsAndChoices) {
  PPDFile ppd = parsePPD(kModel);
  EXPECT_TRUE(ppd.isOption("PrintSpeed"));
  EXPECT_FALSE(ppd.isOption("printSpeed"));
  EXPECT_FALSE(ppd.isOption("*PrintSpeed"));
  EXPECT_FALSE(ppd.isOption("TransferMode"));  // choices without OpenUI
  EXPECT_TRUE(ppd.isValidChoice("PrintSpeed", "2"));
  EXPECT_TRUE(ppd.isValidChoice("PrintSpeed", "4"));
  EXPECT_FALSE(ppd.isValidChoice("PrintSpeed", "9"));
  EXPECT_FALSE(ppd.isValidChoice("PrintSpeed", ""));
  EXPECT_FALSE(ppd.isValidChoice("TransferMode", "On"));
}

TEST(PPDFile, IterationVisitsEveryStatementOnceLastInFileFirst) {
  PPDFile ppd = parsePPD(kModel);
  std::map<std::string, std::vector<uint32_t>> seen;
  size_t count = 0;
  std::string previousKeyword;
  std::vector<std::string> keywordOrder;
  for (const auto& [keyword, statement] : ppd) {
    EXPECT_EQ(keyword, statement.mainKeyword);
    if (keyword != previousKeyword) keywordOrder.push_back(keyword);
    previousKeyword = keyword;
    seen[keyword].push_back(statement.line);
    ++count;
  }
  EXPECT_EQ(count, 10u);
  EXPECT_EQ(ppd.size(), 10u);
  // Statements of one keyword are adjacent.
  EXPECT_EQ(keywordOrder.size(), seen.size());
  EXPECT_EQ(seen["PrintSpeed"], (std::vector<uint32_t>{6, 5, 4}));
  EXPECT_EQ(seen["DefaultCuttingMode"], (std::vector<uint32_t>{10, 9}));
}

TEST(PPDFile, MissingFileIsEmpty) {
  PPDFile ppd(std::string("/nonexistent/dir/file.ppd"));
  EXPECT_TRUE(ppd.empty());
  EXPECT_TRUE(ppd.begin() == ppd.end());
  EXPECT_FALSE(ppd.isOption("PrintSpeed"));
}

TEST(PPDFile, UnreadableInputsAreEmpty) {
  EXPECT_TRUE(PPDFile(std::string("/")).empty());  // a directory opens but cannot be read
  std::istringstream failed("*Key: v\n");
  failed.setstate(std::ios::failbit);
  EXPECT_TRUE(PPDFile(failed).empty());
}

TEST(PPDFile, ParsesFromTheStreamPosition) {
  std::istringstream in("garbage line\n*Key: v\n");
  std::string skipped;
  std::getline(in, skipped);
  PPDFile ppd(in);
  EXPECT_EQ(ppd.first("Key").value.text, "v");
  EXPECT_EQ(ppd.first("Key").line, 1u);
}

}  // namespace
}  // namespace Quillfeather
