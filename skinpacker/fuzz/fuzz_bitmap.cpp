// Any bytes as a bitmap file: refused or converted, never read out of bounds,
// and a converted picture always has indexes below its colour limit.

#include <cstdlib>

#include "skinpacker/bitmap_import.h"

namespace {
class Quiet final : public skin::Reporter {
public:
    void report(std::string_view, skin::Icon) override {}
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Quiet quiet;
    skin::ConvertedPicture out;
    if (skin::convertBitmap(std::span(data, size), quiet, out)) {
        if (out.file.size() != skin::kConvertedSize || out.colours < 1 || out.colours > 214) std::abort();
        for (size_t i = skin::kConvertedHeaderSize; i < out.file.size(); ++i)
            if (out.file[i] >= 214) std::abort();
    }
    return 0;
}
