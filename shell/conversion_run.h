#pragma once
// The conversion run: every pending entry of the file list becomes one
// handheld movie database, one source after the other, on the calling
// thread, while the window stays alive through the progress procedure.
//
// The run knows the window only through RunWindow (select the row, move its
// bar, dispatch pending events) and the entries only through RunList, so it
// is driven the same way by the main window and by tests without a display.
// Clicks that arrive while events are dispatched call cancelCurrent(),
// cancelAll() or stop(); the progress procedure then answers "cancelled" and
// the file's partial output is removed.
//
// Per file: a fresh instance of the handheld-movie exporter is opened, the
// source is opened (still pictures last one second each; a video time scale
// below 600 is multiplied by 100), the settings are handed over and the
// movie is converted into FOLDER/BASE.pdb, or BASE-1.pdb, BASE-2.pdb... when
// the name is taken. The database appears under its name only once it is
// complete: a failed, cancelled or interrupted conversion leaves nothing.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "install/hotsync_install.h"
#include "platform/atoms.h"
#include "platform/components.h"
#include "platform/movies.h"
#include "platform/resources.h"
#include "platform/status.h"

// Entry statuses, as stored in the file list.
inline constexpr uint32_t kEntryPending = 0;
inline constexpr uint32_t kEntryConverted = 1;
inline constexpr uint32_t kEntryFailed = 2;
inline constexpr uint32_t kEntryCancelled = 4;

// What the toolbox answers when a progress procedure stopped a conversion.
inline constexpr OSStatus kStatusProgressAborted = -2019;

// Comments hold at most this many characters (a 64-byte counted string).
inline constexpr size_t kEntryCommentChars = 63;

// The entries of the file list as the run sees them.
class RunList {
  public:
    virtual ~RunList() = default;
    virtual size_t count() const = 0;
    virtual std::string sourcePath(size_t index) const = 0;
    virtual uint32_t status(size_t index) const = 0;
    virtual void setStatus(size_t index, uint32_t status) = 0;
    // UTF-8, already cut to kEntryCommentChars characters.
    virtual void setComment(size_t index, std::string_view comment) = 0;
};

// A plain list of entries: the command line's and the tests'.
struct RunEntry {
    std::string source;
    uint32_t status = kEntryPending;
    std::string comment;
};
class VectorRunList final : public RunList {
  public:
    explicit VectorRunList(std::vector<RunEntry>* entries) : m_entries(entries) {}
    size_t count() const override { return m_entries->size(); }
    std::string sourcePath(size_t i) const override { return (*m_entries)[i].source; }
    uint32_t status(size_t i) const override { return (*m_entries)[i].status; }
    void setStatus(size_t i, uint32_t s) override { (*m_entries)[i].status = s; }
    void setComment(size_t i, std::string_view c) override { (*m_entries)[i].comment = c; }

  private:
    std::vector<RunEntry>* m_entries;
};

// What the run asks of the window. Every call has a default that does
// nothing, so a run without a window needs no more than this.
class RunWindow {
  public:
    virtual ~RunWindow() = default;
    // The run begins: total entries were pending.
    virtual void runStarted(int /*total*/) {}
    // Entry `index` is converted now, number `number` of `total`: select
    // and show its row, give it a bar at 0, show "number of total".
    virtual void fileStarted(size_t /*index*/, int /*number*/, int /*total*/) {}
    // The row's bar, 0..1000.
    virtual void setProgress(size_t /*index*/, int /*permille*/) {}
    // Handles every pending window event (clicks on Cancel Conversion,
    // Cancel All, Quit reach the run from here).
    virtual void pumpEvents() {}
    // The entry's conversion is over: drop its bar, deselect and redraw it.
    virtual void fileFinished(size_t /*index*/) {}
    // The run is over (clean-up of the window follows).
    virtual void runEnded() {}
};

enum class RunDestinationKind {
    SourceFolder,  // beside each source
    Folder,        // a folder: one picked, or the card's
    HotSync,       // the HotSync user's folder, then that user's install queue
};

struct RunDestination {
    RunDestinationKind kind = RunDestinationKind::SourceFolder;
    std::string folder;  // Folder and HotSync: where the databases are written
    // HotSync: the library and the chosen user; both required for HotSync.
    HotSyncLibrary* hotsync = nullptr;
    HotSyncTarget target;
};

