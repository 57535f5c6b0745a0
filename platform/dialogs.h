#pragma once
// The dialog manager: windows built at run time from the program's dialog
// resources and addressed by item number. This header knows nothing of the
// windowing library behind it (Qt 6 Widgets, in platform/dialogs/, built as
// the library `platform_dialogs`); callers speak item numbers, statuses
// and UTF-8 text only.
//
// Model
// - A dialog is made from a DLOG (or ALRT) and its DITL; item numbers are
//   the DITL's, from 1. Every item keeps its rectangle in window pixels
//   (top, left, bottom, right; QDRect).
// - Items: buttons, check boxes and radio buttons (values 0/1; a click does
//   NOT change the value, it is reported and the program sets the value, as
//   the classic toolbox did), static text, edit text, pictures (PICT = PNG),
//   icons (ID 0 stop, 1 note, 2 caution), user items (drawn by a procedure
//   the program installs) and controls from CNTL resources: push button,
//   check box, radio (proc 0/1/2), scroll bar (16), progress bar (80),
//   popup (1008: min names the MENU, max the title width; afterwards value
//   is the chosen item and the menu is the item's to edit) and custom
//   definitions registered by ID (registerControlDefinition).
// - Every control has value, minimum, maximum and highlight (0 active, 255
//   inactive). Buttons and check boxes made from DITL items are controls too.
// - Texts are UTF-8 here; the resources hold Mac Roman and are converted
//   when the dialog is built. Static texts have ^0..^3 replaced by the
//   parameter texts (setParamText) when the dialog is built.
//
// Ownership: newDialog hands the caller a dialog that the caller disposes
// of with disposeDialog (or holds in a DialogHolder). Procedures installed
// on a dialog are copied into it and live until it is disposed of.
//
// Statuses: noErr; kStatusParamError for a null dialog, an item number
// outside 1..countItems, or an operation the item's kind lacks;
// kStatusResourceNotFound for a missing DLOG/ALRT/DITL/CNTL/MENU/PICT;
// kStatusBadResourceMap for a malformed one (`why` then says which and
// what is wrong); kStatusUserCancelled is never produced by this layer.
//
// Modal loops and tests
// - modalDialog() waits for the user and returns ONE item hit at a time
//   (a click on an enabled item, Return = the default item, Escape = the
//   cancel item, a keystroke in an edit text = that edit item, a change of
//   a popup = that popup); the caller loops until it sees its OK or Cancel.
// - A filter procedure sees every key and idle event first and may claim
//   it (return true with *itemHit set).
// - Tests drive a modal loop without blocking by installing a script
//   (setModalScript): whenever a modal loop has no pending events it runs
//   the next step, which acts as the user would through the simulate*
//   functions below (real key and mouse events go to the widgets). When
//   the script is exhausted, the loop returns kStatusEndOfData instead of
//   waiting forever.
// - With MOVIEPACKER_SCREENSHOTS=DIR in the environment, saveScreenshot()
//   writes DIR/<type>-<ID>-<what>.png of the dialog's window.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dialog_resources.h"
#include "platform/resources.h"
#include "platform/status.h"

struct DialogRecord;
using DialogPtr = DialogRecord*;

struct RGBColor16 {
    uint16_t red = 0, green = 0, blue = 0;
    friend bool operator==(const RGBColor16&, const RGBColor16&) = default;
};

// --- Drawing ----------------------------------------------------------------

// What a draw procedure draws with: window coordinates, clipped to the item.
class DrawPort {
  public:
    enum class Align { Left, Centre, Right };
    virtual ~DrawPort() = default;
    virtual void fillRect(const QDRect& r, RGBColor16 colour) = 0;
    virtual void frameRect(const QDRect& r, RGBColor16 colour, int penWidth = 1) = 0;
    virtual void line(int v1, int h1, int v2, int h2, RGBColor16 colour) = 0;
    // The platform's etched edge: along the top of r when vertical is
    // false, along its left side when true.
    virtual void etchedLine(const QDRect& r, bool vertical) = 0;
    // One line of text, vertically centred in r; cut with "..." when wider.
    virtual void text(const QDRect& r, std::string_view utf8, Align align, RGBColor16 colour) = 0;
    virtual int textWidth(std::string_view utf8) = 0;
    // A PICT resource, centred in r at its own size (shrunk to fit when larger).
    virtual OSStatus picture(const ResourceFile& res, ResID id, const QDRect& r) = 0;
    // 32-bit pixels 0xAARRGGBB, rowBytes apart, scaled into dst.
    virtual void image(const uint32_t* argb, int width, int height, int rowBytes,
                       const QDRect& dst) = 0;
};

