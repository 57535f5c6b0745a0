#include "platform/dialog_resources.h"

#include <algorithm>
#include <array>

namespace {

// Reads big-endian fields from a span; the first short read latches a
// failure, and every later read returns zero.
class Cursor {
  public:
    explicit Cursor(std::span<const uint8_t> d) : m_data(d) {}
    bool ok() const { return m_ok; }
    size_t left() const { return m_ok ? m_data.size() - m_pos : 0; }
    size_t pos() const { return m_pos; }
    bool need(size_t n) {
        if (!m_ok || m_data.size() - m_pos < n) m_ok = false;
        return m_ok;
    }
    uint8_t u8() { return need(1) ? m_data[m_pos++] : 0; }
    uint16_t u16() {
        if (!need(2)) return 0;
        const uint16_t v = uint16_t(m_data[m_pos] << 8 | m_data[m_pos + 1]);
        m_pos += 2;
        return v;
    }
    int16_t i16() { return int16_t(u16()); }
    uint32_t u32() {
        const uint32_t hi = u16();
        return hi << 16 | u16();
    }
    std::string bytes(size_t n) {
        if (!need(n)) return {};
        std::string s(reinterpret_cast<const char*>(m_data.data() + m_pos), n);
        m_pos += n;
        return s;
    }
    std::string counted() { return bytes(u8()); }
    void skip(size_t n) {
        if (need(n)) m_pos += n;
    }
    void alignEven() {
        if (m_pos % 2 && m_pos < m_data.size()) ++m_pos;
    }
    QDRect rect() {
        QDRect r;
        r.top = i16();
        r.left = i16();
        r.bottom = i16();
        r.right = i16();
        return r;
    }

  private:
    std::span<const uint8_t> m_data;
    size_t m_pos = 0;
    bool m_ok = true;
};

OSStatus bad(std::string* why, std::string text) {
    if (why) *why = std::move(text);
    return kStatusBadResourceMap;
}

bool rectInRange(const QDRect& r) {
    auto in = [](int v) { return v >= -kMaxCoordinate && v <= kMaxCoordinate; };
    return in(r.top) && in(r.left) && in(r.bottom) && in(r.right) && r.top <= r.bottom &&
           r.left <= r.right;
}

std::string rectText(const QDRect& r) {
    return "(" + std::to_string(r.top) + ", " + std::to_string(r.left) + ", " +
           std::to_string(r.bottom) + ", " + std::to_string(r.right) + ")";
}

bool knownItemKind(uint8_t k) {
    switch (k) {
        case kUserItem:
        case kButtonItem:
        case kCheckBoxItem:
        case kRadioButtonItem:
        case kControlItem:
        case kStaticTextItem:
        case kEditTextItem:
        case kIconItem:
        case kPictureItem:
            return true;
        default:
            return false;
    }
}

bool holdsResourceID(uint8_t k) {
    return k == kControlItem || k == kIconItem || k == kPictureItem;
}

void put16(std::vector<uint8_t>* o, int v) {
    o->push_back(uint8_t(uint16_t(v) >> 8));
    o->push_back(uint8_t(v));
}
void put32(std::vector<uint8_t>* o, uint32_t v) {
    put16(o, int(v >> 16));
    put16(o, int(v & 0xFFFF));
}
void putRect(std::vector<uint8_t>* o, const QDRect& r) {
    put16(o, r.top);
    put16(o, r.left);
    put16(o, r.bottom);
    put16(o, r.right);
}
void putCounted(std::vector<uint8_t>* o, const std::string& s) {
    o->push_back(uint8_t(s.size()));
    o->insert(o->end(), s.begin(), s.end());
}

}  // namespace

OSStatus parseDialogTemplate(std::span<const uint8_t> data, DialogTemplate* out, std::string* why) {
    if (!out) return kStatusParamError;
    Cursor c(data);
    DialogTemplate t;
    t.bounds = c.rect();
    t.kind = c.i16();
    t.visible = c.u8() != 0;
    c.skip(1);
    t.closeBox = c.u8() != 0;
    c.skip(1);
    t.refCon = int32_t(c.u32());
    t.itemsID = c.i16();
    t.title = c.counted();
    if (!c.ok()) return bad(why, "dialog resource is shorter than its fields");
    c.alignEven();
    if (c.left() == 2) c.skip(2);  // the optional position word
    if (c.left() != 0) return bad(why, "dialog resource has bytes after its fields");
    if (!rectInRange(t.bounds) || t.bounds.width() == 0 || t.bounds.height() == 0)
        return bad(why, "dialog bounds " + rectText(t.bounds) + " are out of range");
    *out = std::move(t);
    return noErr;
}

