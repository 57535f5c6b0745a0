// The HotSync store: its users file, the folders it keeps, and copies into
// the install queue that are never seen half-written.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "platform/hotsync.h"
#include "platform/tests/support/corpus.h"

namespace fs = std::filesystem;

namespace {

class Store : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("hotsync-" + std::to_string(getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string file(const std::string& name, size_t bytes, uint8_t seed) {
        std::vector<uint8_t> data(bytes);
        for (size_t i = 0; i < bytes; ++i) data[i] = uint8_t(seed + i * 7 + (i >> 9));
        const std::string path = (dir_ / name).string();
        WriteWholeFile(path, data);
        return path;
    }
    // Every entry of a folder, hidden ones too.
    static std::vector<std::string> entries(const std::string& folder) {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
    fs::path dir_;
};

TEST_F(Store, UsersAreAddedOnceWithTheirSlotsAndFolders) {
    HotSyncStore store((dir_ / "hs").string());
    EXPECT_EQ(store.userCount(), 0);
    EXPECT_EQ(store.userName(0), "");
    EXPECT_EQ(store.userFolder("Ann"), "");
    ASSERT_EQ(store.addUser("Ann", {}), noErr);
    ASSERT_EQ(store.addUser("Bob Smith", {{1, "SD Card"}, {7, "Memory Stick"}}), noErr);
    EXPECT_EQ(store.addUser("Ann", {}), kStatusDuplicateFile);
    EXPECT_EQ(store.addUser("", {}), kStatusParamError);
    EXPECT_EQ(store.addUser("tab\there", {}), kStatusParamError);
    EXPECT_EQ(store.addUser(std::string(260, 'x'), {}), kStatusParamError);
    // The longest name still gets a folder of its own.
    const std::string longest(259, 'x');
    EXPECT_EQ(store.addUser(longest, {}), noErr);
    EXPECT_EQ(store.addUser(longest.substr(1), {}), noErr);
    EXPECT_NE(store.userFolder(longest), "");
    EXPECT_NE(store.userFolder(longest), store.userFolder(longest.substr(1)));
    EXPECT_EQ(store.addUser("Cy", {{1, "A"}, {1, "B"}}), kStatusParamError);

    // A second store over the same folder reads what the first wrote.
    const HotSyncStore again((dir_ / "hs").string());
    ASSERT_EQ(again.userCount(), 4);
    EXPECT_EQ(again.userName(1), "Bob Smith");
    std::vector<HotSyncSlot> slots;
    ASSERT_EQ(again.cardSlots("Bob Smith", &slots), noErr);
    ASSERT_EQ(slots.size(), 2u);
    EXPECT_EQ(slots[1].id, 7u);
    EXPECT_EQ(slots[1].name, "Memory Stick");
    EXPECT_EQ(again.cardSlots("Nobody", &slots), kStatusNotFound);
    EXPECT_EQ(again.userFolder("Bob Smith"), (dir_ / "hs" / "Bob Smith").string());
    EXPECT_TRUE(fs::is_directory(again.queueFolder("Bob Smith", 7)));
    EXPECT_TRUE(fs::is_directory(again.queueFolder("Ann", std::nullopt)));
}

TEST_F(Store, AHandWrittenUsersFileIsReadForgivingly) {
    fs::create_directories(dir_ / "hs");
    std::ofstream(dir_ / "hs" / "users") << "# comment\r\n"
                                            "Ann\r\n"
                                            "\n"
                                            "Bob\t2\tSD\tx\tbad id\t3\n"  // odd trailing field
                                            "Ann\t1\tdup\n"
                                            "../up/..\n"
                                            "a/b\n"
                                            "a%2Fb\n";
    const HotSyncStore store((dir_ / "hs").string());
    ASSERT_EQ(store.userCount(), 5);
    std::vector<HotSyncSlot> slots;
    ASSERT_EQ(store.cardSlots("Bob", &slots), noErr);
    ASSERT_EQ(slots.size(), 1u);
    EXPECT_EQ(slots[0].id, 2u);
    ASSERT_EQ(store.cardSlots("Ann", &slots), noErr);
    EXPECT_TRUE(slots.empty());  // the first line of a name counts
    // Names never reach outside the store, and never share a folder.
    const std::string up = store.userFolder("../up/..");
    const std::string ab = store.userFolder("a/b"), escaped = store.userFolder("a%2Fb");
    EXPECT_EQ(fs::path(up).parent_path(), dir_ / "hs");
    EXPECT_EQ(fs::path(ab).parent_path(), dir_ / "hs");
    EXPECT_NE(ab, escaped);
    EXPECT_TRUE(fs::is_directory(up));
}

TEST_F(Store, QueuedCopiesAreWholeAndNeverReplaceAnEarlierOne) {
    HotSyncStore store((dir_ / "hs").string());
    ASSERT_EQ(store.addUser("Ann", {{3, "SD Card"}}), noErr);
    const std::string first = file("clip.pdb", 300000, 1);
    fs::create_directories(dir_ / "other");
    const std::string later = file("other/clip.pdb", 1000, 9);

    std::string queued;
    ASSERT_EQ(store.queueInstall("Ann", std::nullopt, first, &queued), noErr);
    EXPECT_EQ(queued, store.queueFolder("Ann", std::nullopt) + "/clip.pdb");
    EXPECT_EQ(ReadWholeFile(queued), ReadWholeFile(first));
    EXPECT_TRUE(fs::exists(first));  // the store only copies

    std::string queued2, queued3;
    ASSERT_EQ(store.queueInstall("Ann", std::nullopt, later, &queued2), noErr);
    ASSERT_EQ(store.queueInstall("Ann", std::nullopt, later, &queued3), noErr);
    EXPECT_EQ(fs::path(queued2).filename(), "clip-1.pdb");
    EXPECT_EQ(fs::path(queued3).filename(), "clip-2.pdb");
    EXPECT_EQ(ReadWholeFile(queued), ReadWholeFile(first));
    EXPECT_EQ(ReadWholeFile(queued2), ReadWholeFile(later));
    EXPECT_EQ(store.queuedFiles("Ann", std::nullopt),
              (std::vector<std::string>{"clip-1.pdb", "clip-2.pdb", "clip.pdb"}));
    EXPECT_EQ(entries(store.queueFolder("Ann", std::nullopt)).size(), 3u);  // no leftovers

    ASSERT_EQ(store.queueInstall("Ann", 3, first, &queued), noErr);
    EXPECT_EQ(queued, store.queueFolder("Ann", 3) + "/clip.pdb");
    EXPECT_EQ(store.queueInstall("Ann", 4, first, &queued), kStatusNotFound);
    EXPECT_EQ(store.queueInstall("Nobody", std::nullopt, first, &queued), kStatusNotFound);
    EXPECT_EQ(store.queueInstall("Ann", std::nullopt, (dir_ / "missing.pdb").string(), &queued),
              kStatusFileNotFound);
}

// Stand-ins for a disk that fills up part-way through a copy.
int g_writes = 0;
ssize_t fillsUpAfterTwoWrites(int fd, const void* bytes, size_t count) {
    if (++g_writes > 2) {
        errno = ENOSPC;
        return -1;
    }
    return ::write(fd, bytes, count / 2 + 1);  // short writes on the way
}
ssize_t writesNothing(int, const void*, size_t) {
    return 0;
}
ssize_t dribbles(int fd, const void* bytes, size_t count) {
    return ::write(fd, bytes, count < 777 ? count : 777);
}

TEST_F(Store, AQueueThatFillsUpKeepsWhatWasThereAndLeavesNoPartialFile) {
    HotSyncStore store((dir_ / "hs").string());
    ASSERT_EQ(store.addUser("Ann", {}), noErr);
    const std::string source = file("clip.pdb", 400000, 5);
    const auto original = ReadWholeFile(source);
    std::string earlier;
    ASSERT_EQ(store.queueInstall("Ann", std::nullopt, source, &earlier), noErr);
    const std::string folder = store.queueFolder("Ann", std::nullopt);

    g_writes = 0;
    store.setWriteForTesting(fillsUpAfterTwoWrites);
    std::string queued = "unchanged";
    EXPECT_EQ(store.queueInstall("Ann", std::nullopt, source, &queued), kStatusWriteError);
    EXPECT_EQ(queued, "unchanged");
    store.setWriteForTesting(writesNothing);
    EXPECT_EQ(store.queueInstall("Ann", std::nullopt, source, &queued), kStatusWriteError);
    EXPECT_EQ(entries(folder), std::vector<std::string>{"clip.pdb"});
    EXPECT_EQ(ReadWholeFile(earlier), original);
    EXPECT_EQ(ReadWholeFile(source), original);

    // Short writes that go on are no fault.
    store.setWriteForTesting(dribbles);
    ASSERT_EQ(store.queueInstall("Ann", std::nullopt, source, &queued), noErr);
    EXPECT_EQ(ReadWholeFile(queued), original);
}

TEST_F(Store, AQueueThatCannotBeMadeIsACreateError) {
    const std::string source = file("clip.pdb", 10, 1);
    std::ofstream(dir_ / "blocker") << "a file where a folder should go";
    std::string copied;
    EXPECT_EQ(CopyFileDurably(source, (dir_ / "blocker" / "queue").string(), "clip.pdb", &copied),
              kStatusCreateError);
    EXPECT_EQ(CopyFileDurably(source, (dir_ / "q").string(), "../clip.pdb", &copied),
              kStatusParamError);
}

}  // namespace
