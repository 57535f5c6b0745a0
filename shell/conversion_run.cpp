#include "shell/conversion_run.h"

#include <algorithm>
#include <filesystem>

#include "export/movie_exporter.h"
#include "platform/files.h"
#include "platform/mac_roman.h"
#include "platform/media_export.h"
#include "shell/run_journal.h"

namespace {

constexpr ResID kErrorTextsID = 128;   // ESTR
constexpr ResID kRunStringsID = 133;   // STR#: "Error code " is item 1
constexpr int kErrorCodePrefixItem = 1;
constexpr OSType kErrorTextsType = fourCC("ESTR");
constexpr OSType kPdbFileType = MakeOSType("PDB ");
// High quality, single field: pictures are drawn at their best.
constexpr uint32_t kRunPlayHints = 0x00100100;

bool isCancel(OSStatus code) {
    return code == kStatusUserCancelled || code == kStatusProgressAborted;
}

bool isConverted(OSStatus code) {
    return code == noErr || code == kStatusExportedWithoutAudio;
}

// The movie toolbox's progress procedure: the fraction goes to the row's
// bar, and every update gives the window its pending events, which is
// where cancel clicks come from.
OSStatus runProgressProc(Movie, int16_t message, int16_t, Fixed fraction, intptr_t refcon) {
    auto* progress = reinterpret_cast<FileProgress*>(refcon);
    if (progress == nullptr) return noErr;
    if (message == kMovieProgressOpen) {
        progress->opened();
    } else if (message == kMovieProgressUpdatePercent) {
        int permille = 0;
        if (fraction >= 0x10000)
            permille = 1000;
        else if (fraction > 0)
            permille = int((int64_t(fraction) * 1000 + 0x8000) >> 16);
        progress->update(permille);
    }
    return progress->cancelled() ? kStatusUserCancelled : noErr;
}

}  // namespace

std::string OutputBaseName(std::string_view sourcePath, std::string_view outputName) {
    std::string base = outputName.empty() ? PathFileName(sourcePath) : std::string(outputName);
    if (outputName.empty()) std::replace(base.begin(), base.end(), '_', ' ');
    if (const size_t dot = base.find('.'); dot != std::string::npos) base.resize(dot);
    // A name is never a path: the output stays in its folder.
    std::replace(base.begin(), base.end(), '/', ' ');
    if (base.empty()) base = "Untitled";
    return base;
}

OSStatus OpenRunSource(const std::string& path, Movie* movie) {
    if (movie == nullptr) return kStatusParamError;
    *movie = nullptr;
    OSType importer = 0;
    OSStatus err = FindMovieImporter(path, &importer);
    if (err == noErr && importer == kStillImageImporterSubType &&
        NewMovieFromStillImage(path, 1000, 1000, movie) != noErr)
        *movie = nullptr;
    if (*movie == nullptr) {
        err = NewMovieFromFile(path, movie);
        if (err != noErr) {
            *movie = nullptr;
            // Missing, unreadable or not a movie: to the user it is all
            // the same, the source cannot be opened.
            return err == kStatusOutOfMemory ? err : kStatusNoMovieFound;
        }
    }
    if (Track v = GetMovieIndTrackType(*movie, 1, kVideoMediaType,
                                       kMovieTrackMediaType | kMovieTrackEnabledOnly);
        v != nullptr && GetMediaTimeScale(v) < 600)
        SetMediaTimeScale(v, GetMediaTimeScale(v) * 100);
    SetMoviePlayHints(*movie, kRunPlayHints, kRunPlayHints);
    return noErr;
}

FileResult ConvertFile(ComponentInstance exporter, const std::string& source,
                       const std::string& folder, std::string_view outputName,
                       const AtomContainer& settings, FileProgress* progress) {
    FileResult r;
    if (exporter == nullptr) {
        r.code = kStatusParamError;
        return r;
    }
    Movie movie = nullptr;
    r.code = OpenRunSource(source, &movie);
    if (r.code != noErr) return r;

    OutputFile output;
    r.code = output.openNew(folder, OutputBaseName(source, outputName), ".pdb");
    // A folder that could not be made shows as a file that cannot be created.
    if (r.code == kStatusFileNotFound) r.code = kStatusCreateError;
    if (r.code == noErr && progress != nullptr)
        progress->outputReserved(output.path(), output.workPath());
    FileSpec spec;
    if (r.code == noErr) r.code = FileSpecFromPath(output.workPath(), &spec);
    if (r.code == noErr)
        r.code = CallComponent(exporter, kMovieExportSetSettingsFromAtomContainerSelect,
                               const_cast<AtomContainer*>(&settings));
    if (r.code == noErr) {
        r.code = ConvertMovieToFile(movie, nullptr, spec, kPdbFileType, kMoviepackerCreator,
                                    exporter, runProgressProc,
                                    reinterpret_cast<intptr_t>(progress));
        if (isConverted(r.code)) {
            if (const OSStatus err = output.commit(); err != noErr) r.code = err;
        }
    }
    if (isConverted(r.code))
        r.output = output.path();
    else
        output.abandon();
    if (r.code == kStatusNoCodec) r.missingCodec = QueryMissingCodec(exporter);
    DisposeMovie(movie);
    return r;
}

