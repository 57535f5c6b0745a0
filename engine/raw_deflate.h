#pragma once
// One-shot raw deflate (no zlib header or checksum) with the parameters the
// handheld's inflater is built for, and the matching inflate. Both keep their
// zlib state between calls so that a movie does not pay for an init per frame.
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "platform/status.h"

class RawDeflater {
public:
    RawDeflater();
    ~RawDeflater();
    RawDeflater(const RawDeflater&) = delete;
    RawDeflater& operator=(const RawDeflater&) = delete;

    // Replaces `output` with the finished raw deflate stream of `input`
    // (level 9, 4096-byte window, memory level 9, filtered strategy).
    // 0, or -108 when zlib or the output buffer cannot get memory.
    OSStatus Deflate(std::span<const uint8_t> input, std::vector<uint8_t>& output);

private:
    struct State;
    std::unique_ptr<State> m_state;
};

class RawInflater {
public:
    RawInflater();
    ~RawInflater();
    RawInflater(const RawInflater&) = delete;
    RawInflater& operator=(const RawInflater&) = delete;

    // Inflates a raw deflate stream that must produce exactly output.size()
    // bytes and end there. 0; -8969 for a damaged, short or long stream;
    // -108 when zlib cannot get memory.
    OSStatus Inflate(std::span<const uint8_t> input, std::span<uint8_t> output);

private:
    struct State;
    std::unique_ptr<State> m_state;
};
