// CUPS option strings as cupsd hands them to filters: tokens separated by
// spaces, each either name=value or a boolean word (name, or noname for
// false). A backslash makes the next character ordinary: it neither ends the
// token nor separates name and value. Names keep their backslashes; values
// lose the escaping backslash and keep the escaped character. A value
// "Custom.x" stores x and marks the name as custom.
#include <string>

#include "ppd/job_settings.h"

namespace Quillfeather {

namespace {

constexpr std::string_view kCustomPrefix = "Custom.";

// Removes the escaping backslash of each escaped pair; the raw text holds only
// complete pairs.
std::string unescapeValue(std::string_view raw) {
  std::string value;
  value.reserve(raw.size());
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '\\' && i + 1 < raw.size()) ++i;
    value.push_back(raw[i]);
  }
  return value;
}

}  // namespace

void JobSettings::parseOptions(std::string_view options) {
  auto finishToken = [this](const std::string& token, size_t equals) {
    if (equals == std::string::npos) {
      if (token.size() >= 3 && token.compare(0, 2, "no") == 0) {
        set(token.substr(2), "False");
      } else {
        set(token, "True");
      }
      return;
    }
    std::string name = token.substr(0, equals);
    std::string value = unescapeValue(std::string_view(token).substr(equals + 1));
    if (value.compare(0, kCustomPrefix.size(), kCustomPrefix) == 0) {
      set(name, value.substr(kCustomPrefix.size()));
      customNames_.insert(name);
    } else {
      set(name, value);
    }
  };

  std::string token;
  size_t equals = std::string::npos;
  size_t i = 0;
  while (i < options.size()) {
    char c = options[i];
    if (c == '\\') {
      // A final backslash escapes nothing: the unfinished token is dropped.
      if (i + 1 == options.size()) return;
      token.push_back(c);
      token.push_back(options[i + 1]);
      i += 2;
      continue;
    }
    if (c == ' ') {
      finishToken(token, equals);
      token.clear();
      equals = std::string::npos;
    } else {
      if (c == '=' && equals == std::string::npos) equals = token.size();
      token.push_back(c);
    }
    ++i;
  }
  finishToken(token, equals);
}

}  // namespace Quillfeather
