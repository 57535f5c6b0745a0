// moviepacker: the window program. Brings up the platform and the
// program's components, shows the splash box, lists the files it was
// started with, and runs the main window until the user quits; the
// settings it ends with are kept for the next start.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/spool_file.h"
#include "install/dialogs/destination_dialogs.h"
#include "platform/dialogs.h"
#include "platform/drives.h"
#include "platform/hotsync.h"
#include "resources/resources.h"
#include "shell/dialogs/run_window.h"
#include "shell/main_window.h"
#include "shell/run_journal.h"
#include "shell/startup.h"
#include "toolkit/dialog_toolkit.h"
#include "toolkit/tab_control.h"

namespace {

constexpr ResID kSplashDialog = 140;
constexpr int kSplashWhole = 1;
constexpr uint32_t kSplashTicks = 240;
constexpr ResID kMessageAlert = 134;
constexpr ResID kStartupTexts = 135;
constexpr int kNoExporterText = 4;
constexpr ResID kAboutDialog = 128;
constexpr ResID kMainTexts = 128;
constexpr int kBrowseTitle = 3;

// The splash box: closes by itself after 240 ticks, or at a click.
void ShowSplash(const ResourceFile& res) {
    DialogPtr raw = nullptr;
    if (newDialog(res, kSplashDialog, &raw) != noErr) return;
    DialogHolder d(raw);
    keepProgramCursor(d.get());
    setUserItemMouseProc(d.get(), kSplashWhole,
                         [](DialogPtr, int, MouseAction a, int, int) { return a == MouseAction::Up; });
    showWindow(d.get());
    processEvents();
    saveScreenshot(d.get(), "splash");
    const uint32_t start = tickCount();
    int hit = 0;
    modalDialog(
        d.get(),
        [start](DialogPtr, const DialogEvent& e, int* item) {
            if (e.kind != DialogEventKind::Idle || tickCount() - start < kSplashTicks) return false;
            *item = kSplashWhole;
            return true;
        },
        &hit);
}

void ShowAbout(const ResourceFile& res) {
    DialogPtr raw = nullptr;
    if (newDialog(res, kAboutDialog, &raw) != noErr) return;
    DialogHolder d(raw);
    setDefaultItem(d.get(), 1);
    setCancelItem(d.get(), 1);
    int hit = 0;
    runModalUntil(d.get(), {1}, nullptr, nullptr, &hit);
}

constexpr const char* kUsage =
    "Usage: moviepacker [FILE]...\n"
    "\n"
    "Converts movies, sounds and still pictures into movies for Palm OS handhelds.\n"
    "Opens the converter's window with the given files listed; choose the device,\n"
    "the settings and where the converted files go, then press Convert Files.\n"
    "\n"
    "  -h, --help     show this text and exit\n"
    "      --version  show the version and exit\n"
    "  --             every later argument is a file name\n"
    "\n"
    "Without a display, use moviepacker-cli for conversions.\n";

}  // namespace

int main(int argc, char** argv) {
    const StartupCommandLine line = ReadStartupCommandLine(argc, argv);
    switch (line.action) {
    case StartupCommandLine::Action::Help:
        std::fputs(kUsage, stdout);
        return 0;
    case StartupCommandLine::Action::Version:
        std::printf("moviepacker %s\n", MOVIEPACKER_VERSION_TEXT);
        return 0;
    case StartupCommandLine::Action::BadOption:
        std::fprintf(stderr, "moviepacker: unknown option '%s' (see --help)\n",
                     line.badOption.c_str());
        return 2;
    case StartupCommandLine::Action::Run:
        break;
    }
    // Without any display the window layer could only abort; say why instead.
    const auto unset = [](const char* name) {
        const char* v = std::getenv(name);
        return v == nullptr || v[0] == '\0';
    };
    if (unset("DISPLAY") && unset("WAYLAND_DISPLAY") && unset("QT_QPA_PLATFORM")) {
        std::fputs("moviepacker: no display to open the window on (DISPLAY is not set);\n"
                   "moviepacker-cli converts without one.\n",
                   stderr);
        return 1;
    }
    // What conversions killed in earlier runs left behind.
    CleanStaleTemporaryFiles();
    CleanDeadRuns();
    RegisterProgramComponents();
    registerTabControl();
    registerToolkitControls();
    const ResourceFile& res = moviepackerResources();

    if (!ExporterPresent()) {
        std::string text;
        getIndStringUtf8(res, kStartupTexts, kNoExporterText, &text);
        setParamText(text);
        int hit = 0;
        runAlert(res, kMessageAlert, nullptr, &hit);
        return 0;
    }
    ShowSplash(res);

    FileList files;
    files.addFiles(line.files);

    const PreferenceFile store(PreferenceFile::defaultPath());
    AtomContainer settings = LoadStartupSettings(store, res, &keptDestination());

    HotSyncStore hotsync;
    std::string browseTitle = "Select a folder for converted movie files:";
    getIndStringUtf8(res, kMainTexts, kBrowseTitle, &browseTitle);
    DestinationDialogs choosers(
        hotsync, [] { return ListRemovableDrives(); },
        [browseTitle](std::string* folder) {
            return runFolderBrowser(nullptr, browseTitle, folder) == noErr && !folder->empty();
        });
    RunJournal journal;
    RunHookEnvironment runEnv;
    runEnv.journal = &journal;
    runEnv.resources = &res;
    runEnv.hotsync = &hotsync;
    runEnv.chosenHotSyncUser = [&choosers]() -> const HotSyncTarget* {
        return choosers.hotSyncTarget().user.empty() ? nullptr : &choosers.hotSyncTarget();
    };
    runEnv.showAbout = [&res] { ShowAbout(res); };
    InstallConversionRunHook(runEnv);

    MainWindowEnvironment env;
    env.resources = &res;
    env.store = &store;
    env.choosers = &choosers;
    env.showAbout = [&res] { ShowAbout(res); };
    std::string outputName;
    FileSpec folder;
    bool toHotSync = false, toSourceFolder = false;
    while (runMainDialog(files, &outputName, &folder, &toHotSync, &toSourceFolder, &settings, env)) {
    }
    SaveShutdownSettings(store, settings, keptDestination());
    return 0;
}
