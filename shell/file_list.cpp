#include "shell/file_list.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include <sys/stat.h>

#include "platform/decompress.h"
#include "platform/movies.h"

CountedString63 makeCounted63(std::string_view text) {
    CountedString63 out{};
    const size_t n = std::min<size_t>(text.size(), out.size() - 1);
    out[0] = static_cast<uint8_t>(n);
    std::copy_n(text.begin(), n, out.begin() + 1);
    return out;
}

std::string countedText(const CountedString63& counted) {
    const size_t n = std::min<size_t>(counted[0], counted.size() - 1);
    return std::string(reinterpret_cast<const char*>(counted.data() + 1), n);
}

std::string FileListEntry::fileName() const { return PathFileName(path()); }
std::string FileListEntry::folder() const { return PathFolder(path()); }

std::string durationText(int64_t duration, int32_t timeScale, std::string_view prefix) {
    int64_t seconds = (timeScale > 0 && duration > 0) ? duration / timeScale : 0;
    const int64_t hours = seconds / 3600;
    seconds %= 3600;
    char digits[64];
    std::snprintf(digits, sizeof digits, "%02" PRId64 ":%02" PRId64 ":%02" PRId64, hours,
                  seconds / 60, seconds % 60);
    std::string out(prefix);
    out += digits;
    return out;
}

namespace {

unsigned char foldAscii(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

bool nameLess(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(
        a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
            return foldAscii(static_cast<unsigned char>(x)) < foldAscii(static_cast<unsigned char>(y));
        });
}

// Device and inode of an existing file; false when it cannot be read.
bool fileIdentity(const std::string& path, uint64_t* device, uint64_t* inode) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    *device = static_cast<uint64_t>(st.st_dev);
    *inode = static_cast<uint64_t>(st.st_ino);
    return true;
}

}  // namespace

long FileList::find(const std::string& path) const {
    for (size_t i = 0; i < entries_.size(); ++i) {
        if (entries_[i].path() == path) return static_cast<long>(i);
    }
    // A second name of a file already listed (a link, "./x", "a//b") is the
    // same source; names that differ only in case are different files here.
    uint64_t device = 0, inode = 0;
    if (!fileIdentity(path, &device, &inode)) return -1;
    for (size_t i = 0; i < entries_.size(); ++i) {
        const FileListEntry& e = entries_[i];
        if (e.fileInode != 0 && e.fileDevice == device && e.fileInode == inode)
            return static_cast<long>(i);
    }
    return -1;
}

void FileList::examine(FileListEntry& entry) {
    entry.examinePending = false;
    Movie movie = nullptr;
    if (NewMovieFromFile(entry.source, &movie) != noErr || !movie) {
        entry.selected = false;
        return;
    }
    entry.duration = makeCounted63(
        durationText(GetMovieDuration(movie), GetMovieTimeScale(movie), durationPrefix_));
    int32_t width = 0, height = 0;
    GetMovieNaturalBounds(movie, &width, &height);
    if (width > 0 && height > 0) {
        entry.thumbnailPending = true;
    } else {
        entry.noPicture = true;
    }
    entry.progress.exists = true;
    DisposeMovie(movie);
}

FileList::AddResult FileList::addFileDeferred(const std::string& path) {
    FileListEntry entry;
    if (FileSpecFromPath(path, &entry.source) != noErr) return AddResult::BadName;
    if (find(path) >= 0) return AddResult::Duplicate;
    fileIdentity(path, &entry.fileDevice, &entry.fileInode);
    entry.selected = true;
    entry.examinePending = true;
    entries_.push_back(std::move(entry));
    return AddResult::Added;
}

FileList::AddResult FileList::addFile(const std::string& path) {
    const AddResult r = addFileDeferred(path);
    if (r == AddResult::Added) examine(entries_.back());
    return r;
}

size_t FileList::examinePending(size_t maxCount, std::vector<size_t>* changed) {
    for (size_t i = 0; i < entries_.size() && maxCount > 0; ++i) {
        if (!entries_[i].examinePending) continue;
        examine(entries_[i]);
        if (changed) changed->push_back(i);
        --maxCount;
    }
    return pendingExaminations();
}

size_t FileList::pendingExaminations() const {
    return static_cast<size_t>(std::count_if(entries_.begin(), entries_.end(),
                                              [](const FileListEntry& e) { return e.examinePending; }));
}

