// Feeds arbitrary bytes to the database reader: it must never read out of
// bounds, whatever the record list, chunk lengths or counts claim.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/movie_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    movie::Movie m;
    std::string error;
    movie::readMovie(std::vector<uint8_t>(data, data + size), m, error);
    return 0;
}
