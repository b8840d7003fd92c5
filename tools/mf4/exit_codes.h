// Exit codes of the tool, shown in `mf4 --help`.
#pragma once

namespace mf4tool {

enum ExitCode : int {
    kExitClean = 0,     // no errors (warnings may have been printed)
    kExitErrors = 1,    // the file has errors or could not be read or written
    kExitUsage = 2,     // the command line was wrong
};

}  // namespace mf4tool
