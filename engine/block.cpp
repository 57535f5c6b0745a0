#include "engine/block.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Length word in front, slack behind: no caller reads the slack, but keeping
// it means a word-sized tail store never runs off the allocation.
constexpr uint32_t kHeaderBytes = 4;
constexpr uint32_t kSlackBytes = 4;
// Keeps header + payload + slack inside 32 bits.
constexpr uint32_t kMaxPayload = 0xFFFFFFFFu - kHeaderBytes - kSlackBytes;

int32_t g_allocationsLeft = -1;

bool allocationAllowed() {
    if (g_allocationsLeft < 0) return true;
    if (g_allocationsLeft == 0) return false;
    --g_allocationsLeft;
    return true;
}

void setLength(uint8_t* block, uint32_t length) {
    std::memcpy(block, &length, sizeof length);
}

uint8_t* reallocate(uint8_t* old, uint32_t payload) {
    if (payload > kMaxPayload || !allocationAllowed()) return nullptr;
    return static_cast<uint8_t*>(std::realloc(old, size_t{kHeaderBytes} + payload + kSlackBytes));
}

}  // namespace

void BlockFailAllocationsAfter(int32_t count) {
    g_allocationsLeft = count;
}

BlockHandle BlockNew(uint32_t size) {
    uint8_t* block = reallocate(nullptr, size);
    if (block) setLength(block, size);
    return block;
}

BlockHandle BlockNewCleared(uint32_t size) {
    uint8_t* block = BlockNew(size);
    if (block) std::memset(block + kHeaderBytes, 0, size);
    return block;
}

BlockHandle BlockNewCopy(const void* source, uint32_t size) {
    uint8_t* block = BlockNewCleared(size);
    if (block && size > 0 && source) std::memcpy(block + kHeaderBytes, source, size);
    return block;
}

void BlockFree(BlockHandle handle) {
    std::free(handle);
}

uint32_t BlockLength(BlockHandle handle) {
    if (!handle) return 0;
    uint32_t length;
    std::memcpy(&length, handle, sizeof length);
    return length;
}

uint8_t* BlockData(BlockHandle handle) {
    return handle ? handle + kHeaderBytes : nullptr;
}

BlockHandle BlockResize(BlockHandle& handle, uint32_t size) {
    uint8_t* block = reallocate(handle, size);
    if (!block) return nullptr;
    setLength(block, size);
    handle = block;
    return block;
}

BlockHandle BlockGrow(BlockHandle& handle, uint32_t extra) {
    if (!handle) {
        handle = BlockNew(extra);
        return handle;
    }
    uint32_t length = BlockLength(handle);
    uint8_t* block = extra > kMaxPayload - length ? nullptr : reallocate(handle, length + extra);
    if (!block) {
        // The old contents are lost to the caller either way; free them
        // rather than leak them.
        std::free(handle);
        handle = nullptr;
        return nullptr;
    }
    setLength(block, length + extra);
    handle = block;
    return block;
}

uint8_t* BlockAppend(BlockHandle& handle, const void* source, uint32_t count) {
    uint32_t old = BlockLength(handle);
    if (!BlockGrow(handle, count)) return nullptr;
    if (count > 0) std::memcpy(handle + kHeaderBytes + old, source, count);
    return handle + kHeaderBytes;
}

uint8_t* BlockAppendBlock(BlockHandle& handle, BlockHandle other) {
    return BlockAppend(handle, BlockData(other), BlockLength(other));
}

uint8_t* BlockAppendString(BlockHandle& handle, const char* text) {
    return BlockAppend(handle, text, static_cast<uint32_t>(std::strlen(text)));
}

uint8_t* BlockAppendDecimal(BlockHandle& handle, int32_t value) {
    char digits[16];
    int n = std::snprintf(digits, sizeof digits, "%d", static_cast<int>(value));
    return BlockAppend(handle, digits, static_cast<uint32_t>(n));
}

uint8_t* BlockAppendByte(BlockHandle& handle, uint8_t value) {
    return BlockAppend(handle, &value, 1);
}

uint8_t* BlockAppendLineEnd(BlockHandle& handle) {
    static constexpr uint8_t kLineEnd[2] = {13, 10};
    return BlockAppend(handle, kLineEnd, 2);
}