// What a run starts from.
struct RunInputs {
    RunDestination destination;
    // The name entered for a one-file run ("name.ext" as the name prompt
    // gives it); empty: each output is named after its source.
    std::string outputName;
    AtomContainer settings;  // export settings
};

// The run state while a run is active.
struct RunState {
    bool running = false;
    int currentNumber = 0;   // 1-based, within this run
    int total = 0;           // entries pending when the run started
    int currentIndex = -1;   // index of the entry being converted; -1 before the first
    bool skipCurrent = false;
    bool cancelAll = false;
    bool stop = false;
};

// The result of one file's conversion.
struct FileResult {
    OSStatus code = noErr;   // 0 or -2055: converted
    std::string output;      // the database's final path, when converted
    OSType missingCodec = 0; // for -8961: what the exporter missed
};

// Progress procedure glue for ConvertFile: called with the fraction in
// 0..1000 (open gives 0), then asked whether to stop.
class FileProgress {
  public:
    virtual ~FileProgress() = default;
    virtual void opened() {}
    // The output's final name is reserved (an empty file) and the database
    // is being written at workPath.
    virtual void outputReserved(const std::string& /*path*/, const std::string& /*workPath*/) {}
    virtual void update(int /*permille*/) {}
    // True when the conversion should stop (the answer becomes -128).
    virtual bool cancelled() const { return false; }
};

// The base name of a source's output: `outputName` when given, else the
// source's file name with every underscore a blank; cut at the first full
// stop. A name that leaves nothing is "Untitled".
std::string OutputBaseName(std::string_view sourcePath, std::string_view outputName);

// Opens a source the way a run does: a still picture becomes a movie whose
// one picture lasts one second (1000 in a time scale of 1000); a movie's
// enabled video track with a media time scale below 600 gets it multiplied
// by 100; the play hints are set. Errors: those of the movie opener; a
// source that does not exist or cannot be read gives kStatusNoMovieFound.
OSStatus OpenRunSource(const std::string& path, Movie* movie);

// Converts one source through an open exporter instance into `folder`
// (created when missing) as BASE.pdb or the next free BASE-n.pdb. The
// database is written aside and moved into place only when complete; on
// any other outcome than 0 or -2055 nothing is left in the folder.
FileResult ConvertFile(ComponentInstance exporter, const std::string& source,
                       const std::string& folder, std::string_view outputName,
                       const AtomContainer& settings, FileProgress* progress);

// The text for a status: the error-text table (ESTR 128) of `res`, else
// "Error code " (STR# 133 item 1) and the number. UTF-8.
std::string RunErrorText(const ResourceFile& res, OSStatus code);
// The comment shown for a finished file; empty when converted without remark.
std::string RunComment(const ResourceFile& res, const FileResult& result);
// Cuts a UTF-8 text to kEntryCommentChars characters.
std::string CutComment(std::string_view utf8);

class RunJournal;

class ConversionRun {
  public:
    // The list, the window and the resources must outlive the run.
    ConversionRun(RunList& list, RunWindow& window, const ResourceFile& resources);

    // Preparation: every cancelled entry becomes pending again with an
    // empty comment. Returns how many were reset.
    int prepare();

    // Notes each half-written output there, so that a later start can
    // remove it should this process be killed (null: none).
    void setJournal(RunJournal* journal) { m_journal = journal; }

    // Runs over the pending entries. Returns the number of files converted.
    // The exporter is opened afresh for each file; when it cannot be opened
    // the run ends at once and the remaining entries stay pending.
    int run(const RunInputs& inputs);

    // Called while events are dispatched during a run.
    void cancelCurrent() { m_state.skipCurrent = true; }  // "Cancel Conversion"
    void cancelAll() { m_state.cancelAll = true; }         // "Cancel All", confirmed
    void stop() { m_state.stop = true; }                   // Quit or close, confirmed

    const RunState& state() const { return m_state; }

  private:
    class Progress;
    bool anyCancel() const { return m_state.skipCurrent || m_state.cancelAll || m_state.stop; }
    void finishEntry(size_t index, const FileResult& result, const RunInputs& inputs);

    RunList& m_list;
    RunWindow& m_window;
    const ResourceFile& m_resources;
    RunState m_state;
    RunJournal* m_journal = nullptr;
};
