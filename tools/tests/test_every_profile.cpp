// Every built-in device profile converts a small test movie into a database
// that passes the inspector: one conversion per profile, all 71.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/movie_reader.h"
#include "platform/resources.h"
#include "resources/resources.h"

namespace fs = std::filesystem;

namespace {

std::string quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

}  // namespace

TEST(EveryProfile, ConvertsIntoAValidDatabase) {
    std::vector<std::string> names;
    std::span<const uint8_t> list;
    ASSERT_EQ(moviepackerResources().get(kResTypeStringList, 512, &list), 0);
    ASSERT_EQ(parseStringList(list, &names), 0);
    ASSERT_EQ(names.size(), 71u);

    const fs::path dir = fs::temp_directory_path() / ("every-profile-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const fs::path clip = dir / "clip.mp4";
    const std::string make =
        "ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=96x72:rate=10:duration=1 "
        "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=1 -c:v libx264 -pix_fmt yuv420p "
        "-c:a aac " + quote(clip.string());
    ASSERT_EQ(std::system(make.c_str()), 0);

    for (size_t i = 0; i < names.size(); ++i) {
        const std::string name = macRomanToUtf8(names[i]);
        const fs::path out = dir / ("p" + std::to_string(512 + i) + ".pdb");
        const std::string cmd = std::string(MOVIEPACKER_CLI) + " convert --profile " + quote(name) +
                                " -o " + quote(out.string()) + " " + quote(clip.string()) +
                                " >/dev/null 2>&1";
        const int st = std::system(cmd.c_str());
        ASSERT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0) << "profile " << 512 + i << " \"" << name << "\"";
        movie::Movie m;
        std::string error;
        ASSERT_TRUE(movie::readMovieFile(out.string(), m, error)) << name << ": " << error;
        EXPECT_TRUE(m.violations.empty()) << name << ": " << m.violations.front();
        EXPECT_GT(m.frames.size() + m.sounds.size(), 0u) << name;
        fs::remove(out);
    }
    fs::remove_all(dir);
}
