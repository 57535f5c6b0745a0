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

}  // namespace cli
