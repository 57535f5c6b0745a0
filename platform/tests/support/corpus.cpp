#include "platform/tests/support/corpus.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace {

// Made on first use and removed, with everything in it, when the program ends.
struct TempDir {
    std::string path;
    TempDir() {
        std::string t = (std::filesystem::temp_directory_path() / "mp-corpus-XXXXXX").string();
        if (mkdtemp(t.data()) != nullptr) path = t;
    }
    ~TempDir() {
        std::error_code ignored;
        if (!path.empty()) std::filesystem::remove_all(path, ignored);
    }
};

const std::string& CorpusDir() {
    static TempDir dir;
    return dir.path;
}

// lavfi source with the quadrant pattern; W x H at `rate` frames per second, 2 seconds.
std::string Pattern(int w, int h, int rate, double seconds = 2.0) {
    std::ostringstream s;
    s << "-f lavfi -i \"color=black:s=" << w << "x" << h << ":r=" << rate << ":d=" << seconds
      << ",format=rgb24,geq=r='255*lt(X\\,W/2)':g='255*lt(Y\\,H/2)':b='255*gte(T\\,1)'\"";
    return s.str();
}

std::string Tone(int rate, int channels, double seconds = 2.0) {
    std::ostringstream s;
    s << "-f lavfi -i \"sine=frequency=440:sample_rate=" << rate << ":duration=" << seconds
      << "\" ";
    if (channels == 2) s << "-ac 2 ";
    return s.str();
}

std::string Quote(const std::string& p) {
    return "'" + p + "'";
}

std::string Recipe(const std::string& name) {
    const std::string still = Pattern(64, 48, 1, 1) + " -frames:v 1 ";
    static const std::map<std::string, std::string> recipes = {
        {"h264_aac.mp4",
         Pattern(64, 48, 10) + " " + Tone(22050, 1) + "-c:v libx264 -pix_fmt yuv420p -c:a aac"},
        {"chapters.mov", Pattern(64, 48, 10) + " " + Tone(22050, 2) +
                             "META -map 0:v -map 1:a -map_metadata 2 -map_chapters 2 "
                             "-c:v mpeg4 -q:v 2 -c:a pcm_s16be"},
        {"two_sounds.mov", Pattern(64, 48, 10) + " " + Tone(8000, 1) + Tone(8000, 1) +
                               "-map 0:v -map 1:a -map 2:a -c:v mjpeg -c:a pcm_s16le "
                               "-disposition:a:0 default -disposition:a:1 0"},
        {"vp8_vorbis.webm",
         Pattern(64, 48, 10) + " " + Tone(48000, 2) + "-c:v libvpx -b:v 300k -c:a libvorbis"},
        {"h264_mp3.mkv", Pattern(64, 48, 10) + " " + Tone(44100, 2) +
                             "-c:v libx264 -pix_fmt yuv420p -c:a libmp3lame"},
        {"mjpeg_u8.avi",
         Pattern(64, 48, 10) + " " + Tone(11025, 1) + "-c:v mjpeg -q:v 2 -c:a pcm_u8"},
        {"mpeg4_mp3.avi", Pattern(64, 48, 10) + " " + Tone(44100, 2) +
                              "-c:v mpeg4 -q:v 2 -vtag FMP4 -c:a libmp3lame"},
        {"h264_aac.3gp", Pattern(176, 144, 10) + " " + Tone(8000, 1) +
                             "-c:v libx264 -pix_fmt yuv420p -c:a aac -b:a 16k"},
        {"pal.dv", Pattern(64, 48, 25) + " " + Tone(48000, 2) +
                       "-vf scale=720:576 -c:v dvvideo -pix_fmt yuv420p -c:a pcm_s16le"},
        {"flv1_mp3.flv",
         Pattern(64, 48, 10) + " " + Tone(22050, 1) + "-c:v flv1 -q:v 2 -c:a libmp3lame"},
        {"elementary.h264", Pattern(64, 48, 10) + " -c:v libx264 -pix_fmt yuv420p -f h264"},
        {"tone.wav", Tone(8000, 1) + "-c:a pcm_s16le"},
        {"tone.mp3", Tone(44100, 2) + "-c:a libmp3lame"},
        {"tone.aiff", Tone(22050, 1) + "-c:a pcm_s16be"},
        {"pic.png", still},
        {"pic.jpg", still + "-q:v 2"},
        {"pic.bmp", still},
        {"pic.gif", still},
    };
    const auto it = recipes.find(name);
    return it == recipes.end() ? std::string() : it->second;
}

}  // namespace

