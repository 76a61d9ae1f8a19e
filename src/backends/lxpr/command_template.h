#pragma once

#include <cstddef>
#include <ostream>
#include <string_view>
#include <vector>

#include "backends/lxpr/lxpr_arguments.h"

namespace Quillfeather::LXPRCommands {

// One field of a template: [begin, end) in the template text.
struct TemplateField {
  size_t begin = 0;
  size_t end = 0;
  bool operator==(const TemplateField&) const = default;
};

// Finds the fields of a template, left to right without overlap. A field is
// an optional "+", a run of one repeated lower-case letter, and an optional
// suffix "*", "$" or "/" with at least one digit; everything else is literal.
std::vector<TemplateField> findTemplateFields(std::string_view text);

// Writes the template with field i replaced by argument i. Throws
// CommandException, before writing anything, when the counts differ. Returns
// false when the stream failed; rendering stops at the failing argument.
bool formatCommand(std::ostream& out, std::string_view text, const ArgumentList& arguments);

}  // namespace Quillfeather::LXPRCommands
