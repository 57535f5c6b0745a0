#pragma once
// The Layout page of the main window (dialog 1135, items 46-61) over the
// layout editor: the 160 x 160 view (53) drawn in software and followed by
// the mouse, the background colour swatch (49) and its colour picker,
// "Choose Background Image…" (47), "Clear Background Image" (48), "Show
// movie controls" (54), the layout-size (59) and movie-size (60) popups and
// "Reset to Default Layout" (61). The editor's state lives in the main
// window's profile record; the page keeps the record's layout fields, video
// size and angle up to date as the user edits.
//
// How the main window uses it:
//
//     LayoutPage layout;                        // one per dialog, outlives nothing
//     // after newDialog(..., 1135, ...) and after the record is unpacked:
//     // (reads the record's PRES, fills popups 59/60, sets item 54):
//     layout.attach(dialog, moviepackerResources(), &record);
//     ...
//     // in the modal loop, for every hit on items 46..61:
//     unsigned change = layout.itemHit(item);
//     if (change & kLayoutPageSettingsChanged) switchSettingsPopupToCustom();
//     if (change & kLayoutPageVideoChanged) updateVideoPopups();  // size/angle moved
//     ...
//     layout.settingsChanged();   // a profile was chosen (the record and its
//                                 // presentation replaced): PRES read again
//     layout.videoChanged();      // the record's depth or video size changed
//                                 // elsewhere (Audio & Video page): device
//                                 // and popups 59/60 follow, the layout stays
//     layout.setFirstFile(path);  // the list's first file changed ("" = none)
//     layout.dropPicture(path);   // the first file dropped on the Layout page
//     layout.setRunning(true);    // during a run: no colour picker, no drags
//     // before a conversion, before saving a preset and when the dialog
//     // closes: the layout fields and (when edited) PRES go into the record
//     layout.storeIntoRecord();
//     ...
//     layout.detach();            // optional: the destructor does it, and
//                                 // the page and the dialog may go in
//                                 // either order
//
// The record must outlive the attachment. Showing and hiding the page's
// items on tab changes is the main window's; the view only draws when shown.
#include <memory>
#include <string>

#include "platform/dialogs.h"
#include "platform/resources.h"
#include "profiles/profile.h"
#include "toolkit/layout_model.h"
#include "toolkit/layout_view.h"

// Items of dialog 1135 the page owns.
inline constexpr int kLayoutPageItem = 46;          // the page's own user item (the window draws it)
inline constexpr int kLayoutChooseImageItem = 47;   // "Choose Background Image…"
inline constexpr int kLayoutClearImageItem = 48;    // "Clear Background Image"
inline constexpr int kLayoutSwatchItem = 49;        // background colour swatch
inline constexpr int kLayoutViewItem = 53;          // the layout view
inline constexpr int kLayoutControlsItem = 54;      // "Show movie controls"
inline constexpr int kLayoutSizePopupItem = 59;     // layout (screen) size
inline constexpr int kLayoutVideoSizePopupItem = 60;  // movie (video) size
inline constexpr int kLayoutResetItem = 61;         // "Reset to Default Layout"
inline constexpr int kLayoutPageFirstItem = 46;
inline constexpr int kLayoutPageLastItem = 61;

// STR# 171: "Image Files", "All Files", "Select Background Color".
inline constexpr ResID kLayoutEditorStrings = 171;
// STR# 132 item 1: "Custom", shown in the movie-size popup while dragging.
inline constexpr ResID kCustomSizeStrings = 132;

// What itemHit changed, as bits.
inline constexpr unsigned kLayoutPageUnchanged = 0;
// The user changed a setting: the settings popup becomes "Custom".
inline constexpr unsigned kLayoutPageSettingsChanged = 1;
// The record's video size or angle changed: refresh the video popups.
inline constexpr unsigned kLayoutPageVideoChanged = 2;

class LayoutPage {
  public:
    LayoutPage();
    ~LayoutPage();
    LayoutPage(const LayoutPage&) = delete;
    LayoutPage& operator=(const LayoutPage&) = delete;

    // Installs the view's and swatch's drawing and mouse procedures on an
    // open dialog 1135 and loads the strip pictures and the movie proxy
    // from res (which must outlive the attachment), then reads the record
    // as settingsChanged does. Status: noErr;
    // kStatusParamError for a null dialog or record, or a dialog without
    // the page's items.
    OSStatus attach(DialogPtr dialog, const ResourceFile& res, ProfileRecord* record);
    // Stops answering the dialog's procedures (the dialog is not touched).
    void detach();
    bool attached() const { return m_dialog != nullptr; }

    // A new profile or settings: the device from the record, the layout
    // from its presentation (or the default layout), popups 59 and 60
    // refilled, the view redrawn.
    void settingsChanged();
    // The record's video settings changed: the device follows and the
    // popups are refilled; the placed layout is kept.
    void videoChanged();

    // An item hit on 46..61 (others answer kLayoutPageUnchanged).
    unsigned itemHit(int item);

    // The first file of the list: its picture becomes the movie item's
    // (the movie proxy when empty or not a movie).
    void setFirstFile(const std::string& path);
    // A picture dropped on the Layout page becomes the background picture.
    // Status: noErr (the layout changed: the settings popup becomes
    // "Custom"); kStatusFileNotFound for a missing file or a folder;
    // the importer's status for a file that is no still picture.
    OSStatus dropPicture(const std::string& path);
    // While a conversion runs the view and swatch take no clicks.
    void setRunning(bool running);

    // The layout fields of the record, and PRES (ID 1) of its presentation
    // when the layout was edited. Status: noErr or the container's error.
    OSStatus storeIntoRecord();
    // PRES into another settings container (when the layout was edited).
    OSStatus writePresentation(AtomContainer* settings) const;

    const LayoutEditor& editor() const { return m_editor; }
    LayoutEditor& editor() { return m_editor; }

  private:
    unsigned chooseBackgroundImage();
    unsigned chooseColour();
    unsigned layoutSizeChosen();
    unsigned videoSizeChosen();
    unsigned changed(unsigned what);
    void applyRotation();
    void fillSizePopups();
    void showVideoSize();
    void loadBackgroundPicture();
    void drawView(DrawPort& port);
    void drawSwatch(DrawPort& port);
    bool viewMouse(MouseAction action, int v, int h);
    void redraw();

    DialogPtr m_dialog = nullptr;
    const ResourceFile* m_res = nullptr;
    ProfileRecord* m_record = nullptr;
    LayoutEditor m_editor;
    LayoutViewPictures m_pictures;
    LayoutPicture m_proxy;
    bool m_running = false;
    int m_lastV = 0, m_lastH = 0;  // where the mouse last was in the view (window pixels)
    unsigned m_pending = kLayoutPageUnchanged;  // what a drag changed, for the hit on 53
    std::string m_customText;                    // "Custom"
    std::shared_ptr<LayoutPage*> m_self;         // what the dialog's procedures reach
};