// The platform's grey-text colour (used for disabled captions).
RGBColor16 systemGrayTextColor();

// --- Dialogs ----------------------------------------------------------------

// Builds a dialog from DLOG dlogID (and its DITL, CNTL, MENU and PICT
// resources) in res. The window is shown when the DLOG says visible.
// res must outlive the dialog (pictures are read when drawn).
OSStatus newDialog(const ResourceFile& res, ResID dlogID, DialogPtr* out,
                   std::string* why = nullptr);
// An alert's window: ALRT alrtID; item 1 is the default, item 2 (when it
// is a button) the cancel item.
OSStatus newAlertDialog(const ResourceFile& res, ResID alrtID, DialogPtr* out,
                        std::string* why = nullptr);
void disposeDialog(DialogPtr d);  // null is allowed

struct DialogDisposer {
    void operator()(DialogPtr d) const { disposeDialog(d); }
};
using DialogHolder = std::unique_ptr<DialogRecord, DialogDisposer>;

// Which resource the dialog came from (kResTypeDialog or kResTypeAlert).
FourCC dialogResourceType(DialogPtr d);
ResID dialogResourceID(DialogPtr d);
// The resource file the dialog was built from (null for a null dialog).
const ResourceFile* dialogResources(DialogPtr d);

void showWindow(DialogPtr d);
void hideWindow(DialogPtr d);
bool isWindowVisible(DialogPtr d);
std::string windowTitle(DialogPtr d);
void setWindowTitle(DialogPtr d, std::string_view utf8);

int countItems(DialogPtr d);  // 0 for null
// The item's kind as in the DITL (kButtonItem, kControlItem, ...).
OSStatus getItemKind(DialogPtr d, int item, uint8_t* kind);
// For control items, the CNTL's definition ID (procID); -1 otherwise.
int controlProcID(DialogPtr d, int item);

OSStatus getItemRect(DialogPtr d, int item, QDRect* r);
OSStatus setItemRect(DialogPtr d, int item, const QDRect& r);
OSStatus showItem(DialogPtr d, int item);
OSStatus hideItem(DialogPtr d, int item);
bool isItemVisible(DialogPtr d, int item);
// Asks for the item to be redrawn (nothing when it is hidden).
OSStatus invalidateItem(DialogPtr d, int item);

// Texts of static and edit text, button, check box, radio and control titles.
OSStatus getItemText(DialogPtr d, int item, std::string* utf8);
OSStatus setItemText(DialogPtr d, int item, std::string_view utf8);
// Selects characters start..end of an edit text and gives it the keyboard
// (end past the text selects to its end).
OSStatus selectItemText(DialogPtr d, int item, int start, int end);
// The width in pixels that text takes in the item's font.
int itemTextWidth(DialogPtr d, int item, std::string_view utf8);

// Parameter texts ^0..^3, used by dialogs and alerts built afterwards.
void setParamText(std::string_view p0, std::string_view p1 = {}, std::string_view p2 = {},
                  std::string_view p3 = {});

// Return and Escape: the items they stand for (0: none). A default button
// is drawn as such.
OSStatus setDefaultItem(DialogPtr d, int item);
OSStatus setCancelItem(DialogPtr d, int item);
int defaultItem(DialogPtr d);
int cancelItem(DialogPtr d);

// --- Controls ---------------------------------------------------------------

