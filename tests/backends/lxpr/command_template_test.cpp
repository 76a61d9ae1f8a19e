#include "backends/lxpr/command_template.h"

#include <gtest/gtest.h>

#include <limits>
#include <random>
#include <regex>
#include <sstream>
#include <stdexcept>
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

struct RenderCase {
  const char* spec;
  std::shared_ptr<const Argument> argument;
  std::string expected;
};

TEST(CommandTemplate, FieldRenderingTable) {
  const std::vector<RenderCase> cases = {
      {"e$", arg<UIntegerArgument>(10u), "A"},
      {"e$", arg<UIntegerArgument>(31u), "1"},
      {"aaa$", arg<UIntegerArgument>(10u), "00A"},
      {"aaaaaaaa$", arg<IntegerArgument>(-5), "FFFFFFFB"},
      {"aaaa$", arg<IntegerArgument>(-5), "FFFF"},
      {"aaaaaaaaaaaaaaaa$", arg<ULargeIntegerArgument>(0x123456789ABCDEF0ull), "123456789ABCDEF0"},
      {"aa$", arg<USmallIntegerArgument>(uint8_t{255}), "FF"},
      {"+bbb", arg<IntegerArgument>(0), "+000"},
      {"+bbb", arg<IntegerArgument>(50), "+050"},
      {"+bbb", arg<IntegerArgument>(-7), "-007"},
      {"+bbb", arg<NegativeZeroArgument>(), "-000"},
      {"+bbb", arg<IntegerArgument>(-12345), "-123"},
      {"+aa", arg<NegativeZeroArgument>(), "-00"},
      {"+ff", arg<NegativeZeroArgument>(), "-00"},
      {"a", arg<NegativeZeroArgument>(), "-"},
      {"aa", arg<NegativeZeroArgument>(), "-0"},
      {"aa$", arg<NegativeZeroArgument>(), "-0"},
      {"aaa*", arg<NegativeZeroArgument>(), "-00"},
      {"bbb", arg<UIntegerArgument>(1000u), "100"},
      {"aaaa", arg<UIntegerArgument>(7u), "0007"},
      {"aaaa", arg<UIntegerArgument>(12345u), "1234"},
      {"aaaa", arg<IntegerArgument>(-5), "00-5"},
      {"aaaa", arg<IntegerArgument>(std::numeric_limits<int32_t>::min()), "-214"},
      {"aaaaaaaaaaa", arg<IntegerArgument>(std::numeric_limits<int32_t>::min()), "-2147483648"},
      {"a", arg<UIntegerArgument>(0u), "0"},
      {"aaaaaaaaaaaaaaaaaaaa", arg<ULargeIntegerArgument>(~0ull), "18446744073709551615"},
      {"aaa", arg<USmallIntegerArgument>(uint8_t{7}), "007"},
      {"aa*", arg<IntegerArgument>(0x01020304), std::string("\x03\x04", 2)},
      {"a*", arg<IntegerArgument>(0x01020304), std::string("\x04", 1)},
      {"aaaa*", arg<IntegerArgument>(-2), std::string("\xFF\xFF\xFF\xFE", 4)},
      {"a*", arg<USmallIntegerArgument>(uint8_t{0}), std::string("\0", 1)},
      {"aaaaaaaa*", arg<ULargeIntegerArgument>(0x0102030405060708ull),
       std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8)},
      {"d", arg<StringArgument>("CD"), "C"},
      {"ddd", arg<StringArgument>("C"), "C"},
      {"d", arg<StringArgument>(""), ""},
      {"w/3", arg<StringArgument>("ABCDE"), "ABC"},
      {"w/0", arg<StringArgument>("ABCDE"), "ABCDE"},
      {"e", arg<CharacterArgument>('3'), "3"},
      {"eeee$", arg<CharacterArgument>('1'), "1"},
      {"g/0", arg<BufferArgument>(std::vector<uint8_t>{0, 1, 0, 0xFF}),
       std::string("\0\1\0\xFF", 4)},
      {"g/2", arg<BufferArgument>(std::vector<uint8_t>{9, 8, 7}), std::string("\x09\x08", 2)},
      {"g", arg<BufferArgument>(std::vector<uint8_t>{}), ""},
  };
  for (const RenderCase& c : cases) {
    EXPECT_EQ(render(std::string("<") + c.spec + ">", {c.argument}), "<" + c.expected + ">")
        << "field " << c.spec;
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

TEST(CommandTemplate, BinaryFieldWiderThanValueIsOutOfRange) {
  std::ostringstream out;
  EXPECT_THROW(formatCommand(out, "aaaaa*", {arg<IntegerArgument>(1)}), std::out_of_range);
  EXPECT_THROW(formatCommand(out, "aa*", {arg<USmallIntegerArgument>(uint8_t{1})}),
               std::out_of_range);
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
