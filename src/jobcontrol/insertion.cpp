#include "jobcontrol/insertion.h"

#include <unistd.h>

#include <ctime>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <locale>
#include <sstream>

#include "jobcontrol/filter.h"
#include "jobcontrol/log.h"

namespace Quillfeather {
namespace {

// An insertion file larger than this is not sent: it would only be a mistake
// (a device or a log file) and could exhaust the memory of the print server.
constexpr size_t kMaxInsertionBytes = size_t{64} << 20;

bool isCodeCharacter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '%';
}

// Calls onCode(position) for every percent code, left to right, without overlap.
template <typename OnCode>
void forEachCode(std::string_view text, OnCode&& onCode) {
  size_t i = 0;
  while (i + 1 < text.size()) {
    if (text[i] == '%' && isCodeCharacter(text[i + 1])) {
      onCode(i);
      i += 2;
    } else {
      ++i;
    }
  }
}

// A job value (id, title, user, host) used in a file path must be a plain name:
// otherwise a job title could pick any file on the system.
bool usesUnsafePathValue(std::string_view path, const InsertionVariables& variables,
                         std::string& code) {
  bool unsafe = false;
  forEachCode(path, [&](size_t pos) {
    const std::string candidate(path.substr(pos, 2));
    if (candidate != "%i" && candidate != "%j" && candidate != "%u" && candidate != "%h") return;
    auto it = variables.find(candidate);
    if (it == variables.end()) return;
    const std::string& value = it->second;
    if (!unsafe && (value.find('/') != std::string::npos || value == "." || value == "..")) {
      unsafe = true;
      code = candidate;
    }
  });
  return unsafe;
}

// Sends the substituted lines of a file, each with a line feed. The file is
// read whole (up to the size limit) before anything is sent, so a file that is
// too large sends nothing; the substituted text goes to the sink piece by piece,
// so a short file of codes with long job values never builds a large string.
void sendInsertionFile(const std::string& path, const InsertionVariables& variables,
                       const InsertionSink& sink) {
  std::ifstream file(path, std::ios::binary);
  if (file.fail()) {
    Log::info() << "Unable to read file: " << path << std::endl;
    return;
  }
  // Read in blocks with a bound, so that a file without line feeds (a device
  // such as /dev/zero) cannot grow one line without limit.
  std::string content;
  char block[65536];
  while (file.read(block, sizeof block) || file.gcount() > 0) {
    content.append(block, static_cast<size_t>(file.gcount()));
    if (content.size() > kMaxInsertionBytes) {
      Log::warning() << "Insertion file is too large and was not sent: " << path << std::endl;
      return;
    }
  }
  const std::string_view text(content);
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    substituteVariables(text.substr(start, end - start), variables, sink);
    sink("\n");
    start = end + 1;
  }
}

std::string hostName() {
  char buffer[255] = {};
  if (gethostname(buffer, sizeof buffer - 1) != 0) return "unknown";
  return std::string(buffer);
}

std::string formatTime(const std::tm& time, const std::string& format) {
  std::ostringstream out;
  out.imbue(std::locale::classic());
  out << std::put_time(&time, format.c_str());
  return out.str();
}

void sendInsertion(Filter& filter, const InsertionCommand& command,
                   const InsertionVariables& variables) {
  expandInsertion(command, variables, [&filter](std::string_view piece) { filter.write(piece); });
}

}  // namespace

InsertionVariables makeInsertionVariables(const std::string& jobId, const std::string& user,
                                          const std::string& title) {
  return InsertionVariables{{"%%", "%"},   {"%h", hostName()}, {"%i", jobId},
                            {"%j", title}, {"%u", user},       {"%p", "0"}};
}

void substituteVariables(std::string_view text, const InsertionVariables& variables,
                         const InsertionSink& sink) {
  size_t emitted = 0;
  forEachCode(text, [&](size_t pos) {
    const std::string code(text.substr(pos, 2));
    auto it = variables.find(code);
    if (it == variables.end()) {
      Log::info() << "Unknown value: " << code << std::endl;
      return;
    }
    if (pos > emitted) sink(text.substr(emitted, pos - emitted));
    sink(it->second);
    emitted = pos + 2;
  });
  if (emitted < text.size()) sink(text.substr(emitted));
}

std::string substituteVariables(std::string_view text, const InsertionVariables& variables) {
  std::string out;
  out.reserve(text.size());
  substituteVariables(text, variables, [&out](std::string_view piece) { out += piece; });
  return out;
}

void expandInsertion(const InsertionCommand& command, const InsertionVariables& variables,
                     const InsertionSink& sink) {
  if (variables.empty()) return;
  switch (command.type) {
    case InsertionType::Text:
      substituteVariables(command.text, variables, sink);
      return;
    case InsertionType::File: {
      std::string code;
      if (usesUnsafePathValue(command.text, variables, code)) {
        Log::warning() << "Insertion file not sent: the job value " << code
                       << " in its path is not a plain file name" << std::endl;
        return;
      }
      sendInsertionFile(substituteVariables(command.text, variables), variables, sink);
      return;
    }
    case InsertionType::None:
      break;
  }
}

std::string expandInsertion(const InsertionCommand& command, const InsertionVariables& variables) {
  std::string out;
  expandInsertion(command, variables, [&out](std::string_view piece) { out += piece; });
  return out;
}

void updateDateTime(InsertionVariables& variables, const JobContext& context) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  variables["%t"] = formatTime(local, context.timeFormat);
  variables["%d"] = formatTime(local, context.dateFormat);
}

void installInsertionHooks(Filter& filter, InsertionVariables& variables, JobContext& context) {
  filter.setJobStartHook([&variables, &context](Filter& f) {
    updateDateTime(variables, context);
    sendInsertion(f, context.insertion("Pre", "Job"), variables);
  });
  filter.setPageStartHook([&variables, &context](Filter& f) {
    updateDateTime(variables, context);
    variables["%p"] = std::to_string(f.pageCount());
    sendInsertion(f, context.insertion("Pre", "Label"), variables);
    Log::info() << "Processing page: " << f.pageCount() << std::endl;
  });
  filter.setPageEndHook([&variables, &context](Filter& f) {
    updateDateTime(variables, context);
    variables["%p"] = std::to_string(f.pageCount());
    sendInsertion(f, context.insertion("Post", "Label"), variables);
    // One write, so the accounting line never interleaves with a log line.
    std::cerr << ("PAGE: " + std::to_string(f.pageCount()) + " 1\n") << std::flush;
  });
  filter.setJobEndHook([&variables, &context](Filter& f) {
    updateDateTime(variables, context);
    sendInsertion(f, context.insertion("Post", "Job"), variables);
  });
}

}  // namespace Quillfeather
