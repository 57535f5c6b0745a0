// How long the main window takes to list 500 dropped movies, against
// listing them with every thumbnail drawn at once (the window draws them
// afterwards, a few per idle turn, so the list is usable at once).
//
//   shell_dialogs_bench_file_list [COUNT]
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "platform/dialogs.h"
#include "platform/tests/support/corpus.h"
#include "profiles/preferences.h"
#include "profiles/profile_lists.h"
#include "resources/resources.h"
#include "shell/main_window.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

// CPU time of the process: on a shared machine wall time says more about
// the other processes than about this one.
double CpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 500;
    const std::string dir = ScratchPath("bench-files");
    std::filesystem::create_directories(dir);
    const std::string clip = CorpusFile("h264_aac.mp4");
    std::vector<std::string> paths;
    for (int i = 0; i < count; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "/clip %04d.mp4", i);
        paths.push_back(dir + name);
        std::filesystem::copy_file(clip, paths.back(),
                                   std::filesystem::copy_options::overwrite_existing);
    }

    // Baseline: every file added with its thumbnail drawn at once.
    const auto e0 = Clock::now();
    const double c0 = CpuSeconds();
    {
        FileList eager;
        eager.addFiles(paths);
        eager.makePendingThumbnails(paths.size());
    }
    const double eagerSeconds = Seconds(e0, Clock::now());
    const double eagerCpu = CpuSeconds() - c0;

    PreferenceFile store(dir + "/TVLP");
    Destination dest;
    loadPreferences(store, moviepackerResources(), &dest);
    AtomContainer settings;
    findProfile("All color Palm OS devices", false, moviepackerResources(), nullptr, &settings);
    MainWindowEnvironment env;
    env.resources = &moviepackerResources();
    env.store = &store;

    FileList files;
    Clock::time_point dropAt, listedAt, thumbnailsAt;
    double dropCpu = 0, listedCpu = 0, thumbnailsCpu = 0;
    int rows = 0;
    bool thumbnailsDone = false;
    std::vector<ModalScriptStep> steps;
    steps.push_back([&](DialogPtr d) {
        dropAt = Clock::now();
        dropCpu = CpuSeconds();
        simulateDrop(d, paths);
        rows = countListRows(d, main_items::kFileList);
        listedAt = Clock::now();
        listedCpu = CpuSeconds();
    });
    // Idle turns draw the thumbnails.
    for (int i = 0; i < count + 10; ++i)
        steps.push_back([&](DialogPtr) {
            if (!thumbnailsDone && files.pendingThumbnails() == 0) {
                thumbnailsDone = true;
                thumbnailsAt = Clock::now();
                thumbnailsCpu = CpuSeconds();
            }
        });
    steps.push_back([](DialogPtr d) { simulateClick(d, main_items::kQuit); });
    setModalScript(std::move(steps));
    std::string name;
    FileSpec folder;
    bool hotSync = false, sourceFolder = false;
    runMainDialog(files, &name, &folder, &hotSync, &sourceFolder, &settings, env);

    const double listSeconds = Seconds(dropAt, listedAt);
    const double listCpu = listedCpu - dropCpu;
    std::printf("files dropped:            %d (rows listed: %d)\n", count, rows);
    std::printf("list filled in:           %.3f s wall, %.3f s CPU (target < 2 s)\n", listSeconds,
                listCpu);
    if (thumbnailsDone)
        std::printf("durations and thumbnails: %.3f s wall, %.3f s CPU after the drop (idle turns)\n",
                    Seconds(dropAt, thumbnailsAt), thumbnailsCpu - dropCpu);
    std::printf("baseline, all at once:    %.3f s wall, %.3f s CPU (open and draw every file)\n",
                eagerSeconds, eagerCpu);
    std::printf("ratio list / baseline:    %.3f (CPU)\n", eagerCpu > 0 ? listCpu / eagerCpu : 0.0);
    std::filesystem::remove_all(dir);
    return rows == count ? 0 : 1;
}
