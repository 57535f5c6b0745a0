#include "tools/cli.h"

namespace cli {

// Add a sub-command: declare its entry point here and list it below.
int runInspect(int argc, char** argv);
int runDecode(int argc, char** argv);
int runProfiles(int argc, char** argv);
int runConvert(int argc, char** argv);
int runHotSync(int argc, char** argv);

const Command kCommands[] = {
    {"inspect", "show and check what a handheld movie database holds", runInspect},
    {"decode", "decode a handheld movie database to a movie file or PNG frames and WAV", runDecode},
    {"profiles", "list the device profiles, or show one", runProfiles},
    {"convert", "convert movies and pictures into handheld movie databases", runConvert},
    {"hotsync", "list HotSync users and their install queues, or add a user", runHotSync},
    {nullptr, nullptr, nullptr},
};

}  // namespace cli
