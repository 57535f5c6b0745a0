#pragma once

// Bounded big- and little-endian access to byte spans. Readers return false
// instead of reading past the end, so parsers of outside files stay in bounds.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace skin {

class ByteReader {
  public:
    explicit ByteReader(std::span<const uint8_t> data, size_t pos = 0) : m_data(data), m_pos(pos) {}

    bool has(size_t n) const { return m_pos <= m_data.size() && m_data.size() - m_pos >= n; }
    size_t pos() const { return m_pos; }
    bool seek(size_t pos) {
        if (pos > m_data.size()) return false;
        m_pos = pos;
        return true;
    }
    bool u8(uint8_t& v) {
        if (!has(1)) return false;
        v = m_data[m_pos++];
        return true;
    }
    bool be16(uint16_t& v) {
        if (!has(2)) return false;
        v = static_cast<uint16_t>(m_data[m_pos] << 8 | m_data[m_pos + 1]);
        m_pos += 2;
        return true;
    }
    bool be32(uint32_t& v) {
        if (!has(4)) return false;
        v = static_cast<uint32_t>(m_data[m_pos]) << 24 |
            static_cast<uint32_t>(m_data[m_pos + 1]) << 16 |
            static_cast<uint32_t>(m_data[m_pos + 2]) << 8 | m_data[m_pos + 3];
        m_pos += 4;
        return true;
    }
    bool le16(uint16_t& v) {
        if (!has(2)) return false;
        v = static_cast<uint16_t>(m_data[m_pos] | m_data[m_pos + 1] << 8);
        m_pos += 2;
        return true;
    }
    bool le32(uint32_t& v) {
        if (!has(4)) return false;
        v = m_data[m_pos] | static_cast<uint32_t>(m_data[m_pos + 1]) << 8 |
            static_cast<uint32_t>(m_data[m_pos + 2]) << 16 |
            static_cast<uint32_t>(m_data[m_pos + 3]) << 24;
        m_pos += 4;
        return true;
    }
    bool bytes(size_t n, std::span<const uint8_t>& out) {
        if (!has(n)) return false;
        out = m_data.subspan(m_pos, n);
        m_pos += n;
        return true;
    }

  private:
    std::span<const uint8_t> m_data;
    size_t m_pos;
};

// Appends to a growing buffer; writers size nothing in advance.
class ByteWriter {
  public:
    explicit ByteWriter(std::vector<uint8_t>& out) : m_out(out) {}

    void u8(uint8_t v) { m_out.push_back(v); }
    void be16(uint16_t v) {
        m_out.push_back(static_cast<uint8_t>(v >> 8));
        m_out.push_back(static_cast<uint8_t>(v));
    }
    void be32(uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8)
            m_out.push_back(static_cast<uint8_t>(v >> shift));
    }
    void le16(uint16_t v) {
        m_out.push_back(static_cast<uint8_t>(v));
        m_out.push_back(static_cast<uint8_t>(v >> 8));
    }
    void le32(uint32_t v) {
        for (int shift = 0; shift <= 24; shift += 8)
            m_out.push_back(static_cast<uint8_t>(v >> shift));
    }
    void zeros(size_t n) { m_out.insert(m_out.end(), n, 0); }
    void bytes(std::span<const uint8_t> b) { m_out.insert(m_out.end(), b.begin(), b.end()); }
    // A text in a fixed field: cut at the field size, the rest zero.
    void field(std::string_view text, size_t size) {
        size_t n = text.size() < size ? text.size() : size;
        m_out.insert(m_out.end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n));
        zeros(size - n);
    }
    size_t size() const { return m_out.size(); }

  private:
    std::vector<uint8_t>& m_out;
};

}  // namespace skin
