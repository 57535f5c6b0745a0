#pragma once
// Platform-private: sequential decoding of one track, with seeking when a
// request jumps. Each reader opens the track's bytes on its own, so readers
// never disturb each other or the movie.
#include <cstdint>
#include <memory>
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
    OSStatus OpenDecoder(const TrackRecord& track);
    // Next decoded frame of the track; false at the end or on a failure
    // (m_failure says which).
    bool DecodeOne(AVFrame* out);
    void SeekTo(TimeValue mediaTime);

    TrackRecord m_track;  // a copy: the movie's track may go away
    std::unique_ptr<MediaSource> m_source;
    AVCodecContext* m_codec = nullptr;
    AVPacket* m_packet = nullptr;
    bool m_flushed = false;  // the end of the packets was sent to the decoder
    OSStatus m_failure = noErr;
    int m_badPackets = 0;
    // Video the toolbox lacks a decoder for, decoded by a registered codec.
    std::unique_ptr<ComponentFrameDecoder> m_component;

  private:
    bool DecodeThroughComponent(AVFrame* out);
};

class VideoReader : public TrackDecoder {
  public:
    ~VideoReader();
    static OSStatus Open(const TrackRecord& track, std::unique_ptr<VideoReader>* out);
    // The picture shown at mediaTime, its own media time and the media time
    // of the next picture. kStatusEndOfData past the track's end. The frame
    // stays valid until the next call; serial changes with every new picture.
    OSStatus FrameAt(TimeValue mediaTime, const AVFrame** frame, TimeValue* frameTime,
                     TimeValue* nextTime, uint64_t* serial);

  private:
    bool Decode(AVFrame* f, TimeValue* t);

    AVFrame* m_current = nullptr;
    AVFrame* m_next = nullptr;
    bool m_haveCurrent = false;
    bool m_haveNext = false;
    bool m_drained = false;
    TimeValue m_currentTime = 0;
    TimeValue m_nextTime = 0;
    TimeValue m_lastTime = -1;
    uint64_t m_serial = 0;
};

class SoundReader : public TrackDecoder {
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
