// The main window (dialog 1135) over the dialog toolkit.
#include "shell/main_window.h"

#include <sys/stat.h>

#include <algorithm>
#include <memory>

#include "export/movie_exporter.h"
#include "install/destination.h"
#include "install/dialogs/destination_dialogs.h"
#include "platform/components.h"
#include "platform/mac_roman.h"
#include "platform/movies.h"
#include "profiles/popups.h"
#include "profiles/profile.h"
#include "profiles/profile_lists.h"
#include "shell/dialogs/preset_dialogs.h"
#include "shell/open_filters.h"
#include "shell/settings_popups.h"
#include "toolkit/dialog_toolkit.h"
#include "toolkit/layout_page.h"
#include "toolkit/tab_control.h"

using namespace main_items;

namespace {

// String lists of the window.
constexpr ResID kDestinationTexts = 128;  // 1 "Folder:", 2 "Export location:", 3 browse title,
                                          // 4 remove question, 6 "multiple locations", 8 remove all
constexpr ResID kAudioLabelList = 130;
constexpr ResID kRunTexts = 133;          // 4 "Duration: "
constexpr ResID kDestinationList = 136;
constexpr ResID kTabCaptions = 220;
constexpr ResID kLabelList = 246;
constexpr ResID kBannerTexts = 1135;      // title and subtitle of the banner
constexpr ResID kConfirmAlert = 130;
constexpr int kAlertOk = 1;

constexpr int kFilesFirst = 15, kFilesLast = 22;
constexpr int kAudioVideoFirst = 23, kAudioVideoLast = 45;
constexpr int kLayoutFirst = 46, kLayoutLast = 61;
constexpr int kAudioVideoPage = 23;

// Thumbnails drawn per idle tick: keeps the window answering while a long
// list fills in.
constexpr size_t kThumbnailsPerIdle = 2;
constexpr size_t kExaminationsPerIdle = 8;

std::string indText(const ResourceFile& res, ResID list, int index) {
    std::string s;
    getIndString(res, list, index, &s);
    return s;
}

bool isFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool isFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

// Choosers when the program hands none in: the folder browser only.
class OwnChoosers final : public DestinationChoosers {
  public:
    explicit OwnChoosers(std::function<bool(std::string*)> browse) : m_browse(std::move(browse)) {}
    bool chooseHotSyncUser(std::string*) override { return false; }
    bool chooseCardDrive(std::string*) override { return false; }
    bool browseFolder(std::string* folder) override { return m_browse && m_browse(folder); }

  private:
    std::function<bool(std::string*)> m_browse;
};

class MainWindow;
MainWindow* g_window = nullptr;  // the one main window on screen

class MainWindow {
  public:
    MainWindow(FileList& files, AtomContainer* settings, const MainWindowEnvironment& env)
        : m_files(files), m_settings(settings), m_env(env), m_res(*env.resources) {}
    ~MainWindow() { tearDown(); }

    bool setUp();
    // The modal loop; true when a run asked to leave with files listed.
    bool run();
    // Hands the settings and destination back (the Part's closing steps).
    void finish(std::string* outputName, FileSpec* destinationFolder, bool* hotSync,
                bool* sourceFolder);

    DialogPtr dialog() const { return m_dialog.get(); }
    void updateRows();
    void selectRow(size_t index);

  private:
    void tearDown();
    // Set-up pieces.
    void setLabels();
    void installDrawing();
    void restoreDestination();
    // Profiles.
    void loadRecordFromSettings();
    void fillProfilePopups();
    void chooseFromProfilePopups(int item);
    void settingsEdited();
    // Popups of the Audio & Video page.
    void updateAudioPopups();
    void updateVideoPopups();
    void applyPopup(int item, const PopupModel& model);
    void audioHit(int item);
    void videoHit(int item);
    // Files.
    void rebuildList();
    void updateRow(size_t index);
    static std::string rowText(const FileListEntry& e);
    void updateFolderText();
    void addFilesFromDialog();
    void dropped(const std::vector<std::string>& paths);
    void removeFiles(bool all);
    void syncSelectionFromList();
    bool idle();
    // The Layout page.
    void layoutHit(int item);
    void layoutPictureDropped(const std::string& path);
    // Pages, destination, run.
    void showTab(int tab);
    void destinationHit();
    void convertHit();
    void setRunning(bool running);
    void itemHit(int item);

    std::string popupText(int item);

