#pragma once
// The binary layouts of the window resources (DLOG, ALRT, DITL, CNTL, MENU,
// PICT) and their readers. No windowing here: the dialog layer
// (platform/dialogs.h) builds windows from what these readers return.
//
// Every reader checks each length before reading and rejects a resource
// whose item count runs past its data, whose rectangles are inverted or
// out of range, or that has bytes left over; `why` (may be null) then
// receives a one-line description for the user and the status is
// kStatusBadResourceMap. All numbers are big-endian.
//
// Layouts (offsets in bytes):
//   Rect   top, left, bottom, right: four signed 16-bit numbers (8 bytes).
//   DLOG   bounds Rect; window kind i16; visible u8 + pad u8; close box u8 +
//          pad u8; refCon i32; item list (DITL) ID i16; title as a counted
//          string, padded to an even length; optionally a position i16.
//   ALRT   bounds Rect; item list ID i16; stages u16; optionally a position i16.
//   DITL   count - 1 (i16); per item: 4 reserved bytes, bounds Rect, kind u8
//          (bit 7 set: the item does not report clicks), data length u8 and
//          the data, padded to an even length. Text items hold their text;
//          control, icon and picture items hold a 2-byte resource ID.
//   CNTL   bounds Rect; value i16; visible u8 + pad u8; max i16; min i16;
//          definition ID i16; refCon i32; title as a counted string.
//   MENU   menu ID i16; width i16; height i16; definition ID i16; filler
//          i16; enable flags u32 (bit 0 the menu, bit i item i); title as
//          a counted string; items, each a counted string and four bytes
//          (icon, key, mark, style), ended by a zero byte.
//   PICT   a PNG file: a picture resource here holds PNG bytes, which carry
//          their own size in the IHDR chunk.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/resources.h"

inline constexpr FourCC kResTypeDialog = fourCC("DLOG");
inline constexpr FourCC kResTypeAlert = fourCC("ALRT");
inline constexpr FourCC kResTypeItemList = fourCC("DITL");
inline constexpr FourCC kResTypeControl = fourCC("CNTL");
inline constexpr FourCC kResTypeMenu = fourCC("MENU");
inline constexpr FourCC kResTypePicture = fourCC("PICT");

// Coordinates beyond this are refused: no screen is that large, and it keeps
// width and height arithmetic far from 16-bit overflow.
inline constexpr int kMaxCoordinate = 8192;

struct QDRect {
    int16_t top = 0, left = 0, bottom = 0, right = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool contains(int v, int h) const { return v >= top && v < bottom && h >= left && h < right; }
    friend bool operator==(const QDRect&, const QDRect&) = default;
};

// Window kinds of a DLOG (the classic definition IDs).
inline constexpr int16_t kDialogKindModal = 1;      // framed, no title bar
inline constexpr int16_t kDialogKindPlain = 2;      // plain box (splash)
inline constexpr int16_t kDialogKindDocument = 4;   // titled document window
inline constexpr int16_t kDialogKindMovable = 5;    // movable modal, titled

struct DialogTemplate {
    QDRect bounds;
    int16_t kind = kDialogKindMovable;
    bool visible = true;
    bool closeBox = false;
    int32_t refCon = 0;
    ResID itemsID = 0;
    std::string title;  // Mac Roman
};

struct AlertTemplate {
    QDRect bounds;
    ResID itemsID = 0;
    uint16_t stages = 0;
};

// Item kinds in a DITL.
enum : uint8_t {
    kUserItem = 0,
    kButtonItem = 4,
    kCheckBoxItem = 5,
    kRadioButtonItem = 6,
    kControlItem = 7,  // a CNTL resource
    kStaticTextItem = 8,
    kEditTextItem = 16,
    kIconItem = 32,
    kPictureItem = 64,
    kItemDisableFlag = 128,
};

struct DialogItemTemplate {
    uint8_t kind = kUserItem;  // without the disable flag
    bool disabled = false;     // the flag: clicks are not reported
    QDRect bounds;
    std::string text;      // button, check box, radio, static and edit text (Mac Roman)
    ResID resourceID = 0;  // control, icon and picture items
};

// Control definition IDs the dialog layer knows. Custom ones (the
// separator line, the disclosure triangle) are registered at run time
// under their own IDs.
inline constexpr int16_t kControlProcButton = 0;
inline constexpr int16_t kControlProcCheckBox = 1;
inline constexpr int16_t kControlProcRadio = 2;
inline constexpr int16_t kControlProcScrollBar = 16;
inline constexpr int16_t kControlProcProgressBar = 80;
inline constexpr int16_t kControlProcPopup = 1008;  // min holds the MENU ID
// "Title" width: for a popup, max holds the width given to its title.

struct ControlTemplate {
    QDRect bounds;
    int16_t value = 0;
    bool visible = true;
    int16_t max = 0;
    int16_t min = 0;
    int16_t procID = 0;
    int32_t refCon = 0;
    std::string title;  // Mac Roman
};

struct MenuItemTemplate {
    std::string text;  // Mac Roman; "-" is a separator line
    uint8_t icon = 0, key = 0, mark = 0, style = 0;
};

struct MenuTemplate {
    ResID menuID = 0;
    int16_t procID = 0;
    uint32_t enableFlags = 0xFFFFFFFF;
    std::string title;
    std::vector<MenuItemTemplate> items;
};

struct PictureInfo {
    int width = 0;
    int height = 0;
};

OSStatus parseDialogTemplate(std::span<const uint8_t> data, DialogTemplate* out,
                             std::string* why = nullptr);
OSStatus parseAlertTemplate(std::span<const uint8_t> data, AlertTemplate* out,
                            std::string* why = nullptr);
OSStatus parseDialogItemList(std::span<const uint8_t> data, std::vector<DialogItemTemplate>* out,
                             std::string* why = nullptr);
OSStatus parseControlTemplate(std::span<const uint8_t> data, ControlTemplate* out,
                              std::string* why = nullptr);
OSStatus parseMenuTemplate(std::span<const uint8_t> data, MenuTemplate* out,
                           std::string* why = nullptr);
// Checks the PNG signature and reads the size from IHDR (both non-zero and
// at most kMaxCoordinate); the pixels are decoded by the dialog layer.
OSStatus parsePictureInfo(std::span<const uint8_t> data, PictureInfo* out,
                          std::string* why = nullptr);

// The writers, used by the resource compiler and by tests that build
// resources; each gives back exactly what its reader accepts.
// kStatusParamError for what the reader would refuse: a text over 255
// bytes, an inverted or out-of-range rectangle, no items or more than
// 32767, an unknown item kind, an empty menu item text.
OSStatus writeDialogTemplate(const DialogTemplate& t, std::vector<uint8_t>* out);
OSStatus writeAlertTemplate(const AlertTemplate& t, std::vector<uint8_t>* out);
OSStatus writeDialogItemList(std::span<const DialogItemTemplate> items, std::vector<uint8_t>* out);
OSStatus writeControlTemplate(const ControlTemplate& t, std::vector<uint8_t>* out);
OSStatus writeMenuTemplate(const MenuTemplate& t, std::vector<uint8_t>* out);
