#pragma once
// MPEG own sound: the sound of an MPEG-1 system stream read by the exporter
// itself, because the platform opens such a movie but does not hand its
// sound out (platform/mpeg_streams.h). The file is read through the data
// handler of the movie's default data reference, one audio stream is chosen
// and decoded, and the export pulls it through the same get-data and
// get-property procedures the platform's own sources have.
#include <memory>
#include <vector>

#include "export/mpeg_audio.h"
#include "platform/data_handler.h"
#include "platform/media_export.h"
#include "platform/movies.h"

class MpegOwnSound {
  public:
    ~MpegOwnSound();

    // Opens the movie's file, finds the first packet of an audio stream
    // (0xC0..0xDF) that starts with a valid frame header and sets up its
    // decoder. Errors: kStatusParamError when there is no such packet (or
    // the movie has no file); kStatusNoCodec with *missingCodec set for MPEG
    // audio this decoder does not decode ('.mp1', '.mp2', '.mp3' for Layer I,
    // II and III of the low sample rates, '.mp3' for Layer III);
    // kStatusOutOfMemory; the data handler's errors. Nothing is left open on
    // failure.
    static OSStatus prepare(Movie movie, const MpegRateTables& tables,
                            std::unique_ptr<MpegOwnSound>* out, OSType* missingCodec);

    // The decoded sound: 'sowt', the stream's channels and rate, 16-bit; the
    // extension holds the decoder's samples per frame and bytes per frame
    // (two big-endian 32-bit values).
    const SampleDescription& description() const { return m_desc; }
    TimeScale timeScale() const { return TimeScale(m_desc.sampleRate); }

    // Procedures for the export's sound source; the refcon is this object.
    // Each data request is filled with whole decoded frames; what a frame
    // gives beyond the request waits for the next one, and the last request
    // may come back short. kStatusEndOfData when nothing is left.
    static OSStatus getProperty(void* refCon, int32_t trackID, OSType property, void* value);
    static OSStatus getData(void* refCon, MovieExportGetDataParams* params);

    // Frames dropped because they did not decode or did not match the first.
    int droppedFrames() const { return m_droppedFrames; }

  private:
    MpegOwnSound() = default;
    OSStatus fill(int32_t want, int32_t* got);

    DataHandler m_handler = nullptr;
    std::unique_ptr<MpegDemuxer> m_demuxer;
    std::unique_ptr<MpegAudioDecoder> m_decoder;
    MpegFrameHeader m_first;
    SampleDescription m_desc;
    TimeValue m_duration = 0;  // in the sample rate
    std::vector<int16_t> m_chunk;
    std::vector<int16_t> m_decoded;             // one frame
    int32_t m_leftStart = 0, m_leftFrames = 0;  // frames of m_decoded not yet handed out
    bool m_ended = false;
    int m_droppedFrames = 0;
    int32_t m_seed = 1;
};
