#include "jobcontrol/job_context.h"

#include "ppd/escapes.h"

namespace Quillfeather {

const InsertionCommand& JobContext::insertion(const std::string& prefix, const std::string& kind) {
  return insertions[prefix][kind];
}

JobContext readJobContext(const PPDFile& ppd) {
  JobContext context;
  static const std::pair<const char*, const char*> kMoments[] = {
      {"Pre", "Job"}, {"Pre", "Label"}, {"Post", "Job"}, {"Post", "Label"}};
  for (const auto& [prefix, kind] : kMoments) {
    PPDStatement statement;
    if (!ppd.find(std::string("ORN") + prefix + kind + "Insertion", statement)) continue;
    if (!statement.hasOptionKeyword()) continue;
    InsertionCommand command;
    command.type = statement.optionKeyword == "File" ? InsertionType::File : InsertionType::Text;
    command.text = unescape(statement.value.text);
    context.insertions[prefix][kind] = std::move(command);
  }

  PPDStatement statement;
  if (ppd.find("ORNInsertionDateFormat", statement) && statement.hasValue()) {
    context.dateFormat = statement.value.text;
  }
  if (ppd.find("ORNInsertionTimeFormat", statement) && statement.hasValue()) {
    context.timeFormat = statement.value.text;
  }
  if (ppd.find("ORNBarcodePrinterLanguage", statement) && statement.hasValue()) {
    context.language = languageFromName(statement.value.text);
  }
  return context;
}

}  // namespace Quillfeather