OSStatus getControlValue(DialogPtr d, int item, int* value);
OSStatus setControlValue(DialogPtr d, int item, int value);  // clamped to min..max
OSStatus getControlMinimum(DialogPtr d, int item, int* value);
OSStatus setControlMinimum(DialogPtr d, int item, int value);
OSStatus getControlMaximum(DialogPtr d, int item, int* value);
OSStatus setControlMaximum(DialogPtr d, int item, int value);
// 0 active, 255 inactive (dimmed, reports no clicks).
OSStatus hiliteControl(DialogPtr d, int item, int state);
int controlHilite(DialogPtr d, int item);  // -1 for a non-control

// A custom control definition, registered for the process by definition ID
// (the CNTL procID divided by 16, as in "procedure 144" -> ID 9).
struct ControlContext {
    DialogPtr dialog = nullptr;
    int item = 0;
    QDRect bounds;        // the control's rectangle in window pixels
    int value = 0, minimum = 0, maximum = 0;
    int hilite = 0;
    int variation = 0;    // procID % 16
};
struct ControlDefinition {
    std::function<void(const ControlContext&, DrawPort&)> draw;
    // A click inside the control: return true to report the item as hit.
    // May change the value (setControlValue). Null: every click is reported.
    std::function<bool(const ControlContext&, int v, int h)> click;
};
// Registers or replaces a definition; IDs 0, 1, 5 and 63 are built in and
// refused (kStatusParamError). Dialogs built afterwards use it.
OSStatus registerControlDefinition(int16_t definitionID, ControlDefinition def);
bool isControlDefinitionRegistered(int16_t definitionID);

// --- Popup menus (controls with proc 1008) -------------------------------------

// Items are numbered from 1; a separator line counts as an item.
int countMenuItems(DialogPtr d, int item);  // -1 for a non-popup
// Appends one item, reading the classic meta-characters: "-" alone is a
// separator line and a leading "(" makes the item disabled. Use
// setMenuItemText to show a name as it is.
OSStatus appendMenuItem(DialogPtr d, int item, std::string_view utf8);
OSStatus setMenuItemText(DialogPtr d, int item, int menuItem, std::string_view utf8);
OSStatus getMenuItemText(DialogPtr d, int item, int menuItem, std::string* utf8);
OSStatus deleteMenuItem(DialogPtr d, int item, int menuItem);
OSStatus enableMenuItem(DialogPtr d, int item, int menuItem, bool enabled);
bool isMenuItemEnabled(DialogPtr d, int item, int menuItem);
bool isMenuItemSeparator(DialogPtr d, int item, int menuItem);

// --- User items -------------------------------------------------------------

using UserItemDrawProc = std::function<void(DialogPtr, int item, DrawPort&)>;
enum class MouseAction { Down, Drag, Up };
// Window coordinates. Return true to report the item as hit (on Up).
using UserItemMouseProc = std::function<bool(DialogPtr, int item, MouseAction, int v, int h)>;
OSStatus setUserItemDrawProc(DialogPtr d, int item, UserItemDrawProc proc);
OSStatus setUserItemMouseProc(DialogPtr d, int item, UserItemMouseProc proc);

// --- Lists (rows of text in a user item) ----------------------------------------

// Turns a user item into a scrolling list; rows from 1. multiple: the user
// may select several rows.
OSStatus attachList(DialogPtr d, int item, bool multiple);
OSStatus setListRows(DialogPtr d, int item, const std::vector<std::string>& utf8Rows);
int countListRows(DialogPtr d, int item);
OSStatus getListRow(DialogPtr d, int item, int row, std::string* utf8);
OSStatus setListRow(DialogPtr d, int item, int row, std::string_view utf8);
OSStatus removeListRow(DialogPtr d, int item, int row);
OSStatus selectListRow(DialogPtr d, int item, int row, bool selected);
std::vector<int> selectedListRows(DialogPtr d, int item);

// Rows with a picture and a progress bar (the main window's file list).
// A row's picture (0xAARRGGBB, row-major; null removes it) is drawn at its
// left, and the rows grow to the tallest picture; a row's text may hold
// line breaks. A visible progress bar is drawn at the row's right, below
// its first line; rows scrolled out of view show no bar.
OSStatus setListRowPicture(DialogPtr d, int item, int row, const uint32_t* argb, int width,
                           int height);
