// The MPEG-1 system stream demultiplexer and the audio frame reader.
#include <algorithm>
#include <cstring>

#include "export/mpeg_audio.h"

namespace {

constexpr uint32_t kPackStart = 0x1BA;
constexpr uint32_t kSystemHeaderStart = 0x1BB;
constexpr uint32_t kEndCode = 0x1B9;
constexpr uint32_t kFirstPacketCode = 0x1BC;
constexpr uint32_t kPaddingStream = 0xBE;
constexpr uint32_t kPrivateStream2 = 0xBF;
constexpr int kFirstAudioStream = 0xC0, kLastAudioStream = 0xDF;
constexpr int kMaxStuffing = 16;

enum State { kExpectPack = 0, kInPack = 1, kAfterPack = 2, kPackets = 3 };

bool isAudioStream(int id) {
    return id >= kFirstAudioStream && id <= kLastAudioStream;
}

}  // namespace

MpegDemuxer::MpegDemuxer(MpegByteReader reader, int64_t fileSize, const MpegRateTables& tables)
    : m_reader(std::move(reader)),
      m_fileSize(std::max<int64_t>(0, fileSize)),
      m_tables(tables),
      m_buffer(kBufferBytes),
      m_frame(kFrameBufferBytes) {}

void MpegDemuxer::start() {
    m_bufferStart = 0;
    m_bufferPos = m_bufferEnd = 0;
    m_state = kExpectPack;
    m_pendingCode = 0;
    m_packs = m_systemHeaders = m_dropped = 0;
    m_firstSystemHeader.clear();
    releasePacket();
}

OSStatus MpegDemuxer::fill(size_t want) {
    const size_t avail = m_bufferEnd - m_bufferPos;
    if (avail >= want) return noErr;
    std::memmove(m_buffer.data(), m_buffer.data() + m_bufferPos, avail);
    m_bufferStart += int64_t(m_bufferPos);
    m_bufferPos = 0;
    m_bufferEnd = avail;
    const int64_t at = m_bufferStart + int64_t(m_bufferEnd);
    const size_t n = size_t(std::min<int64_t>(int64_t(kBufferBytes - m_bufferEnd),
                                              std::max<int64_t>(0, m_fileSize - at)));
    if (n > 0) {
        if (OSStatus err = m_reader(at, {m_buffer.data() + m_bufferEnd, n}); err != noErr) {
            // A file that shrank under us reads as one that ends here.
            m_fileSize = at;
            return err == kStatusEndOfData ? kStatusEndOfData : err;
        }
        m_bufferEnd += n;
    }
    return m_bufferEnd >= want ? noErr : kStatusEndOfData;
}

OSStatus MpegDemuxer::readByte(uint8_t* b) {
    if (m_bufferPos == m_bufferEnd) {
        if (OSStatus err = fill(1); err != noErr) return err;
    }
    *b = m_buffer[m_bufferPos++];
    return noErr;
}

OSStatus MpegDemuxer::readBytes(uint8_t* dest, size_t n) {
    while (n > 0) {
        if (m_bufferPos == m_bufferEnd) {
            if (OSStatus err = fill(1); err != noErr) return err;
        }
        const size_t take = std::min(n, m_bufferEnd - m_bufferPos);
        std::memcpy(dest, m_buffer.data() + m_bufferPos, take);
        m_bufferPos += take;
        dest += take;
        n -= take;
    }
    return noErr;
}

OSStatus MpegDemuxer::skip(int64_t n) {
    if (n <= 0) return noErr;
    const size_t avail = m_bufferEnd - m_bufferPos;
    if (uint64_t(n) <= avail) {
        m_bufferPos += size_t(n);
        return noErr;
    }
    const int64_t to = position() + n;
    m_bufferStart = std::min(to, m_fileSize);
    m_bufferPos = m_bufferEnd = 0;
    return to <= m_fileSize ? noErr : kStatusEndOfData;
}

OSStatus MpegDemuxer::nextStartCode(uint32_t* code) {
    uint32_t v = 0xFFFFFFFF;
    for (;;) {
        if (m_bufferPos == m_bufferEnd) {
            if (OSStatus err = fill(1); err != noErr) return err;
        }
        v = (v << 8) | m_buffer[m_bufferPos++];
        if ((v & 0xFFFFFF00) == 0x100) {
            *code = v;
            return noErr;
        }
    }
}

