// Loads arbitrary bytes as an atom container; whatever loads must flatten
// back to the same bytes and survive a walk and a self-copy.
#include <cstdint>
#include <cstdlib>

#include "platform/atoms.h"

static void walk(const AtomContainer& c, AtomRef parent, int depth) {
    const int n = c.countChildren(parent);
    for (int i = 1; i <= n; ++i) {
        AtomID id;
        AtomRef a = c.findChildByIndex(parent, kAtomAnyType, i, &id);
        FourCC type;
        if (a == kAtomNone || c.atomTypeAndID(a, &type, nullptr) != noErr) std::abort();
        if (c.findChild(parent, type, id) != a) std::abort();
        (void)c.leafData(a);
        walk(c, a, depth + 1);
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    AtomContainer c;
    std::span<const uint8_t> in(data, size);
    if (AtomContainer::load(in, &c) != noErr) return 0;
    walk(c, kAtomRoot, 0);
    std::vector<uint8_t> out = c.flatten();
    if (out.size() != size || !std::equal(out.begin(), out.end(), data)) std::abort();
    AtomContainer copy;
    if (copy.insertChild(kAtomRoot, fourCC("wrap"), 1) != noErr) std::abort();
    if (copy.insertChildren(copy.findChild(kAtomRoot, fourCC("wrap"), 1), c) != noErr) std::abort();
    return 0;
}
