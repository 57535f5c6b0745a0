#pragma once
// Graphics importers: still pictures (PNG, JPEG, BMP, GIF, TIFF, ...) read
// from a file and drawn into a pixel buffer through a matrix.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/data_handler.h"
#include "platform/decompress.h"
#include "platform/media_types.h"
#include "platform/status.h"

struct GraphicsImporterRecord;
using GraphicsImporter = GraphicsImporterRecord*;

// Opens the picture a file (or alias reference) holds. Files that are not
// still pictures give kStatusNoMovieFound; the picture is decoded here, so
// a picture that opens also draws.
OSStatus GraphicsImportOpen(const std::string& path, GraphicsImporter* importer);
OSStatus GraphicsImportOpen(const DataReference& ref, GraphicsImporter* importer);
OSStatus GraphicsImportGetNaturalBounds(GraphicsImporter importer, int32_t* width, int32_t* height);
// Draws the picture. matrix null: scaled to fill the buffer. Pixels outside
// the drawn picture are left as they were.
OSStatus GraphicsImportDraw(GraphicsImporter importer, const PixelBuffer& dest,
                            const MatrixRecord* matrix, int32_t quality);
// Null is allowed.
void GraphicsImportClose(GraphicsImporter importer);

// The file types that graphics importers are installed for, as subtypes
// (ascending, padded with blanks, e.g. 'PNG '), and likewise the file types
// that movie importers open. Filters build "*.PNG;" patterns from them.
std::vector<OSType> GraphicsImporterFileTypes();
std::vector<OSType> MovieImporterFileTypes();
