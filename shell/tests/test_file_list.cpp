#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "platform/tests/support/corpus.h"
#include "shell/file_list.h"

namespace {

// A copy of a corpus file under another name and folder.
std::string CopyAs(const std::string& corpusName, const std::string& relPath) {
    const std::string to = ScratchPath(relPath);
    std::filesystem::create_directories(std::filesystem::path(to).parent_path());
    std::filesystem::copy_file(CorpusFile(corpusName), to,
                               std::filesystem::copy_options::overwrite_existing);
    return to;
}

int Channel(uint32_t argb, int shift) { return static_cast<int>((argb >> shift) & 0xFF); }

TEST(FileList, AddingSortsOutMoviesSoundsAndOtherFiles) {
    FileList list;
    const std::string movie = CorpusFile("h264_aac.mp4");
    const std::string sound = CorpusFile("tone.wav");
    const std::string junk = ScratchPath("junk.mov");
    WriteWholeFile(junk, {'n', 'o', 't', ' ', 'a', ' ', 'm', 'o', 'v', 'i', 'e'});

    ASSERT_EQ(list.addFile(movie), FileList::AddResult::Added);
    ASSERT_EQ(list.addFile(sound), FileList::AddResult::Added);
    ASSERT_EQ(list.addFile(junk), FileList::AddResult::Added);
    ASSERT_EQ(list.size(), 3u);

    const FileListEntry& m = list[0];
    EXPECT_EQ(m.path(), movie);
    EXPECT_TRUE(m.selected);
    EXPECT_FALSE(m.noPicture);
    EXPECT_TRUE(m.thumbnailPending);
    EXPECT_EQ(countedText(m.duration), "Duration: 00:00:02");
    EXPECT_TRUE(m.progress.exists);
    EXPECT_FALSE(m.progress.visible);
    EXPECT_EQ(m.status, kFileStatusPending);

    const FileListEntry& s = list[1];
    EXPECT_TRUE(s.selected);
    EXPECT_TRUE(s.noPicture);
    EXPECT_FALSE(s.thumbnailPending);
    EXPECT_EQ(countedText(s.duration), "Duration: 00:00:02");

    // Listed all the same, so that its conversion reports why it fails.
    const FileListEntry& j = list[2];
    EXPECT_FALSE(j.selected);
    EXPECT_EQ(j.duration[0], 0);
    EXPECT_FALSE(j.progress.exists);
    EXPECT_FALSE(j.thumbnailPending);
    EXPECT_TRUE(j.thumbnail.empty());

    // The thumbnail shows the first frame: red left, green top.
    EXPECT_EQ(list.makePendingThumbnails(10), 0u);
    ASSERT_EQ(m.thumbnail.argb.size(), size_t{kThumbnailWidth} * kThumbnailHeight);
    auto at = [&](int x, int y) { return m.thumbnail.argb[size_t(y) * kThumbnailWidth + x]; };
    const uint32_t topLeft = at(5, 5), topRight = at(55, 5), bottomLeft = at(5, 40),
                   bottomRight = at(55, 40);
    EXPECT_GT(Channel(topLeft, 16), 200);
    EXPECT_GT(Channel(topLeft, 8), 200);
    EXPECT_LT(Channel(topRight, 16), 60);
    EXPECT_GT(Channel(topRight, 8), 200);
    EXPECT_GT(Channel(bottomLeft, 16), 200);
    EXPECT_LT(Channel(bottomLeft, 8), 60);
    EXPECT_LT(Channel(bottomRight, 16) + Channel(bottomRight, 8), 80);
    EXPECT_EQ(topLeft >> 24, 0xFFu);
}

TEST(FileList, DeferredFilesAreOpenedLater) {
    FileList list;
    const std::string movie = CopyAs("h264_aac.mp4", "later/movie.mp4");
    const std::string junk = ScratchPath("later/junk.avi");
    WriteWholeFile(junk, {'R', 'I', 'F', 'F'});
    ASSERT_EQ(list.addFileDeferred(movie), FileList::AddResult::Added);
    ASSERT_EQ(list.addFileDeferred(junk), FileList::AddResult::Added);
    EXPECT_EQ(list.addFileDeferred(movie), FileList::AddResult::Duplicate);
    EXPECT_EQ(list.pendingExaminations(), 2u);
    EXPECT_TRUE(list[0].selected && list[1].selected);
    EXPECT_EQ(list[0].duration[0], 0);

    std::vector<size_t> changed;
    EXPECT_EQ(list.examinePending(1, &changed), 1u);
    EXPECT_EQ(changed, (std::vector<size_t>{0}));
    EXPECT_EQ(countedText(list[0].duration), "Duration: 00:00:02");
    EXPECT_TRUE(list[0].thumbnailPending);
    EXPECT_TRUE(list[0].progress.exists);
    // The user's deselection survives the examination of the rest.
    list[0].selected = false;
    EXPECT_EQ(list.examinePending(5, &changed), 0u);
    EXPECT_EQ(changed, (std::vector<size_t>{0, 1}));
    EXPECT_FALSE(list[0].selected);
    EXPECT_FALSE(list[1].selected);  // not a movie: deselected, no bar
    EXPECT_FALSE(list[1].progress.exists);
    changed.clear();
    EXPECT_EQ(list.makePendingThumbnails(5, &changed), 0u);
    EXPECT_EQ(changed, (std::vector<size_t>{0}));
    EXPECT_FALSE(list[0].thumbnail.empty());
}

TEST(FileList, TheSameFileIsListedOnce) {
    FileList list;
    const std::string movie = CopyAs("h264_aac.mp4", "dup/clip.mp4");
    const std::string link = ScratchPath("dup/link.mp4");
    std::filesystem::remove(link);
    std::filesystem::create_symlink(movie, link);
    const std::string upper = CopyAs("h264_aac.mp4", "dup/CLIP.mp4");

    EXPECT_EQ(list.addFile(movie), FileList::AddResult::Added);
    EXPECT_EQ(list.addFile(movie), FileList::AddResult::Duplicate);
    EXPECT_EQ(list.addFile(link), FileList::AddResult::Duplicate);
    EXPECT_EQ(list.addFile(ScratchPath("dup/./clip.mp4")), FileList::AddResult::Duplicate);
    // Another file whose name differs in case only is a file of its own.
    EXPECT_EQ(list.addFile(upper), FileList::AddResult::Added);
    EXPECT_EQ(list.addFile(std::string(300, 'x')), FileList::AddResult::BadName);
    EXPECT_EQ(list.size(), 2u);
    EXPECT_EQ(list.addFiles({movie, upper, CorpusFile("tone.mp3")}), 1u);
}

TEST(FileList, SortingRemovingAndTheFolderText) {
    FileList list;
    const std::string b = CopyAs("tone.wav", "one/b.wav");
    const std::string a = CopyAs("tone.wav", "one/A.wav");
    const std::string c = CopyAs("tone.wav", "one/c.wav");
    list.addFiles({b, c, a});
    list.sortByName();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].fileName(), "A.wav");
    EXPECT_EQ(list[1].fileName(), "b.wav");
    EXPECT_EQ(list[2].fileName(), "c.wav");

    const std::string folder = std::filesystem::path(a).parent_path().string();
    EXPECT_TRUE(list.allInOneFolder());
    EXPECT_EQ(folderText(list, true, "/dest", "multiple locations"), folder);
    EXPECT_EQ(folderText(list, false, "/dest", "multiple locations"), "/dest");

    list.addFile(CopyAs("tone.wav", "two/a2.wav"));
    list.sortByName();
    EXPECT_FALSE(list.allInOneFolder());
    EXPECT_EQ(folderText(list, true, "/dest", "multiple locations"), "multiple locations");

    // Remove the selection: only the rows marked go, in any position.
    list.selectAll(false);
    list[1].selected = true;  // a2.wav
    list[3].selected = true;  // c.wav
    EXPECT_EQ(list.removeSelected(), 2u);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].fileName(), "A.wav");
    EXPECT_EQ(list[1].fileName(), "b.wav");
    EXPECT_EQ(folderText(list, true, "/dest", "multiple locations"), folder);

    list.remove(7);  // out of range: nothing
    list.remove(0);
    EXPECT_EQ(list.size(), 1u);
    list.clear();
    EXPECT_EQ(folderText(list, true, "/dest", "multiple locations"), "");
    EXPECT_TRUE(list.allInOneFolder());
}

