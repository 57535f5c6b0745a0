#include "tools/cli.h"

namespace cli {

// Add a sub-command: declare its entry point here and list it below.
int runInspect(int argc, char** argv);

const Command kCommands[] = {
    {"inspect", "show and check what a handheld movie database holds", runInspect},
    {nullptr, nullptr, nullptr},
};

}  // namespace cli
