#pragma once
// Data references and the data handler that serves a file's bytes by offset.
//
// An alias data reference (type 'alis') names a file; its bytes are the
// file's native path (no terminator). Data handlers read and write the file
// a reference names. The file's type and creator are recorded as extended
// attributes where the file system keeps them; where it does not, they are
// silently not recorded (the name and extension are what this platform
// goes by).
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/media_types.h"
#include "platform/status.h"

inline constexpr OSType kAliasDataReferenceType = MakeOSType("alis");

struct DataReference {
    OSType type = 0;
    std::vector<uint8_t> data;
};

OSStatus NewAliasDataReference(std::string_view path, DataReference* ref);
OSStatus NewAliasDataReference(const FileSpec& spec, DataReference* ref);
// The path of an alias reference; -50 for other kinds or malformed data.
OSStatus ResolveAliasDataReference(const DataReference& ref, std::string* path);

struct DataHandlerRecord;
using DataHandler = DataHandlerRecord*;

// Opens a handler for a reference (no file is touched yet). The caller owns
// *handler and closes it with DataHandlerClose.
OSStatus DataHandlerOpen(const DataReference& ref, DataHandler* handler);
// Creates the file. With deleteExisting false an existing file is left alone
// and the call fails with kStatusDuplicateFile.
OSStatus DataHandlerCreateFile(DataHandler handler, OSType creator, bool deleteExisting);
OSStatus DataHandlerSetFileType(DataHandler handler, OSType fileType);
OSStatus DataHandlerOpenForWrite(DataHandler handler);
OSStatus DataHandlerOpenForRead(DataHandler handler);
OSStatus DataHandlerGetFileSize(DataHandler handler, int64_t* size);
// Reads exactly data.size() bytes at offset; a short file gives -39.
OSStatus DataHandlerRead(DataHandler handler, int64_t offset, std::span<uint8_t> data);
OSStatus DataHandlerWrite(DataHandler handler, int64_t offset, std::span<const uint8_t> data);
// The file's name (last path component), at most 255 bytes.
OSStatus DataHandlerGetFileName(DataHandler handler, std::string* name);
// Closes the file and frees the handler; null is allowed.
void DataHandlerClose(DataHandler handler);

// Type and creator recorded for a file, 0 when none were recorded.
OSStatus GetFileTypeAndCreator(const std::string& path, OSType* fileType, OSType* creator);