TEST(FileList, DurationTextTruncatesSeconds) {
    // 2 h 3 min 4.9 s in a time scale of 600.
    EXPECT_EQ(durationText((2 * 3600 + 3 * 60 + 4) * 600 + 540, 600, "Duration: "),
              "Duration: 02:03:04");
    EXPECT_EQ(durationText(59999, 1000, "D "), "D 00:00:59");
    EXPECT_EQ(durationText(3600 * 1000, 1000, ""), "01:00:00");
    EXPECT_EQ(durationText(int64_t{125} * 3600 * 90000, 90000, ""), "125:00:00");
    EXPECT_EQ(durationText(1000, 0, ""), "00:00:00");   // no time scale
    EXPECT_EQ(durationText(-5, 600, ""), "00:00:00");   // nothing negative
}

TEST(FileList, CountedStringsStopAt63Characters) {
    const CountedString63 c = makeCounted63(std::string(100, 'z'));
    EXPECT_EQ(c[0], 63);
    EXPECT_EQ(countedText(c), std::string(63, 'z'));
    CountedString63 bad{};
    bad[0] = 200;  // a damaged length never reads past the field
    EXPECT_EQ(countedText(bad).size(), 63u);
}

TEST(FileList, MiddleEllipsisKeepsBothEnds) {
    auto bytes = [](std::string_view s) { return static_cast<int>(s.size()); };
    const std::string path = "/home/user/Movies/holiday/2026/clip.mov";
    EXPECT_EQ(middleEllipsis(path, 100, bytes), path);
    const std::string cut = middleEllipsis(path, 20, bytes);
    EXPECT_LE(cut.size(), 20u);
    EXPECT_GE(cut.size(), 18u);  // not shortened more than it must be
    EXPECT_EQ(cut.substr(0, 5), path.substr(0, 5));
    EXPECT_EQ(cut.substr(cut.size() - 5), path.substr(path.size() - 5));
    EXPECT_NE(cut.find("..."), std::string::npos);
    EXPECT_EQ(middleEllipsis(path, 2, bytes), "...");

    // Multi-byte characters are never split.
    const std::string accents = "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9";  // 6 x e-acute
    const std::string shortAccents = middleEllipsis(accents, 9, bytes);
    for (size_t i = 0; i < shortAccents.size(); ++i) {
        if (shortAccents[i] == '.') continue;
        ASSERT_EQ(static_cast<unsigned char>(shortAccents[i]), 0xC3) << shortAccents;
        ASSERT_EQ(static_cast<unsigned char>(shortAccents[++i]), 0xA9) << shortAccents;
    }
}

}  // namespace
