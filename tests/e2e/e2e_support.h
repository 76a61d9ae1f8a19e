#pragma once

// Runs the built filter as CUPS does and offers the PPDs and pages the
// end-to-end suites share.
#include <string>
#include <vector>

#include "support/process.h"
#include "support/raster_builder.h"

namespace OrnTest {

std::string filterPath();
std::string sourcePath(const std::string& relative);

// Writes text to a fresh file in a per-process temp folder and returns its path.
std::string writeTempFile(const std::string& name, const std::string& content);

// Runs the filter with the five CUPS arguments (plus an optional file) and the
// PPD path (empty: PPD unset) on the given raster bytes.
ProcessResult runFilter(const std::string& ppdPath, const std::string& raster,
                        const std::string& options = "", const std::string& title = "Test job",
                        const std::vector<std::string>& extraArgs = {});

// Lines of standard error with the given prefix ("CRIT: ", "WARNING: " ...).
std::vector<std::string> linesWithPrefix(const std::string& err, const std::string& prefix);

// A minimal PPD naming the printer language, plus extra statements.
std::string minimalPPD(const std::string& language, const std::string& extra = "");

}  // namespace OrnTest
