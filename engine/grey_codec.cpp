#include "engine/grey_codec.h"

#include <cstring>
#include <new>

#include "engine/frame_types.h"

void GreyXorFrames(std::span<const uint8_t> frame, std::span<const uint8_t> previous,
                   std::span<uint8_t> out) {
    for (size_t i = 0; i < frame.size(); ++i) out[i] = frame[i] ^ previous[i];
}

void GreyRowXor(std::span<const uint8_t> frame, int rowBytes, int height, std::span<uint8_t> out) {
    const size_t keep = static_cast<size_t>(rowBytes) * (height < 2 ? height : 2);
    std::memcpy(out.data(), frame.data(), keep);
    const size_t total = static_cast<size_t>(rowBytes) * height;
    const size_t twoRows = static_cast<size_t>(rowBytes) * 2;
    for (size_t i = keep; i < total; ++i) out[i] = frame[i] ^ frame[i - twoRows];
}

void GreyRowPairs(std::span<const uint8_t> frame, int rowBytes, int height,
                  std::span<uint8_t> out) {
    uint8_t* dst = out.data();
    for (int y = 0; y + 1 < height; y += 2) {
        const uint8_t* r0 = frame.data() + static_cast<size_t>(y) * rowBytes;
        const uint8_t* r1 = r0 + rowBytes;
        for (int x = 0; x < rowBytes; ++x) {
            *dst++ = static_cast<uint8_t>((r0[x] & 0xF0) | (r1[x] >> 4));
            *dst++ = static_cast<uint8_t>((r0[x] << 4) | (r1[x] & 0x0F));
        }
    }
}

OSStatus GreyFrameEncoder::Try(uint8_t type, std::span<const uint8_t> form) {
    const OSStatus status = m_deflater.Deflate(form, m_trial);
    if (status != noErr) return status;
    // Candidates come in rising type order, so only a strictly smaller one
    // replaces the best.
    if (!m_haveBest || m_trial.size() < m_best.size()) {
        m_best.swap(m_trial);
        m_type = type;
        m_haveBest = true;
    }
    return noErr;
}

OSStatus GreyFrameEncoder::Encode(const GreyEncodeRequest& request) {
    m_haveBest = false;
    const size_t size = static_cast<size_t>(request.rowBytes) * request.height;
    const std::span<const uint8_t> frame = request.frame.first(size);
    try {
        m_form.resize(size);
    } catch (const std::bad_alloc&) {
        return kStatusOutOfMemory;
    }

    OSStatus status = Try(kFrameTypeGreyKey, frame);
    if (status == noErr && request.allowDifference && request.previous.size() >= size) {
        GreyXorFrames(frame, request.previous, m_form);
        status = Try(kFrameTypeGreyDiff, m_form);
    }
    if (status == noErr) {
        GreyRowXor(frame, request.rowBytes, request.height, m_form);
        status = Try(kFrameTypeGreyRowXor, m_form);
    }
    if (status == noErr && request.bits == 2 && request.height % 2 == 0) {
        GreyRowPairs(frame, request.rowBytes, request.height, m_form);
        status = Try(kFrameTypeGreyRowPairs, m_form);
    }
    return status;
}
