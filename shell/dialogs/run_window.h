#pragma once
// The conversion run inside the main window: the run hook that
// runMainDialog calls for "Convert Files". While files are converted the
// window keeps answering: "Cancel Conversion" (18) stops the current file,
// "Cancel All" (20), Quit (2) and the close box ask with alert 150 and end
// the run after the current file, About (3) shows the About box.
#include <functional>
#include <string>

#include "install/hotsync_install.h"
#include "platform/hotsync.h"
#include "platform/resources.h"
#include "shell/conversion_run.h"
#include "shell/main_window.h"

struct RunHookEnvironment {
    const ResourceFile* resources = nullptr;
    // The HotSync library the converted files are queued with.
    HotSyncLibrary* hotsync = nullptr;
    // The user the HotSync chooser accepted last (none: the user is found
    // by the destination folder, as after a restart).
    std::function<const HotSyncTarget*()> chosenHotSyncUser;
    std::function<void()> showAbout;
    // Where half-written outputs are noted for a later start (null: nowhere).
    RunJournal* journal = nullptr;
    // Seen by tests: called after each file of a run.
    std::function<void(const ConversionRun&)> afterFile;
};

// The run for one request (what the hook does).
void RunConversionInWindow(ConversionRunRequest& request, const RunHookEnvironment& env);

// Installs RunConversionInWindow as the main window's run hook.
void InstallConversionRunHook(RunHookEnvironment env);

// The HotSync user whose folder is `folder`, with the handheld's memory as
// the destination; none when no user has that folder.
std::optional<HotSyncTarget> HotSyncTargetForFolder(const HotSyncLibrary& library,
                                                    const std::string& folder);