size_t FileList::addFiles(const std::vector<std::string>& paths) {
    size_t added = 0;
    for (const auto& p : paths) {
        if (addFile(p) == AddResult::Added) ++added;
    }
    return added;
}

namespace {

// The first picture of the movie at 60 x 45; empty when it cannot be drawn.
Thumbnail drawThumbnail(const FileSpec& source) {
    Thumbnail t;
    Movie movie = nullptr;
    if (NewMovieFromFile(source, &movie) != noErr || !movie) return t;
    std::vector<uint8_t> bgra(size_t{kThumbnailWidth} * kThumbnailHeight * 4, 0);
    PixelBuffer buffer;
    buffer.base = bgra.data();
    buffer.width = kThumbnailWidth;
    buffer.height = kThumbnailHeight;
    buffer.rowBytes = kThumbnailWidth * 4;
    buffer.pixelFormat = k32BGRAPixelFormat;
    const OSStatus err = DrawMovieFrame(movie, 0, buffer);
    DisposeMovie(movie);
    if (err != noErr) return t;
    t.argb.resize(size_t{kThumbnailWidth} * kThumbnailHeight);
    for (size_t i = 0; i < t.argb.size(); ++i) {
        const uint8_t* p = &bgra[i * 4];
        t.argb[i] = 0xFF000000u | (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
    }
    return t;
}

}  // namespace

size_t FileList::makePendingThumbnails(size_t maxCount, std::vector<size_t>* changed) {
    for (size_t i = 0; i < entries_.size() && maxCount > 0; ++i) {
        FileListEntry& e = entries_[i];
        if (!e.thumbnailPending) continue;
        e.thumbnailPending = false;
        e.thumbnail = drawThumbnail(e.source);
        if (e.thumbnail.empty()) e.noPicture = true;
        if (changed) changed->push_back(i);
        --maxCount;
    }
    return pendingThumbnails();
}

size_t FileList::pendingThumbnails() const {
    return static_cast<size_t>(std::count_if(entries_.begin(), entries_.end(),
                                              [](const FileListEntry& e) { return e.thumbnailPending; }));
}

void FileList::sortByName() {
    std::stable_sort(entries_.begin(), entries_.end(),
                     [](const FileListEntry& a, const FileListEntry& b) {
                         return nameLess(a.fileName(), b.fileName());
                     });
}

void FileList::remove(size_t i) {
    if (i < entries_.size()) entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(i));
}

size_t FileList::removeSelected() {
    const size_t before = entries_.size();
    std::erase_if(entries_, [](const FileListEntry& e) { return e.selected; });
    return before - entries_.size();
}

void FileList::selectAll(bool selected) {
    for (auto& e : entries_) e.selected = selected;
}

bool FileList::allInOneFolder() const {
    if (entries_.empty()) return true;
    const std::string first = entries_.front().folder();
    return std::all_of(entries_.begin() + 1, entries_.end(),
                       [&](const FileListEntry& e) { return e.folder() == first; });
}

std::string folderText(const FileList& list, bool destinationIsSource,
                       const std::string& destinationFolder, std::string_view multipleLocations) {
    if (!destinationIsSource) return destinationFolder;
    if (list.empty()) return {};
    if (!list.allInOneFolder()) return std::string(multipleLocations);
    return list[0].folder();
}

namespace {

// Start of the UTF-8 character that holds byte i.
size_t charStart(const std::string& s, size_t i) {
    while (i > 0 && i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) --i;
    return i;
}

}  // namespace

std::string middleEllipsis(const std::string& text, int maxWidth,
                           const std::function<int(std::string_view)>& widthOf) {
    if (widthOf(text) <= maxWidth) return text;
    static constexpr std::string_view kDots = "...";
    // Keep `keep` bytes in all, split evenly around the middle; shrink until
    // it fits. Texts are short (a path), so the linear search is cheap.
    for (size_t keep = text.size(); keep-- > 0;) {
        const size_t head = charStart(text, (keep + 1) / 2);
        size_t tailFrom = text.size() - keep / 2;
        tailFrom = charStart(text, tailFrom);
        if (tailFrom < head) tailFrom = head;
        std::string candidate = text.substr(0, head);
        candidate += kDots;
        candidate += text.substr(tailFrom);
        if (widthOf(candidate) <= maxWidth) return candidate;
    }
    return std::string(kDots);
}