OSStatus parseAlertTemplate(std::span<const uint8_t> data, AlertTemplate* out, std::string* why) {
    if (!out) return kStatusParamError;
    Cursor c(data);
    AlertTemplate t;
    t.bounds = c.rect();
    t.itemsID = c.i16();
    t.stages = c.u16();
    if (!c.ok()) return bad(why, "alert resource is shorter than its fields");
    if (c.left() == 2) c.skip(2);
    if (c.left() != 0) return bad(why, "alert resource has bytes after its fields");
    if (!rectInRange(t.bounds) || t.bounds.width() == 0 || t.bounds.height() == 0)
        return bad(why, "alert bounds " + rectText(t.bounds) + " are out of range");
    *out = t;
    return noErr;
}

OSStatus parseDialogItemList(std::span<const uint8_t> data, std::vector<DialogItemTemplate>* out,
                             std::string* why) {
    if (!out) return kStatusParamError;
    Cursor c(data);
    const int count = c.i16() + 1;
    if (!c.ok()) return bad(why, "item list is empty");
    if (count <= 0) return bad(why, "item list has a negative item count");
    // Each item takes at least 14 bytes; refuse a count the data cannot
    // hold before reserving room for it.
    if (size_t(count) * 14 > c.left())
        return bad(why, "item list counts " + std::to_string(count) + " items, more than its " +
                            std::to_string(data.size()) + " bytes hold");
    std::vector<DialogItemTemplate> items;
    items.reserve(size_t(count));
    for (int i = 1; i <= count; ++i) {
        const std::string n = "item " + std::to_string(i) + ": ";
        DialogItemTemplate it;
        c.skip(4);
        it.bounds = c.rect();
        const uint8_t kind = c.u8();
        const uint8_t len = c.u8();
        if (!c.ok()) return bad(why, n + "runs past the end of the item list");
        it.kind = kind & 0x7F;
        it.disabled = (kind & kItemDisableFlag) != 0;
        if (!knownItemKind(it.kind)) return bad(why, n + "unknown kind " + std::to_string(it.kind));
        if (!rectInRange(it.bounds))
            return bad(why, n + "rectangle " + rectText(it.bounds) + " is out of range");
        if (holdsResourceID(it.kind)) {
            if (len != 2) return bad(why, n + "a resource item holds 2 bytes, not " +
                                              std::to_string(len));
            it.resourceID = c.i16();
        } else if (it.kind == kUserItem) {
            c.skip(len);
        } else {
            it.text = c.bytes(len);
        }
        if (!c.ok()) return bad(why, n + "data runs past the end of the item list");
        c.alignEven();
        items.push_back(std::move(it));
    }
    if (c.left() != 0) return bad(why, "item list has bytes after its last item");
    *out = std::move(items);
    return noErr;
}

OSStatus parseControlTemplate(std::span<const uint8_t> data, ControlTemplate* out,
                              std::string* why) {
    if (!out) return kStatusParamError;
    Cursor c(data);
    ControlTemplate t;
    t.bounds = c.rect();
    t.value = c.i16();
    t.visible = c.u8() != 0;
    c.skip(1);
    t.max = c.i16();
    t.min = c.i16();
    t.procID = c.i16();
    t.refCon = int32_t(c.u32());
    t.title = c.counted();
    if (!c.ok()) return bad(why, "control resource is shorter than its fields");
    c.alignEven();
    if (c.left() != 0) return bad(why, "control resource has bytes after its title");
    if (!rectInRange(t.bounds))
        return bad(why, "control rectangle " + rectText(t.bounds) + " is out of range");
    *out = std::move(t);
    return noErr;
}

OSStatus parseMenuTemplate(std::span<const uint8_t> data, MenuTemplate* out, std::string* why) {
    if (!out) return kStatusParamError;
    Cursor c(data);
    MenuTemplate t;
    t.menuID = c.i16();
    c.skip(4);  // width and height: computed by whoever shows the menu
    t.procID = c.i16();
    c.skip(2);
    t.enableFlags = c.u32();
    t.title = c.counted();
    if (!c.ok()) return bad(why, "menu resource is shorter than its fields");
    for (;;) {
        const uint8_t len = c.u8();
        if (!c.ok()) return bad(why, "menu items run past the end (no closing zero byte)");
        if (len == 0) break;
        MenuItemTemplate it;
        it.text = c.bytes(len);
        it.icon = c.u8();
        it.key = c.u8();
        it.mark = c.u8();
        it.style = c.u8();
        if (!c.ok()) return bad(why, "menu item " + std::to_string(t.items.size() + 1) +
                                         " runs past the end");
        if (t.items.size() >= 0x7FFF) return bad(why, "menu holds too many items");
        t.items.push_back(std::move(it));
    }
    c.alignEven();
    if (c.left() != 0) return bad(why, "menu resource has bytes after its items");
    *out = std::move(t);
    return noErr;
}