OSStatus MpegDemuxer::parsePack() {
    uint8_t b[10];
    if (OSStatus err = readBytes(b, 8); err != noErr) return err;
    if ((b[0] & 0xF0) == 0x20) return noErr;  // MPEG-1: SCR and mux rate, 8 bytes
    if ((b[0] & 0xC0) == 0x40) {              // MPEG-2: 10 bytes and stuffing
        if (OSStatus err = readBytes(b + 8, 2); err != noErr) return err;
        return skip(b[9] & 7);
    }
    return kMpegParseError + kMpegBadPackHeader;
}

OSStatus MpegDemuxer::parseSystemHeader() {
    uint8_t len[2];
    if (OSStatus err = readBytes(len, 2); err != noErr) return err;
    const size_t n = (size_t(len[0]) << 8) | len[1];
    std::vector<uint8_t> h(n);
    if (OSStatus err = readBytes(h.data(), n); err != noErr) return err;
    // Rate bound, audio bound and flags, video bound, then 3 bytes per stream.
    bool ok = n >= 6 && (n - 6) % 3 == 0 && (h[0] & 0x80) && (h[2] & 1);
    for (size_t i = 6; ok && i < n; i += 3) ok = (h[i] & 0x80) != 0;
    if (!ok) return kMpegParseError + kMpegBadSystemHeader;
    ++m_systemHeaders;
    if (m_systemHeaders == 1) {
        m_firstSystemHeader = std::move(h);
        return noErr;
    }
    return h == m_firstSystemHeader ? noErr : kMpegParseError + kMpegSystemHeaderChanged;
}

OSStatus MpegDemuxer::parsePacket(int streamID, MpegPacket* packet) {
    uint8_t len[2];
    if (OSStatus err = readBytes(len, 2); err != noErr) return err;
    int64_t left = (int64_t(len[0]) << 8) | len[1];
    if (streamID != int(kPaddingStream) && streamID != int(kPrivateStream2)) {
        uint8_t b = 0;
        int stuffing = 0;
        for (;;) {
            if (left-- <= 0) return kMpegParseError + kMpegBadPacketHeader;
            if (OSStatus err = readByte(&b); err != noErr) return err;
            if (b != 0xFF) break;
            if (++stuffing > kMaxStuffing) return kMpegParseError + kMpegBadPacketHeader;
        }
        int64_t more = 0;
        if ((b & 0xC0) == 0x80) {
            // An MPEG-2 packet header: flags, then its own length.
            uint8_t f[2];
            if (left < 2) return kMpegParseError + kMpegBadPacketHeader;
            if (OSStatus err = readBytes(f, 2); err != noErr) return err;
            left -= 2;
            more = f[1];
        } else {
            if ((b & 0xC0) == 0x40) {  // buffer scale and size
                if (left < 2) return kMpegParseError + kMpegBadPacketHeader;
                uint8_t s[2];
                if (OSStatus err = readBytes(s, 2); err != noErr) return err;
                left -= 2;
                b = s[1];
            }
            if ((b & 0xF0) == 0x20)
                more = 4;  // PTS
            else if ((b & 0xF0) == 0x30)
                more = 9;  // PTS and DTS
            else if (b != 0x0F)
                return kMpegParseError + kMpegBadPacketHeader;
        }
        if (more > left) return kMpegParseError + kMpegBadPacketHeader;
        if (OSStatus err = skip(more); err != noErr) return err;
        left -= more;
    }
    packet->streamID = streamID;
    packet->payloadOffset = position();
    packet->payloadLength = int32_t(std::min<int64_t>(left, m_fileSize - position()));
    packet->readPosition = 0;
    return noErr;
}

