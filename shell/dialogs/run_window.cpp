#include "shell/dialogs/run_window.h"

#include <filesystem>

#include "shell/file_list_run.h"
#include "toolkit/dialog_toolkit.h"

namespace {

constexpr ResID kCancelRunAlert = 150;
constexpr int kCancelRunConfirm = 2;  // "Cancel Conversions"
constexpr ResID kRunTextsID = 133;
constexpr int kCancelQuestionItem = 2;
constexpr ResID kProgressTextsID = 129;
constexpr int kConvertingItem = 1;
constexpr int kOfItem = 3;

class MainWindowRun final : public RunWindow {
  public:
    MainWindowRun(DialogPtr dialog, FileList& files, const RunHookEnvironment& env)
        : m_dialog(dialog), m_files(files), m_env(env) {}
    void attach(ConversionRun* run) { m_run = run; }

    void runStarted(int) override {
        std::string text;
        if (getIndStringUtf8(*m_env.resources, kProgressTextsID, kConvertingItem, &text) == noErr)
            setItemText(m_dialog, main_items::kProgressText1, text);
    }
    void fileStarted(size_t index, int number, int total) override {
        FileListEntry& e = m_files[index];
        e.progress.exists = true;
        e.progress.visible = true;
        e.progress.value = 0;
        mainWindowSelectRow(m_dialog, index);
        std::string of = " of ";
        getIndStringUtf8(*m_env.resources, kProgressTextsID, kOfItem, &of);
        setItemText(m_dialog, main_items::kProgressText2,
                    std::to_string(number) + of + std::to_string(total));
        mainWindowUpdateRows(m_dialog);
    }
    void setProgress(size_t index, int permille) override {
        FileListEntry& e = m_files[index];
        if (e.progress.value == permille) return;
        e.progress.value = permille;
        mainWindowUpdateRows(m_dialog);
    }
    void pumpEvents() override {
        pumpMessages();
        int item = 0;
        while (takeItemHit(m_dialog,
                           {main_items::kQuit, main_items::kAbout, main_items::kCancelConversion,
                            main_items::kCancelAll},
                           &item))
            answer(item);
    }
    void fileFinished(size_t index) override {
        FileListEntry& e = m_files[index];
        e.progress = RowProgressBar{};
        e.selected = false;
        mainWindowUpdateRows(m_dialog);
        if (m_env.afterFile) m_env.afterFile(*m_run);
    }

  private:
    void answer(int item) {
        if (item == main_items::kCancelConversion) {
            m_run->cancelCurrent();
        } else if (item == main_items::kAbout) {
            if (m_env.showAbout) m_env.showAbout();
        } else {
            std::string question;
            getIndStringUtf8(*m_env.resources, kRunTextsID, kCancelQuestionItem, &question);
            setParamText(question);
            int hit = 0;
            if (runAlert(*m_env.resources, kCancelRunAlert, nullptr, &hit) == noErr &&
                hit == kCancelRunConfirm) {
                if (item == main_items::kCancelAll)
                    m_run->cancelAll();
                else
                    m_run->stop();
            }
        }
    }

    DialogPtr m_dialog;
    FileList& m_files;
    const RunHookEnvironment& m_env;
    ConversionRun* m_run = nullptr;
};

}  // namespace

std::optional<HotSyncTarget> HotSyncTargetForFolder(const HotSyncLibrary& library,
                                                    const std::string& folder) {
    std::error_code ec;
    for (int i = 0; i < library.userCount(); ++i) {
        const std::string user = library.userName(i);
        const std::string userFolder = user.empty() ? std::string() : library.userFolder(user);
        if (!userFolder.empty() && std::filesystem::equivalent(userFolder, folder, ec)) {
            HotSyncTarget t;
            t.user = user;
            t.folder = userFolder;
            return t;
        }
    }
    return std::nullopt;
}

void RunConversionInWindow(ConversionRunRequest& request, const RunHookEnvironment& env) {
    if (request.leaveDialog != nullptr) *request.leaveDialog = false;
    if (request.files == nullptr || env.resources == nullptr) return;
    FileListRunList list(*request.files);
    MainWindowRun window(request.dialog, *request.files, env);
    ConversionRun run(list, window, *env.resources);
    window.attach(&run);
    run.setJournal(env.journal);
    if (run.prepare() > 0) mainWindowUpdateRows(request.dialog);

    RunInputs in;
    in.settings = request.settings;
    in.outputName = request.outputName;
    std::string folder = FileSpecPath(request.destinationFolder);
    if (folder.empty()) folder = request.destination.folder;
    if (request.sourceFolder) {
        in.destination.kind = RunDestinationKind::SourceFolder;
    } else if (request.hotSync) {
        in.destination.kind = RunDestinationKind::HotSync;
        in.destination.hotsync = env.hotsync;
        const HotSyncTarget* chosen = env.chosenHotSyncUser ? env.chosenHotSyncUser() : nullptr;
        std::error_code ec;
        if (chosen != nullptr && !chosen->folder.empty() &&
            std::filesystem::equivalent(chosen->folder, folder, ec)) {
            in.destination.target = *chosen;
        } else if (env.hotsync != nullptr) {
            if (auto t = HotSyncTargetForFolder(*env.hotsync, folder)) in.destination.target = *t;
        }
        // Without a user to queue for, the databases stay in the folder.
        if (in.destination.target.user.empty()) in.destination.hotsync = nullptr;
        in.destination.folder = folder;
    } else {
        in.destination.kind = RunDestinationKind::Folder;
        in.destination.folder = folder;
    }
    run.run(in);
    mainWindowUpdateRows(request.dialog);
}

void InstallConversionRunHook(RunHookEnvironment env) {
    setConversionRunHook(
        [env = std::move(env)](ConversionRunRequest& request) { RunConversionInWindow(request, env); });
}
