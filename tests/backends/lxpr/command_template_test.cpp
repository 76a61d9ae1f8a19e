#include "backends/lxpr/command_template.h"

#include <gtest/gtest.h>

#include <random>
#include <regex>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

namespace Quillfeather::LXPRCommands {
namespace {

template <typename T, typename... A>
std::shared_ptr<const Argument> arg(A&&... a) {
  return std::make_shared<const T>(std::forward<A>(a)...);
}

std::string render(std::string_view text, const ArgumentList& arguments) {
  std::ostringstream out;
  EXPECT_TRUE(formatCommand(out, text, arguments));
  return out.str();
}

// Field finder written with the regular expression the scanner replaces.
std::vector<TemplateField> regexFields(const std::string& text) {
  static const std::regex pattern(R"(\+?(([a-z])\2*)(\*|\$|/[0-9]+)?)");
  std::vector<TemplateField> fields;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), pattern);
       it != std::sregex_iterator(); ++it) {
    const size_t begin = static_cast<size_t>(it->position());
    fields.push_back({begin, begin + static_cast<size_t>(it->length())});
  }
  return fields;
}

std::vector<std::string> specsOf(std::string_view text) {
  std::vector<std::string> specs;
  for (const TemplateField& f : findTemplateFields(text)) {
    specs.emplace_back(text.substr(f.begin, f.end - f.begin));
  }
  return specs;
}

TEST(CommandTemplate, IssueTemplateHasEightFields) {
  EXPECT_EQ(specsOf("XS;I,aaaa,bbbcde$fgh"),
            (std::vector<std::string>{"aaaa", "bbb", "c", "d", "e$", "f", "g", "h"}));
  EXPECT_EQ(specsOf("XBaa;bbbb,cccc,d,Tff,Gk,Vs,Btt=w/512"),
            (std::vector<std::string>{"aa", "bbbb", "cccc", "d", "ff", "k", "s", "tt", "w/512"}));
  EXPECT_EQ(specsOf("SG;aaaa,bbbb,cccc,dddd,e,g/0"),
            (std::vector<std::string>{"aaaa", "bbbb", "cccc", "dddd", "e", "g/0"}));
  EXPECT_EQ(specsOf("AY;+aa,0"), (std::vector<std::string>{"+aa"}));
  EXPECT_EQ(specsOf("C"), std::vector<std::string>{});
  EXPECT_EQ(specsOf("++a+/b/c/1*$"), (std::vector<std::string>{"+a", "b", "c/1"}));
}

TEST(CommandTemplate, ScannerFindsTheSameFieldsAsTheRegularExpression) {
  const std::string alphabet = "abcz+*$/019AZ,;= ";
  std::mt19937 random(12345);
  for (int round = 0; round < 5000; ++round) {
    std::string text(random() % 24, ' ');
    for (char& c : text) c = alphabet[random() % alphabet.size()];
    ASSERT_EQ(findTemplateFields(text), regexFields(text)) << "template: " << text;
  }
  for (const char* text : {"Daaaa,bbbb,cccc", "+bbb,", "+ddd,", "+ff", "AY;+aa,1", "C",
                           "SG;aaaa,bbbb,cccc,dddd,e,g/0", "XBaa;bbbb,cccc,d,Tff,Gk,Vs,Btt=w/512",
                           "XS;I,aaaa,bbbcde$fgh", "a/", "a/x", "+", "+A", "aa*bb$cc/77d/"}) {
    EXPECT_EQ(findTemplateFields(text), regexFields(text)) << "template: " << text;
  }
}

TEST(CommandTemplate, IssueCommandRenders) {
  EXPECT_EQ(render("XS;I,aaaa,bbbcde$fgh",
                   {arg<UIntegerArgument>(1u), arg<IntegerArgument>(0), arg<UIntegerArgument>(1u),
                    arg<StringArgument>("C"), arg<UIntegerArgument>(3u), arg<UIntegerArgument>(0u),
                    arg<IntegerArgument>(0), arg<IntegerArgument>(0)}),
            "XS;I,0001,0001C3000");
}

TEST(CommandTemplate, LongTextsAndBuffers) {
  const std::string text(600, 'x');
  EXPECT_EQ(render("=w/512", {arg<StringArgument>(text)}), "=" + std::string(512, 'x'));
  std::vector<uint8_t> buffer(70000);
  for (size_t i = 0; i < buffer.size(); ++i) buffer[i] = static_cast<uint8_t>(i * 7);
  const std::string out = render("g/0", {arg<BufferArgument>(buffer)});
  EXPECT_EQ(out, std::string(buffer.begin(), buffer.end()));
}

TEST(CommandTemplate, NoFieldsCopiesTheTemplate) {
  EXPECT_EQ(render("C", {}), "C");
  EXPECT_EQ(render("AB;12=+-", {}), "AB;12=+-");
}

TEST(CommandTemplate, WrongArgumentCountThrowsBeforeWriting) {
  std::ostringstream out;
  try {
    formatCommand(out, "C", {arg<IntegerArgument>(1)});
    FAIL() << "no exception";
  } catch (const CommandException& e) {
    EXPECT_STREQ(e.what(), "Wrong number of arguments for command: C");
  }
  EXPECT_EQ(out.str(), "");
  EXPECT_THROW(formatCommand(out, "Daaaa,bbbb", {arg<IntegerArgument>(1)}), CommandException);
  EXPECT_EQ(out.str(), "");
}

TEST(CommandTemplate, IntegerInLengthLimitedFieldIsUnsupported) {
  std::ostringstream out;
  try {
    formatCommand(out, "X=a/3", {arg<IntegerArgument>(1)});
    FAIL() << "no exception";
  } catch (const CommandException& e) {
    EXPECT_STREQ(e.what(), "Unsupported format");
  }
  EXPECT_EQ(out.str(), "X=");
}

// Accepts a fixed number of bytes, then fails every write.
class LimitedBuffer : public std::streambuf {
 public:
  explicit LimitedBuffer(size_t capacity) : capacity_(capacity) {}
  std::string data;

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    if (data.size() >= capacity_) return traits_type::eof();
    data.push_back(traits_type::to_char_type(c));
    return c;
  }

 private:
  size_t capacity_;
};

TEST(CommandTemplate, FailingStreamStopsRendering) {
  LimitedBuffer buffer(7);
  std::ostream out(&buffer);
  EXPECT_FALSE(formatCommand(
      out, "Daaaa,bbbb,cccc",
      {arg<UIntegerArgument>(1040u), arg<UIntegerArgument>(1000u), arg<UIntegerArgument>(1020u)}));
  EXPECT_EQ(buffer.data, "D1040,1");
  std::ostream failed(nullptr);
  EXPECT_FALSE(formatCommand(failed, "C", {}));
}

}  // namespace
}  // namespace Quillfeather::LXPRCommands
