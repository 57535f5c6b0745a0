// moviepacker-cli inspect as a user runs it: exit statuses, text and JSON.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <sys/wait.h>

#include "../../engine/tests/support/handmade_db.h"
#include "platform/tests/support/corpus.h"

namespace {

using CliRun = CommandOutput;

CliRun run(const std::string& args) {
    return CaptureCommand(std::string(MOVIEPACKER_CLI) + " " + args + " 2>&1");
}

class InspectCli : public testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("mp-inspect-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string write(const std::string& name, const handmade::Bytes& b) {
        const auto path = dir_ / name;
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), b.size());
        return path.string();
    }
    std::filesystem::path dir_;
};

}  // namespace

TEST_F(InspectCli, ExitStatusesSayValidFaultyOrUnreadable) {
    const std::string good = write("good.pdb", handmade::validMovie());
    CliRun r = run("inspect " + good);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("structure: valid"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("frame size 160x120"), std::string::npos) << r.out;

    handmade::Bytes bad = handmade::validMovie();
    bad[bad.size() - 5] = 'x';  // "me" becomes "mx"
    r = run("inspect " + write("bad.pdb", bad));
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("violations"), std::string::npos);

    r = run("inspect " + write("short.pdb", handmade::Bytes(20, 1)));
    EXPECT_EQ(r.status, 2) << r.out;
    r = run("inspect " + (dir_ / "missing.pdb").string());
    EXPECT_EQ(r.status, 2) << r.out;
    r = run("inspect");
    EXPECT_EQ(r.status, 2);
    r = run("inspect --help");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("Usage:"), std::string::npos);
}

TEST_F(InspectCli, JsonCarriesTheFields) {
    CliRun r = run("inspect --json " + write("good.pdb", handmade::validMovie()));
    ASSERT_EQ(r.status, 0) << r.out;
    for (const char* field : {"\"valid\":true", "\"width\":160", "\"movieKind\":6", "\"format\":626",
                              "\"frames\":2", "\"keyFrames\":1", "\"violations\":[]"})
        EXPECT_NE(r.out.find(field), std::string::npos) << field << " in " << r.out;
}

TEST_F(InspectCli, RandomBytesNeverCrashIt) {
    std::mt19937 rng(11);
    handmade::Bytes good = handmade::validMovie();
    for (int i = 0; i < 20; ++i) {
        handmade::Bytes b = good;
        b.resize(rng() % (good.size() + 1));
        for (int k = 0; k < 8 && !b.empty(); ++k) b[rng() % b.size()] = uint8_t(rng());
        CliRun r = run("inspect " + write("r.pdb", b));
        EXPECT_TRUE(r.status == 1 || r.status == 2 || r.status == 0) << r.status << r.out;
    }
}