OSStatus setListRowProgress(DialogPtr d, int item, int row, bool visible, int value, int maximum);
// What the row shows: *visible and *value of its bar (tests read them).
OSStatus getListRowProgress(DialogPtr d, int item, int row, bool* visible, int* value);
bool listRowHasPicture(DialogPtr d, int item, int row);
// The size pictures are shown at (rows without one are indented as much).
OSStatus setListPictureSize(DialogPtr d, int item, int width, int height);
// Scrolls the list so that the row is in view.
OSStatus scrollToListRow(DialogPtr d, int item, int row);

// --- Tab bars (for the tab control component) ----------------------------------

// Puts a row of tabs at a user item; the tab bar's value is the selected
// tab (1-based), reported as a hit on the item when the user changes it.
OSStatus attachTabBar(DialogPtr d, int item);
OSStatus insertTab(DialogPtr d, int item, int index0, std::string_view utf8);
// Captions read "&" as a mnemonic marker: "&&" shows one "&".
OSStatus setTabText(DialogPtr d, int item, int index0, std::string_view utf8);
OSStatus getTabText(DialogPtr d, int item, int index0, std::string* utf8);
OSStatus setTabEnabled(DialogPtr d, int item, int index0, bool enabled);
bool isTabEnabled(DialogPtr d, int item, int index0);
int countTabs(DialogPtr d, int item);
OSStatus setCurrentTab(DialogPtr d, int item, int index0);
int currentTab(DialogPtr d, int item);  // 0-based; -1 when none
OSStatus getTabRect(DialogPtr d, int item, int index0, QDRect* windowRect);

// --- Files: dropping, the open dialog and the folder browser -------------------

// Files dropped on the window: proc receives their paths (folders too, as
// the user dropped them) after the window was brought to the front. A
// null proc stops the window from accepting drops.
using DropProc = std::function<void(DialogPtr, const std::vector<std::string>& paths)>;
OSStatus setDropProc(DialogPtr d, DropProc proc);
// Drops paths on the window as the user would (a drop event with their
// URLs goes to the window). kStatusParamError when it accepts no drops.
OSStatus simulateDrop(DialogPtr d, const std::vector<std::string>& paths);

// The system's folder browser over `owner` (may be null): *path receives
// the chosen folder. kStatusUserCancelled when the user cancelled;
// kStatusParamError for a null path.
OSStatus runFolderBrowser(DialogPtr owner, std::string_view title, std::string* path);
// Tests answer the folder browser without showing it, as the hooks of the
// standard dialogs below; an empty function removes the hook.
using FolderBrowserHook = std::function<OSStatus(std::string_view title, std::string* path)>;
void setFolderBrowserHook(FolderBrowserHook hook);

// --- Events and modal loops ----------------------------------------------------

enum class DialogEventKind { Idle, Key };
enum : int { kKeyReturn = 13, kKeyEscape = 27 };
struct DialogEvent {
    DialogEventKind kind = DialogEventKind::Idle;
    int key = 0;  // kKeyReturn, kKeyEscape or the character typed (Latin-1)
};
// Sees key and idle events before the dialog does; returning true claims
// the event, and a non-zero *itemHit is then returned by modalDialog.
using ModalFilterProc = std::function<bool(DialogPtr, const DialogEvent&, int* itemHit)>;

// Shows the window (if hidden) and waits for one item hit. Status: noErr;
// kStatusParamError for a null dialog; kStatusEndOfData when a test script
// ran out of steps.
OSStatus modalDialog(DialogPtr d, const ModalFilterProc& filter, int* itemHit);
// The common loop: modalDialog until one of the items in `until` is hit,
// calling onItem for every other hit.
OSStatus runModalUntil(DialogPtr d, std::initializer_list<int> until, const ModalFilterProc& filter,
                       const std::function<void(int item)>& onItem, int* itemHit);

// Shows ALRT alrtID with the current parameter texts and waits for a
// button; *itemHit is the button. Sounds the system beep first.
OSStatus runAlert(const ResourceFile& res, ResID alrtID, const ModalFilterProc& filter,
                  int* itemHit, std::string* why = nullptr);