OSStatus parsePictureInfo(std::span<const uint8_t> data, PictureInfo* out, std::string* why) {
    if (!out) return kStatusParamError;
    static constexpr std::array<uint8_t, 8> kSignature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Cursor c(data);
    const std::string sig = c.bytes(8);
    if (!c.ok() || !std::equal(sig.begin(), sig.end(), kSignature.begin(),
                               [](char a, uint8_t b) { return uint8_t(a) == b; }))
        return bad(why, "picture is not a PNG image");
    const uint32_t len = c.u32();
    const uint32_t type = c.u32();
    const uint32_t w = c.u32();
    const uint32_t h = c.u32();
    if (!c.ok() || type != fourCC("IHDR") || len < 13)
        return bad(why, "picture has no PNG header chunk");
    if (w == 0 || h == 0 || w > uint32_t(kMaxCoordinate) || h > uint32_t(kMaxCoordinate))
        return bad(why, "picture size " + std::to_string(w) + " x " + std::to_string(h) +
                            " is out of range");
    out->width = int(w);
    out->height = int(h);
    return noErr;
}

OSStatus writeDialogTemplate(const DialogTemplate& t, std::vector<uint8_t>* out) {
    if (!out || t.title.size() > 255 || !rectInRange(t.bounds) || t.bounds.width() == 0 ||
        t.bounds.height() == 0)
        return kStatusParamError;
    std::vector<uint8_t> o;
    putRect(&o, t.bounds);
    put16(&o, t.kind);
    o.push_back(t.visible);
    o.push_back(0);
    o.push_back(t.closeBox);
    o.push_back(0);
    put32(&o, uint32_t(t.refCon));
    put16(&o, t.itemsID);
    putCounted(&o, t.title);
    if (o.size() % 2) o.push_back(0);
    *out = std::move(o);
    return noErr;
}

OSStatus writeAlertTemplate(const AlertTemplate& t, std::vector<uint8_t>* out) {
    if (!out || !rectInRange(t.bounds) || t.bounds.width() == 0 || t.bounds.height() == 0)
        return kStatusParamError;
    std::vector<uint8_t> o;
    putRect(&o, t.bounds);
    put16(&o, t.itemsID);
    put16(&o, t.stages);
    *out = std::move(o);
    return noErr;
}

OSStatus writeDialogItemList(std::span<const DialogItemTemplate> items, std::vector<uint8_t>* out) {
    if (!out || items.empty() || items.size() > 32767) return kStatusParamError;
    std::vector<uint8_t> o;
    put16(&o, int(items.size()) - 1);
    for (const DialogItemTemplate& it : items) {
        if (!knownItemKind(it.kind) || !rectInRange(it.bounds) || it.text.size() > 255)
            return kStatusParamError;
        put32(&o, 0);
        putRect(&o, it.bounds);
        o.push_back(uint8_t(it.kind | (it.disabled ? kItemDisableFlag : 0)));
        if (holdsResourceID(it.kind)) {
            o.push_back(2);
            put16(&o, it.resourceID);
        } else if (it.kind == kUserItem) {
            o.push_back(0);
        } else {
            putCounted(&o, it.text);
        }
        if (o.size() % 2) o.push_back(0);
    }
    *out = std::move(o);
    return noErr;
}

OSStatus writeControlTemplate(const ControlTemplate& t, std::vector<uint8_t>* out) {
    if (!out || t.title.size() > 255 || !rectInRange(t.bounds)) return kStatusParamError;
    std::vector<uint8_t> o;
    putRect(&o, t.bounds);
    put16(&o, t.value);
    o.push_back(t.visible);
    o.push_back(0);
    put16(&o, t.max);
    put16(&o, t.min);
    put16(&o, t.procID);
    put32(&o, uint32_t(t.refCon));
    putCounted(&o, t.title);
    if (o.size() % 2) o.push_back(0);
    *out = std::move(o);
    return noErr;
}

OSStatus writeMenuTemplate(const MenuTemplate& t, std::vector<uint8_t>* out) {
    if (!out || t.title.size() > 255 || t.items.size() > 0x7FFF) return kStatusParamError;
    std::vector<uint8_t> o;
    put16(&o, t.menuID);
    put16(&o, 0);
    put16(&o, 0);
    put16(&o, t.procID);
    put16(&o, 0);
    put32(&o, t.enableFlags);
    putCounted(&o, t.title);
    for (const MenuItemTemplate& it : t.items) {
        if (it.text.empty() || it.text.size() > 255) return kStatusParamError;
        putCounted(&o, it.text);
        o.push_back(it.icon);
        o.push_back(it.key);
        o.push_back(it.mark);
        o.push_back(it.style);
    }
    o.push_back(0);
    if (o.size() % 2) o.push_back(0);
    *out = std::move(o);
    return noErr;
}
