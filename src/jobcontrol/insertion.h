#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "jobcontrol/insertion_command.h"
#include "jobcontrol/job_context.h"

namespace Quillfeather {

class Filter;

// Percent code ("%j", "%%" ...) to its replacement text.
using InsertionVariables = std::unordered_map<std::string, std::string>;

// Takes the bytes of an insertion piece by piece, in order.
using InsertionSink = std::function<void(std::string_view)>;

// The fixed codes: %% %h %i %j %u, and %p = "0".
InsertionVariables makeInsertionVariables(const std::string& jobId, const std::string& user,
                                          const std::string& title);

// Replaces every code "%" + letter, digit or "%" that the table knows; unknown
// codes stay as they are (logged at Info level). Replacements are not scanned again.
std::string substituteVariables(std::string_view text, const InsertionVariables& variables);
void substituteVariables(std::string_view text, const InsertionVariables& variables,
                         const InsertionSink& sink);

// The bytes to send for a command: its substituted text, or the substituted
// lines of the file it names.
// The hooks stream them to the printer, so what an insertion expands to is never
// held in memory whole, however long the job values are.
std::string expandInsertion(const InsertionCommand& command, const InsertionVariables& variables);
void expandInsertion(const InsertionCommand& command, const InsertionVariables& variables,
                     const InsertionSink& sink);

// Sets %d and %t from the current local time and the context's formats.
void updateDateTime(InsertionVariables& variables, const JobContext& context);

// Installs the four hooks that send the insertion commands around the job and
// each page, log page progress and write the "PAGE: " accounting line. The
// variables and the context must outlive the filter.
void installInsertionHooks(Filter& filter, InsertionVariables& variables, JobContext& context);

}  // namespace Quillfeather
