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

#include "backends/lxpr/command_writer.h"
#include "backends/lxpr/lxpr_arguments.h"
#include "support/error_of.h"

namespace Quillfeather::LXPRCommands {
namespace {
using OrnTest::errorOf;

template <typename T, typename... A>
std::shared_ptr<const Argument> arg(A&&... a) {
  return std::make_shared<const T>(std::forward<A>(a)...);
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

TEST(CommandTemplate, ScannerFindsTheSameFieldsAsTheRegularExpression) {
  const std::string alphabet = "abcz+*$/019AZ,;= ";
  std::mt19937 random(12345);
  for (int round = 0; round < 5000; ++round) {
    std::string text(random() % 24, ' ');
    for (char& c : text) c = alphabet[random() % alphabet.size()];
    ASSERT_EQ(findTemplateFields(text), regexFields(text)) << "template: " << text;
  }
  ASSERT_EQ(findTemplateFields("XS;I,aaaa,bbbcde$fgh").size(), 8u);
}

// Takes seven bytes, then fails every write.
struct SevenBytes : std::streambuf {
  SevenBytes() { setp(bytes, bytes + 7); }
  std::string data() const { return std::string(pbase(), pptr()); }
  char bytes[7];
};

// A failure stops before or at the field it meets; the framing changes from the next command.
TEST(CommandTemplate, FailuresAndFraming) {
  std::ostringstream out;
  EXPECT_EQ(errorOf<CommandException>([&] { formatCommand(out, "Daaaa,bbbb", {}); }),
            "Wrong number of arguments for command: Daaaa,bbbb");
  EXPECT_EQ(out.str(), "");
  EXPECT_EQ(
      errorOf<CommandException>([&] { formatCommand(out, "X=a/3", {arg<IntegerArgument>(1)}); }),
      "Unsupported format");
  EXPECT_EQ(out.str(), "X=");
  SevenBytes buffer;
  std::ostream seven(&buffer);
  EXPECT_FALSE(formatCommand(
      seven, "Daaaa,bbbb,cccc",
      {arg<UIntegerArgument>(1040u), arg<UIntegerArgument>(1000u), arg<UIntegerArgument>(1020u)}));
  EXPECT_EQ(buffer.data(), "D1040,1");

  out.str("");
  CommandWriter writer(out);
  writer.begin();
  writer.useUnreadableFraming();
  formatCommand(out, "C", {});
  writer.end();
  writer.useReadableFraming();
  writer.begin();
  formatCommand(out, "C", {});
  writer.end();
  writer.setFraming("<", ">", false);
  writer.begin("AX;");
  formatCommand(out, "+bbb,", {arg<IntegerArgument>(50)});
  formatCommand(out, "+ff", {arg<NegativeZeroArgument>()});
  writer.end();
  EXPECT_EQ(out.str(), std::string("{C\n\0{C|}\n<AX;+050,-00>", 22));
}

TEST(LXPRArguments, FieldRenderingTable) {
  const std::tuple<const char*, std::shared_ptr<const Argument>, std::string> cases[] = {
      {"e$", arg<UIntegerArgument>(31u), "1"},
      {"aaa$", arg<UIntegerArgument>(10u), "00A"},
      {"aaaaaaaa$", arg<IntegerArgument>(-5), "FFFFFFFB"},
      {"aaaaaaaaaaaaaaaa$", arg<ULargeIntegerArgument>(0x123456789ABCDEF0ull), "123456789ABCDEF0"},
      {"+bbb", arg<IntegerArgument>(-7), "-007"},
      {"+bbb", arg<NegativeZeroArgument>(), "-000"},
      {"+bbb", arg<IntegerArgument>(-12345), "-123"},
      {"a", arg<NegativeZeroArgument>(), "-"},
      {"aa", arg<NegativeZeroArgument>(), "-0"},
      {"aa$", arg<NegativeZeroArgument>(), "-0"},
      {"aaa*", arg<NegativeZeroArgument>(), "-00"},
      {"aaaa", arg<UIntegerArgument>(7u), "0007"},
      {"aaaa", arg<UIntegerArgument>(12345u), "1234"},
      {"aaaa", arg<IntegerArgument>(-5), "00-5"},
      {"aaaaaaaaaaa", arg<IntegerArgument>(std::numeric_limits<int32_t>::min()), "-2147483648"},
      {"aaaa*", arg<IntegerArgument>(-2), std::string("\xFF\xFF\xFF\xFE", 4)},
      {"aaaaaaaa*", arg<ULargeIntegerArgument>(0x0102030405060708ull),
       std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8)},
      {"d", arg<StringArgument>("CD"), "C"},
      {"w/3", arg<StringArgument>("ABCDE"), "ABC"},
      {"w/0", arg<StringArgument>("ABCDE"), "ABCDE"},
      {"e", arg<CharacterArgument>('3'), "3"},
      {"g/0", arg<BufferArgument>(std::vector<uint8_t>{0, 1, 0, 0xFF}),
       std::string("\0\1\0\xFF", 4)},
      {"g/2", arg<BufferArgument>(std::vector<uint8_t>{9, 8, 7}), std::string("\x09\x08", 2)},
  };
  for (const auto& [field, argument, expected] : cases) {
    std::ostringstream out;
    EXPECT_TRUE(argument->format(out, field)) << "field " << field;
    EXPECT_EQ(out.str(), expected) << "field " << field;
  }
}

// The longest text a field may take, and the fields an argument refuses.
TEST(LXPRArguments, LimitsAndFailures) {
  const std::pair<const char*, size_t> cases[] = {
      {"+bbb", 4}, {"w/512", 512}, {"g/0", 0}, {"g/007", 7}, {"g/99999999999999999999999", 0}};
  for (const auto& [field, expected] : cases)
    EXPECT_EQ(maximumFieldLength(field), expected) << field;
  std::ostringstream out;
  EXPECT_THROW(IntegerArgument(1).format(out, "aaaaa*"), std::out_of_range);
  EXPECT_THROW(USmallIntegerArgument(1).format(out, "aa*"), std::out_of_range);
  EXPECT_THROW(UIntegerArgument(1).format(out, "a/3"), CommandException);  // no length limit
  EXPECT_EQ(out.str(), "");
  out.setstate(std::ios::badbit);
  for (const auto& argument :
       {arg<IntegerArgument>(5), arg<StringArgument>("x"), arg<CharacterArgument>('3'),
        arg<BufferArgument>(std::vector<uint8_t>{1}), arg<NegativeZeroArgument>()}) {
    EXPECT_FALSE(argument->format(out, "aa"));
  }
}

}  // namespace
}  // namespace Quillfeather::LXPRCommands
