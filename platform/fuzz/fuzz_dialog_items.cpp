// Feeds arbitrary bytes to the window-resource readers (item lists first,
// then dialogs, alerts, controls, menus and pictures). Whatever an item list
// reader accepts must write back to the same bytes' meaning: re-reading the
// writer's output gives the same items.
#include <cstdint>
#include <cstdlib>

#include "platform/dialog_resources.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> in(data, size);
    std::vector<DialogItemTemplate> items;
    std::string why;
    if (parseDialogItemList(in, &items, &why) == noErr) {
        if (items.empty() || items.size() * 14 > size) std::abort();
        std::vector<uint8_t> again;
        if (writeDialogItemList(items, &again) != noErr) std::abort();
        std::vector<DialogItemTemplate> back;
        if (parseDialogItemList(again, &back) != noErr || back.size() != items.size()) std::abort();
        for (size_t i = 0; i < items.size(); ++i)
            if (back[i].kind != items[i].kind || back[i].bounds != items[i].bounds ||
                back[i].text != items[i].text || back[i].resourceID != items[i].resourceID ||
                back[i].disabled != items[i].disabled)
                std::abort();
    } else if (why.empty()) {
        std::abort();  // every refusal says why
    }
    DialogTemplate d;
    (void)parseDialogTemplate(in, &d);
    AlertTemplate a;
    (void)parseAlertTemplate(in, &a);
    ControlTemplate c;
    (void)parseControlTemplate(in, &c);
    MenuTemplate m;
    (void)parseMenuTemplate(in, &m);
    PictureInfo p;
    (void)parsePictureInfo(in, &p);
    return 0;
}
