#pragma once
// The media detector: a frame grabber by time over a media file's streams.
//
// Platform model (see vfw.h for the whole picture): the detector of the old
// platform had decoders only for what neither the movie toolbox nor Video
// for Windows decoded in an AVI. Here it decodes with FFmpeg, and only
// video streams whose code is in kDetectorVideoCodes report the video-info
// format; every other stream reports none. Bitmaps come back as a 40-byte
// bitmap information header followed by 24-bit bottom-up rows (blue, green,
// red), each row padded to whole 32-bit words.
#include <cstdint>
#include <string>

#include "platform/media_types.h"
#include "platform/status.h"

struct MediaDetectorRecord;
using MediaDetector = MediaDetectorRecord*;

// The format type of streams the detector can grab frames from.
inline constexpr OSType kVideoInfoFormatType = MakeOSType("vidi");

OSStatus MediaDetectorCreate(MediaDetector* det);
void MediaDetectorRelease(MediaDetector det);  // null allowed
// kStatusFileNotFound, kStatusNoMovieFound.
OSStatus MediaDetectorSetFilename(MediaDetector det, const std::string& path);
int32_t MediaDetectorOutputStreams(MediaDetector det);
OSStatus MediaDetectorSetCurrentStream(MediaDetector det, int32_t index);
// kVideoInfoFormatType or 0.
OSType MediaDetectorStreamFormatType(MediaDetector det);
double MediaDetectorStreamLength(MediaDetector det);  // seconds
double MediaDetectorFrameRate(MediaDetector det);     // 0 when unknown
// The picture shown at `seconds`, scaled to width x height. With a null
// buffer only *size is set; otherwise *size must be at least that size.
// kStatusCantDecodeVideo when no picture can be decoded there.
OSStatus MediaDetectorGetBitmapBits(MediaDetector det, double seconds, int32_t* size,
                                    uint8_t* buffer, int32_t width, int32_t height);
