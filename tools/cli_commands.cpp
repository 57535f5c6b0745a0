#include "tools/cli.h"

namespace cli {

// Add a sub-command: declare its entry point here and list it below.
int runProfiles(int argc, char** argv);

const Command kCommands[] = {
    {"profiles", "list the device profiles, or show one", runProfiles},
    {nullptr, nullptr, nullptr},
};

}  // namespace cli
