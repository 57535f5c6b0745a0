#pragma once
// What this platform does with MPEG program streams, and why.
//
// The rule: an MPEG-1 system stream (FFmpeg's "mpeg" demuxer over a file
// whose first pack header is of the MPEG-1 kind, '0010' after the pack start
// code) opens as a movie whose audio streams are enabled tracks of media type
// 'MPEG'. The movie toolbox shows them (they can be heard, they have
// durations and sample descriptions), but the export delegate hands out sound
// only from 'soun' tracks, so it has no sound procedures for such a movie:
// whoever exports one reads the audio from the file itself. The video of
// these files stays an ordinary 'vide' track with the normal decoders.
//
// MPEG-2 program streams (DVD-style, '01' after the pack start code) are not
// affected: their audio is ordinary sound the delegate hands out.
//
// Platform-private.
#include "platform/media_source.h"

// The source is an MPEG-1 system stream in the sense above.
bool IsMpeg1SystemStream(const MediaSource& src);
