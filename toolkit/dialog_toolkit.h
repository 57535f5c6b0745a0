#pragma once
// The dialog toolkit: what every moviepacker window shares on top of the
// dialog manager (platform/dialogs.h). Item accessors, popup routines,
// size texts ("width x height"), the separator line and disclosure
// triangle controls, labels from STR# lists, and the message pump.
//
// Everything is addressed by (dialog, item number) as in the dialog's DITL,
// and returns the dialog manager's statuses (noErr; kStatusParamError for a
// null dialog, an item outside the DITL or an item of the wrong kind;
// kStatusResourceNotFound for a missing STR#/PICT entry). Texts taken from
// resources and counted strings are Mac Roman; everything else is UTF-8.
//
// A typical dialog, e.g. a name prompt with OK (1), Cancel (2), edit text (3):
//
//     DialogPtr raw = nullptr;
//     std::string why;
//     if (OSStatus err = newDialog(moviepackerResources(), 158, &raw, &why)) return err;
//     DialogHolder d(raw);                      // disposed of on every path
//     setDefaultItem(d.get(), 1);               // Return
//     setCancelItem(d.get(), 2);                // Escape
//     setItemText(d.get(), 3, "my movie");
//     selectItemText(d.get(), 3, 0, 32767);
//     int hit = 0;
//     runModalUntil(d.get(), {1, 2}, nullptr, nullptr, &hit);
//
// User items: setUserItemDrawProc(d, item, [](DialogPtr d, int item,
// DrawPort& port) { ... }) draws in window coordinates (getItemRect gives
// the item's rectangle); setUserItemMouseProc follows clicks and drags.
//
// Tests run modal loops through setModalScript (see platform/dialogs.h)
// and save pictures of the windows with saveScreenshot.
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/dialogs.h"
#include "platform/resources.h"
#include "toolkit/size_text.h"

// --- Item accessors -----------------------------------------------------------

// An item as a value: null (dialog null) when the item does not exist.
struct DialogItemHandle {
    DialogPtr dialog = nullptr;
    int item = 0;
    uint8_t kind = 0;      // kButtonItem, kControlItem, ...
    bool isControl = false;  // has value, minimum, maximum and highlight
    explicit operator bool() const { return dialog != nullptr; }
};
DialogItemHandle getItemHandle(DialogPtr d, int item);

// Value 1 for the chosen item, 0 for the others in first..last.
OSStatus setRadioGroup(DialogPtr d, int first, int last, int chosen);
// Flips a check box's value; *newValue (may be null) receives it.
OSStatus toggleCheckBox(DialogPtr d, int item, int* newValue = nullptr);
// Static or edit text from a counted string (length byte, Mac Roman).
OSStatus setItemTextCounted(DialogPtr d, int item, std::string_view counted);
// Asks for a redraw of the item when it is visible.
OSStatus redrawItem(DialogPtr d, int item);

// How setLabelFromList places the text.
enum class LabelPlacement {
    Plain,       // the item keeps its rectangle
    FitWidth,    // the right edge moves to fit the text's width
    Centred,     // the rectangle shrinks to the text, centred where it was
    RightAligned // the rectangle shrinks to the text, keeping its right edge
};
// Loads item index (1-based) of STR# listID and makes it the item's text.
OSStatus setLabelFromList(DialogPtr d, int item, LabelPlacement placement,
                          const ResourceFile& res, ResID listID, int index);

// --- Popups -------------------------------------------------------------------

// Empties a popup: every item deleted, value 0, maximum 0. Items appended
// afterwards start enabled whatever was disabled before.
OSStatus emptyPopup(DialogPtr d, int item);
// Empties the popup and appends every string of STR# listID in order
// ("-" becomes a separator); maximum = item count, value 1.
OSStatus fillPopupFromList(DialogPtr d, int item, const ResourceFile& res, ResID listID);
// Appends a name the user or a device supplied so that it shows exactly as
// written: a placeholder item is appended, then given the text, so "(" and
// "-" in a name are not read as menu meta-characters. Mac Roman or UTF-8
// per the flag.
OSStatus appendNameToPopup(DialogPtr d, int item, std::string_view name, bool macRoman = false);

// --- Sizes and numbers ------------------------------------------------------

// parseSizeText and parseNumber: toolkit/size_text.h.
// The size shown by the popup's selected item (0 x 0 when none).
OSStatus selectedSize(DialogPtr d, int popupItem, int* width, int* height);
// Selects the first item whose text parses to width x height; when none
// does the popup is left as it was and kStatusResourceNotFound returned.
OSStatus selectSize(DialogPtr d, int popupItem, int width, int height);

// --- Pictures, controls, colours ---------------------------------------------------

// Draws PICT id centred in rect (window coordinates).
OSStatus drawPictureResource(DrawPort& port, const ResourceFile& res, ResID id, const QDRect& rect);

// Control definition IDs of the toolkit's own controls.
inline constexpr int16_t kSeparatorLineDefinition = 9;       // CNTL procID 144
inline constexpr int16_t kDisclosureTriangleDefinition = 4;  // CNTL procID 66
inline constexpr ResID kPictRightArrow = 1000;  // triangle closed (value 0)
inline constexpr ResID kPictDownArrow = 1001;   // triangle open (value 1)
// Registers both definitions for the process (done once at start-up;
// repeating it is harmless). Dialogs built afterwards may use them.
OSStatus registerToolkitControls();

// The platform's grey-text colour, 8-bit components widened to 16 bits
// by repeating the byte.
RGBColor16 grayTextColor();

// --- Window glue ----------------------------------------------------------------

// Handles every pending window event, then returns (for long work on the
// user-interface thread, such as a conversion's progress procedure).
void pumpMessages();
// The splash window keeps the program's cursor over all of its items.
OSStatus keepProgramCursor(DialogPtr d);
