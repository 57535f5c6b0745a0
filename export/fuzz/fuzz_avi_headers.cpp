// The AVI header reader over arbitrary bytes.
#include <cstddef>
#include <cstdint>

#include "export/avi_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    AviHeaderInfo info;
    ParseAviHeaders({data, size}, &info);
    return 0;
}
