#pragma once
// Sub-commands of moviepacker-cli. Each lives in its own cmd_*.cpp and is
// listed once in cli_commands.cpp; main() only dispatches.
#include <cstdio>

namespace cli {

// Exit statuses shared by every sub-command.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // the job ran and found faults or failed
inline constexpr int kExitUsage = 2;   // bad usage or unreadable input

struct Command {
    const char* name;
    const char* summary;
    // argv[0] is the sub-command's name.
    int (*run)(int argc, char** argv);
};

// The table, terminated by an entry with a null name.
extern const Command kCommands[];

// True when the argument asks for help.
bool isHelp(const char* arg);

// While alive, Ctrl-C, kill (SIGTERM) and a closed terminal (SIGHUP) only
// raise a flag that long jobs poll, so they stop cleanly and remove what
// they made.
class StopSignals {
  public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;
    // The signal caught so far, 0 for none.
    static int caught();
    // 128 + the signal, as shells report a process the signal ended.
    static int exitStatus() { return 128 + caught(); }
};

}  // namespace cli
