#include "toolkit/layout_page.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include "platform/graphics_import.h"
#include "toolkit/dialog_toolkit.h"
#include "toolkit/layout_picture.h"
#include "toolkit/layout_profile.h"
#include "toolkit/layout_sizes.h"

namespace {

// Background pictures are kept at most this large: the view shows them
// far smaller, and a huge file must not hold a huge buffer.
constexpr int kBackgroundPictureSide = 320;
// The movie item's picture: the view never shows it larger.
constexpr int kMoviePictureSide = kLayoutViewSize;

std::vector<std::string> stringList(const ResourceFile& res, ResID id) {
    std::vector<std::string> out;
    std::string s;
    for (int i = 1; getIndStringUtf8(res, id, i, &s) == noErr; ++i) out.push_back(s);
    return out;
}

std::string listString(const ResourceFile& res, ResID id, int index, const char* fallback) {
    std::string s;
    return getIndStringUtf8(res, id, index, &s) == noErr ? s : std::string(fallback);
}

LayoutRect layoutRectOf(const QDRect& r) { return {r.left, r.top, r.right, r.bottom}; }

LayoutSize recordVideo(const ProfileRecord& r) { return {r.videoWidth, r.videoHeight}; }

LayoutSize fitted(int w, int h, int side) {
    if (w <= side && h <= side) return {w, h};
    if (w >= h) return {side, std::max(1, int(int64_t(h) * side / w))};
    return {std::max(1, int(int64_t(w) * side / h)), side};
}

}  // namespace

LayoutPage::LayoutPage() = default;

LayoutPage::~LayoutPage() { detach(); }

OSStatus LayoutPage::attach(DialogPtr d, const ResourceFile& res, ProfileRecord* record) {
    if (d == nullptr || record == nullptr || countItems(d) < kLayoutPageLastItem)
        return kStatusParamError;
    uint8_t kind = 0;
    if (getItemKind(d, kLayoutViewItem, &kind) != noErr || kind != kUserItem ||
        getItemKind(d, kLayoutSwatchItem, &kind) != noErr || kind != kUserItem ||
        controlProcID(d, kLayoutSizePopupItem) != kControlProcPopup ||
        controlProcID(d, kLayoutVideoSizePopupItem) != kControlProcPopup)
        return kStatusParamError;
    detach();
    m_dialog = d;
    m_res = &res;
    m_record = record;
    m_running = false;
    m_pending = kLayoutPageUnchanged;
    m_editor = LayoutEditor(stringList(res, kLayoutSizeList));
    QDRect view;
    getItemRect(d, kLayoutViewItem, &view);
    m_editor.setViewRect(layoutRectOf(view));
    m_pictures = {};
    loadViewPictures(res, &m_pictures);
    m_proxy = m_pictures.movie;
    m_customText = listString(res, kCustomSizeStrings, 1, "Custom");

    // The procedures live as long as the dialog, which may outlive the page
    // or be disposed of first: they reach the page through a token that
    // detach() clears, and detach() never touches the dialog.
    m_self = std::make_shared<LayoutPage*>(this);
    std::weak_ptr<LayoutPage*> self = m_self;
    auto page = [self]() -> LayoutPage* {
        const std::shared_ptr<LayoutPage*> p = self.lock();
        return p ? *p : nullptr;
    };
    setUserItemDrawProc(d, kLayoutViewItem, [page](DialogPtr, int, DrawPort& port) {
        if (LayoutPage* p = page()) p->drawView(port);
    });
    setUserItemMouseProc(d, kLayoutViewItem, [page](DialogPtr, int, MouseAction a, int v, int h) {
        LayoutPage* p = page();
        return p != nullptr && p->viewMouse(a, v, h);
    });
    setUserItemDrawProc(d, kLayoutSwatchItem, [page](DialogPtr, int, DrawPort& port) {
        if (LayoutPage* p = page()) p->drawSwatch(port);
    });
    // A click on the swatch is reported only when the picker is offered.
    setUserItemMouseProc(d, kLayoutSwatchItem, [page](DialogPtr, int, MouseAction a, int, int) {
        LayoutPage* p = page();
        return p != nullptr && a == MouseAction::Up && !p->m_running && p->m_editor.editable();
    });
    settingsChanged();
    return noErr;
}

void LayoutPage::detach() {
    // The dialog keeps its procedures, now answering nothing; it may already
    // be gone, so it is not touched here.
    m_self.reset();
    m_dialog = nullptr;
    m_record = nullptr;
    m_res = nullptr;
}