OSStatus MpegDemuxer::nextPacket(MpegPacket* packet) {
    if (m_havePacket) {
        const int64_t end = m_packet.payloadOffset + m_packet.payloadLength;
        releasePacket();
        if (end > position() && skip(end - position()) != noErr) return kStatusEndOfData;
    }
    for (;;) {
        uint32_t code = m_pendingCode;
        m_pendingCode = 0;
        if (code == 0) {
            if (OSStatus err = nextStartCode(&code); err != noErr) return err;
        }
        switch (m_state) {
            case kExpectPack: {
                if (code == kEndCode) return kMpegEndCode;
                if (code != kPackStart) return kMpegNoPackStart;
                m_state = kInPack;
                OSStatus err = parsePack();
                if (err == kStatusEndOfData) return err;
                ++m_packs;
                m_state = kAfterPack;
                if (err != noErr) return err;
                break;
            }
            case kAfterPack:
                m_state = kPackets;
                if (code == kSystemHeaderStart) {
                    OSStatus err = parseSystemHeader();
                    if (err != noErr) return err;
                } else {
                    m_pendingCode = code;
                }
                break;
            default:
                if (code < kFirstPacketCode) {
                    m_state = kExpectPack;
                    m_pendingCode = code;
                    break;
                }
                MpegPacket p;
                OSStatus err = parsePacket(int(code & 0xFF), &p);
                if (err != noErr) return err;
                if (m_systemHeaders == 0) {
                    skip(p.payloadLength);
                    return kMpegPacketBeforeSystemHeader;
                }
                m_packet = p;
                m_havePacket = true;
                if (packet != nullptr) *packet = p;
                return noErr;
        }
    }
}

OSStatus MpegDemuxer::findAudioStream(MpegFrameHeader* first) {
    start();
    for (;;) {
        MpegPacket p;
        const OSStatus err = nextPacket(&p);
        if (err == kStatusEndOfData) return err;
        if (err != noErr || !isAudioStream(p.streamID) || p.payloadLength < 4) continue;
        if (fill(4) != noErr) continue;
        const uint8_t* b = m_buffer.data() + m_bufferPos;
        const uint32_t word =
            (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | b[3];
        MpegFrameHeader h;
        if (!ParseMpegFrameHeader(word, m_tables, &h)) continue;
        chooseAudioStream(p.streamID);
        if (first != nullptr) *first = h;
        return noErr;
    }
}

OSStatus MpegDemuxer::readAudioBytes(size_t n, uint8_t* dest) {
    while (n > 0) {
        if (!m_havePacket || m_packet.streamID != m_audioStream ||
            m_packet.readPosition >= m_packet.payloadLength) {
            // Codes and errors between packets only mean that something other
            // than our audio was there; the walk goes on to the end of the file.
            MpegPacket p;
            const OSStatus err = nextPacket(&p);
            if (err == kStatusEndOfData) return err;
            if (err != noErr) continue;
            if (p.streamID != m_audioStream) ++m_dropped;
            continue;
        }
        const size_t take = std::min(n, size_t(m_packet.payloadLength - m_packet.readPosition));
        if (OSStatus err = readBytes(dest, take); err != noErr) return kStatusEndOfData;
        m_packet.readPosition += int32_t(take);
        dest += take;
        n -= take;
    }
    return noErr;
}

OSStatus MpegDemuxer::nextFrame(std::span<const uint8_t>* frame, MpegFrameHeader* header) {
    uint8_t* f = m_frame.data();
    if (OSStatus err = readAudioBytes(4, f); err != noErr) return err;
    MpegFrameHeader h;
    for (;;) {
        const uint32_t word =
            (uint32_t(f[0]) << 24) | (uint32_t(f[1]) << 16) | (uint32_t(f[2]) << 8) | f[3];
        // A frame that would not fit the buffer is not one we can take.
        if (ParseMpegFrameHeader(word, m_tables, &h) && h.frameBytes >= 4 &&
            size_t(h.frameBytes) <= kFrameBufferBytes)
            break;
        std::memmove(f, f + 1, 3);
        if (OSStatus err = readAudioBytes(1, f + 3); err != noErr) return err;
    }
    if (OSStatus err = readAudioBytes(size_t(h.frameBytes) - 4, f + 4); err != noErr) return err;
    if (frame != nullptr) *frame = {f, size_t(h.frameBytes)};
    if (header != nullptr) *header = h;
    return noErr;
}
