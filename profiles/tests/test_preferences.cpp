// The preference store: first-run seeding, saving, custom profiles, and
// store files that are truncated, corrupt or unwritable.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "profiles/preferences.h"
#include "profiles/profile.h"
#include "profiles/profile_lists.h"
#include "resources/resources.h"

namespace {

namespace fs = std::filesystem;
namespace pk = prefs_atoms;

class Store : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string tmpl = (fs::temp_directory_path() / "mpprefsXXXXXX").string();
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        m_dir = tmpl;
    }
    void TearDown() override { fs::remove_all(m_dir); }

    PreferenceFile store() const {
        return PreferenceFile((fs::path(m_dir) / "cfg" / "TVLP").string());
    }

    std::vector<uint8_t> bytes() const {
        std::ifstream in(store().path(), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    void writeBytes(const std::vector<uint8_t>& b) const {
        fs::create_directories(fs::path(store().path()).parent_path());
        std::ofstream(store().path(), std::ios::binary)
            .write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
    }
    AtomContainer stored() const {
        AtomContainer c;
        EXPECT_EQ(store().read(&c), noErr);
        return c;
    }

    static AtomContainer profileNamed(const char* name, const char* base = "") {
        ProfileRecord r;
        r.baseName = base;
        AtomContainer c;
        EXPECT_EQ(profileFromRecord(r, name, &c), noErr);
        return c;
    }

    std::vector<std::string> customNamesInStoreOrder() const {
        std::vector<AtomContainer> list;
        EXPECT_EQ(customProfiles(store(), &list), noErr);
        std::vector<std::string> names;
        for (const AtomContainer& p : list) {
            std::string n;
            profileReadName(p, profile_atoms::kName, &n);
            names.push_back(n);
        }
        return names;
    }

    std::string m_dir;
};

TEST_F(Store, FirstRunSeedsFromProfile512AndWritesAtOnce) {
    Destination dest;
    std::optional<AtomContainer> settings = loadPreferences(store(), moviepackerResources(), &dest);
    ASSERT_TRUE(settings.has_value());
    std::span<const uint8_t> first;
    ASSERT_EQ(moviepackerResources().get(kResTypeProfile, 512, &first), noErr);
    EXPECT_EQ(settings->flatten(), std::vector<uint8_t>(first.begin(), first.end()));
    EXPECT_EQ(dest.kind, kDestinationSourceFolder);

    AtomContainer c = stored();
    const AtomRef root = c.findChild(kAtomRoot, pk::kRoot, 1);
    ASSERT_NE(root, kAtomNone);
    auto stng = c.leafData(c.findChild(root, pk::kSettings, 1));
    EXPECT_EQ(std::vector<uint8_t>(stng.begin(), stng.end()),
              std::vector<uint8_t>(first.begin(), first.end()));
}

TEST_F(Store, SavingTwiceKeepsOneOfEachAndCustomProfilesInOrder) {
    Destination dest;
    loadPreferences(store(), moviepackerResources(), &dest);
    for (const char* n : {"Zeta", "alpha", "Mid"}) {
        AtomContainer p = profileNamed(n);
        ASSERT_EQ(addCustomProfile(store(), &p), noErr);
    }
    const std::vector<std::string> order = {"Zeta", "alpha", "Mid"};
    EXPECT_EQ(customNamesInStoreOrder(), order);

    AtomContainer current = profileNamed("Current");
    dest.kind = kDestinationOther;
    dest.folder = m_dir;
    ASSERT_EQ(savePreferences(store(), current, dest), noErr);
    ASSERT_EQ(savePreferences(store(), current, dest), noErr);
    AtomContainer c = stored();
    const AtomRef root = c.findChild(kAtomRoot, pk::kRoot, 1);
    EXPECT_EQ(c.countChildren(root, pk::kSettings), 1);
    EXPECT_EQ(c.countChildren(root, pk::kLocation), 1);
    EXPECT_EQ(customNamesInStoreOrder(), order);

    Destination back;
    std::optional<AtomContainer> s = loadPreferences(store(), moviepackerResources(), &back);
    ASSERT_TRUE(s.has_value());
    EXPECT_EQ(s->flatten(), current.flatten());
    EXPECT_EQ(back.kind, kDestinationOther);
    EXPECT_EQ(back.folder, m_dir);

    // The listing is sorted whatever the store order.
    std::vector<std::string> listed;
    const PreferenceFile file = store();
    profileList(kListCustom, moviepackerResources(), &file, &listed);
    EXPECT_EQ(listed, (std::vector<std::string>{"alpha", "Mid", "Zeta"}));
}

TEST_F(Store, SourceFolderWithoutFolderSavesTypeOneAndNoAlias) {
    Destination dest;
    loadPreferences(store(), moviepackerResources(), &dest);
    ASSERT_EQ(savePreferences(store(), profileNamed("x"), dest), noErr);
    AtomContainer c = stored();
    const AtomRef xloc = c.findChild(c.findChild(kAtomRoot, pk::kRoot, 1), pk::kLocation, 1);
    uint16_t kind = 0;
    ASSERT_EQ(c.readU16(xloc, pk::kKind, 1, &kind), noErr);
    EXPECT_EQ(kind, 1);
    EXPECT_EQ(c.findChild(xloc, pk::kAlias, 1), kAtomNone);

    // A folder that no longer exists loads as no folder, kind kept.
    dest.kind = kDestinationOther;
    dest.folder = m_dir + "/gone";
    ASSERT_EQ(savePreferences(store(), profileNamed("x"), dest), noErr);
    Destination back;
    loadPreferences(store(), moviepackerResources(), &back);
    EXPECT_EQ(back.kind, kDestinationOther);
    EXPECT_EQ(back.folder, "");
}

TEST_F(Store, RenameMovesToTheEndAndDeleteTakesTheFirstMatch) {
    Destination dest;
    loadPreferences(store(), moviepackerResources(), &dest);
    for (const char* n : {"One", "Two", "Three"}) {
        AtomContainer p = profileNamed(n, "Zire 71");
        ASSERT_EQ(addCustomProfile(store(), &p), noErr);
    }
    ASSERT_EQ(renameCustomProfile(store(), "one", std::string(80, 'N')), noErr);
    EXPECT_EQ(customNamesInStoreOrder(),
              (std::vector<std::string>{"Two", "Three", std::string(63, 'N')}));
    AtomContainer found;
    const PreferenceFile file = store();
    ASSERT_EQ(findProfile(std::string(63, 'n'), true, moviepackerResources(), &file, &found),
              noErr);
    std::string base;
    profileReadName(found, profile_atoms::kBaseName, &base);
    EXPECT_EQ(base, "Zire 71");  // the rest of the profile travels with it

    EXPECT_EQ(renameCustomProfile(store(), "Nobody", "x"), kStatusNotFound);
    ASSERT_EQ(deleteCustomProfile(store(), "THREE"), noErr);
    EXPECT_EQ(customNamesInStoreOrder(), (std::vector<std::string>{"Two", std::string(63, 'N')}));
    EXPECT_EQ(deleteCustomProfile(store(), "Three"), kStatusNotFound);
    EXPECT_EQ(addCustomProfile(store(), nullptr), kStatusParamError);

    // Without the root atom the store has no custom profiles to change.
    writeBytes(AtomContainer().flatten());
    AtomContainer p = profileNamed("x");
    EXPECT_EQ(addCustomProfile(store(), &p), kStatusNotFound);
}

TEST_F(Store, TruncatedAtEveryLengthLoadsSafelyAndTheNextSaveWins) {
    // A small store keeps the many rewrites of the file cheap.
    AtomContainer small;
    AtomRef root, xloc;
    small.insertChild(kAtomRoot, pk::kRoot, 1, {}, &root);
    const uint8_t settings[] = {1, 2, 3, 4, 5, 6, 7, 8};
    small.insertChild(root, pk::kSettings, 1, settings);
    small.insertChild(root, pk::kLocation, 1, {}, &xloc);
    small.writeU16(xloc, pk::kKind, 1, 5);
    small.insertChild(root, pk::kCustom, 1, settings);
    const std::vector<uint8_t> full = small.flatten();
    const AtomContainer current = profileNamed("Now");
    // Every length loads as "no preferences" and leaves the file alone;
    // saves (each one flushed to disk) are tried at a spread of lengths.
    for (size_t n = 0; n < full.size(); ++n) {
        std::vector<uint8_t> cut(full.begin(), full.begin() + long(n));
        writeBytes(cut);
        Destination d;
        const bool loaded = loadPreferences(store(), moviepackerResources(), &d).has_value();
        if (n == 0) {
            EXPECT_TRUE(loaded);  // an empty file is a store never filled
            continue;
        }
        EXPECT_FALSE(loaded) << n;
        EXPECT_EQ(d.kind, kDestinationNone);
        ASSERT_EQ(bytes(), cut) << "a load must not overwrite a corrupt store, length " << n;
        if (n % 17 != 1) continue;
        ASSERT_EQ(savePreferences(store(), current, d), noErr) << n;
        Destination after;
        std::optional<AtomContainer> s = loadPreferences(store(), moviepackerResources(), &after);
        ASSERT_TRUE(s.has_value()) << n;
        EXPECT_EQ(s->flatten(), current.flatten());
    }
}

TEST_F(Store, AFailedWriteLeavesThePreviousStore) {
    Destination dest;
    loadPreferences(store(), moviepackerResources(), &dest);
    const std::vector<uint8_t> before = bytes();
    if (geteuid() == 0) {
        // Permissions do not stop root: block this process's temporary name instead.
        fs::create_directories(store().path() + "." + std::to_string(getpid()) + ".new/x");
    } else {
        chmod(fs::path(store().path()).parent_path().c_str(), 0500);
    }
    EXPECT_NE(savePreferences(store(), profileNamed("lost"), dest), noErr);
    chmod(fs::path(store().path()).parent_path().c_str(), 0700);
    EXPECT_EQ(bytes(), before);
}

// A container big enough that a save takes a while, tagged so it can be told apart.
AtomContainer bulky(uint8_t tag) {
    AtomContainer c;
    const std::vector<uint8_t> data(256 * 1024, tag);
    EXPECT_EQ(c.insertChild(kAtomRoot, fourCC("TEST"), 1, data), noErr);
    return c;
}

std::vector<std::string> folderNames(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(Store, KilledWhileSavingLeavesTheOldOrTheNewStoreAndTheNextSaveSweeps) {
    const AtomContainer a = bulky('a'), b = bulky('b');
    const std::vector<uint8_t> aBytes = a.flatten(), bBytes = b.flatten();
    ASSERT_EQ(store().write(a), noErr);
    const std::string folder = fs::path(store().path()).parent_path();
    for (int round = 0; round < 12; ++round) {
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // Saves without end, telling the parent after each one.
            close(ready[0]);
            for (int i = 0;; ++i) {
                if (store().write(i % 2 ? a : b) != noErr) _exit(3);
                if (::write(ready[1], "s", 1) != 1) _exit(4);
            }
        }
        close(ready[1]);
        // Let it finish a few saves, then kill it wherever it is in the next.
        char c;
        for (int i = 0; i < 1 + round % 3; ++i) ASSERT_EQ(::read(ready[0], &c, 1), 1);
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        close(ready[0]);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the saver stopped by itself: " << status;
        const std::vector<uint8_t> now = bytes();
        EXPECT_TRUE(now == aBytes || now == bBytes) << "round " << round << ": " << now.size();
    }
    // The next save sweeps what the killed savers left.
    ASSERT_EQ(store().write(a), noErr);
    EXPECT_EQ(folderNames(folder), std::vector<std::string>{"TVLP"});
    EXPECT_EQ(bytes(), aBytes);
}

TEST_F(Store, ALiveSaversCopyIsNotSweptAway) {
    ASSERT_EQ(store().write(bulky('a')), noErr);
    int hold[2];
    ASSERT_EQ(pipe(hold), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(hold[1]);
        char c;
        (void)::read(hold[0], &c, 1);  // alive until the parent closes the pipe
        _exit(0);
    }
    close(hold[0]);
    const std::string theirs = store().path() + "." + std::to_string(child) + ".new";
    std::ofstream(theirs) << "half";
    EXPECT_EQ(store().write(bulky('b')), noErr);
    EXPECT_TRUE(fs::exists(theirs));
    close(hold[1]);
    waitpid(child, nullptr, 0);
    EXPECT_EQ(store().write(bulky('c')), noErr);
    EXPECT_FALSE(fs::exists(theirs));
}

}  // namespace