void LayoutPage::settingsChanged() {
    if (!attached()) return;
    m_editor.setDevice(layoutDeviceOf(*m_record));
    m_editor.readPresentation(m_record->presentation ? *m_record->presentation : AtomContainer{});
    loadBackgroundPicture();
    storeLayout(m_editor, m_record);
    fillSizePopups();
    redraw();
}

void LayoutPage::videoChanged() {
    if (!attached()) return;
    m_editor.setDevice(layoutDeviceOf(*m_record));
    storeLayout(m_editor, m_record);
    fillSizePopups();
    redraw();
}

unsigned LayoutPage::itemHit(int item) {
    if (!attached()) return kLayoutPageUnchanged;
    switch (item) {
        case kLayoutChooseImageItem:
            return chooseBackgroundImage();
        case kLayoutClearImageItem:
            if (m_editor.item(kLayoutItemBackground) == nullptr) return kLayoutPageUnchanged;
            m_editor.clearBackgroundPicture();
            m_pictures.background = {};
            return changed(kLayoutPageSettingsChanged);
        case kLayoutSwatchItem:
            return chooseColour();
        case kLayoutViewItem: {
            const unsigned what = m_pending;
            m_pending = kLayoutPageUnchanged;
            return what;
        }
        case kLayoutControlsItem: {
            int value = 0;
            toggleCheckBox(m_dialog, kLayoutControlsItem, &value);
            m_editor.setShowControls(value != 0);
            return changed(kLayoutPageSettingsChanged);
        }
        case kLayoutSizePopupItem:
            return layoutSizeChosen();
        case kLayoutVideoSizePopupItem:
            return videoSizeChosen();
        case kLayoutResetItem:
            m_editor.resetToDefault();
            m_pictures.background = {};
            return changed(kLayoutPageSettingsChanged);
        default:
            return kLayoutPageUnchanged;
    }
}

// After an edit: the record follows the editor, the controls show it.
unsigned LayoutPage::changed(unsigned what) {
    storeLayout(m_editor, m_record);
    setControlValue(m_dialog, kLayoutControlsItem, m_editor.showControls() ? 1 : 0);
    selectSize(m_dialog, kLayoutSizePopupItem, m_editor.layoutSize().width,
               m_editor.layoutSize().height);
    redraw();
    return what;
}

unsigned LayoutPage::chooseBackgroundImage() {
    std::vector<OpenFileFilter> filters;
    for (const FileFilter& f :
         backgroundPictureFilters(listString(*m_res, kLayoutEditorStrings, 1, "Image Files"),
                                  listString(*m_res, kLayoutEditorStrings, 2, "All Files"),
                                  GraphicsImporterFileTypes()))
        filters.push_back({f.name, f.patterns});
    std::string title;
    getItemText(m_dialog, kLayoutChooseImageItem, &title);
    // The button's caption without its ellipsis names the dialog.
    if (const size_t at = title.find("…"); at != std::string::npos) title.erase(at);
    std::vector<std::string> paths;
    if (chooseFilesToOpen(m_dialog, title, filters, false, &paths) != noErr || paths.empty())
        return kLayoutPageUnchanged;
    if (dropPicture(paths.front()) != noErr) {
        systemBeep();  // not a picture: nothing changes
        return kLayoutPageUnchanged;
    }
    return kLayoutPageSettingsChanged;
}

OSStatus LayoutPage::dropPicture(const std::string& path) {
    if (!attached()) return kStatusParamError;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return kStatusFileNotFound;
    if (OSStatus err = chooseBackgroundPicture(&m_editor, path); err != noErr) return err;
    loadBackgroundPicture();
    changed(kLayoutPageSettingsChanged);
    return noErr;
}

unsigned LayoutPage::chooseColour() {
    if (m_running || !m_editor.editable()) return kLayoutPageUnchanged;
    const LayoutColour c = m_editor.backgroundColour();
    RGBColor16 colour{c.red, c.green, c.blue};
    const std::string title =
        listString(*m_res, kLayoutEditorStrings, 3, "Select Background Color");
    if (pickColour(m_dialog, title, &colour) != noErr) return kLayoutPageUnchanged;
    if (!m_editor.setBackgroundColour({colour.red, colour.green, colour.blue}))
        return kLayoutPageUnchanged;
    return changed(kLayoutPageSettingsChanged);
}

