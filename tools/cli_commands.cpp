#include "tools/cli.h"

namespace cli {

// Add a sub-command: declare its entry point here and list it below.

const Command kCommands[] = {
    {nullptr, nullptr, nullptr},
};

}  // namespace cli
