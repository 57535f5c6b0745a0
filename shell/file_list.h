#pragma once
// The file list: the sources the main window shows and a conversion run
// works through. No windows here; the main window draws the entries and
// the run (shell/conversion_run.h) updates their status, comment and
// progress bar.
//
// One entry per source, in the order of the list's rows (sorted by file
// name after every addition and removal, see sortByName). Entry fields, in
// the order the list has always kept them:
//
//   source      the file specification of the source (262 bytes packed:
//               platform/files.h; on this platform its name holds the path)
//   selected    the row is selected in the list (set for a newly added file
//               that opened as a movie)
//   thumbnail   a 60 x 45 picture of the movie's first frame; empty when the
//               movie has no picture, or while it is still to be made
//               (thumbnails are drawn lazily: makePendingThumbnails)
//   noPicture   the movie's box is empty (audio only): no thumbnail exists
//   duration    counted string (at most 63 characters): "Duration: "
//               followed by "%02ld:%02ld:%02ld" (hours, minutes, seconds,
//               seconds truncated); empty when the file did not open
//   comment     counted string (at most 63 characters): the result text of
//               the last conversion
//   progress    the row's progress bar (range 0 to 1000): exists from the
//               file's addition until its conversion ends; a run makes it
//               anew for a cancelled entry. Only the window shows it, and
//               only while it is visible.
//   status      0 pending, 1 converted, 2 failed, 4 cancelled
//
// Counted strings are Mac Roman, as every text from the program's
// resources; the list compares names byte-wise.
//
// Ownership: the list owns its entries and their thumbnails. References
// and indices into it stay valid until the next add, remove or sort.
// One thread: the list is touched from the user-interface thread only.
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"
#include "platform/status.h"

// Entry status values (a run sets them, a new entry starts pending).
inline constexpr int32_t kFileStatusPending = 0;
inline constexpr int32_t kFileStatusConverted = 1;
inline constexpr int32_t kFileStatusFailed = 2;
inline constexpr int32_t kFileStatusCancelled = 4;

inline constexpr int kThumbnailWidth = 60;
inline constexpr int kThumbnailHeight = 45;
inline constexpr int kRowProgressMaximum = 1000;

// A counted string in a 64-byte field: [0] is the length (at most 63).
using CountedString63 = std::array<uint8_t, 64>;
// Cuts text to 63 bytes.
CountedString63 makeCounted63(std::string_view text);
std::string countedText(const CountedString63& counted);

// A picture of thumbnailWidth x thumbnailHeight pixels, 0xAARRGGBB, row-major
// (the form DrawPort::image takes).
struct Thumbnail {
    std::vector<uint32_t> argb;
    bool empty() const { return argb.empty(); }
};

// What stands for the row's progress-bar control. The window creates the
// control for an entry whose bar exists and shows it while `visible`.
struct RowProgressBar {
    bool exists = false;   // created (on addition, or anew for a cancelled entry)
    bool visible = false;  // shown (a run shows the bar of the file it converts)
    int value = 0;         // 0..kRowProgressMaximum
};

struct FileListEntry {
    FileSpec source;
    bool selected = false;
    Thumbnail thumbnail;
    bool noPicture = false;
    CountedString63 duration{};
    CountedString63 comment{};
    RowProgressBar progress;
    int32_t status = kFileStatusPending;

    // Whether a thumbnail is still to be drawn (the movie has a picture and
    // makePendingThumbnails has not reached it yet).
    bool thumbnailPending = false;
    // Whether the file is still to be opened (added by addFileDeferred;
    // examinePending opens it and fills duration, picture flags, progress
    // bar and selection as addFile would have).
    bool examinePending = false;
    // The file's identity when it was added (device and inode; 0 when it
    // could not be read), so that another name of it is recognised.
    uint64_t fileDevice = 0;
    uint64_t fileInode = 0;

    std::string path() const { return FileSpecPath(source); }
    std::string fileName() const;  // the path's last component
    std::string folder() const;    // the path's folder, without a trailing '/'
};