unsigned LayoutPage::layoutSizeChosen() {
    int value = 0;
    getControlValue(m_dialog, kLayoutSizePopupItem, &value);
    std::string text;
    if (getMenuItemText(m_dialog, kLayoutSizePopupItem, value, &text) != noErr)
        return kLayoutPageUnchanged;
    const LayoutSize chosen = sizeOfText(text);
    const LayoutSize old = m_editor.layoutSize();
    if (chosen.width <= 0 || chosen.height <= 0 || chosen == old) return kLayoutPageUnchanged;
    unsigned what = kLayoutPageSettingsChanged;
    // A square movie filling a square layout keeps filling it.
    const LayoutSize video = recordVideo(*m_record);
    if (video == old && isSquareVideoSize(video) && isSquareVideoSize(chosen)) {
        m_record->videoWidth = int16_t(chosen.width);
        m_record->videoHeight = int16_t(chosen.height);
        what |= kLayoutPageVideoChanged;
    }
    m_editor.setLayoutSize(chosen);
    const int16_t angle = m_record->angle;
    applyRotation();
    if (m_record->angle != angle) what |= kLayoutPageVideoChanged;
    m_editor.setDevice(layoutDeviceOf(*m_record));
    if (what & kLayoutPageVideoChanged) showVideoSize();
    return changed(what);
}

unsigned LayoutPage::videoSizeChosen() {
    int value = 0;
    getControlValue(m_dialog, kLayoutVideoSizePopupItem, &value);
    std::string text;
    if (getMenuItemText(m_dialog, kLayoutVideoSizePopupItem, value, &text) != noErr)
        return kLayoutPageUnchanged;
    LayoutSize chosen = sizeOfText(text);
    // "Default": automatic, stored as 0xFFFF each.
    if (chosen.width <= 0 || chosen.height <= 0) chosen = {-1, -1};
    const LayoutSize old = recordVideo(*m_record);
    if (chosen == old) return kLayoutPageUnchanged;
    m_record->videoWidth = int16_t(chosen.width);
    m_record->videoHeight = int16_t(chosen.height);
    applyRotation();
    m_editor.setDevice(layoutDeviceOf(*m_record));
    if (isSquareVideoSize(old) && !isSquareVideoSize(chosen)) {
        m_editor.setShowControls(true);
        m_editor.resetMoviePlacement();
    }
    showVideoSize();
    return changed(kLayoutPageSettingsChanged | kLayoutPageVideoChanged);
}

// Wide full-screen movies are always turned; others stay turned only while
// the layout is wider than the screen is tall.
void LayoutPage::applyRotation() {
    int16_t& angle = m_record->angle;
    const bool turned = angle == 90 || angle == -90;
    const bool turn = isWideVideoSize(recordVideo(*m_record)) ||
                      m_editor.layoutSize().width > m_record->screenHeight;
    if (!turn)
        angle = 0;
    else if (!turned)
        angle = 90;
}

void LayoutPage::fillSizePopups() {
    const LayoutSize screen{m_record->screenWidth, m_record->screenHeight};
    auto fill = [&](int item, ResID list, auto listed) {
        const std::vector<std::string> entries = stringList(*m_res, list);
        emptyPopup(m_dialog, item);
        int count = 0;
        for (int i : listed(entries, screen)) {
            appendMenuItem(m_dialog, item, entries[size_t(i)]);
            ++count;
        }
        setControlMaximum(m_dialog, item, count);
        if (count > 0) setControlValue(m_dialog, item, 1);
    };
    fill(kLayoutSizePopupItem, kLayoutSizeList, layoutSizeEntries);
    fill(kLayoutVideoSizePopupItem, kVideoSizeList, videoSizeEntries);
    selectSize(m_dialog, kLayoutSizePopupItem, m_editor.layoutSize().width,
               m_editor.layoutSize().height);
    setControlValue(m_dialog, kLayoutControlsItem, m_editor.showControls() ? 1 : 0);
    showVideoSize();
}

// The movie-size popup shows the record's video size: its entry, "Default"
// for automatic, or "Custom (w x h)" in place of "Default" for a size the
// list lacks (a dragged movie).
void LayoutPage::showVideoSize() {
    const std::string first = listString(*m_res, kVideoSizeList, 1, "Default");
    setMenuItemText(m_dialog, kLayoutVideoSizePopupItem, 1, first);
    const LayoutSize v = recordVideo(*m_record);
    if (v.width <= 0 || v.height <= 0) {
        setControlValue(m_dialog, kLayoutVideoSizePopupItem, 1);
        return;
    }
    if (selectSize(m_dialog, kLayoutVideoSizePopupItem, v.width, v.height) == noErr) return;
    setMenuItemText(m_dialog, kLayoutVideoSizePopupItem, 1,
                    customSizeText(m_customText, v.width, v.height));
    setControlValue(m_dialog, kLayoutVideoSizePopupItem, 1);
}