Rgb PatternColour(bool right, bool bottom, bool late) {
    return Rgb{right ? 0 : 255, bottom ? 0 : 255, late ? 255 : 0};
}

int RunCommand(const std::string& command) {
    return std::system(command.c_str());
}

std::string ScratchPath(const std::string& name) {
    return CorpusDir() + "/" + name;
}

std::string CorpusFile(const std::string& name) {
    const std::string path = ScratchPath(name);
    if (std::filesystem::exists(path)) return path;
    std::string recipe = Recipe(name);
    EXPECT_FALSE(recipe.empty()) << "no recipe for " << name;
    if (recipe.empty()) return path;
    const size_t meta = recipe.find("META");
    if (meta != std::string::npos) {
        const std::string metaPath = ScratchPath(name + ".txt");
        std::ofstream m(metaPath);
        m << ";FFMETADATA1\ntitle=Test Title\ncomment=Some information\ncopyright=Nobody 2026\n"
             "[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=800\ntitle=Opening\n"
             "[CHAPTER]\nTIMEBASE=1/1000\nSTART=800\nEND=2000\ntitle=Second part\n";
        recipe.replace(meta, 4, "-f ffmetadata -i " + Quote(metaPath));
    }
    const std::string cmd = "ffmpeg -nostdin -v error -y " + recipe + " " + Quote(path);
    EXPECT_EQ(RunCommand(cmd), 0) << cmd;
    return path;
}

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

CommandOutput CaptureCommand(const std::string& command) {
    CommandOutput r;
    FILE* p = popen(command.c_str(), "r");
    if (p == nullptr) return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    const int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

void WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

namespace {

double ToDouble(const std::string& v) {
    try {
        return std::stod(v);
    } catch (...) {
        return -1;
    }
}

}  // namespace

ProbedFile Probe(const std::string& path) {
    // One "key=value" per line, sections in brackets.
    const std::string text =
        CaptureCommand("ffprobe -v error -show_format -show_streams -show_chapters " + Quote(path))
            .out;
    ProbedFile f;
    std::istringstream in(text);
    std::string line, section;
    ProbedStream stream;
    while (std::getline(in, line)) {
        if (line == "[STREAM]" || line == "[FORMAT]" || line == "[CHAPTER]") {
            section = line;
            stream = ProbedStream{};
            continue;
        }
        if (line == "[/STREAM]") {
            f.streams.push_back(stream);
            continue;
        }
        const size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        if (section == "[STREAM]") {
            if (key == "codec_type") stream.codecType = value;
            if (key == "duration") stream.duration = ToDouble(value);
            if (key == "channels") stream.channels = static_cast<int>(ToDouble(value));
            if (key == "sample_rate") stream.sampleRate = static_cast<int>(ToDouble(value));
            if (key == "width") stream.width = static_cast<int>(ToDouble(value));
            if (key == "height") stream.height = static_cast<int>(ToDouble(value));
        } else if (section == "[FORMAT]") {
            if (key == "duration") f.duration = ToDouble(value);
            if (key == "TAG:title") f.title = value;
            if (key == "TAG:comment") f.comment = value;
            if (key == "TAG:copyright") f.copyright = value;
        } else if (section == "[CHAPTER]") {
            if (key == "start_time") f.chapterStarts.push_back(ToDouble(value));
            if (key == "TAG:title") f.chapterTitles.push_back(value);
        }
    }
    return f;
}