// Handles every pending window event and returns (the message pump).
void processEvents();
// Removes the oldest pending hit on one of `items` and gives it back in
// *item; false when none is pending. Long work that pumps events (a
// conversion run) answers its own buttons this way, the close box
// included (it is the cancel item's hit); hits on other items stay queued
// for the dialog's next modal loop.
bool takeItemHit(DialogPtr d, std::initializer_list<int> items, int* item);
// Sixtieths of a second since the first call.
uint32_t tickCount();
void systemBeep();
int beepCount();  // how many beeps so far; tests read it

// Cursor-keeping: the window keeps the program's current cursor wherever
// the pointer goes over it (used for the splash box).
OSStatus setKeepsCursor(DialogPtr d, bool keep);
bool keepsCursor(DialogPtr d);

// --- Standard dialogs ------------------------------------------------------------

// The platform's colour picker titled `title`, owned by `owner` (may be
// null), started from *colour. Status: noErr with *colour set on OK;
// kStatusUserCancelled with *colour unchanged; kStatusParamError for a
// null colour.
OSStatus pickColour(DialogPtr owner, std::string_view title, RGBColor16* colour);

struct OpenFileFilter {
    std::string name;      // "Image Files"
    std::string patterns;  // "*.PNG;*.JPEG;", "*.*" for every file
};
// The platform's open-file dialog: existing files only, one or (multiple)
// several. The first filter is selected. Status: noErr with *paths the
// chosen files' absolute paths; kStatusUserCancelled with *paths empty;
// kStatusParamError for null paths.
OSStatus chooseFilesToOpen(DialogPtr owner, std::string_view title,
                           const std::vector<OpenFileFilter>& filters, bool multiple,
                           std::vector<std::string>* paths);

// Tests answer the standard dialogs without showing them: an installed
// hook is called instead of the window, with the same arguments, and its
// status is returned. An empty function removes the hook.
using ColourPickerHook = std::function<OSStatus(std::string_view title, RGBColor16* colour)>;
using OpenFileHook = std::function<OSStatus(std::string_view title,
                                            const std::vector<OpenFileFilter>& filters,
                                            bool multiple, std::vector<std::string>* paths)>;
void setColourPickerHook(ColourPickerHook hook);
void setOpenFileHook(OpenFileHook hook);

// --- Test driving -----------------------------------------------------------------

using ModalScriptStep = std::function<void(DialogPtr)>;
// Replaces the script; an empty vector removes it (modal loops then wait
// for real events).
void setModalScript(std::vector<ModalScriptStep> steps);
size_t modalScriptStepsLeft();

// Each acts as the user would: the events go through the window.
OSStatus simulateClick(DialogPtr d, int item);
OSStatus simulateClickAt(DialogPtr d, int item, int v, int h);  // window coordinates
OSStatus simulateDrag(DialogPtr d, int item, int v1, int h1, int v2, int h2);
// Types into the edit text that has the keyboard.
OSStatus simulateTyping(DialogPtr d, std::string_view utf8);
OSStatus simulateKey(DialogPtr d, int key);  // kKeyReturn, kKeyEscape, or a Latin-1 character
// Chooses menu item menuItem of a popup as from its drop-down.
OSStatus simulatePopupChoice(DialogPtr d, int item, int menuItem);
OSStatus simulateTabChoice(DialogPtr d, int item, int index0);
// The window manager's close command (the title bar's close box): reported
// as the cancel item; the window stays open.
OSStatus simulateClose(DialogPtr d);
// Paints the window into 32-bit pixels (0xAARRGGBB, row-major).
OSStatus grabWindow(DialogPtr d, std::vector<uint32_t>* argb, int* width, int* height);

// With MOVIEPACKER_SCREENSHOTS=DIR set: writes DIR/<type>-<ID>-<what>.png
// (e.g. DLOG-158-name-typed.png) of the window and returns its path; an
// empty string when the variable is unset or the file cannot be written.
std::string saveScreenshot(DialogPtr d, std::string_view what);
