#pragma once
// Builds expected byte strings by hand, big-endian, for comparing against
// what the writer produced.
#include <cstdint>
#include <string_view>
#include <vector>

class ByteBuilder {
  public:
    ByteBuilder& u8(uint8_t v) {
        m_bytes.push_back(v);
        return *this;
    }
    ByteBuilder& u16(uint16_t v) {
        return u8(static_cast<uint8_t>(v >> 8)).u8(static_cast<uint8_t>(v));
    }
    ByteBuilder& u32(uint32_t v) {
        return u16(static_cast<uint16_t>(v >> 16)).u16(static_cast<uint16_t>(v));
    }
    ByteBuilder& text(std::string_view s) {
        for (char c : s) u8(static_cast<uint8_t>(c));
        return *this;
    }
    ByteBuilder& zeros(size_t n) {
        m_bytes.insert(m_bytes.end(), n, 0);
        return *this;
    }
    // A chunk header: whole length and the two tag characters.
    ByteBuilder& chunk(uint16_t length, std::string_view tag) { return u16(length).text(tag); }
    const std::vector<uint8_t>& bytes() const { return m_bytes; }

  private:
    std::vector<uint8_t> m_bytes;
};