// The duration text "Duration: HH:MM:SS" for `duration` units of `timeScale`
// per second (seconds truncated). `prefix` is the "Duration: " label.
std::string durationText(int64_t duration, int32_t timeScale, std::string_view prefix);

// The label before the duration (string list 133, item 4, in the program's
// resources).
inline constexpr std::string_view kDefaultDurationPrefix = "Duration: ";

class FileList {
  public:
    // How addFile went.
    enum class AddResult {
        Added,      // a new entry (opened as a movie or not)
        Duplicate,  // the file was already listed: nothing changed
        BadName,    // the path does not fit a file specification
    };

    FileList() = default;

    // Adds one file. A file already listed (the same path, or another name
    // of the same file) is not added again. The file is opened as a movie:
    // when it opens, the entry gets its duration text, a progress bar and
    // the selected flag, and either a pending thumbnail or the no-picture
    // flag; when it does not open, the entry is listed anyway, without
    // them, and its conversion fails later with the reason. The list is not
    // re-sorted here (the window sorts once after a batch).
    AddResult addFile(const std::string& path);
    // As addFile for each path; returns how many entries were added.
    size_t addFiles(const std::vector<std::string>& paths);

    // As addFile, but the file is opened later (examinePending), so that
    // hundreds of files are listed at once. The entry starts selected; if
    // the file then does not open as a movie, it is deselected.
    AddResult addFileDeferred(const std::string& path);
    // Opens up to `maxCount` deferred files (in list order) and returns how
    // many remain. The indices of the entries it changed are appended to
    // *changed when it is not null.
    size_t examinePending(size_t maxCount, std::vector<size_t>* changed = nullptr);
    size_t pendingExaminations() const;

    // The label addFile puts before the duration (default "Duration: ").
    void setDurationPrefix(std::string prefix) { durationPrefix_ = std::move(prefix); }

    // Draws up to `maxCount` pending thumbnails (in list order) and returns
    // how many remain pending. A movie that cannot draw its first picture
    // after all gets the no-picture flag.
    size_t makePendingThumbnails(size_t maxCount, std::vector<size_t>* changed = nullptr);
    size_t pendingThumbnails() const;

    // Sorts by file name in ascending order, ignoring the case of ASCII
    // letters but not diacritics (a stable sort: equal names keep their order).
    void sortByName();

    // Removes entry i (out of range: nothing); removes every selected entry
    // and returns how many went; removes everything.
    void remove(size_t i);
    size_t removeSelected();
    void clear() { entries_.clear(); }
    void selectAll(bool selected = true);

    // All entries lie in the folder of the first (compared exactly); true
    // for an empty list.
    bool allInOneFolder() const;

    size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }
    FileListEntry& operator[](size_t i) { return entries_[i]; }
    const FileListEntry& operator[](size_t i) const { return entries_[i]; }
    std::vector<FileListEntry>& entries() { return entries_; }
    const std::vector<FileListEntry>& entries() const { return entries_; }
    // Index of the entry for path (exact or the same file), or -1.
    long find(const std::string& path) const;

  private:
    // Opens the entry's movie and fills what addFile promises.
    void examine(FileListEntry& entry);

    std::vector<FileListEntry> entries_;
    std::string durationPrefix_{kDefaultDurationPrefix};
};

// The text of the main window's folder item.
//   destinationIsSource: the destination is "Source folder"; then the text
//     is the folder of the first file when all lie in one folder,
//     `multipleLocations` when they do not, and empty for an empty list.
//   Otherwise the destination folder's path.
std::string folderText(const FileList& list, bool destinationIsSource,
                       const std::string& destinationFolder, std::string_view multipleLocations);

// Shortens text in the middle with "..." until `widthOf` says it fits in
// maxWidth (whole UTF-8 characters are kept together). A text that fits is
// returned as it is; when not even "..." fits, "..." is returned.
std::string middleEllipsis(const std::string& text, int maxWidth,
                           const std::function<int(std::string_view)>& widthOf);
