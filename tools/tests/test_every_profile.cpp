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
#include "profiles/preference_file.h"
#include "profiles/preferences.h"
#include "profiles/profile.h"
#include "profiles/profile_lists.h"
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

TEST(EveryProfile, ACustomProfileIsFoundByName) {
    // A custom profile in a private store: a copy of the grey profile under
    // a name of its own, found by convert after the built-in ones.
    const fs::path dir = fs::temp_directory_path() / ("custom-profile-" + std::to_string(getpid()));
    fs::create_directories(dir / "config");
    setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
    AtomContainer grey;
    ASSERT_EQ(findProfile("All gray Palm OS devices", false, moviepackerResources(), nullptr, &grey), 0);
    ASSERT_EQ(setProfileName(&grey, "My grey preset"), 0);
    const PreferenceFile store(PreferenceFile::defaultPath());
    Destination dest;
    ASSERT_TRUE(loadPreferences(store, moviepackerResources(), &dest).has_value());  // the first run
    ASSERT_EQ(addCustomProfile(store, &grey), 0);

    const fs::path clip = dir / "clip.mp4";
    ASSERT_EQ(std::system(("ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=96x72:rate=10:duration=1 "
                           "-c:v libx264 -pix_fmt yuv420p " + quote(clip.string())).c_str()), 0);
    const fs::path out = dir / "custom.pdb";
    const std::string cmd = std::string(MOVIEPACKER_CLI) + " convert --profile 'my grey preset' -o " +
                            quote(out.string()) + " " + quote(clip.string()) + " >/dev/null 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    movie::Movie m;
    std::string error;
    ASSERT_TRUE(movie::readMovieFile(out.string(), m, error)) << error;
    EXPECT_TRUE(m.violations.empty());
    EXPECT_EQ(m.header.depthClass, 4);  // the grey profile's 16 greys
    const std::string missing = std::string(MOVIEPACKER_CLI) + " convert --profile 'No such device' -o " +
                                quote((dir / "x.pdb").string()) + " " + quote(clip.string()) + " >/dev/null 2>&1";
    const int st = std::system(missing.c_str());
    EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 2);
    EXPECT_FALSE(fs::exists(dir / "x.pdb"));
    fs::remove_all(dir);
}
