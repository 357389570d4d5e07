#pragma once

#include "cli/logic/ExtractCli.h"

namespace nuv {

// Runs one command line: loads the page, extracts, downloads, prints. Returns the exit
// status. Needs a QApplication; the program's schemes must have been registered.
int RunExtractCli(const ExtractCliOptions& options);

}  // namespace nuv