std::string RunErrorText(const ResourceFile& res, OSStatus code) {
    std::span<const uint8_t> d;
    if (res.get(kErrorTextsType, kErrorTextsID, &d) == noErr && d.size() >= 2) {
        const size_t count = size_t((d[0] << 8) | d[1]);
        size_t at = 2;
        for (size_t i = 0; i < count && at + 3 <= d.size(); ++i) {
            const auto entryCode = int16_t((d[at] << 8) | d[at + 1]);
            const size_t len = d[at + 2];
            if (at + 3 + len > d.size()) break;
            if (entryCode == code)
                return macRomanToUtf8(
                    std::string_view(reinterpret_cast<const char*>(d.data() + at + 3), len));
            at += 3 + len;
        }
    }
    std::string prefix;
    if (getIndStringUtf8(res, kRunStringsID, kErrorCodePrefixItem, &prefix) != noErr)
        prefix = "Error code ";
    return prefix + std::to_string(code);
}

std::string RunComment(const ResourceFile& res, const FileResult& result) {
    if (result.code == noErr || isCancel(result.code)) return {};
    std::string text = RunErrorText(res, result.code);
    if (result.code == kStatusNoCodec && result.missingCodec != 0)
        text += " ('" + OSTypeToString(result.missingCodec) + "')";
    return CutComment(text);
}

std::string CutComment(std::string_view utf8) {
    size_t chars = 0, at = 0;
    while (at < utf8.size()) {
        if (chars == kEntryCommentChars) return std::string(utf8.substr(0, at));
        ++at;
        while (at < utf8.size() && (uint8_t(utf8[at]) & 0xC0) == 0x80) ++at;
        ++chars;
    }
    return std::string(utf8);
}

// The progress of the entry being converted, as the window shows it.
class ConversionRun::Progress final : public FileProgress {
  public:
    Progress(ConversionRun& run, size_t index) : m_run(run), m_index(index) {}
    void opened() override { m_run.m_window.setProgress(m_index, 0); }
    void outputReserved(const std::string& path, const std::string& workPath) override {
        if (m_run.m_journal != nullptr) m_run.m_journal->noteOutput(path, PathFolder(workPath));
    }
    void update(int permille) override {
        m_run.m_window.setProgress(m_index, permille);
        m_run.m_window.pumpEvents();
    }
    bool cancelled() const override { return m_run.anyCancel(); }

  private:
    ConversionRun& m_run;
    size_t m_index;
};

ConversionRun::ConversionRun(RunList& list, RunWindow& window, const ResourceFile& resources)
    : m_list(list), m_window(window), m_resources(resources) {}

int ConversionRun::prepare() {
    int reset = 0;
    for (size_t i = 0; i < m_list.count(); ++i) {
        if ((m_list.status(i) & kEntryCancelled) != 0) {
            m_list.setStatus(i, m_list.status(i) & ~kEntryCancelled);
            m_list.setComment(i, "");
            ++reset;
        }
    }
    return reset;
}

void ConversionRun::finishEntry(size_t index, const FileResult& result, const RunInputs& inputs) {
    if (isCancel(result.code)) {
        m_list.setStatus(index, kEntryCancelled);
        m_list.setComment(index, "");
        return;
    }
    m_list.setComment(index, RunComment(m_resources, result));
    if (!isConverted(result.code)) {
        m_list.setStatus(index, kEntryFailed);
        return;
    }
    m_list.setStatus(index, kEntryConverted);
    const RunDestination& dest = inputs.destination;
    if (dest.kind == RunDestinationKind::HotSync && dest.hotsync != nullptr) {
        // Queued, the database leaves the user's folder; a queue that cannot
        // take it leaves it there, and the file counts as failed.
        std::string queued;
        if (const OSStatus err =
                InstallConvertedFile(*dest.hotsync, dest.target, result.output, &queued);
            err != noErr) {
            m_list.setStatus(index, kEntryFailed);
            m_list.setComment(index, CutComment(RunErrorText(m_resources, err)));
        }
    }
}

int ConversionRun::run(const RunInputs& inputs) {
    m_state = RunState{};
    size_t index = m_list.count();
    for (size_t i = 0; i < m_list.count(); ++i) {
        if (m_list.status(i) == kEntryPending) {
            if (m_state.total == 0) index = i;
            ++m_state.total;
        }
    }
    if (m_state.total == 0) return 0;
    m_state.running = true;
    m_state.currentNumber = 1;
    m_window.runStarted(m_state.total);
    int converted = 0;
    while (m_state.currentNumber <= m_state.total) {
        m_state.currentIndex = int(index);
        m_list.setComment(index, "");
        m_window.fileStarted(index, m_state.currentNumber, m_state.total);
        const std::string source = m_list.sourcePath(index);
        const std::string folder = inputs.destination.kind == RunDestinationKind::SourceFolder
                                       ? PathFolder(source)
                                       : inputs.destination.folder;
        std::error_code ignored;
        std::filesystem::create_directories(folder, ignored);

        ComponentInstance exporter = nullptr;
        if (OpenDefaultComponent(kMovieExportType, kMoviepackerExportSubType, &exporter) !=
            noErr) {
            m_window.fileFinished(index);
            break;
        }
        Progress progress(*this, index);
        const FileResult result =
            ConvertFile(exporter, source, folder, inputs.outputName, inputs.settings, &progress);
        CloseComponent(exporter);
        if (m_journal != nullptr) m_journal->clear();
        finishEntry(index, result, inputs);
        if (m_list.status(index) == kEntryConverted) ++converted;
        m_window.fileFinished(index);

        if (m_state.cancelAll || m_state.stop) break;
        ++m_state.currentNumber;
        m_state.skipCurrent = false;
        if (m_state.currentNumber > m_state.total) break;
        size_t next = index + 1;
        while (next < m_list.count() && m_list.status(next) != kEntryPending) ++next;
        if (next >= m_list.count()) break;  // the list changed under the run
        index = next;
    }
    m_state.running = false;
    m_window.runEnded();
    return converted;
}
