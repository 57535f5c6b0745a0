#pragma once
// Byte-level writing of Cinepak frames: big-endian fields over a bounded buffer, and the flag
// words that the vector and codebook-update chunks interleave with their payload bytes.
#include <cstddef>
#include <cstdint>
#include <span>

namespace cinepak {

// Chunk and strip identifiers of the format.
inline constexpr uint8_t kStripKey = 0x10;
inline constexpr uint8_t kStripInter = 0x11;
inline constexpr uint8_t kChunkV4Full = 0x20;
inline constexpr uint8_t kChunkV4Partial = 0x21;
inline constexpr uint8_t kChunkV1Full = 0x22;
inline constexpr uint8_t kChunkV1Partial = 0x23;
inline constexpr uint8_t kChunkGreyBit = 0x04;  // added to the four codebook ids: 4-byte entries
inline constexpr uint8_t kChunkIntra = 0x30;    // a V1/V4 bit per block
inline constexpr uint8_t kChunkInter = 0x31;    // a coded bit per block, then V1/V4 if coded
inline constexpr uint8_t kChunkAllV1 = 0x32;    // no bits, every block V1
inline constexpr uint8_t kFrameFlagOwnCodebooks = 0x01;  // strips keep their own codebooks

inline constexpr size_t kFrameHeaderBytes = 10;
inline constexpr size_t kStripHeaderBytes = 12;
inline constexpr size_t kChunkHeaderBytes = 4;

// Writes into a fixed buffer; every put checks the room left and sets a sticky failure flag
// instead of writing past the end.
class ByteWriter {
  public:
    explicit ByteWriter(std::span<uint8_t> out) : m_out(out) {}

    void put8(uint8_t v);
    void put16(uint16_t v);
    void put24(uint32_t v);
    void put32(uint32_t v);
    // Reserves n bytes to be filled later with patch*(); returns their offset.
    size_t reserve(size_t n);
    void patch16(size_t at, uint16_t v);
    void patch24(size_t at, uint32_t v);
    void patch32(size_t at, uint32_t v);

    size_t position() const { return m_pos; }
    bool ok() const { return m_ok; }

  private:
    std::span<uint8_t> m_out;
    size_t m_pos = 0;
    bool m_ok = true;
};

// Emits flag bits the way the decoder consumes them: a 32-bit word is reserved in the byte
// stream at the moment the first of its bits is needed, most significant bit first, so the
// payload bytes that follow a bit are those of the block it describes.
class FlagWriter {
  public:
    explicit FlagWriter(ByteWriter& w) : m_w(w) {}
    void putBit(bool bit);
    // Writes the pending word; call once after the last bit and its payload.
    void finish();

  private:
    ByteWriter& m_w;
    size_t m_wordAt = 0;
    uint32_t m_word = 0;
    int m_bitsLeft = 0;
    bool m_pending = false;
};

// Bytes taken by the flag words of a stream of the given number of bits.
inline size_t flagWordBytes(size_t bits) {
    return (bits + 31) / 32 * 4;
}

}  // namespace cinepak
