#pragma once

#include <cstdint>
#include <istream>
#include <string>

#include "ppd/ppd_statement.h"

namespace Quillfeather {

// Reads PPD statements one at a time from a stream; see ppd_parser.cpp for the
// accepted syntax. Every malformed line throws PPDSyntaxException.
class PPDParser {
 public:
  // Longest line, without its LF (or CR LF) ending.
  static constexpr size_t kMaxLineLength = 254;
  // Longest value spread over several lines; guards against unterminated
  // values in endless or huge inputs.
  static constexpr size_t kMaxInvocationLength = 4u << 20;

  explicit PPDParser(std::istream& in);

  // Parses the next statement into out; false at the end of the stream.
  bool next(PPDStatement& out);

  // Number of lines read so far.
  uint32_t lineCount() const { return lineCount_; }

 private:
  enum class LineEnd { Complete, Fragment, EndOfFile };

  LineEnd readLine(std::string& line);
  bool parseStatement(PPDStatement& out);
  void parseValue(size_t start, bool invocationAllowed, PPDValue& value);
  void readInvocationTail(std::string& text, uint32_t firstLine);

  std::istream& in_;
  std::streambuf* buffer_;
  uint32_t lineCount_ = 0;
  std::string line_;
  std::string continuation_;
};

}  // namespace Quillfeather
