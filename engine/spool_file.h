#pragma once
// The writer's spool file: every encoded sample chunk waits here until the
// database is laid out. It only grows by appends while encoding and is only
// read back afterwards, so its size is always the offset of the next append.
#include <cstdint>

#include "engine/block.h"

struct MovieWriter;

// Creates a fresh file private to this writer ("qmo", a unique hexadecimal
// number, ".tmp") in the temporary directory ($TMPDIR, else /tmp). The
// number starts with our process number, and the writer holds a lock on the
// file while it is open. -50 when no directory or unique name is available,
// -38 when it cannot be created.
int32_t SpoolOpen(MovieWriter* w);
// Closes and deletes the file. Always 0; safe to repeat.
int32_t SpoolClose(MovieWriter* w);
// Appends `count` bytes; `outOffset` (optional) receives where they land. -34 on failure.
int32_t SpoolAppend(MovieWriter* w, const void* source, uint32_t count, uint32_t* outOffset);
// Reads `count` bytes at `offset`. -36 on failure; a short read leaves the
// rest zero.
int32_t SpoolRead(MovieWriter* w, void* destination, uint32_t count, uint32_t offset);
// Reads into a new block the caller owns; -108 (and null) when it cannot be made.
int32_t SpoolReadBlock(MovieWriter* w, BlockHandle& outBlock, uint32_t size, uint32_t offset);

// Deletes the spool files of writers whose process is gone (killed before
// it could clean up). Returns how many.
int SpoolRemoveStale();

// What a program calls once at start: removes the spool files and
// temporary-items folders that conversions killed in earlier runs left
// behind. Files of processes still alive are never touched. Returns how
// many were removed.
int CleanStaleTemporaryFiles();
