#pragma once

namespace Quillfeather {

// The whole filter run for one CUPS job: arguments, PPD, settings, back end,
// page loop. Returns the process exit status.
int runFilter(int argc, char** argv);

}  // namespace Quillfeather
