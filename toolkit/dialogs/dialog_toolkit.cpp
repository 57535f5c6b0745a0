#include "toolkit/dialog_toolkit.h"

#include <algorithm>

DialogItemHandle getItemHandle(DialogPtr d, int item) {
    DialogItemHandle h;
    uint8_t kind = 0;
    if (getItemKind(d, item, &kind)) return h;
    h.dialog = d;
    h.item = item;
    h.kind = kind;
    h.isControl = controlHilite(d, item) >= 0;
    return h;
}

OSStatus setRadioGroup(DialogPtr d, int first, int last, int chosen) {
    if (!d || first < 1 || last < first || last > countItems(d)) return kStatusParamError;
    for (int i = first; i <= last; ++i)
        if (OSStatus err = setControlValue(d, i, i == chosen ? 1 : 0)) return err;
    return noErr;
}

OSStatus toggleCheckBox(DialogPtr d, int item, int* newValue) {
    int v = 0;
    if (OSStatus err = getControlValue(d, item, &v)) return err;
    v = v ? 0 : 1;
    if (OSStatus err = setControlValue(d, item, v)) return err;
    if (newValue) *newValue = v;
    return noErr;
}

OSStatus setItemTextCounted(DialogPtr d, int item, std::string_view counted) {
    if (counted.empty()) return setItemText(d, item, {});
    const size_t len = std::min<size_t>(uint8_t(counted[0]), counted.size() - 1);
    return setItemText(d, item, macRomanToUtf8(counted.substr(1, len)));
}

OSStatus redrawItem(DialogPtr d, int item) { return invalidateItem(d, item); }

OSStatus setLabelFromList(DialogPtr d, int item, LabelPlacement placement,
                          const ResourceFile& res, ResID listID, int index) {
    QDRect r;
    if (OSStatus err = getItemRect(d, item, &r)) return err;
    std::string text;
    if (OSStatus err = getIndStringUtf8(res, listID, index, &text)) return err;
    if (OSStatus err = setItemText(d, item, text)) return err;
    if (placement == LabelPlacement::Plain) return noErr;
    // A pixel to spare so that the last glyph's overhang is not cut off.
    const int width = itemTextWidth(d, item, text) + 2;
    QDRect n = r;
    switch (placement) {
        case LabelPlacement::FitWidth:
            n.right = int16_t(r.left + width);
            break;
        case LabelPlacement::Centred: {
            const int centre = (r.left + r.right) / 2;
            n.left = int16_t(centre - width / 2);
            n.right = int16_t(n.left + width);
            break;
        }
        case LabelPlacement::RightAligned:
            n.left = int16_t(r.right - width);
            break;
        case LabelPlacement::Plain:
            break;
    }
    return setItemRect(d, item, n);
}

OSStatus emptyPopup(DialogPtr d, int item) {
    const int n = countMenuItems(d, item);
    if (n < 0) return kStatusParamError;
    for (int i = n; i >= 1; --i)
        if (OSStatus err = deleteMenuItem(d, item, i)) return err;
    setControlMaximum(d, item, 0);
    setControlValue(d, item, 0);
    return noErr;
}

OSStatus fillPopupFromList(DialogPtr d, int item, const ResourceFile& res, ResID listID) {
    std::span<const uint8_t> data;
    if (OSStatus err = res.get(kResTypeStringList, listID, &data)) return err;
    std::vector<std::string> strings;
    if (OSStatus err = parseStringList(data, &strings)) return err;
    if (OSStatus err = emptyPopup(d, item)) return err;
    for (const std::string& s : strings)
        if (OSStatus err = appendMenuItem(d, item, macRomanToUtf8(s))) return err;
    setControlMaximum(d, item, countMenuItems(d, item));
    setControlValue(d, item, 1);
    return noErr;
}

OSStatus appendNameToPopup(DialogPtr d, int item, std::string_view name, bool macRoman) {
    if (OSStatus err = appendMenuItem(d, item, "x")) return err;
    const int n = countMenuItems(d, item);
    const std::string text = macRoman ? macRomanToUtf8(name) : std::string(name);
    if (OSStatus err = setMenuItemText(d, item, n, text)) return err;
    return setControlMaximum(d, item, n);
}

OSStatus selectedSize(DialogPtr d, int popupItem, int* width, int* height) {
    int value = 0;
    if (OSStatus err = getControlValue(d, popupItem, &value)) return err;
    std::string text;
    if (countMenuItems(d, popupItem) < 0) return kStatusParamError;
    if (value >= 1) getMenuItemText(d, popupItem, value, &text);
    parseSizeText(text, width, height);
    return noErr;
}

OSStatus selectSize(DialogPtr d, int popupItem, int width, int height) {
    const int n = countMenuItems(d, popupItem);
    if (n < 0) return kStatusParamError;
    for (int i = 1; i <= n; ++i) {
        if (isMenuItemSeparator(d, popupItem, i)) continue;
        std::string text;
        getMenuItemText(d, popupItem, i, &text);
        int w = 0, h = 0;
        parseSizeText(text, &w, &h);
        if (w == width && h == height) return setControlValue(d, popupItem, i);
    }
    return kStatusResourceNotFound;
}

OSStatus drawPictureResource(DrawPort& port, const ResourceFile& res, ResID id, const QDRect& rect) {
    return port.picture(res, id, rect);
}

OSStatus registerToolkitControls() {
    ControlDefinition separator;
    separator.draw = [](const ControlContext& c, DrawPort& port) {
        port.etchedLine(c.bounds, c.bounds.height() > c.bounds.width());
    };
    separator.click = [](const ControlContext&, int, int) { return false; };
    if (OSStatus err = registerControlDefinition(kSeparatorLineDefinition, std::move(separator)))
        return err;

    ControlDefinition triangle;
    triangle.draw = [](const ControlContext& c, DrawPort& port) {
        const ResourceFile* res = dialogResources(c.dialog);
        if (res) port.picture(*res, c.value ? kPictDownArrow : kPictRightArrow, c.bounds);
    };
    triangle.click = [](const ControlContext& c, int, int) {
        setControlValue(c.dialog, c.item, c.value ? 0 : 1);
        return true;
    };
    return registerControlDefinition(kDisclosureTriangleDefinition, std::move(triangle));
}

RGBColor16 grayTextColor() { return systemGrayTextColor(); }

void pumpMessages() { processEvents(); }

OSStatus keepProgramCursor(DialogPtr d) { return setKeepsCursor(d, true); }
