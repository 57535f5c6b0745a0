#pragma once
// Test media made at test time with the ffmpeg command-line tool, in a
// temporary directory removed when the test program ends.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/media_types.h"

// The quadrant pattern every generated picture and video shows: left half
// red, top half green, and blue from the second second on.
struct Rgb {
    int r, g, b;
};
Rgb PatternColour(bool right, bool bottom, bool late);

// Path of a corpus file, made on first use. Names: "h264_aac.mp4",
// "chapters.mov", "vp8_vorbis.webm", "h264_mp3.mkv", "mjpeg_u8.avi", "mpeg4_mp3.avi",
// "h264_aac.3gp", "pal.dv", "flv1_mp3.flv", "tone.wav", "tone.mp3", "tone.aiff",
// "pic.png", "pic.jpg", "pic.bmp", "pic.gif". Fails the test when ffmpeg fails.
std::string CorpusFile(const std::string& name);
// A scratch path in the temporary directory (not created).
std::string ScratchPath(const std::string& name);
std::vector<uint8_t> ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes);

// What ffprobe says about a file.
struct ProbedStream {
    std::string codecType;  // "video", "audio", ...
    double duration = -1;   // seconds, -1 when not reported
    int channels = 0;
    int sampleRate = 0;
    int width = 0;
    int height = 0;
};
struct ProbedFile {
    double duration = -1;
    std::vector<ProbedStream> streams;
    std::vector<std::string> chapterTitles;
    std::vector<double> chapterStarts;
    std::string title, comment, copyright;
};
ProbedFile Probe(const std::string& path);

// Runs a shell command, returning its exit status.
int RunCommand(const std::string& command);

// A shell command's exit status (-1 when it did not exit normally) and standard output.
struct CommandOutput {
    int status = -1;
    std::string out;
};
CommandOutput CaptureCommand(const std::string& command);
