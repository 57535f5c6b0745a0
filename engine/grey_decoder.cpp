#include "engine/grey_decoder.h"

#include <cstring>
#include <new>

#include "engine/block_codec4.h"
#include "engine/frame_types.h"
#include "engine/grey_frame.h"

OSStatus GreyDecoder::Reset(int width, int height, int bits) {
    if (width <= 0 || height <= 0 || (bits != 1 && bits != 2 && bits != 4)) {
        return kStatusParamError;
    }
    const int rowBytes = PackedRowBytes(width, bits);
    try {
        m_picture.assign(static_cast<size_t>(rowBytes) * height, 0);
        m_scratch.resize(m_picture.size());
    } catch (const std::bad_alloc&) {
        return kStatusOutOfMemory;
    }
    m_width = width;
    m_height = height;
    m_bits = bits;
    m_rowBytes = rowBytes;
    return noErr;
}

uint8_t GreyDecoder::Level(int x, int y) const {
    const int perByte = 8 / m_bits;
    const uint8_t byte = m_picture[static_cast<size_t>(y) * m_rowBytes + x / perByte];
    const int shift = 8 - m_bits * (x % perByte + 1);
    return static_cast<uint8_t>((byte >> shift) & ((1 << m_bits) - 1));
}

OSStatus GreyDecoder::Decode(uint8_t type, std::span<const uint8_t> data) {
    if (m_picture.empty()) return kStatusParamError;
    if (type == kFrameTypeBlock4) return DecodeBlocks(data);
    if (type > kFrameTypeGreyRowPairs) return kStatusNoCodec;
    if (type == kFrameTypeGreyRowPairs && (m_bits != 2 || m_height % 2 != 0)) {
        return kStatusBadData;
    }

    const OSStatus status = m_inflater.Inflate(data, m_scratch);
    if (status != noErr) return status;
    const size_t total = m_picture.size();
    const size_t rowBytes = static_cast<size_t>(m_rowBytes);
    switch (type) {
        case kFrameTypeGreyKey:
            m_picture.swap(m_scratch);
            break;
        case kFrameTypeGreyDiff:
            for (size_t i = 0; i < total; ++i) m_picture[i] ^= m_scratch[i];
            break;
        case kFrameTypeGreyRowXor:
            for (size_t i = 0; i < total; ++i) {
                m_picture[i] = i < 2 * rowBytes ? m_scratch[i] : m_scratch[i] ^ m_picture[i - 2 * rowBytes];
            }
            break;
        case kFrameTypeGreyRowPairs: {
            const uint8_t* src = m_scratch.data();
            for (int y = 0; y < m_height; y += 2) {
                uint8_t* r0 = m_picture.data() + y * rowBytes;
                uint8_t* r1 = r0 + rowBytes;
                for (size_t x = 0; x < rowBytes; ++x, src += 2) {
                    r0[x] = static_cast<uint8_t>((src[0] & 0xF0) | (src[1] >> 4));
                    r1[x] = static_cast<uint8_t>((src[0] << 4) | (src[1] & 0x0F));
                }
            }
            break;
        }
    }
    return noErr;
}

OSStatus GreyDecoder::DecodeBlocks(std::span<const uint8_t> data) {
    if (m_bits != 4) return kStatusBadData;
    const int bw = m_width / 4;
    const size_t blocks = static_cast<size_t>(bw) * (m_height / 4);
    const size_t rowBytes = static_cast<size_t>(m_rowBytes);
    bool haveCommon = false;
    uint8_t common[3] = {};

    auto topLeft = [&](size_t block) {
        return m_picture.data() + (block / bw) * 4 * rowBytes + (block % bw) * 2;
    };
    auto fill = [&](size_t block, uint8_t level) {
        uint8_t* p = topLeft(block);
        const uint8_t both = static_cast<uint8_t>(level << 4 | level);
        for (int r = 0; r < 4; ++r) p[r * rowBytes] = p[r * rowBytes + 1] = both;
    };
    auto twoLevel = [&](size_t block, const uint8_t* triple) {
        uint8_t* p = topLeft(block);
        const unsigned mask = triple[0] << 8 | triple[1];
        const uint8_t clear = triple[2] >> 4;
        const uint8_t set = triple[2] & 0x0F;
        for (int k = 0; k < 16; k += 2) {
            const uint8_t hi = (mask & (0x8000u >> k)) ? set : clear;
            const uint8_t lo = (mask & (0x4000u >> k)) ? set : clear;
            p[(k / 4) * rowBytes + (k % 4) / 2] = static_cast<uint8_t>(hi << 4 | lo);
        }
    };

    size_t block = 0;
    size_t pos = 0;
    while (pos < data.size()) {
        if (block >= blocks) return kStatusBadData;  // codes beyond the last block
        const uint8_t code = data[pos++];
        if (code < kBlock4FlatCode) {
            if (data.size() - pos < 2) return kStatusBadData;
            const uint8_t triple[3] = {code, data[pos], data[pos + 1]};
            pos += 2;
            twoLevel(block++, triple);
        } else if (code < kBlock4SkipCode) {
            const size_t run = ((code - kBlock4FlatCode) >> 4) + 1;
            if (blocks - block < run) return kStatusBadData;
            for (size_t k = 0; k < run; ++k) fill(block++, code & 0x0F);
        } else if (code < kBlock4CommonDefine) {
            const size_t run = code - kBlock4SkipCode + 1;
            if (blocks - block < run) return kStatusBadData;
            block += run;
        } else if (code == kBlock4CommonDefine) {
            if (data.size() - pos < 3) return kStatusBadData;
            std::memcpy(common, data.data() + pos, 3);
            pos += 3;
            haveCommon = true;
            twoLevel(block++, common);
        } else if (code == kBlock4CommonUse) {
            if (!haveCommon) return kStatusBadData;
            twoLevel(block++, common);
        } else if (code == kBlock4RawCode) {
            if (data.size() - pos < 8) return kStatusBadData;
            uint8_t* p = topLeft(block++);
            for (int r = 0; r < 4; ++r) {
                p[r * rowBytes] = data[pos++];
                p[r * rowBytes + 1] = data[pos++];
            }
        } else {
            return kStatusBadData;
        }
    }
    return block == blocks ? noErr : kStatusBadData;
}
