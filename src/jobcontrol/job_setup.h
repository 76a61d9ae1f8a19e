#pragma once

// Everything a job needs before its first page, read as rastertoorn reads it: the PPD (when
// there is one), the job's arguments and options, the checked settings, and the back end for
// the printer language with the insertion commands hooked in. The filter's entry point and the
// printer application both start their jobs here, so both send the same bytes.
#include <istream>
#include <memory>
#include <ostream>
#include <string>

#include "jobcontrol/filter.h"
#include "jobcontrol/insertion.h"
#include "jobcontrol/job_context.h"
#include "ppd/job_settings.h"

namespace Quillfeather {

struct JobArguments {
  std::string jobId;
  std::string user;
  std::string title;
  std::string copies = "1";
  std::string options;
};

class PreparedJob {
 public:
  // ppdPath may be null: the job then runs on built-in defaults, with a warning.
  PreparedJob(const char* ppdPath, const JobArguments& arguments, std::istream& input,
              std::ostream& output);
  PreparedJob(const PreparedJob&) = delete;
  PreparedJob& operator=(const PreparedJob&) = delete;

  Filter& backend() { return *backend_; }
  const JobSettings& settings() const { return settings_; }

 private:
  InsertionVariables variables_;
  JobSettings settings_;
  JobContext context_;
  std::unique_ptr<Filter> backend_;  // its hooks refer to the members above
};

}  // namespace Quillfeather
