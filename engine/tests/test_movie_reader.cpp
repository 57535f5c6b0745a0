// The database reader on hand-made images: a valid one reads back with its
// fields, and each kind of structural fault is named.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "engine/movie_reader.h"
#include "support/handmade_db.h"

using namespace handmade;

namespace {

bool mentions(const movie::Movie& m, const std::string& text) {
    return std::any_of(m.violations.begin(), m.violations.end(),
                       [&](const std::string& v) { return v.find(text) != std::string::npos; });
}

std::string allViolations(const movie::Movie& m) {
    std::string s;
    for (const std::string& v : m.violations) s += v + "\n";
    return s;
}

}  // namespace

TEST(MovieReader, ValidMovieReadsBackItsFields) {
    movie::Movie m;
    std::string error;
    ASSERT_TRUE(movie::readMovie(validMovie(), m, error)) << error;
    EXPECT_TRUE(m.violations.empty()) << allViolations(m);
    EXPECT_EQ(m.db.name, "Handmade");
    EXPECT_EQ(m.records.size(), 1u);
    EXPECT_EQ(m.header.width, 160);
    EXPECT_EQ(m.header.height, 120);
    EXPECT_EQ(m.header.depthClass, 4);
    EXPECT_EQ(m.header.movieKind, 6);
    EXPECT_EQ(m.header.audioFormat, 626u);
    EXPECT_EQ(m.header.sampleRate, 22050u);
    ASSERT_EQ(m.frames.size(), 2u);
    EXPECT_TRUE(m.frames[0].key());
    EXPECT_FALSE(m.frames[1].key());
    EXPECT_EQ(m.frames[0].data.size(), 21u);  // pad byte excluded
    EXPECT_EQ(m.frames[1].time, 10u);
    ASSERT_EQ(m.sounds.size(), 1u);
    EXPECT_EQ(m.sounds[0].frames, 256u);
}

TEST(MovieReader, StructuralFaultsAreNamed) {
    // A chunk that crosses the record end: split the one record before its last frame.
    {
        Bytes r1, r2;
        append(r1, mv(160, 120, 4));
        append(r1, mt(1));
        append(r1, sh("fr", 10));
        append(r1, sx("fr", 10));
        append(r1, tagOnly("bt"));
        append(r1, index("pt", {{0, 1, 48}}));
        append(r1, tagOnly("mb"));
        Bytes frame = rf(8, 0, 10, Bytes(10, 1));
        append(r1, Bytes(frame.begin(), frame.begin() + 6));  // the rest lands in record 2
        append(r2, Bytes(frame.begin() + 6, frame.end()));
        append(r2, tagOnly("me"));
        append(r2, tagOnly("re"));
        movie::Movie m;
        std::string error;
        ASSERT_TRUE(movie::readMovie(database("x", {r1, r2}), m, error));
        EXPECT_TRUE(mentions(m, "crosses the record end")) << allViolations(m);
    }
    // A bad index offset.
    {
        Bytes img = validMovie();
        // pt entry's offset field: header 80 + 8, then mv..at: the pt payload starts at
        // 88 + 86 + 4, its offset field 6 bytes in.
        const size_t at = 88 + 86 + 4 + 6;
        ASSERT_EQ((img[at] << 8 | img[at + 1]), 260);
        img[at + 1] = 0x10;
        movie::Movie m;
        std::string error;
        ASSERT_TRUE(movie::readMovie(img, m, error));
        EXPECT_TRUE(mentions(m, "video index entry 1 points at")) << allViolations(m);
    }
    // A record over the limit.
    {
        Bytes r;
        append(r, mv(160, 120, 4));
        append(r, mt(1));
        append(r, sh("fr", 60));
        append(r, sx("fr", 60));
        append(r, tagOnly("bt"));
        append(r, index("pt", {{0, 1, 48}}));
        append(r, tagOnly("mb"));
        for (int i = 0; i < 3; ++i) append(r, rf(8, i ? 4 : 0, 20, Bytes(30000, 7)));
        append(r, tagOnly("me"));
        append(r, tagOnly("re"));
        movie::Movie m;
        std::string error;
        ASSERT_TRUE(movie::readMovie(database("x", {r}), m, error));
        EXPECT_TRUE(mentions(m, "more than 63998")) << allViolations(m);
    }
    // A wrong duration.
    {
        Bytes img = validMovie();
        img[88 + 16 + 9] = 31;  // the video "sh" duration's low byte: 30 -> 31
        movie::Movie m;
        std::string error;
        ASSERT_TRUE(movie::readMovie(img, m, error));
        EXPECT_TRUE(mentions(m, "video duration 31 in \"sh\"")) << allViolations(m);
    }
    // A missing "me": turn it into an unknown chunk.
    {
        Bytes img = validMovie();
        const size_t me = img.size() - 8;
        ASSERT_EQ(img[me + 2], 'm');
        img[me + 3] = 'x';
        movie::Movie m;
        std::string error;
        ASSERT_TRUE(movie::readMovie(img, m, error));
        EXPECT_TRUE(mentions(m, "does not end with \"me\"")) << allViolations(m);
    }
}

TEST(MovieReader, NotADatabaseIsRefused) {
    movie::Movie m;
    std::string error;
    EXPECT_FALSE(movie::readMovie({}, m, error));
    EXPECT_FALSE(movie::readMovie(Bytes(79, 0), m, error));
    Bytes img = validMovie();
    img[76] = 0xFF;  // a record list far longer than the file
    EXPECT_FALSE(movie::readMovie(img, m, error));
    EXPECT_FALSE(error.empty());
}

TEST(MovieReader, TruncatedAndMutatedImagesNeverCrash) {
    const Bytes good = validMovie();
    for (size_t n = 0; n <= good.size(); ++n) {
        movie::Movie m;
        std::string error;
        const bool ok = movie::readMovie(Bytes(good.begin(), good.begin() + n), m, error);
        if (n < good.size() && ok) {
            EXPECT_FALSE(m.violations.empty()) << "truncated at " << n;
        }
    }
    std::mt19937 rng(7);
    for (int round = 0; round < 2000; ++round) {
        Bytes img = good;
        const int flips = 1 + int(rng() % 4);
        for (int f = 0; f < flips; ++f) img[rng() % img.size()] = uint8_t(rng());
        movie::Movie m;
        std::string error;
        movie::readMovie(img, m, error);
    }
}
