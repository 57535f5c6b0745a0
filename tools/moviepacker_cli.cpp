// moviepacker-cli: converts desktop movies into handheld movie databases
// and inspects or decodes the databases.
#include <cstdio>
#include <cstring>

#include "tools/cli.h"

namespace cli {

bool isHelp(const char* arg) {
    return std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0 ||
           std::strcmp(arg, "help") == 0;
}

}  // namespace cli

static void printUsage(FILE* out) {
    std::fprintf(out,
                 "Usage: moviepacker-cli COMMAND [OPTIONS] [ARGS]\n"
                 "\n"
                 "Prepares desktop movies for playback on Palm OS handhelds.\n"
                 "\n"
                 "Commands:\n");
    for (const cli::Command* c = cli::kCommands; c->name; ++c)
        std::fprintf(out, "  %-10s %s\n", c->name, c->summary);
    std::fprintf(out,
                 "\n"
                 "Run 'moviepacker-cli COMMAND --help' for a command's options.\n"
                 "Exit status: 0 success, 1 the job failed, 2 bad usage or unreadable input.\n");
}

int main(int argc, char** argv) {
    if (argc < 2) {
        printUsage(stderr);
        return cli::kExitUsage;
    }
    if (cli::isHelp(argv[1])) {
        printUsage(stdout);
        return cli::kExitOk;
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("moviepacker-cli 0.1\n");
        return cli::kExitOk;
    }
    for (const cli::Command* c = cli::kCommands; c->name; ++c)
        if (std::strcmp(c->name, argv[1]) == 0) return c->run(argc - 1, argv + 1);
    std::fprintf(stderr, "moviepacker-cli: unknown command '%s' (try --help)\n", argv[1]);
    return cli::kExitUsage;
}
