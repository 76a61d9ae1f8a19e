// PPD statement syntax, one statement per line (LF or CR LF ended, at most 254
// characters before the ending):
//
//   *%comment                        skipped, as are blank lines
//   *MainKeyword                     keyword only (value type None)
//   *MainKeyword: value              value without option keyword
//   *MainKeyword Option/Text: value  option statement; "/Text" is optional
//
// The main keyword is 1 to 40 printable characters other than ':' and '/'.
// A value is "quoted" (Quoted, with <hex> substrings decoded, for statements
// without option keyword; Invocation, possibly continued over following lines
// up to the next '"', for option statements and queries *?Keyword), ^Symbol,
// or plain text up to the last non-blank character (String).
// A final line without LF is parsed like any other line.
#include "ppd/ppd_parser.h"

#include <stdexcept>

#include "ppd/hex_string.h"
#include "ppd/ppd_exceptions.h"

namespace Quillfeather {

namespace {

constexpr size_t kMaxMainKeywordLength = 40;

bool isBlank(char c) { return c == ' ' || c == '\t'; }

bool isLineSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool isKeywordChar(char c) { return c >= 33 && c <= 126 && c != ':' && c != '/'; }

bool isPrintable(char c) { return c >= 32 && c <= 126; }

}  // namespace

PPDParser::PPDParser(std::istream& in) : in_(in), buffer_(in ? in.rdbuf() : nullptr) {
  line_.reserve(kMaxLineLength + 2);
}

PPDParser::LineEnd PPDParser::readLine(std::string& line) {
  using Traits = std::streambuf::traits_type;
  line.clear();
  if (buffer_ == nullptr) return LineEnd::EndOfFile;
  // A read error (a file buffer throws on a directory, for example) ends the
  // input like the end of the stream.
  try {
    for (;;) {
      Traits::int_type c = buffer_->sbumpc();
      if (Traits::eq_int_type(c, Traits::eof())) {
        in_.setstate(std::ios::eofbit);
        break;
      }
      line.push_back(Traits::to_char_type(c));
      if (c == '\n') return LineEnd::Complete;
      // The CR of a CR LF ending does not count towards the limit.
      if (c == '\r' && Traits::eq_int_type(buffer_->sgetc(), Traits::to_int_type('\n'))) continue;
      if (line.size() > kMaxLineLength)
        throw PPDSyntaxException("Line exceeds 255 characters", lineCount_ + 1);
    }
  } catch (const PPDSyntaxException&) {
    throw;
  } catch (const std::exception&) {
    in_.setstate(std::ios::badbit);
  }
  buffer_ = nullptr;
  return line.empty() ? LineEnd::EndOfFile : LineEnd::Fragment;
}

bool PPDParser::next(PPDStatement& out) {
  for (;;) {
    if (readLine(line_) == LineEnd::EndOfFile) return false;
    ++lineCount_;
    if (parseStatement(out)) return true;
  }
}

bool PPDParser::parseStatement(PPDStatement& out) {
  std::string& line = line_;
  const uint32_t lineNumber = lineCount_;
  bool blank = true;
  for (char c : line) blank = blank && isLineSpace(c);
  if (blank) return false;
  if (line.size() < 2) throw PPDSyntaxException("Line too short", lineNumber);
  if (line.size() >= 2 && line[line.size() - 2] == '\r' && line.back() == '\n') {
    line.erase(line.size() - 2, 1);
    if (line.size() < 2) throw PPDSyntaxException("Line too short", lineNumber);
  }
  if (line[0] != '*')
    throw PPDSyntaxException("Invalid statement, missing preceding '*'", lineNumber);
  if (line[1] == '%') return false;

  const size_t n = line.size();
  size_t pos = 1;
  while (pos < n && isKeywordChar(line[pos])) ++pos;
  if (pos == 1) throw PPDSyntaxException("No main keyword", lineNumber);
  if (pos - 1 > kMaxMainKeywordLength)
    throw PPDSyntaxException("Main keyword exceeds 40 characters", lineNumber);

  out.line = lineNumber;
  out.mainKeyword.assign(line, 1, pos - 1);
  out.optionKeyword.clear();
  out.translation.clear();
  out.value = PPDValue();

  while (pos < n && isBlank(line[pos])) ++pos;
  if (pos == n || line[pos] == '\n') return true;

  if (line[pos] == ':') {
    ++pos;
    while (pos < n && isBlank(line[pos])) ++pos;
    parseValue(pos, out.mainKeyword[0] == '?', out.value);
    return true;
  }

  size_t colon = line.find(':', pos);
  if (colon == std::string::npos)
    throw PPDSyntaxException("Syntax error parsing option keyword", lineNumber);
  std::string_view optionPart(line.data() + pos, colon - pos);
  size_t slash = optionPart.find('/');
  if (slash == std::string_view::npos) {
    out.optionKeyword.assign(optionPart);
  } else {
    out.optionKeyword.assign(optionPart.substr(0, slash));
    out.translation.assign(optionPart.substr(slash + 1));
  }
  pos = colon + 1;
  while (pos < n && isBlank(line[pos])) ++pos;
  if (pos == n) throw PPDSyntaxException("Unexpected end of line looking for value", lineNumber);
  parseValue(pos, true, out.value);
  return true;
}

void PPDParser::parseValue(size_t start, bool invocationAllowed, PPDValue& value) {
  const std::string& line = line_;
  const uint32_t lineNumber = lineCount_;
  const size_t n = line.size();

  if (start < n && line[start] == '"') {
    size_t close = line.find('"', start + 1);
    if (!invocationAllowed) {
      if (close == std::string::npos)
        throw PPDSyntaxException("Unexpected end of line encountered while parsing quoted value",
                                 lineNumber);
      try {
        value.text =
            decodeHexSubstrings(std::string_view(line).substr(start + 1, close - start - 1));
      } catch (const std::invalid_argument& e) {
        throw PPDSyntaxException(e.what(), lineNumber);
      }
      value.type = PPDValueType::Quoted;
      return;
    }
    value.type = PPDValueType::Invocation;
    if (close != std::string::npos) {
      value.text.assign(line, start + 1, close - start - 1);
      return;
    }
    value.text.assign(line, start + 1);
    readInvocationTail(value.text, lineNumber);
    return;
  }

  if (start < n && line[start] == '^') {
    size_t end = start + 1;
    while (end < n && isPrintable(line[end])) ++end;
    value.type = PPDValueType::Symbol;
    value.text.assign(line, start, end - start);
    return;
  }

  value.type = PPDValueType::String;
  size_t end = n;
  while (end > start && isLineSpace(line[end - 1])) --end;
  value.text.assign(line, start, end > start ? end - start : 0);
}

// Appends the continuation lines of an invocation value up to the line holding
// its closing quote.
void PPDParser::readInvocationTail(std::string& text, uint32_t firstLine) {
  for (;;) {
    if (readLine(continuation_) == LineEnd::EndOfFile)
      throw PPDSyntaxException("Unexpected end of file encountered while parsing invocation value",
                               firstLine);
    ++lineCount_;
    size_t quote = continuation_.find('"');
    size_t take = quote == std::string::npos ? continuation_.size() : quote;
    if (text.size() + take > kMaxInvocationLength)
      throw PPDSyntaxException(
          "Invocation value exceeds " + std::to_string(kMaxInvocationLength) + " characters",
          firstLine);
    text.append(continuation_, 0, take);
    if (quote != std::string::npos) return;
  }
}

}  // namespace Quillfeather
