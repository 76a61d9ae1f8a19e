#include "expected_ppd_error.h"

#include <string_view>
#include <vector>

namespace Quillfeather::Testing {

namespace {

struct Line {
  std::string_view content;  // without the LF or CR LF ending
  std::string_view ending;   // "\n", "\r\n" or "" at the end of the file
};

std::vector<Line> splitLines(std::string_view bytes) {
  std::vector<Line> lines;
  size_t start = 0;
  while (start < bytes.size()) {
    size_t lf = bytes.find('\n', start);
    if (lf == std::string_view::npos) {
      lines.push_back({bytes.substr(start), ""});
      break;
    }
    size_t end = lf > start && bytes[lf - 1] == '\r' ? lf - 1 : lf;
    lines.push_back({bytes.substr(start, end - start), bytes.substr(end, lf + 1 - end)});
    start = lf + 1;
  }
  return lines;
}

ExpectedPPDOutcome fail(const char* message, size_t index) {
  return {false, message, static_cast<uint32_t>(index + 1)};
}

bool isHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// First hex substring error of a quoted value, or nullptr.
const char* hexError(std::string_view text) {
  for (size_t open = text.find('<'); open != std::string_view::npos;
       open = text.find('<', open + 1)) {
    size_t close = text.find('>', open);
    if (close == std::string_view::npos) return "Unterminated hex string";
    std::string_view digits = text.substr(open + 1, close - open - 1);
    if (digits.size() % 2) return "Hex string is not multiple of 2 characters";
    for (char c : digits)
      if (!isHex(c)) return "Not hexadecimal character";
    open = close;
  }
  return nullptr;
}

}  // namespace

ExpectedPPDOutcome expectedPPDOutcome(const std::string& bytes) {
  std::vector<Line> lines = splitLines(bytes);
  for (size_t i = 0; i < lines.size(); ++i) {
    std::string_view s = lines[i].content;
    if (s.size() > 254) return fail("Line exceeds 255 characters", i);
    if (s.find_first_not_of(" \t\r\n") == std::string_view::npos) continue;
    bool hasLF = !lines[i].ending.empty();
    if (s.size() + (hasLF ? 1 : 0) < 2) return fail("Line too short", i);
    if (s[0] != '*') return fail("Invalid statement, missing preceding '*'", i);
    if (s.size() > 1 && s[1] == '%') continue;
    size_t k = 1;
    while (k < s.size() && s[k] > 32 && s[k] < 127 && s[k] != ':' && s[k] != '/') ++k;
    if (k == 1) return fail("No main keyword", i);
    if (k > 41) return fail("Main keyword exceeds 40 characters", i);
    bool query = s[1] == '?';
    size_t c = s.find_first_not_of(" \t", k);
    if (c == std::string_view::npos) continue;  // keyword only
    bool optionStatement = s[c] != ':';
    size_t colon = s.find(':', c);
    if (colon == std::string_view::npos) return fail("Syntax error parsing option keyword", i);
    size_t v = s.find_first_not_of(" \t", colon + 1);
    if (v == std::string_view::npos) {
      if (optionStatement && !hasLF) return fail("Unexpected end of line looking for value", i);
      continue;
    }
    if (s[v] != '"') continue;
    size_t close = s.find('"', v + 1);
    if (!optionStatement && !query) {
      if (close == std::string_view::npos)
        return fail("Unexpected end of line encountered while parsing quoted value", i);
      if (const char* e = hexError(s.substr(v + 1, close - v - 1))) return fail(e, i);
      continue;
    }
    if (close != std::string_view::npos) continue;
    size_t first = i;
    for (;;) {
      if (++i == lines.size())
        return fail("Unexpected end of file encountered while parsing invocation value", first);
      if (lines[i].content.size() > 254) return fail("Line exceeds 255 characters", i);
      if (lines[i].content.find('"') != std::string_view::npos) break;
    }
  }
  return {};
}

}  // namespace Quillfeather::Testing
