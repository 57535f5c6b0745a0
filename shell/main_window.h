#pragma once
// The main window: dialog 1135, the one modal dialog in which the user
// works. It lists the sources (shell/file_list.h), chooses where converted
// files go, chooses a device profile and adjusts its settings, and starts
// a conversion run. The start-up code calls runMainDialog in a loop; the
// run itself is handed in through a hook (setConversionRunHook).
//
// The dialog's code lives in the library `shell_dialogs` (built with the
// GUI); the hook below and the types are in `shell`, so code without
// windows (the run, its tests) can use them.
#include <functional>
#include <string>

#include "platform/atoms.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "profiles/preferences.h"
#include "shell/file_list.h"

class PreferenceFile;
class ResourceFile;
class DestinationChoosers;

// Dialog 1135 and the items other code needs to know.
inline constexpr ResID kMainDialogID = 1135;
namespace main_items {
inline constexpr int kConvert = 1;
inline constexpr int kQuit = 2;
inline constexpr int kAbout = 3;
inline constexpr int kSettingsPopup = 7;
inline constexpr int kDestinationPopup = 9;
inline constexpr int kDevicePopup = 10;
inline constexpr int kFolderText = 12;
inline constexpr int kBanner = 13;
inline constexpr int kTabs = 14;
inline constexpr int kFileList = 15;
inline constexpr int kAddFiles = 16;
inline constexpr int kRemoveFiles = 17;
inline constexpr int kCancelConversion = 18;
inline constexpr int kRemoveAll = 19;
inline constexpr int kCancelAll = 20;
inline constexpr int kProgressText1 = 21;
inline constexpr int kProgressText2 = 22;
inline constexpr int kSaveAsPreset = 24;
inline constexpr int kEditPresets = 25;
inline constexpr int kVideoFormat = 26;
inline constexpr int kFrameRate = 27;
inline constexpr int kVideoRate = 28;
inline constexpr int kAudioFormat = 32;
inline constexpr int kChannels = 33;
inline constexpr int kSampleRate = 34;
inline constexpr int kCompression = 35;
inline constexpr int kBoost = 36;
inline constexpr int kVideoDescription = 42;
inline constexpr int kAudioDescription = 43;
inline constexpr int kLayoutPreview = 46;
inline constexpr int kShowControls = 54;
inline constexpr int kLayoutSize = 59;
inline constexpr int kMovieSize = 60;
inline constexpr int kResetLayout = 61;
}  // namespace main_items

// Tabs of item 14, numbered from 1.
inline constexpr int kTabFiles = 1;
inline constexpr int kTabAudioVideo = 2;
inline constexpr int kTabLayout = 3;

// What a conversion run receives when the user presses "Convert Files"
// with at least one file listed. By then the window has disabled items 1,
// 7, 9, 10 and 16, hidden 17 and 19, shown 18, 20, 21 and 22 and disabled
// the "Audio & Video" and "Layout" tabs; after the hook returns it undoes
// all of that and redraws the list. The run does everything else: it
// resets cancelled entries, converts the pending ones, answers items 2, 3,
// 18 and 20 while it pumps messages, and writes status, comment and
// progress bar into the entries (then calls mainWindowUpdateRows).
struct ConversionRunRequest {
    DialogPtr dialog = nullptr;  // dialog 1135, on screen
    FileList* files = nullptr;   // the window's list, in row order
    // The export settings built from the window's current profile record
    // and name (with the layout when it was edited).
    AtomContainer settings;
    Destination destination;  // popup value (kDestination...) and folder
    FileSpec destinationFolder;  // the folder as a file specification (empty name: none)
    bool hotSync = false;        // the destination popup is on "HotSync"
    bool sourceFolder = false;   // the destination popup is on "Source folder"
    // The output name entered for a one-file run (the source's extension
    // included, as the name prompt gives it); empty otherwise.
    std::string outputName;
    // The leave-the-dialog flag, set by the window before the call. The run
    // clears it when it starts; if it is still set when the hook returns,
    // the dialog closes and runMainDialog returns true.
    bool* leaveDialog = nullptr;
};
using ConversionRunHook = std::function<void(ConversionRunRequest&)>;

// Installs the run (replacing the previous one; an empty function removes
// it). Without a hook "Convert Files" only closes the dialog: the leave
// flag stays set, as if a run had asked for it.
void setConversionRunHook(ConversionRunHook hook);
const ConversionRunHook& conversionRunHook();

// The window's services to the run (null or any other dialog: nothing).
// Redraws the rows after entries changed (selection, status, comment,
// progress bar existence, visibility and value) and lays out the bars.
void mainWindowUpdateRows(DialogPtr dialog);
// Selects row `index` (0-based, in the list's order) alone and scrolls to it.
void mainWindowSelectRow(DialogPtr dialog, size_t index);

// What the window needs from the program around it.
struct MainWindowEnvironment {
    const ResourceFile* resources = nullptr;   // the program's resources (dialogs, strings, profiles)
    const PreferenceFile* store = nullptr;     // custom profiles live here; null: none
    DestinationChoosers* choosers = nullptr;   // destination popup items 2, 3, 5; null: window defaults
    // The folder browser for "Other..." when choosers is null: true with a
    // folder, false when cancelled. Null: the window's own.
    std::function<bool(std::string*)> browseFolder;
    // The name prompt for a one-file run: true with the name (see
    // outputName), false when cancelled. Null: the window's own (DLOG 158).
    std::function<bool(const std::string& sourcePath, std::string* name)> askOutputName;
    // The About box (item 3). Null: nothing.
    std::function<void()> showAbout;
    // How many HotSync users exist; with more than one the "HotSync" item
    // reads "HotSync..." (a chooser follows). Null: one.
    std::function<int()> hotSyncUserCount;
};

// The destination kept across calls (program-wide; the start-up code fills
// it from the preferences and saves it at the end). kind 0 counts as 1.
Destination& keptDestination();

// Shows dialog 1135 over `files` and `*settings` (an export-settings
// container in the device-profile layout) until the user quits or a run
// asks to leave. On return *settings holds the settings the window ended
// with (left as it was when they could not be built), *outputName the name
// of a one-file run, and the destination out-values its folder and flags.
// Returns true only when a run asked the dialog to close with files
// listed; false on Quit (which empties the list) and on a set-up failure.
bool runMainDialog(FileList& files, std::string* outputName, FileSpec* destinationFolder,
                   bool* destinationIsHotSync, bool* destinationIsSourceFolder,
                   AtomContainer* settings, const MainWindowEnvironment& env);
