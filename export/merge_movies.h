#pragma once
// Joining finished movie databases into one: a directory record naming
// each input and where its records begin, then every input's records.
#include <cstdint>

#include "platform/files.h"
#include "platform/status.h"

inline constexpr uint32_t kMergedDatabaseType = 0x544D5247;     // 'TMRG'
inline constexpr uint32_t kMergedDatabaseCreator = 0x54564C41;  // 'TVLA'

// Parameters of the merge-movies selector.
struct MovieExportMergeParams {
    const char* name = nullptr;  // the merged database's name, at most 31 bytes
    int32_t count = 0;
    const FileSpec* inputs = nullptr;  // count finished databases
    const FileSpec* output = nullptr;
};

// -50 for a missing or over-long name, a bad count or an input that is not a
// database; the data handler's errors for the files. The output is made new
// (an existing file is not replaced).
OSStatus mergeMovieDatabases(const MovieExportMergeParams& p);