    FileList& m_files;
    AtomContainer* m_settings;
    const MainWindowEnvironment& m_env;
    const ResourceFile& m_res;
    DialogHolder m_dialog;
    ComponentInstance m_exporter = nullptr;
    ComponentInstance m_tabs = nullptr;
    int m_tab = kTabFiles;
    ProfileRecord m_record;
    LayoutPage m_layout;  // items 46 to 61, over m_record
    SettingsMenu m_settingsMenu;
    DeviceMenu m_deviceMenu;
    std::vector<int32_t> m_formatCodes;  // audio format item -> code
    Destination m_destination;
    std::unique_ptr<OwnChoosers> m_ownChoosers;
    std::string m_outputName;
    bool m_leave = false;
    bool m_quit = false;
    bool m_running = false;
    bool m_recordLoaded = false;  // m_record stands for the settings
    // What each row shows, so that only what changed is redrawn.
    struct RowShown {
        std::string text;
        int picture = -1;  // -1 not yet set, 0 none, 1 the thumbnail
        bool barVisible = false;
        int barValue = -1;
    };
    std::vector<RowShown> m_shown;
    std::string m_firstFile;  // the one the layout page shows
};

// --- Set-up ---------------------------------------------------------------------

bool MainWindow::setUp() {
    if (OpenMoviepackerExporter(&m_exporter) != noErr) return false;
    registerToolkitControls();
    registerTabControl();
    DialogPtr raw = nullptr;
    if (newDialog(m_res, kMainDialogID, &raw) != noErr) return false;
    m_dialog.reset(raw);
    DialogPtr d = raw;
    if (openTabControl(d, kTabs, 3, &m_tabs) != noErr) return false;
    for (int t = 1; t <= 3; ++t) setTabCaption(m_tabs, t, indText(m_res, kTabCaptions, t));
    setLabels();
    installDrawing();
    loadRecordFromSettings();
    if (m_layout.attach(d, m_res, &m_record) != noErr) return false;
    fillProfilePopups();
    attachList(d, kFileList, true);
    setListPictureSize(d, kFileList, kThumbnailWidth, kThumbnailHeight);
    std::string prefix;
    if (getIndString(m_res, kRunTexts, 4, &prefix) == noErr) m_files.setDurationPrefix(prefix);
    fillPopupFromList(d, kVideoFormat, m_res, settings_lists::kVideoFormats);
    fillPopupFromList(d, kFrameRate, m_res, settings_lists::kFrameRates);
    fillPopupFromList(d, kVideoRate, m_res, settings_lists::kVideoRates);
    rebuildList();
    fillPopupFromList(d, kDestinationPopup, m_res, kDestinationList);
    restoreDestination();
    if (m_env.hotSyncUserCount && m_env.hotSyncUserCount() > 1) {
        std::string hotSync;
        getMenuItemText(d, kDestinationPopup, kDestinationHotSync, &hotSync);
        setMenuItemText(d, kDestinationPopup, kDestinationHotSync, hotSync + "...");
    }
    setDropProc(d, [this](DialogPtr, const std::vector<std::string>& paths) { dropped(paths); });
    updateFolderText();
    updateAudioPopups();
    updateVideoPopups();
    for (int item : {kCancelConversion, kCancelAll, kProgressText1, kProgressText2}) hideItem(d, item);
    showTab(kTabFiles);
    setDefaultItem(d, kConvert);
    setCancelItem(d, kQuit);
    showWindow(d);
    return true;
}

void MainWindow::setLabels() {
    DialogPtr d = m_dialog.get();
    setLabelFromList(d, 6, LabelPlacement::Plain, m_res, kLabelList, 8);
    setLabelFromList(d, 8, LabelPlacement::Plain, m_res, kDestinationTexts, 2);
    setLabelFromList(d, 11, LabelPlacement::Plain, m_res, kDestinationTexts, 1);
    const int videoLabels[] = {29, 30, 31};
    for (int i = 0; i < 3; ++i)
        setLabelFromList(d, videoLabels[i], LabelPlacement::Plain, m_res, kLabelList, i + 1);
    const int audioLabels[] = {37, 38, 39, 40, 41};
    for (int i = 0; i < 5; ++i)
        setLabelFromList(d, audioLabels[i], LabelPlacement::Plain, m_res, kAudioLabelList, i + 1);
    setLabelFromList(d, 50, LabelPlacement::Plain, m_res, kLabelList, 4);
    setLabelFromList(d, 51, LabelPlacement::Plain, m_res, kLabelList, 5);
    setLabelFromList(d, 52, LabelPlacement::Plain, m_res, kLabelList, 6);
    setLabelFromList(d, 55, LabelPlacement::Plain, m_res, kLabelList, 7);
    setLabelFromList(d, 56, LabelPlacement::Plain, m_res, kLabelList, 9);
}

void MainWindow::installDrawing() {
    DialogPtr d = m_dialog.get();
    const std::string title = macRomanToUtf8(indText(m_res, kBannerTexts, 1));
    const std::string subtitle = macRomanToUtf8(indText(m_res, kBannerTexts, 2));
    setUserItemDrawProc(d, kBanner, [title, subtitle](DialogPtr dd, int item, DrawPort& port) {
        QDRect r;
        getItemRect(dd, item, &r);
        port.fillRect(r, RGBColor16{0x1F1F, 0x3A3A, 0x6B6B});
        const RGBColor16 white{0xFFFF, 0xFFFF, 0xFFFF};
        QDRect t = r;
        t.left = int16_t(r.left + 16);
        t.bottom = int16_t(r.top + (r.bottom - r.top) * 3 / 5);
        port.text(t, title, DrawPort::Align::Left, white);
        QDRect s = r;
        s.left = int16_t(r.left + 16);
        s.top = t.bottom;
        s.bottom = int16_t(r.bottom - 6);
        port.text(s, subtitle, DrawPort::Align::Left, RGBColor16{0xC8C8, 0xD4D4, 0xEEEE});
    });
    // The pages' own items: a frame under the tabs.
    auto pageFrame = [](DialogPtr dd, int item, DrawPort& port) {
        QDRect r;
        getItemRect(dd, item, &r);
        port.frameRect(r, RGBColor16{0xB4B4, 0xB4B4, 0xB4B4});
    };
    setUserItemDrawProc(d, kAudioVideoPage, pageFrame);
    setUserItemDrawProc(d, kLayoutPreview, pageFrame);
}

void MainWindow::restoreDestination() {
    Destination kept = keptDestination();
    if (kept.kind == kDestinationNone) kept.kind = kDestinationSourceFolder;
    if (kept.kind != kDestinationSourceFolder && (kept.folder.empty() || !isFolder(kept.folder)))
        kept = Destination{kDestinationSourceFolder, {}};
    m_destination = kept;
    setControlValue(m_dialog.get(), kDestinationPopup, m_destination.kind);
}

// --- Profiles -------------------------------------------------------------------

void MainWindow::loadRecordFromSettings() {
    m_record = ProfileRecord{};
    profileToRecord(*m_settings, m_res, &m_record);
    m_recordLoaded = true;
}

void MainWindow::fillProfilePopups() {
    DialogPtr d = m_dialog.get();
    std::vector<std::string> custom;
    profileList(kListCustom, m_res, m_env.store, &custom);
    m_settingsMenu = buildSettingsMenu(m_res, !custom.empty());
    emptyPopup(d, kSettingsPopup);
    for (const std::string& item : m_settingsMenu.items) {
        if (item == kMenuSeparator) appendMenuItem(d, kSettingsPopup, "-");
        else appendNameToPopup(d, kSettingsPopup, item, true);
    }
    setControlMaximum(d, kSettingsPopup, int(m_settingsMenu.items.size()));
    // "Custom" stays choosable while it names the edited settings.
    enableMenuItem(d, kSettingsPopup, 1, m_settingsMenu.customEnabled || m_record.changed);

    std::string keyword;
    int settingsItem = 0;
    if (m_record.changed) {
        settingsItem = 1;
        keyword = std::string(kListCustom);
        setMenuItemText(d, kSettingsPopup, 1,
                        macRomanToUtf8(customSettingsTitle(m_settingsMenu.items[0], m_record)));
    } else {
        AtomContainer current;
        profileFromRecord(m_record, m_record.name, &current);
        SettingsSelection sel = selectSettingsItem(m_settingsMenu, current, m_res);
        if (sel.item == 0) {
            // No manufacturer of its own (Generic and the streaming set have
            // id 0 or one not listed): the first manufacturer that lists it.
            for (int i = m_settingsMenu.firstManufacturerItem;
                 i <= int(m_settingsMenu.items.size()) && sel.item == 0; ++i) {
                const std::string& name = m_settingsMenu.items[size_t(i - 1)];
                if (name == kMenuSeparator) continue;
                std::vector<std::string> names;
                profileList(name, m_res, m_env.store, &names);
                for (const std::string& n : names)
                    if (n == m_record.name) sel = SettingsSelection{i, name};
            }
        }
        settingsItem = sel.item;
        keyword = sel.keyword;
    }
    setControlValue(d, kSettingsPopup, settingsItem);

    emptyPopup(d, kDevicePopup);
    m_deviceMenu = keyword.empty() ? DeviceMenu{}
                                   : buildDeviceMenu(keyword, m_record.name, m_res, m_env.store);
    int extra = 0;
    if (m_record.changed) {
        // The edited settings on top, the presets below.
        appendNameToPopup(d, kDevicePopup, m_record.name, true);
        appendMenuItem(d, kDevicePopup, "-");
        extra = 2;
    }
    for (const std::string& item : m_deviceMenu.items) appendNameToPopup(d, kDevicePopup, item, true);
    setControlMaximum(d, kDevicePopup, extra + int(m_deviceMenu.items.size()));
    setControlValue(d, kDevicePopup, m_record.changed ? 1 : m_deviceMenu.selected);
    hiliteControl(d, kDevicePopup, countMenuItems(d, kDevicePopup) > 0 ? 0 : 255);
}

void MainWindow::chooseFromProfilePopups(int item) {
    DialogPtr d = m_dialog.get();
    int settingsValue = 0, deviceValue = 0;
    getControlValue(d, kSettingsPopup, &settingsValue);
    getControlValue(d, kDevicePopup, &deviceValue);
    std::vector<std::string> custom;
    profileList(kListCustom, m_res, m_env.store, &custom);
    SelectedProfile chosen;
    if (item == kSettingsPopup) {
        if (settingsValue < 1 || isMenuItemSeparator(d, kSettingsPopup, settingsValue)) return;
        const bool customChosen = settingsValue < m_settingsMenu.firstManufacturerItem;
        if (customChosen && m_record.changed) return;  // already showing the edited settings
        if (customChosen && custom.empty()) return;
        const std::string keyword =
            customChosen ? std::string(kListCustom) : m_settingsMenu.items[size_t(settingsValue - 1)];
        const DeviceMenu menu = buildDeviceMenu(keyword, m_record.name, m_res, m_env.store);
        if (menu.items.empty()) return;
        chosen.custom = customChosen;
        chosen.name = menu.names[size_t(menu.selected - 1)];
    } else {
        if (deviceValue < 1 || isMenuItemSeparator(d, kDevicePopup, deviceValue)) return;
        if (m_record.changed && deviceValue <= 2) return;  // the edited settings themselves
        std::string text;
        getMenuItemText(d, kDevicePopup, deviceValue, &text);
        const int index = deviceValue - (m_record.changed ? 2 : 0);
        if (index < 1 || size_t(index) > m_deviceMenu.names.size()) return;
        chosen.custom = settingsValue < m_settingsMenu.firstManufacturerItem;
        chosen.name = m_deviceMenu.names[size_t(index - 1)];
    }
    AtomContainer profile;
    if (findProfile(chosen.name, chosen.custom, m_res, m_env.store, &profile) != noErr) {
        fillProfilePopups();  // show the settings as they are
        return;
    }
    *m_settings = std::move(profile);
    loadRecordFromSettings();
    m_record.changed = 0;
    m_layout.settingsChanged();
    fillProfilePopups();
    updateAudioPopups();
    updateVideoPopups();
}

void MainWindow::settingsEdited() {
    const bool wasChanged = m_record.changed;
    m_record.changed = 1;
    if (!wasChanged) fillProfilePopups();
}

// --- Audio and video popups -------------------------------------------------------

void MainWindow::applyPopup(int item, const PopupModel& model) {
    DialogPtr d = m_dialog.get();
    emptyPopup(d, item);
    for (const std::string& s : model.items) {
        if (s == kMenuSeparator) appendMenuItem(d, item, "-");
        else appendNameToPopup(d, item, s, true);
    }
    setControlMaximum(d, item, int(model.items.size()));
    setControlValue(d, item, model.selected);
    hiliteControl(d, item, model.enabled && !model.items.empty() ? 0 : 255);
}

void MainWindow::updateAudioPopups() {
    const AudioPopups p = buildAudioPopups(m_record, m_res);
    applyPopup(kAudioFormat, p.format);
    m_formatCodes = p.formatCodes;
    applyPopup(kChannels, p.channels);
    applyPopup(kSampleRate, p.rate);
    // The rate popup's label says which of the two it offers.
    setLabelFromList(m_dialog.get(), 39, LabelPlacement::Plain, m_res, kAudioLabelList,
                     p.rateIsBitRate ? 6 : 3);
    applyPopup(kCompression, p.compression);
    applyPopup(kBoost, p.boost);
    setItemText(m_dialog.get(), kAudioDescription, macRomanToUtf8(p.description));
}

void MainWindow::updateVideoPopups() {
    const VideoPopups p = buildVideoPopups(m_record, m_res);
    applyPopup(kVideoFormat, p.format);
    applyPopup(kFrameRate, p.frameRate);
    applyPopup(kVideoRate, p.dataRate);
    setItemText(m_dialog.get(), kVideoDescription, macRomanToUtf8(p.description));
}

std::string MainWindow::popupText(int item) {
    int value = 0;
    getControlValue(m_dialog.get(), item, &value);
    std::string utf8;
    getMenuItemText(m_dialog.get(), item, value, &utf8);
    return utf8;
}

void MainWindow::audioHit(int item) {
    int value = 0;
    getControlValue(m_dialog.get(), item, &value);
    bool changed = false;
    switch (item) {
        case kAudioFormat:
            if (value >= 1 && size_t(value) <= m_formatCodes.size() && m_formatCodes[size_t(value - 1)] >= 0)
                changed = chooseAudioFormat(&m_record, m_formatCodes[size_t(value - 1)]);
            break;
        case kChannels: changed = chooseChannels(&m_record, value); break;
        case kSampleRate: changed = chooseRate(&m_record, popupText(item)); break;
        case kCompression: changed = chooseCompression(&m_record, value); break;
        case kBoost: changed = chooseBoost(&m_record, value); break;
        default: break;
    }
    if (changed) settingsEdited();
    updateAudioPopups();
}

void MainWindow::videoHit(int item) {
    int value = 0;
    getControlValue(m_dialog.get(), item, &value);
    bool changed = false;
    switch (item) {
        case kVideoFormat: changed = chooseVideoFormat(&m_record, value); break;
        case kFrameRate: changed = chooseFrameRate(&m_record, popupText(item)); break;
        case kVideoRate: changed = chooseVideoRate(&m_record, popupText(item)); break;
        default: break;
    }
    if (changed) {
        settingsEdited();
        m_layout.videoChanged();
    }
    updateVideoPopups();
}

// --- The file list -----------------------------------------------------------------

std::string MainWindow::rowText(const FileListEntry& e) {
    std::string row = e.fileName();
    std::string second = macRomanToUtf8(countedText(e.duration));
    const std::string comment = macRomanToUtf8(countedText(e.comment));
    if (!comment.empty()) second += second.empty() ? comment : "    " + comment;
    if (!second.empty()) row += "\n" + second;
    return row;
}

void MainWindow::rebuildList() {
    DialogPtr d = m_dialog.get();
    m_files.sortByName();
    std::vector<std::string> rows;
    rows.reserve(m_files.size());
    for (const FileListEntry& e : m_files.entries()) rows.push_back(rowText(e));
    setListRows(d, kFileList, rows);
    m_shown.assign(m_files.size(), RowShown{});
    for (size_t i = 0; i < rows.size(); ++i) m_shown[i].text = std::move(rows[i]);
    updateRows();
    updateFolderText();
    const std::string first = m_files.empty() ? std::string() : m_files[0].path();
    if (first != m_firstFile) {
        m_firstFile = first;
        m_layout.setFirstFile(first);
    }
}

void MainWindow::updateRow(size_t i) {
    DialogPtr d = m_dialog.get();
    if (i >= m_files.size() || i >= m_shown.size()) return;
    const FileListEntry& e = m_files[i];
    RowShown& shown = m_shown[i];
    const int row = int(i) + 1;
    std::string text = rowText(e);
    if (text != shown.text) {
        setListRow(d, kFileList, row, text);
        shown.text = std::move(text);
    }
    const int picture = e.thumbnail.empty() ? 0 : 1;
    if (picture != shown.picture) {
        if (picture)
            setListRowPicture(d, kFileList, row, e.thumbnail.argb.data(), kThumbnailWidth,
                              kThumbnailHeight);
        else
            setListRowPicture(d, kFileList, row, nullptr, 0, 0);
        shown.picture = picture;
    }
    const bool barVisible = e.progress.exists && e.progress.visible;
    if (barVisible != shown.barVisible || e.progress.value != shown.barValue) {
        setListRowProgress(d, kFileList, row, barVisible, e.progress.value, kRowProgressMaximum);
        shown.barVisible = barVisible;
        shown.barValue = e.progress.value;
    }
}

void MainWindow::updateRows() {
    DialogPtr d = m_dialog.get();
    if (countListRows(d, kFileList) != int(m_files.size()) || m_shown.size() != m_files.size()) {
        rebuildList();
        return;
    }
    int firstSelected = 0;
    for (size_t i = 0; i < m_files.size(); ++i) {
        updateRow(i);
        if (m_tab == kTabFiles) {
            const int row = int(i) + 1;
            selectListRow(d, kFileList, row, m_files[i].selected);
            if (m_files[i].selected && !firstSelected) firstSelected = row;
        }
    }
    if (firstSelected) scrollToListRow(d, kFileList, firstSelected);
}

void MainWindow::selectRow(size_t index) {
    for (size_t i = 0; i < m_files.size(); ++i) m_files[i].selected = i == index;
    updateRows();
}

void MainWindow::syncSelectionFromList() {
    const std::vector<int> rows = selectedListRows(m_dialog.get(), kFileList);
    for (auto& e : m_files.entries()) e.selected = false;
    for (int r : rows)
        if (r >= 1 && size_t(r) <= m_files.size()) m_files[size_t(r - 1)].selected = true;
}

void MainWindow::updateFolderText() {
    DialogPtr d = m_dialog.get();
    const std::string multiple = macRomanToUtf8(indText(m_res, kDestinationTexts, 6));
    const std::string text = folderText(m_files, m_destination.kind == kDestinationSourceFolder,
                                        m_destination.folder, multiple);
    QDRect r;
    getItemRect(d, kFolderText, &r);
    const int width = r.right - r.left - 4;
    setItemText(d, kFolderText, middleEllipsis(text, width, [d](std::string_view s) {
                    return itemTextWidth(d, kFolderText, s);
                }));
}

void MainWindow::addFilesFromDialog() {
    std::string title;
    getItemText(m_dialog.get(), kAddFiles, &title);
    std::vector<std::string> paths;
    if (chooseFilesToOpen(m_dialog.get(), title, openDialogFilters(), true, &paths) != noErr)
        return;
    for (const std::string& p : paths) m_files.addFileDeferred(p);
    rebuildList();
}

void MainWindow::dropped(const std::vector<std::string>& paths) {
    if (paths.empty()) return;
    if (m_tab == kTabLayout) {
        // Only the first item counts, and only a still picture.
        OSType importer = 0;
        if (isFile(paths.front()) && FindMovieImporter(paths.front(), &importer) == noErr &&
            importer == kStillImageImporterSubType)
            layoutPictureDropped(paths.front());
        return;
    }
    if (m_tab != kTabFiles) showTab(kTabFiles);
    for (const std::string& p : paths)
        if (isFile(p)) m_files.addFileDeferred(p);  // folders are ignored
    rebuildList();
}

void MainWindow::removeFiles(bool all) {
    const std::string question =
        macRomanToUtf8(indText(m_res, kDestinationTexts, all ? 8 : 4));
    setParamText(question);
    int hit = 0;
    if (runAlert(m_res, kConfirmAlert, nullptr, &hit) != noErr || hit != kAlertOk) return;
    if (all) m_files.selectAll(true);
    else syncSelectionFromList();
    m_files.removeSelected();
    rebuildList();
}

bool MainWindow::idle() {
    std::vector<size_t> changed;
    m_files.examinePending(kExaminationsPerIdle, &changed);
    m_files.makePendingThumbnails(kThumbnailsPerIdle, &changed);
    if (changed.empty()) return false;
    // The selection shown stays the user's; only a file that did not open
    // loses its row's selection.
    for (size_t i : changed) {
        updateRow(i);
        if (!m_files[i].selected && m_tab == kTabFiles)
            selectListRow(m_dialog.get(), kFileList, int(i) + 1, false);
    }
    return false;
}

// --- The Layout page --------------------------------------------------------------------

void MainWindow::layoutHit(int item) {
    const unsigned change = m_layout.itemHit(item);
    if (change & kLayoutPageSettingsChanged) settingsEdited();
    if (change & kLayoutPageVideoChanged) updateVideoPopups();
}

void MainWindow::layoutPictureDropped(const std::string& path) {
    if (m_layout.dropPicture(path) == noErr) settingsEdited();
}

// --- Pages --------------------------------------------------------------------------

void MainWindow::showTab(int tab) {
    DialogPtr d = m_dialog.get();
    m_tab = tab;
    auto setRange = [&](int first, int last, bool show) {
        for (int i = first; i <= last; ++i) show ? showItem(d, i) : hideItem(d, i);
    };
    setRange(kFilesFirst, kFilesLast, tab == kTabFiles);
    setRange(kAudioVideoFirst, kAudioVideoLast, tab == kTabAudioVideo);
    setRange(kLayoutFirst, kLayoutLast, tab == kTabLayout);
    if (tab == kTabFiles) {
        // The run's buttons replace the removing ones while it lasts.
        for (int i : {kCancelConversion, kCancelAll, kProgressText1, kProgressText2})
            m_running ? showItem(d, i) : hideItem(d, i);
        for (int i : {kRemoveFiles, kRemoveAll}) m_running ? hideItem(d, i) : showItem(d, i);
        updateRows();
    }
    selectTab(m_tabs, tab);
}

// --- Destination --------------------------------------------------------------------

void MainWindow::destinationHit() {
    DialogPtr d = m_dialog.get();
    int value = 0;
    getControlValue(d, kDestinationPopup, &value);
    DestinationChoosers* choosers = m_env.choosers;
    if (!choosers) {
        if (!m_ownChoosers) {
            std::function<bool(std::string*)> browse = m_env.browseFolder;
            if (!browse) {
                const std::string title = macRomanToUtf8(indText(m_res, kDestinationTexts, 3));
                browse = [d, title](std::string* folder) {
                    return runFolderBrowser(d, title, folder) == noErr && !folder->empty();
                };
            }
            m_ownChoosers = std::make_unique<OwnChoosers>(std::move(browse));
        }
        choosers = m_ownChoosers.get();
    }
    ChooseDestination(value, *choosers, &m_destination);
    setControlValue(d, kDestinationPopup, m_destination.kind);
    updateFolderText();
}

// --- Convert --------------------------------------------------------------------------

void MainWindow::setRunning(bool running) {
    DialogPtr d = m_dialog.get();
    m_running = running;
    for (int item : {kConvert, kSettingsPopup, kDevicePopup, kDestinationPopup, kAddFiles})
        hiliteControl(d, item, running ? 255 : 0);
    if (m_tab == kTabFiles) {
        for (int item : {kRemoveFiles, kRemoveAll}) running ? hideItem(d, item) : showItem(d, item);
        for (int item : {kCancelConversion, kCancelAll, kProgressText1, kProgressText2})
            running ? showItem(d, item) : hideItem(d, item);
    }
    m_layout.setRunning(running);
    enableTab(m_tabs, kTabAudioVideo, !running);
    enableTab(m_tabs, kTabLayout, !running);
    if (!running) {
        hiliteControl(d, kDevicePopup, countMenuItems(d, kDevicePopup) > 0 ? 0 : 255);
        showTab(m_tab);
    }
}

void MainWindow::convertHit() {
    m_outputName.clear();
    if (m_files.size() == 1) {
        const std::string source = m_files[0].path();
        std::string name;
        const bool chosen = m_env.askOutputName ? m_env.askOutputName(source, &name)
                                                : AskOutputName(source, &name);
        if (!chosen) return;
        m_outputName = name;
    }
    m_leave = true;
    if (m_files.empty()) return;
    const ConversionRunHook& hook = conversionRunHook();
    if (!hook) return;
    syncSelectionFromList();
    // The run sees every entry as addFile leaves it.
    m_files.examinePending(m_files.size());
    updateRows();
    m_layout.storeIntoRecord();
    ConversionRunRequest request;
    request.dialog = m_dialog.get();
    request.files = &m_files;
    if (profileFromRecord(m_record, m_record.name, &request.settings) != noErr) return;
    request.destination = m_destination;
    if (!m_destination.folder.empty()) FileSpecFromPath(m_destination.folder, &request.destinationFolder);
    request.hotSync = m_destination.kind == kDestinationHotSync;
    request.sourceFolder = m_destination.kind == kDestinationSourceFolder;
    request.outputName = m_outputName;
    request.leaveDialog = &m_leave;
    setRunning(true);
    hook(request);
    setRunning(false);
    updateRows();
}

// --- The loop ---------------------------------------------------------------------------

void MainWindow::itemHit(int item) {
    switch (item) {
        case kConvert: convertHit(); break;
        case kQuit:
            m_files.clear();
            m_quit = true;
            break;
        case kAbout:
            if (m_env.showAbout) m_env.showAbout();
            break;
        case kSettingsPopup:
        case kDevicePopup: chooseFromProfilePopups(item); break;
        case kDestinationPopup: destinationHit(); break;
        case kTabs: {
            const int tab = currentTab(m_dialog.get(), kTabs) + 1;
            if (tab >= 1 && tab != m_tab) {
                if (m_tab == kTabFiles) syncSelectionFromList();
                showTab(tab);
            }
            break;
        }
        case kFileList: syncSelectionFromList(); break;
        case kAddFiles: addFilesFromDialog(); break;
        case kRemoveFiles: removeFiles(false); break;
        case kRemoveAll: removeFiles(true); break;
        case kSaveAsPreset:
            if (!m_env.store) break;
            m_layout.storeIntoRecord();
            if (OSStatus err = runSavePresetDialog(m_res, *m_env.store, &m_record)) {
                if (err != kStatusUserCancelled) systemBeep();  // the store refused it
            } else {
                AtomContainer saved;
                if (profileFromRecord(m_record, m_record.name, &saved) == noErr)
                    *m_settings = std::move(saved);
                fillProfilePopups();
            }
            break;
        case kEditPresets:
            if (m_env.store && runEditPresetsDialog(m_res, *m_env.store)) fillProfilePopups();
            break;
        case kVideoFormat:
        case kFrameRate:
        case kVideoRate: videoHit(item); break;
        case kAudioFormat:
        case kChannels:
        case kSampleRate:
        case kCompression:
        case kBoost: audioHit(item); break;
        default:
            if (item >= kLayoutFirst && item <= kLayoutLast) layoutHit(item);
            break;
    }
}

bool MainWindow::run() {
    DialogPtr d = m_dialog.get();
    const ModalFilterProc filter = [this](DialogPtr, const DialogEvent& ev, int*) {
        if (ev.kind == DialogEventKind::Idle) idle();
        return false;
    };
    for (;;) {
        int hit = 0;
        if (modalDialog(d, filter, &hit) != noErr) return false;  // a test script ran out
        m_leave = false;
        itemHit(hit);
        if (m_quit) return false;
        if (hit == kConvert && m_leave) return !m_files.empty();
    }
}

void MainWindow::finish(std::string* outputName, FileSpec* destinationFolder, bool* hotSync,
                        bool* sourceFolder) {
    if (destinationFolder) {
        *destinationFolder = FileSpec{};
        if (!m_destination.folder.empty()) FileSpecFromPath(m_destination.folder, destinationFolder);
    }
    if (hotSync) *hotSync = m_destination.kind == kDestinationHotSync;
    if (sourceFolder) *sourceFolder = m_destination.kind == kDestinationSourceFolder;
    if (outputName) *outputName = m_outputName;
    if (m_recordLoaded) {
        if (m_layout.attached()) m_layout.storeIntoRecord();
        AtomContainer ended;
        if (profileFromRecord(m_record, m_record.name, &ended) == noErr) *m_settings = std::move(ended);
        if (m_destination.kind != kDestinationNone) keptDestination() = m_destination;
    }
}

void MainWindow::tearDown() {
    if (m_exporter) CloseComponent(m_exporter);
    m_exporter = nullptr;
    if (m_tabs) CloseComponent(m_tabs);
    m_tabs = nullptr;
    if (m_dialog) setDropProc(m_dialog.get(), nullptr);
    m_layout.detach();
    m_dialog.reset();
}

}  // namespace

void mainWindowUpdateRows(DialogPtr dialog) {
    if (g_window && g_window->dialog() == dialog && dialog) g_window->updateRows();
}

void mainWindowSelectRow(DialogPtr dialog, size_t index) {
    if (g_window && g_window->dialog() == dialog && dialog) g_window->selectRow(index);
}

bool runMainDialog(FileList& files, std::string* outputName, FileSpec* destinationFolder,
                   bool* destinationIsHotSync, bool* destinationIsSourceFolder,
                   AtomContainer* settings, const MainWindowEnvironment& env) {
    if (outputName) outputName->clear();
    if (!settings || !env.resources) return false;
    MainWindow window(files, settings, env);
    g_window = &window;
    bool result = false;
    if (window.setUp()) result = window.run();
    window.finish(outputName, destinationFolder, destinationIsHotSync, destinationIsSourceFolder);
    g_window = nullptr;
    return result;
}
