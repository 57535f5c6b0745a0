#include "engine/raw_deflate.h"

#include <zlib.h>

#include <algorithm>
#include <new>

namespace {

constexpr int kLevel = 9;
constexpr int kWindowBits = 12;  // the handheld inflates with a 4096-byte window
constexpr int kMemoryLevel = 9;
// Inflating accepts any window up to the largest, so that streams of other
// writers can be read too.
constexpr int kInflateWindowBits = 15;

}  // namespace

struct RawDeflater::State {
    z_stream stream{};
    bool ready = false;
    ~State() {
        if (ready) deflateEnd(&stream);
    }
};

RawDeflater::RawDeflater() = default;
RawDeflater::~RawDeflater() = default;

OSStatus RawDeflater::Deflate(std::span<const uint8_t> input, std::vector<uint8_t>& output) {
    try {
        if (!m_state) m_state = std::make_unique<State>();
        z_stream& zs = m_state->stream;
        if (!m_state->ready) {
            if (deflateInit2(&zs, kLevel, Z_DEFLATED, -kWindowBits, kMemoryLevel, Z_FILTERED) !=
                Z_OK) {
                return kStatusOutOfMemory;
            }
            m_state->ready = true;
        } else if (deflateReset(&zs) != Z_OK) {
            return kStatusOutOfMemory;
        }
        // The classic bound of input + 1 % + 16 is what the format was sized
        // for; zlib's own bound is taken when it is larger so that the single
        // call always finishes the stream, even on incompressible noise.
        const uLong size = static_cast<uLong>(input.size());
        const uLong room = std::max<uLong>(size + size / 100 + 16, deflateBound(&zs, size));
        output.resize(room);
        zs.next_in = const_cast<Bytef*>(input.data());
        zs.avail_in = static_cast<uInt>(input.size());
        zs.next_out = output.data();
        zs.avail_out = static_cast<uInt>(room);
        if (deflate(&zs, Z_FINISH) != Z_STREAM_END) return kStatusOutOfMemory;
        output.resize(room - zs.avail_out);
        return noErr;
    } catch (const std::bad_alloc&) {
        return kStatusOutOfMemory;
    }
}

struct RawInflater::State {
    z_stream stream{};
    bool ready = false;
    ~State() {
        if (ready) inflateEnd(&stream);
    }
};

RawInflater::RawInflater() = default;
RawInflater::~RawInflater() = default;

OSStatus RawInflater::Inflate(std::span<const uint8_t> input, std::span<uint8_t> output) {
    try {
        if (!m_state) m_state = std::make_unique<State>();
    } catch (const std::bad_alloc&) {
        return kStatusOutOfMemory;
    }
    z_stream& zs = m_state->stream;
    if (!m_state->ready) {
        if (inflateInit2(&zs, -kInflateWindowBits) != Z_OK) return kStatusOutOfMemory;
        m_state->ready = true;
    } else if (inflateReset(&zs) != Z_OK) {
        return kStatusOutOfMemory;
    }
    zs.next_in = const_cast<Bytef*>(input.data());
    zs.avail_in = static_cast<uInt>(input.size());
    zs.next_out = output.data();
    zs.avail_out = static_cast<uInt>(output.size());
    const int result = inflate(&zs, Z_FINISH);
    if (result == Z_MEM_ERROR) return kStatusOutOfMemory;
    // Exactly the expected bytes and the end of the stream: a frame that
    // comes out short or long is as damaged as one that fails to inflate.
    if (result != Z_STREAM_END || zs.avail_out != 0) return kStatusBadData;
    return noErr;
}
