#pragma once
// Length-prefixed blocks: the growable byte buffers the writer builds every
// chunk, index and image in. A handle points at the allocation, whose first
// 32-bit word holds the payload length; a null handle is an empty block.
//
// Out of memory shows as a null handle after an append: callers test the
// handle, never the returned pointer, and report -108.
#include <cstdint>

using BlockHandle = uint8_t*;

BlockHandle BlockNew(uint32_t size);         // contents undefined; null on failure
BlockHandle BlockNewCleared(uint32_t size);  // zero-filled
BlockHandle BlockNewCopy(const void* source, uint32_t size);
void BlockFree(BlockHandle handle);        // null accepted
uint32_t BlockLength(BlockHandle handle);  // 0 for null
uint8_t* BlockData(BlockHandle handle);    // payload start; null for a null handle

// Reallocates to `size` payload bytes, keeping the common prefix. On failure
// returns null and leaves `handle` untouched.
BlockHandle BlockResize(BlockHandle& handle, uint32_t size);
// Lengthens the payload by `extra` undefined bytes; a null handle becomes a
// new block. On failure the old block is released and `handle` becomes null.
BlockHandle BlockGrow(BlockHandle& handle, uint32_t extra);

// Appends; a null handle becomes a new block. Returns the payload start, or
// null with `handle` released and null when memory ran out.
uint8_t* BlockAppend(BlockHandle& handle, const void* source, uint32_t count);
uint8_t* BlockAppendBlock(BlockHandle& handle, BlockHandle other);
uint8_t* BlockAppendString(BlockHandle& handle, const char* text);  // no terminator
uint8_t* BlockAppendDecimal(BlockHandle& handle, int32_t value);    // "%d"
uint8_t* BlockAppendByte(BlockHandle& handle, uint8_t value);
uint8_t* BlockAppendLineEnd(BlockHandle& handle);  // 13, 10

// Test seam: the next `count` allocations succeed, then every one fails until
// called again with a negative count (the default: never fail).
void BlockFailAllocationsAfter(int32_t count);
