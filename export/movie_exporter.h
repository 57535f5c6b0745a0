#pragma once
// The handheld-movie exporter: a movie-export component registered for this
// process. Callers open it by type and subtype, hand it export settings as
// an atom container and export a movie to a file; it reads decoded pictures
// and sound through the platform's own exporter (the delegate), feeds the
// movie writer and writes the finished database image into the file.
#include <cstdint>
#include <string>
#include <vector>

#include "export/avi_analysis.h"
#include "platform/components.h"
#include "platform/media_export.h"

inline constexpr OSType kMoviepackerExportSubType = MakeOSType("Dor0");
inline constexpr OSType kMoviepackerManufacturer = MakeOSType("TvlM");
inline constexpr OSType kMoviepackerCreator = MakeOSType("Rer1");
inline constexpr OSType kMoviepackerFileType = MakeOSType("Dor0");
// Can export files, has an export user interface, can export from
// procedures, can validate a movie, must get the source media type.
inline constexpr uint32_t kMoviepackerExportFlags = 0x00098030;
inline constexpr const char* kMoviepackerExportName = "Linked qMedia";
inline constexpr int32_t kMoviepackerExportVersion = 0x00010005;
// The database name of an output file whose name leaves nothing.
inline constexpr const char* kUntitledDatabaseName = "qMedia document";
// Characters of the database name the handheld keeps.
inline constexpr size_t kDatabaseNameChars = 31;

// The private auxiliary-data request that names the missing codec.
inline constexpr OSType kMissingCodecRequestTag = MakeOSType("TVLA");
inline constexpr OSType kMissingCodecHandleType = MakeOSType("imdc");
// A second private request, 'TVLA' and the 16-bit 'cl': how many of the
// source's chapters the last export had to leave out because the chapter
// list must fit one database record. The answer is two big-endian 32-bit
// numbers, chapters left out and chapters in the source, of type 'chap'.
inline constexpr int16_t kChaptersLeftOutRequest = 0x636C;
inline constexpr OSType kChaptersLeftOutHandleType = MakeOSType("chap");

inline constexpr int16_t kMovieExportMergeMoviesSelect = 0x0401;
// How the last export read the source's pictures: VideoRoad* (avi_analysis.h).
inline constexpr int16_t kMovieExportGetVideoRoadSelect = 0x0402;

// Parameters of the get-auxiliary-data selector. On entry *data is the
// request ('TVLA' and the big-endian 16-bit -8961); on success it holds the
// four characters of the missing codec and *handleType is 'imdc'.
struct MovieExportAuxDataParams {
    std::vector<uint8_t>* data = nullptr;
    OSType* handleType = nullptr;  // out
};

// Parameters of the do-user-dialog selector.
struct MovieExportDialogParams {
    Movie movie = nullptr;
    bool* cancelled = nullptr;  // out
};

// Registers the component once for the process (later calls give the same
// component). *out may be null.
OSStatus RegisterMoviepackerExporter(Component* out);
// Registers if needed and opens an instance.
OSStatus OpenMoviepackerExporter(ComponentInstance* instance);

// The missing codec of an instance's last export as the shell asks for it:
// 0 when the request fails or names none.
OSType QueryMissingCodec(ComponentInstance exporter);

// Chapters of an instance's last export that are not in the movie, and
// (when total is not null) how many the source had; 0 when the request fails.
uint32_t QueryChaptersLeftOut(ComponentInstance exporter, uint32_t* total);
// Which road the last export of an instance read its pictures by.
VideoRoad QueryVideoRoad(ComponentInstance exporter);
