// LXPR command templates. A template is literal text with fields; a field is
//   ["+"] letter{n} ["*" | "$" | "/" digit{m}]      (one letter repeated, n, m >= 1)
// and is replaced by the rendering of its argument. Scanning is left to right:
// at each position the earliest field start wins, and a "+" directly before a
// letter belongs to the field.
#include "backends/lxpr/command_template.h"

#include <string>

namespace Quillfeather::LXPRCommands {
namespace {

bool isFieldLetter(char c) { return c >= 'a' && c <= 'z'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::vector<TemplateField> findTemplateFields(std::string_view text) {
  std::vector<TemplateField> fields;
  size_t i = 0;
  while (i < text.size()) {
    size_t begin = i;
    size_t letter = i;
    if (text[i] == '+' && i + 1 < text.size() && isFieldLetter(text[i + 1])) {
      letter = i + 1;
    } else if (!isFieldLetter(text[i])) {
      ++i;
      continue;
    }
    size_t end = letter + 1;
    while (end < text.size() && text[end] == text[letter]) ++end;
    if (end < text.size() && (text[end] == '*' || text[end] == '$')) {
      ++end;
    } else if (end + 1 < text.size() && text[end] == '/' && isDigit(text[end + 1])) {
      end += 2;
      while (end < text.size() && isDigit(text[end])) ++end;
    }
    fields.push_back({begin, end});
    i = end;
  }
  return fields;
}

bool formatCommand(std::ostream& out, std::string_view text, const ArgumentList& arguments) {
  const std::vector<TemplateField> fields = findTemplateFields(text);
  if (fields.size() != arguments.size()) {
    throw CommandException("Wrong number of arguments for command: " + std::string(text));
  }
  for (const auto& argument : arguments) {
    if (!argument) throw CommandException("Missing argument for command: " + std::string(text));
  }
  size_t previousEnd = 0;
  for (size_t i = 0; i < fields.size(); ++i) {
    const TemplateField& field = fields[i];
    const std::string_view literal = text.substr(previousEnd, field.begin - previousEnd);
    out.write(literal.data(), static_cast<std::streamsize>(literal.size()));
    if (!arguments[i]->format(out, text.substr(field.begin, field.end - field.begin))) break;
    previousEnd = field.end;
  }
  if (!out.fail()) {
    const std::string_view rest = text.substr(previousEnd);
    out.write(rest.data(), static_cast<std::streamsize>(rest.size()));
  }
  return !out.fail();
}

}  // namespace Quillfeather::LXPRCommands
