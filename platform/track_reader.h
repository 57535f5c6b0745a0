#pragma once
// Platform-private: sequential decoding of one track, with seeking when a
// request jumps. Each reader opens the track's bytes on its own, so readers
// never disturb each other or the movie.
#include <cstdint>
#include <deque>
#include <memory>
#include <set>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libswresample/swresample.h>
}

#include "platform/codec_component.h"
#include "platform/movie_internal.h"

class TrackDecoder {
  public:
    ~TrackDecoder();

  protected:
    // What becomes of a packet about to be decoded.
    enum class PacketFate {
        kDecode,
        kDecodeIfReference,  // decoded only when later pictures are built from it
        kDrop,
    };

    OSStatus OpenDecoder(const TrackRecord& track);
    // (Re)opens the FFmpeg decoder, at 1 / 2^lowres of the full size.
    OSStatus OpenCodec(int lowres);
    // Next decoded frame of the track; false at the end or on a failure
    // (m_failure says which).
    bool DecodeOne(AVFrame* out);
    void SeekTo(TimeValue mediaTime);
    // Called for each packet of the track before it is decoded; the packets
    // that follow it are in m_ahead.
    virtual PacketFate Judge(const AVPacket&) { return PacketFate::kDecode; }

    TrackRecord m_track;  // a copy: the movie's track may go away
    std::unique_ptr<MediaSource> m_source;
    AVCodecContext* m_codec = nullptr;
    AVPacket* m_packet = nullptr;
    bool m_flushed = false;  // the end of the packets was sent to the decoder
    OSStatus m_failure = noErr;
    int m_badPackets = 0;
    // Video the toolbox lacks a decoder for, decoded by a registered codec.
    std::unique_ptr<ComponentFrameDecoder> m_component;
    bool m_sentPacket = false;  // the decoder has seen a packet since it was opened
    // Packets of the track read ahead of the one being decoded; at least
    // m_lookahead of them are kept while the file has more.
    std::deque<AVPacket*> m_ahead;
    size_t m_lookahead = 0;

  private:
    bool DecodeThroughComponent(AVFrame* out);
    // The track's next packet into m_packet; false at the end of the file.
    bool NextPacket();
    void DropLookahead();

    bool m_readEnded = false;
};

class VideoReader final : public TrackDecoder {
  public:
    ~VideoReader();
    static OSStatus Open(const TrackRecord& track, std::unique_ptr<VideoReader>* out);
    // The picture shown at mediaTime, its own media time and the media time
    // of the next picture. kStatusEndOfData past the track's end. The frame
    // stays valid until the next call; serial changes with every new picture.
    OSStatus FrameAt(TimeValue mediaTime, const AVFrame** frame, TimeValue* frameTime,
                     TimeValue* nextTime, uint64_t* serial);

    // Lets the reader decode less than every picture at full size; called
    // before the first request. With a step of stepTimes / stepDivisor media
    // time (at least 1) the caller promises that its k-th request comes at
    // k steps from its first, rounded down, or later, at the end of the
    // picture shown at the one before when that picture outlasts the step
    // (the steps go on from there); so pictures no request can fall on may
    // go undecoded (reference-free ones, or any one of an intra-only
    // format). Pictures drawn at no more than drawWidth x drawHeight
    // (0: unknown) may be decoded at a fraction
    // of their size by the formats that can, keeping at least twice the
    // drawing's size; drawn at no more than half the size, bidirectional
    // ones are decoded without deblocking. Frame times, and the answers to
    // every request, stay those of a full decode; a request that breaks the
    // promise is still answered right, by going back and decoding everything
    // from there on (after a few such requests, for good).
    // MOVIEPACKER_FULL_DECODE=1 in the environment turns both savings off.
    void DecodeLess(int64_t stepTimes, int64_t stepDivisor, int32_t drawWidth,
                    int32_t drawHeight);
    // The decoder's size reduction: pictures are 1 / 2^lowres() of the full size.
    int lowres() const { return m_codec != nullptr ? m_codec->lowres : 0; }
    // Whether the decoder leaves out the deblocking of bidirectional pictures.
    bool skipsLoopFilter() const {
        return m_codec != nullptr && m_codec->skip_loop_filter == AVDISCARD_BIDIR;
    }
    // Pictures the decoder has handed out so far.
    uint64_t picturesDecoded() const { return m_decoded; }
    // Requests that fell on a picture left out, so that the reader went back.
    int promisesBroken() const { return m_brokenPromises; }

  protected:
    PacketFate Judge(const AVPacket& packet) override;

  private:
    bool Decode(AVFrame* f, TimeValue* t);
    void ForgetSkipped();
    bool StepsHoldUntil(TimeValue start) const;
    void RequestsAt(int64_t j, TimeValue* earliest, TimeValue* latest) const;
    void FollowRequest(TimeValue t);

    AVFrame* m_current = nullptr;
    AVFrame* m_next = nullptr;
    bool m_haveCurrent = false;
    bool m_haveNext = false;
    bool m_drained = false;
    TimeValue m_currentTime = 0;
    TimeValue m_nextTime = 0;
    TimeValue m_lastTime = -1;
    uint64_t m_serial = 0;
    uint64_t m_decoded = 0;
    // Skipping pictures: the promised step between requests, the
    // request being served, the start times of the pictures sent to be
    // skipped (they still end the picture before them), and the start times
    // of the last packets seen.
    bool m_skipping = false;
    bool m_intraOnly = false;
    int m_brokenPromises = 0;
    int64_t m_stepNum = 0, m_stepDen = 1;
    double m_step = 0;
    // The requests followed along their steps: the time of the first one
    // followed, how many have come since (-1: none yet), and whether that
    // time is exact.
    TimeValue m_gridStart = 0;
    int64_t m_gridCount = -1;
    bool m_gridExact = false;
    TimeValue m_request = 0;
    std::set<TimeValue> m_skipped;
    std::deque<TimeValue> m_recentStarts;
};

class SoundReader final : public TrackDecoder {
  public:
    ~SoundReader();
    static OSStatus Open(const TrackRecord& track, TimeValue startMediaTime,
                         std::unique_ptr<SoundReader>* out);
    // Up to maxFrames sample frames of PCM in *desc's format (16-bit
    // little-endian, or 8-bit offset binary for 8-bit sources). The data stays
    // valid until the next call. kStatusEndOfData when the sound is over.
    OSStatus Read(int32_t maxFrames, const uint8_t** data, int32_t* frames, SampleDescription* desc,
                  bool* formatChanged);

  private:
    OSStatus Fill(int32_t frames);
    OSStatus Append(const AVFrame* f);

    AVFrame* m_frame = nullptr;
    SwrContext* m_swr = nullptr;
    AVSampleFormat m_outFormat = AV_SAMPLE_FMT_S16;
    int m_rate = 0;
    int m_channels = 0;
    AVSampleFormat m_inFormat = AV_SAMPLE_FMT_NONE;
    bool m_changed = true;
    bool m_ended = false;
    // Sound that starts after the movie's origin is led by this much silence
    // (sample frames), so it keeps its place against the picture.
    bool m_fromStart = false;
    bool m_sawFirst = false;
    int64_t m_silenceLeft = 0;
    std::vector<uint8_t> m_pending;  // converted, not yet handed out
    std::vector<uint8_t> m_out;
};
