#pragma once
// Movie exporters: the selector numbers and parameter records exporters
// answer, the progress procedure, converting a movie through an exporter,
// and the built-in exporter ("the delegate", type 'spit', subtype 'MooV',
// manufacturer 'appl') that hands out get-property and get-data procedures
// serving decoded pictures and PCM sound of a movie.
#include <cstdint>

#include "platform/components.h"
#include "platform/data_handler.h"
#include "platform/files.h"
#include "platform/media_types.h"
#include "platform/movies.h"

inline constexpr OSType kMovieExportType = MakeOSType("spit");
inline constexpr OSType kQuickTimeMovieSubType = MakeOSType("MooV");
inline constexpr OSType kAppleManufacturer = MakeOSType("appl");

// Exporter selectors.
inline constexpr int16_t kMovieExportToFileSelect = 0x0081;  // MovieExportToFileParams
inline constexpr int16_t kMovieExportGetAuxiliaryDataSelect = 0x0083;
inline constexpr int16_t kMovieExportSetProgressProcSelect = 0x0084;  // MovieExportProgressParams
inline constexpr int16_t kMovieExportDoUserDialogSelect = 0x0086;
inline constexpr int16_t kMovieExportToDataRefSelect = 0x0088;  // MovieExportToDataRefParams
inline constexpr int16_t kMovieExportFromProceduresToDataRefSelect =
    0x0089;  // ...FromProcedures...
inline constexpr int16_t kMovieExportAddDataSourceSelect =
    0x008A;                                                    // MovieExportAddDataSourceParams
inline constexpr int16_t kMovieExportValidateSelect = 0x008B;  // MovieExportValidateParams
inline constexpr int16_t kMovieExportGetSettingsAsAtomContainerSelect = 0x008C;
inline constexpr int16_t kMovieExportSetSettingsFromAtomContainerSelect = 0x008D;
inline constexpr int16_t kMovieExportGetFileNameExtensionSelect = 0x008E;    // OSType*
inline constexpr int16_t kMovieExportGetShortFileTypeStringSelect = 0x008F;  // std::string*
inline constexpr int16_t kMovieExportGetSourceMediaTypeSelect = 0x0090;      // OSType*
inline constexpr int16_t kMovieExportNewGetDataAndPropertiesProcsSelect =
    0x0100;  // ...NewProcsParams
inline constexpr int16_t kMovieExportDisposeGetDataAndPropertiesProcsSelect = 0x0101;
// The delegate's compression settings (frame rate and depth), which its
// 'tprl' and 'sptl' properties then report: MovieExportCompressionParams.
inline constexpr int16_t kMovieExportSetCompressionSettingsSelect = 0x0110;
// The size the caller draws the delegate's pictures at: MovieExportDrawSizeParams.
// With it, and with a frame rate in the compression settings (the caller
// then asks for pictures at most that often), the delegate decodes no more
// than those requests need: pictures no request falls on may go undecoded,
// and formats that can decode at a fraction of their size do so, never below
// the drawing size. Both are told before the first request for data.
inline constexpr int16_t kMovieExportSetDrawSizeSelect = 0x0111;

// Properties asked of a data source.
inline constexpr OSType kMovieExportWidth = MakeOSType("wdth");        // Fixed
inline constexpr OSType kMovieExportHeight = MakeOSType("hegt");       // Fixed
inline constexpr OSType kMovieExportDuration = MakeOSType("dura");     // TimeRecord
inline constexpr OSType kSCTemporalSettingsType = MakeOSType("tprl");  // SCTemporalSettings
inline constexpr OSType kSCSpatialSettingsType = MakeOSType("sptl");   // SCSpatialSettings

// Progress messages and the operation code of exports.
inline constexpr int16_t kMovieProgressOpen = 0;
inline constexpr int16_t kMovieProgressUpdatePercent = 1;
inline constexpr int16_t kMovieProgressClose = 2;
inline constexpr int16_t kProgressOpExportMovie = 12;
// A non-zero answer stops the operation with that value.
using MovieProgressProc = OSStatus (*)(Movie movie, int16_t message, int16_t operation,
                                       Fixed fraction, intptr_t refcon);

struct TimeRecord {
    TimeValue value = 0;
    TimeScale scale = 0;
};

struct SCTemporalSettings {
    int32_t temporalQuality = 0;
    Fixed frameRate = 0;
    int32_t keyFrameRate = 0;
};

