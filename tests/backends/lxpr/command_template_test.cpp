#include "backends/lxpr/command_template.h"

#include <gtest/gtest.h>

#include <random>
#include <regex>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "backends/lxpr/command_writer.h"

namespace Quillfeather::LXPRCommands {
namespace {

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
  for (const char* text :
       {"Daaaa,bbbb,cccc", "+bbb,", "+ddd,", "+ff", "AY;+aa,1", "C", "SG;aaaa,bbbb,cccc,dddd,e,g/0",
        "XBaa;bbbb,cccc,d,Tff,Gk,Vs,Btt=w/512", "XS;I,aaaa,bbbcde$fgh", "a/", "a/x", "+", "+A",
        "aa*bb$cc/77d/", "++a+/b/c/1*$"}) {
    EXPECT_EQ(findTemplateFields(text), regexFields(text)) << "template: " << text;
  }
  ASSERT_EQ(findTemplateFields("XS;I,aaaa,bbbcde$fgh").size(), 8u);
}

template <typename Call>
std::string failure(Call call) {
  try {
    call();
  } catch (const CommandException& e) {
    return e.what();
  }
  return "no exception";
}

TEST(CommandTemplate, FailuresStopBeforeOrAtTheField) {
  std::ostringstream out;
  EXPECT_EQ(failure([&] { formatCommand(out, "C", {arg<IntegerArgument>(1)}); }),
            "Wrong number of arguments for command: C");
  EXPECT_EQ(failure([&] { formatCommand(out, "Daaaa,bbbb", {arg<IntegerArgument>(1)}); }),
            "Wrong number of arguments for command: Daaaa,bbbb");
  EXPECT_EQ(out.str(), "");
  EXPECT_EQ(failure([&] { formatCommand(out, "X=a/3", {arg<IntegerArgument>(1)}); }),
            "Unsupported format");
  EXPECT_EQ(out.str(), "X=");
}

// Takes seven bytes, then fails every write.
class SevenBytes : public std::streambuf {
 public:
  SevenBytes() { setp(bytes_, bytes_ + 7); }
  std::string data() const { return std::string(pbase(), pptr()); }

 private:
  char bytes_[7];
};

TEST(CommandTemplate, FailingStreamStopsRendering) {
  SevenBytes buffer;
  std::ostream out(&buffer);
  EXPECT_FALSE(formatCommand(
      out, "Daaaa,bbbb,cccc",
      {arg<UIntegerArgument>(1040u), arg<UIntegerArgument>(1000u), arg<UIntegerArgument>(1020u)}));
  EXPECT_EQ(buffer.data(), "D1040,1");
  std::ostream failed(nullptr);
  EXPECT_FALSE(formatCommand(failed, "C", {}));
}

TEST(CommandWriter, FramingAppliesFromTheNextCommand) {
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
  writer.setFraming("<", ">", false);
  writer.begin("AX;");
  formatCommand(out, "+bbb,", {arg<IntegerArgument>(50)});
  formatCommand(out, "+ff", {arg<NegativeZeroArgument>()});
  writer.end();
  EXPECT_EQ(out.str(), std::string("{C\n\0{C|}\n<AX;+050,-00>", 22));
}

}  // namespace
}  // namespace Quillfeather::LXPRCommands
