// File specifications, the temporary-items folder and data handlers.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iterator>

#include "platform/data_handler.h"
#include "platform/files.h"
#include "platform/tests/support/corpus.h"

namespace {

TEST(FileSpec, PathsAreKeptWholeOrRefused) {
    FileSpec s;
    const std::string fits(255, 'a');
    ASSERT_EQ(FileSpecFromPath(fits, &s), noErr);
    EXPECT_EQ(FileSpecPath(s), fits);
    FileSpec untouched;
    ASSERT_EQ(FileSpecFromPath("/keep/me", &untouched), noErr);
    EXPECT_EQ(FileSpecFromPath(std::string(256, 'a'), &untouched), kStatusBadFileName);
    EXPECT_EQ(FileSpecPath(untouched), "/keep/me");
    EXPECT_EQ(FileSpecFromPath("", &untouched), kStatusBadFileName);
    EXPECT_EQ(FileSpecFromPath(std::string("a\0b", 3), &untouched), kStatusBadFileName);
}

TEST(FileSpec, PackedFormIs262BytesBigEndian) {
    FileSpec s;
    ASSERT_EQ(FileSpecFromPath("/x/y.mov", &s), noErr);
    s.vRefNum = -2;
    s.parID = 0x01020304;
    std::array<uint8_t, kFileSpecBytes> bytes{};
    FileSpecPack(s, bytes);
    EXPECT_EQ(bytes[0], 0xFF);
    EXPECT_EQ(bytes[1], 0xFE);
    EXPECT_EQ(bytes[2], 0x01);
    EXPECT_EQ(bytes[5], 0x04);
    EXPECT_EQ(bytes[6], 8);
    EXPECT_EQ(std::memcmp(bytes.data() + 7, "/x/y.mov", 8), 0);
    const FileSpec back = FileSpecUnpack(bytes);
    EXPECT_EQ(back.vRefNum, -2);
    EXPECT_EQ(back.parID, 0x01020304);
    EXPECT_EQ(FileSpecPath(back), "/x/y.mov");
}

TEST(FileSpec, PathParts) {
    EXPECT_EQ(PathFileName("/a/b/c.mov"), "c.mov");
    EXPECT_EQ(PathFolder("/a/b/c.mov"), "/a/b");
    EXPECT_EQ(PathFileName("c.mov"), "c.mov");
    EXPECT_EQ(PathFolder("/c.mov"), "/");
}

TEST(TemporaryFolder, IsPrivateToThisUser) {
    std::string dir;
    ASSERT_EQ(FindTemporaryFolder(&dir), noErr);
    struct stat st;
    ASSERT_EQ(lstat(dir.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(st.st_uid, geteuid());
    std::string again;
    ASSERT_EQ(FindTemporaryFolder(&again), noErr);
    EXPECT_EQ(again, dir);
    FileSpec spec;
    ASSERT_EQ(TemporaryFileSpec("blah.mp3", &spec), noErr);
    EXPECT_EQ(FileSpecPath(spec), dir + "/blah.mp3");
    EXPECT_EQ(TemporaryFileSpec("../escape", &spec), kStatusBadFileName);
}

TEST(TemporaryFolder, ASharedRuntimeDirectoryIsNotTrusted) {
    // A runtime directory others can write to must not be used.
    const std::string shared = ScratchPath("shared-runtime");
    ASSERT_EQ(mkdir(shared.c_str(), 0777), 0);
    chmod(shared.c_str(), 0777);
    const char* old = std::getenv("XDG_RUNTIME_DIR");
    const std::string saved = old != nullptr ? old : "";
    setenv("XDG_RUNTIME_DIR", shared.c_str(), 1);
    std::string dir;
    ASSERT_EQ(FindTemporaryFolder(&dir), noErr);
    EXPECT_NE(dir.rfind(shared, 0), 0u) << dir;
    if (old != nullptr) {
        setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
    } else {
        unsetenv("XDG_RUNTIME_DIR");
    }
}

TEST(TemporaryFolder, OnlyTheFoldersOfDeadProcessesAreSwept) {
    const std::string runtime = ScratchPath("runtime-sweep");
    ASSERT_EQ(mkdir(runtime.c_str(), 0700), 0);
    const char* old = std::getenv("XDG_RUNTIME_DIR");
    const std::string saved = old != nullptr ? old : "";
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    const pid_t dead = fork();
    if (dead == 0) _exit(0);
    waitpid(dead, nullptr, 0);
    // A dead process's folder with what it held, one of a live process
    // (our parent) and one named without a process number.
    const std::string gone = runtime + "/moviepacker-" + std::to_string(dead) + "-abcdef";
    const std::string alive = runtime + "/moviepacker-" + std::to_string(getppid()) + "-abcdef";
    const std::string unnamed = runtime + "/moviepacker-abcdef";
    for (const std::string& d : {gone, alive, unnamed}) ASSERT_EQ(mkdir(d.c_str(), 0700), 0);
    std::FILE* f = std::fopen((gone + "/blah.aif").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    EXPECT_EQ(RemoveStaleTemporaryFolders(), 1);
    EXPECT_FALSE(FileExists(gone));
    EXPECT_TRUE(FileExists(alive));
    EXPECT_TRUE(FileExists(unnamed));
    if (old != nullptr) {
        setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
    } else {
        unsetenv("XDG_RUNTIME_DIR");
    }
}

TEST(OutputFile, ADeadRunsWorkFolderAndReservedNameAreSweptNotALiveOnes) {
    const std::string folder = ScratchPath("sweep-out");
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    // A run killed with its name reserved: a child opens and never commits.
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t killed = fork();
    if (killed == 0) {
        OutputFile out;
        if (out.openNew(folder, "movie", ".pdb") != noErr) _exit(1);
        (void)::write(ready[1], "r", 1);
        pause();
    }
    char c;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    close(ready[0]);
    close(ready[1]);
    // While it lives, a second run neither sweeps its folder nor takes its name.
    {
        OutputFile second;
        ASSERT_EQ(second.openNew(folder, "movie", ".pdb"), noErr);
        EXPECT_EQ(PathFileName(second.path()), "movie-1.pdb");
    }
    EXPECT_TRUE(FileExists(folder + "/movie.pdb"));
    kill(killed, SIGKILL);
    waitpid(killed, nullptr, 0);
    // Once it is gone, its folder and its reserved name go and the name is free.
    OutputFile third;
    ASSERT_EQ(third.openNew(folder, "movie", ".pdb"), noErr);
    EXPECT_EQ(PathFileName(third.path()), "movie.pdb");
    third.abandon();
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 0);
}

TEST(DataHandler, CreatesWithoutReplacingAndWritesAtOffsets) {
    const std::string path = ScratchPath("out.pdb");
    DataReference ref;
    ASSERT_EQ(NewAliasDataReference(path, &ref), noErr);
    EXPECT_EQ(ref.type, kAliasDataReferenceType);
    std::string resolved;
    ASSERT_EQ(ResolveAliasDataReference(ref, &resolved), noErr);
    EXPECT_EQ(resolved, path);

    DataHandler dh = nullptr;
    ASSERT_EQ(DataHandlerOpen(ref, &dh), noErr);
    ASSERT_EQ(DataHandlerCreateFile(dh, MakeOSType("Rer1"), false), noErr);
    ASSERT_EQ(DataHandlerSetFileType(dh, MakeOSType("Dor0")), noErr);
    ASSERT_EQ(DataHandlerOpenForWrite(dh), noErr);
    const uint8_t head[] = {1, 2, 3, 4};
    const uint8_t tail[] = {9, 9};
    ASSERT_EQ(DataHandlerWrite(dh, 0, head), noErr);
    ASSERT_EQ(DataHandlerWrite(dh, 6, tail), noErr);
    int64_t size = 0;
    ASSERT_EQ(DataHandlerGetFileSize(dh, &size), noErr);
    EXPECT_EQ(size, 8);
    std::string name;
    ASSERT_EQ(DataHandlerGetFileName(dh, &name), noErr);
    EXPECT_EQ(name, "out.pdb");
    DataHandlerClose(dh);
    EXPECT_EQ(ReadWholeFile(path), (std::vector<uint8_t>{1, 2, 3, 4, 0, 0, 9, 9}));

    // A second creation fails and leaves the file as it was.
    ASSERT_EQ(DataHandlerOpen(ref, &dh), noErr);
    EXPECT_EQ(DataHandlerCreateFile(dh, MakeOSType("Rer1"), false), kStatusDuplicateFile);
    ASSERT_EQ(DataHandlerOpenForRead(dh), noErr);
    uint8_t back[8];
    ASSERT_EQ(DataHandlerRead(dh, 0, back), noErr);
    EXPECT_EQ(back[6], 9);
    uint8_t past[4];
    EXPECT_EQ(DataHandlerRead(dh, 6, past), kStatusEndOfData);
    EXPECT_EQ(DataHandlerWrite(dh, 0, head), kStatusParamError);  // opened for reading only
    DataHandlerClose(dh);

    OSType type = 0, creator = 0;
    ASSERT_EQ(GetFileTypeAndCreator(path, &type, &creator), noErr);
    if (getxattr(path.c_str(), "user.moviepacker.type", nullptr, 0) < 0) {
        GTEST_SKIP() << "this file system keeps no extended attributes";
    }
    EXPECT_EQ(type, MakeOSType("Dor0"));
    EXPECT_EQ(creator, MakeOSType("Rer1"));
    EXPECT_EQ(DeleteFile(path), noErr);
    EXPECT_FALSE(FileExists(path));
    EXPECT_EQ(DeleteFile(path), noErr);
}

TEST(DataHandler, RejectsOtherReferenceKinds) {
    DataReference ref{MakeOSType("hndl"), {1, 2}};
    DataHandler dh = nullptr;
    EXPECT_EQ(DataHandlerOpen(ref, &dh), kStatusParamError);
    EXPECT_EQ(dh, nullptr);
    DataReference withNul{kAliasDataReferenceType, {'/', 0, 'x'}};
    EXPECT_EQ(DataHandlerOpen(withNul, &dh), kStatusParamError);
}

}  // namespace