struct SCSpatialSettings {
    OSType codecType = 0;
    int16_t depth = 0;
    int32_t spatialQuality = 0;
};

// One request to a get-data procedure. The caller fills recordSize, trackID,
// sourceTimeScale, requestedTime (in sourceTimeScale, counted from the
// start the procedures were made for) and, for sound, requestedSampleCount.
// The procedure fills the rest; dataPtr and desc stay valid until the next
// request or until the procedures are disposed of.
struct MovieExportGetDataParams {
    int32_t recordSize = 0;
    int32_t trackID = 0;
    TimeScale sourceTimeScale = 0;
    TimeValue requestedTime = 0;
    TimeValue actualTime = 0;
    const uint8_t* dataPtr = nullptr;
    int32_t dataSize = 0;
    const SampleDescription* desc = nullptr;
    OSType descType = 0;
    int32_t descSeed = 0;  // changes whenever *desc changes
    int32_t requestedSampleCount = 0;
    int32_t actualSampleCount = 0;
    TimeValue durationPerSample = 0;  // video: time to the next source picture
    int32_t sampleFlags = 0;
};
inline constexpr int32_t kMovieExportGetDataParamsRecordSize = 56;

using MovieExportGetPropertyProc = OSStatus (*)(void* refCon, int32_t trackID, OSType property,
                                                void* value);
using MovieExportGetDataProc = OSStatus (*)(void* refCon, MovieExportGetDataParams* params);

struct MovieExportToFileParams {
    const FileSpec* file = nullptr;
    Movie movie = nullptr;
    Track onlyThisTrack = nullptr;
    TimeValue startTime = 0;
    TimeValue duration = 0;
};

struct MovieExportToDataRefParams {
    const DataReference* dataRef = nullptr;
    Movie movie = nullptr;
    Track onlyThisTrack = nullptr;
    TimeValue startTime = 0;
    TimeValue duration = 0;
};

struct MovieExportFromProceduresParams {
    const DataReference* dataRef = nullptr;
};

struct MovieExportProgressParams {
    MovieProgressProc proc = nullptr;
    intptr_t refcon = 0;
};

struct MovieExportAddDataSourceParams {
    OSType trackType = 0;
    TimeScale scale = 0;
    int32_t* trackID = nullptr;  // out
    MovieExportGetPropertyProc getPropertyProc = nullptr;
    MovieExportGetDataProc getDataProc = nullptr;
    void* refCon = nullptr;
};

struct MovieExportValidateParams {
    Movie movie = nullptr;
    Track onlyThisTrack = nullptr;
    bool* valid = nullptr;  // out
};

struct MovieExportNewProcsParams {
    OSType trackType = 0;        // kVideoMediaType or kSoundMediaType
    TimeScale* scale = nullptr;  // out: the time scale of requests
    Movie movie = nullptr;
    Track track = nullptr;    // null: the first enabled track of that type
    TimeValue startTime = 0;  // movie time
    TimeValue duration = 0;   // movie time; 0 or less: to the end
    MovieExportGetPropertyProc* propertyProc = nullptr;  // out
    MovieExportGetDataProc* dataProc = nullptr;          // out
    void** refCon = nullptr;                             // out
};

struct MovieExportDisposeProcsParams {
    MovieExportGetPropertyProc propertyProc = nullptr;
    MovieExportGetDataProc dataProc = nullptr;
    void* refCon = nullptr;
};

struct MovieExportCompressionParams {
    SCTemporalSettings temporal;
    SCSpatialSettings spatial;
};

// Width and height as drawn, in the orientation of the delegate's pictures.
struct MovieExportDrawSizeParams {
    int32_t width = 0;
    int32_t height = 0;
};

// Registers the delegate once for the process; later calls do nothing.
// Called by the open functions below and by start-up.
OSStatus RegisterBuiltInExporters();
// Opens an instance of the delegate.
OSStatus OpenMovieExportDelegate(ComponentInstance* instance);

// Converts a movie into a file through an exporter instance: installs the
// progress procedure on the exporter and calls its export-to-file selector.
// fileType and creator are passed for the exporter to use; this layer's
// exporters take their own.
OSStatus ConvertMovieToFile(Movie movie, Track onlyThisTrack, const FileSpec& output,
                            OSType fileType, OSType creator, ComponentInstance exporter,
                            MovieProgressProc progress, intptr_t progressRefcon);
