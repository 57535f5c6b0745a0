// Opens arbitrary bytes as a resource image and reads every resource, its
// name and, where it parses, its string list.
#include <cstdint>
#include <cstdlib>

#include "platform/resources.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ResourceFile rf;
    if (ResourceFile::open({data, size}, &rf) != noErr) return 0;
    for (int t = 1; t <= rf.countTypes(); ++t) {
        const FourCC type = rf.typeAt(t);
        for (int i = 1; i <= rf.count(type); ++i) {
            std::span<const uint8_t> d;
            ResID id;
            if (rf.getIndexed(type, i, &d, &id) != noErr) std::abort();
            if (d.size() > size) std::abort();
            std::string name;
            if (rf.name(type, id, &name) != noErr) std::abort();
            std::vector<std::string> items;
            if (parseStringList(d, &items) == noErr)
                for (const std::string& s : items) (void)macRomanToUtf8(s);
        }
    }
    // Also feed the raw bytes to the string-list parser.
    std::vector<std::string> items;
    (void)parseStringList({data, size}, &items);
    return 0;
}