void LayoutPage::setFirstFile(const std::string& path) {
    if (!attached()) return;
    LayoutPicture p;
    if (!path.empty() && makeMoviePicture(path, kMoviePictureSide, kMoviePictureSide, &p) == noErr)
        m_pictures.movie = std::move(p);
    else
        m_pictures.movie = m_proxy;
    redraw();
}

void LayoutPage::loadBackgroundPicture() {
    m_pictures.background = {};
    const LayoutItem* i = m_editor.item(kLayoutItemBackground);
    if (i == nullptr || i->picturePath.empty()) return;
    int w = 0, h = 0;
    if (pictureFileSize(i->picturePath, &w, &h) != noErr || w <= 0 || h <= 0) return;
    const LayoutSize s = fitted(w, h, kBackgroundPictureSide);
    drawPictureFile(i->picturePath, s.width, s.height, &m_pictures.background);
}

void LayoutPage::setRunning(bool running) {
    m_running = running;
    if (!attached()) return;
    // A drag under way ends where the mouse last was.
    if (running && m_editor.dragging()) {
        m_editor.mouseUp(m_lastH, m_lastV);
        storeLayout(m_editor, m_record);
        showVideoSize();
    }
    redraw();
}

OSStatus LayoutPage::storeIntoRecord() {
    if (!attached()) return kStatusParamError;
    storeLayout(m_editor, m_record);
    if (!m_editor.edited()) return noErr;
    AtomContainer c = m_record->presentation ? *m_record->presentation : AtomContainer{};
    if (OSStatus err = m_editor.writePresentation(&c); err != noErr) return err;
    m_record->presentation = std::move(c);
    return noErr;
}

OSStatus LayoutPage::writePresentation(AtomContainer* settings) const {
    if (settings == nullptr) return kStatusParamError;
    return m_editor.writePresentation(settings);
}

bool LayoutPage::viewMouse(MouseAction action, int v, int h) {
    if (m_running) return false;
    m_lastV = v;
    m_lastH = h;
    switch (action) {
        case MouseAction::Down:
            if (m_editor.mouseDown(h, v)) redraw();
            return false;
        case MouseAction::Drag:
            if (!m_editor.dragging()) return false;
            m_editor.mouseMove(h, v);
            if (m_editor.dragHit().kind == kLayoutItemMovie) {
                // The popup follows the movie's size while it is dragged.
                const LayoutItem* movie = m_editor.item(kLayoutItemMovie);
                setMenuItemText(m_dialog, kLayoutVideoSizePopupItem, 1,
                                customSizeText(m_customText, movie->rect.width(),
                                               movie->rect.height()));
                setControlValue(m_dialog, kLayoutVideoSizePopupItem, 1);
            }
            redraw();
            return false;
        case MouseAction::Up: {
            if (!m_editor.dragging()) return false;
            const LayoutSize before = recordVideo(*m_record);
            m_editor.mouseUp(h, v);
            storeLayout(m_editor, m_record);
            unsigned what = kLayoutPageSettingsChanged;
            if (recordVideo(*m_record) != before) what |= kLayoutPageVideoChanged;
            showVideoSize();
            m_pending |= what;
            redraw();
            return true;
        }
    }
    return false;
}

void LayoutPage::drawView(DrawPort& port) {
    QDRect r;
    if (getItemRect(m_dialog, kLayoutViewItem, &r) != noErr) return;
    m_editor.setViewRect(layoutRectOf(r));
    LayoutPicture out;
    renderLayoutView(m_editor, m_pictures, &out);
    if (out.width <= 0 || out.height <= 0) return;
    // Blue, green, red, alpha bytes are 0xAARRGGBB words on this machine's
    // byte order only by accident; build the words explicitly.
    std::vector<uint32_t> argb(size_t(out.width) * size_t(out.height));
    for (size_t i = 0; i < argb.size(); ++i) {
        const uint8_t* p = &out.pixels[i * 4];
        argb[i] = uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
    }
    port.image(argb.data(), out.width, out.height, out.width * 4, r);
}

void LayoutPage::drawSwatch(DrawPort& port) {
    QDRect r;
    if (getItemRect(m_dialog, kLayoutSwatchItem, &r) != noErr) return;
    const LayoutColour c = m_editor.backgroundColour();
    port.fillRect(r, {c.red, c.green, c.blue});
    // Framed in grey while the colour cannot be changed.
    const bool offered = !m_running && m_editor.editable();
    port.frameRect(r, offered ? RGBColor16{0, 0, 0} : grayTextColor());
}

void LayoutPage::redraw() {
    if (!attached()) return;
    invalidateItem(m_dialog, kLayoutViewItem);
    invalidateItem(m_dialog, kLayoutSwatchItem);
}
