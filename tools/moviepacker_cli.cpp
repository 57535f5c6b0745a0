// moviepacker-cli: converts desktop movies into handheld movie databases
// and inspects or decodes the databases.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iterator>

#include "engine/spool_file.h"
#include "tools/cli.h"

namespace cli {

bool isHelp(const char* arg) {
    return std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0 ||
           std::strcmp(arg, "help") == 0;
}

namespace {

volatile std::sig_atomic_t g_stopSignal = 0;
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction g_previous[std::size(kStopSignals)];

void onStopSignal(int signo) {
    g_stopSignal = signo;
}

}  // namespace

StopSignals::StopSignals() {
    g_stopSignal = 0;
    struct sigaction sa = {};
    sa.sa_handler = onStopSignal;
    sigemptyset(&sa.sa_mask);
    for (size_t i = 0; i < std::size(kStopSignals); ++i)
        sigaction(kStopSignals[i], &sa, &g_previous[i]);
}

StopSignals::~StopSignals() {
    for (size_t i = 0; i < std::size(kStopSignals); ++i)
        sigaction(kStopSignals[i], &g_previous[i], nullptr);
}

int StopSignals::caught() {
    return int(g_stopSignal);
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

static int dispatch(int argc, char** argv) {
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

int main(int argc, char** argv) {
    // Spool files and temporary folders of conversions killed in earlier runs.
    CleanStaleTemporaryFiles();
    // Whatever slips through becomes a message and a failure, never an abort.
    try {
        return dispatch(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "moviepacker-cli: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "moviepacker-cli: unexpected failure\n");
    }
    return cli::kExitFailed;
}
