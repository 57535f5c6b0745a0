#include "platform/cinepak_bitstream.h"

namespace cinepak {

void ByteWriter::put8(uint8_t v) {
    if (!m_ok || m_pos >= m_out.size()) {
        m_ok = false;
        return;
    }
    m_out[m_pos++] = v;
}

void ByteWriter::put16(uint16_t v) {
    put8(static_cast<uint8_t>(v >> 8));
    put8(static_cast<uint8_t>(v));
}

void ByteWriter::put24(uint32_t v) {
    put8(static_cast<uint8_t>(v >> 16));
    put16(static_cast<uint16_t>(v));
}

void ByteWriter::put32(uint32_t v) {
    put16(static_cast<uint16_t>(v >> 16));
    put16(static_cast<uint16_t>(v));
}

size_t ByteWriter::reserve(size_t n) {
    const size_t at = m_pos;
    if (!m_ok || m_out.size() - m_pos < n) {
        m_ok = false;
        return at;
    }
    for (size_t i = 0; i < n; ++i) m_out[m_pos++] = 0;
    return at;
}

void ByteWriter::patch16(size_t at, uint16_t v) {
    if (!m_ok || at + 2 > m_pos) {
        m_ok = false;
        return;
    }
    m_out[at] = static_cast<uint8_t>(v >> 8);
    m_out[at + 1] = static_cast<uint8_t>(v);
}

void ByteWriter::patch24(size_t at, uint32_t v) {
    if (!m_ok || at + 3 > m_pos) {
        m_ok = false;
        return;
    }
    m_out[at] = static_cast<uint8_t>(v >> 16);
    m_out[at + 1] = static_cast<uint8_t>(v >> 8);
    m_out[at + 2] = static_cast<uint8_t>(v);
}

void ByteWriter::patch32(size_t at, uint32_t v) {
    if (!m_ok || at + 4 > m_pos) {
        m_ok = false;
        return;
    }
    m_out[at] = static_cast<uint8_t>(v >> 24);
    patch24(at + 1, v & 0xFFFFFF);
}

void FlagWriter::putBit(bool bit) {
    if (m_bitsLeft == 0) {
        finish();
        m_wordAt = m_w.reserve(4);
        m_word = 0;
        m_bitsLeft = 32;
        m_pending = true;
    }
    --m_bitsLeft;
    if (bit) m_word |= 1u << m_bitsLeft;
}

void FlagWriter::finish() {
    if (m_pending) m_w.patch32(m_wordAt, m_word);
    m_pending = false;
}

}  // namespace cinepak
