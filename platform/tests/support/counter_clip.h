#pragma once
// Clips whose every picture carries its own number, so a test can tell which
// source picture ended up where: eight bars across the top quarter, bar b
// bright when bit b of the picture's number (counted from 0) is set, above a
// textured picture that moves, so the encoders predict and reorder as usual.
#include <functional>
#include <string>

// A clip made with the ffmpeg command line in the corpus folder (once per
// set of arguments). codec: "h264" (MP4), "mpeg4" (MP4), "mpeg2" (MPEG
// program stream) or "mjpeg" (AVI); the formats with prediction use
// B-pictures (H.264: three between references, the middle one itself a
// reference). rate as ffmpeg reads it ("25", "30000/1001"). Fails the test
// when ffmpeg fails.
std::string CounterClip(const std::string& codec, const std::string& rate, int width, int height,
                        double seconds);

// The number drawn in a picture of width x height whose luma (0-255) at
// (x, y) the function gives; works at any size the picture was scaled to.
int ReadCounter(int width, int height, const std::function<int(int x, int y)>& luma);
