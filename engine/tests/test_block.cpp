#include "engine/block.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::string contents(BlockHandle h) {
    return std::string(reinterpret_cast<const char*>(BlockData(h)), BlockLength(h));
}

TEST(Block, NullHandleIsAnEmptyBlock) {
    EXPECT_EQ(BlockLength(nullptr), 0u);
    BlockFree(nullptr);
    BlockHandle h = nullptr;
    ASSERT_NE(BlockAppend(h, nullptr, 0), nullptr);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(BlockLength(h), 0u);
    BlockFree(h);
}

TEST(Block, AppendsOfOneToFiveBytesKeepExactContents) {
    const char source[] = "abcdefghijklmnop";
    for (uint32_t n = 1; n <= 5; ++n) {
        BlockHandle h = nullptr;
        BlockAppend(h, source, n);
        ASSERT_EQ(BlockLength(h), n);
        EXPECT_EQ(contents(h), std::string(source, n));
        // A second append lands right after the first, whatever the tail size.
        BlockAppend(h, source + 5, n);
        ASSERT_EQ(BlockLength(h), 2 * n);
        EXPECT_EQ(contents(h), std::string(source, n) + std::string(source + 5, n));
        BlockFree(h);
    }
}

TEST(Block, TextHelpers) {
    BlockHandle h = nullptr;
    BlockAppendString(h, "");
    EXPECT_EQ(BlockLength(h), 0u);
    BlockAppendString(h, "ab");
    BlockAppendDecimal(h, -7);
    BlockAppendByte(h, 'x');
    BlockAppendLineEnd(h);
    EXPECT_EQ(contents(h), "ab-7x\r\n");
    BlockHandle other = BlockNewCopy("yz", 2);
    BlockAppendBlock(h, other);
    EXPECT_EQ(contents(h), "ab-7x\r\nyz");
    BlockFree(other);
    BlockFree(h);
}

TEST(Block, NewClearedCopyResizeAndGrow) {
    BlockHandle h = BlockNewCleared(8);
    ASSERT_EQ(BlockLength(h), 8u);
    for (uint32_t i = 0; i < 8; ++i) EXPECT_EQ(BlockData(h)[i], 0);
    std::memcpy(BlockData(h), "12345678", 8);
    ASSERT_NE(BlockResize(h, 3), nullptr);
    EXPECT_EQ(contents(h), "123");
    ASSERT_NE(BlockGrow(h, 2), nullptr);
    EXPECT_EQ(BlockLength(h), 5u);
    EXPECT_EQ(contents(h).substr(0, 3), "123");
    BlockFree(h);

    BlockHandle grown = nullptr;
    ASSERT_NE(BlockGrow(grown, 4), nullptr);
    EXPECT_EQ(BlockLength(grown), 4u);
    BlockFree(grown);

    BlockHandle copy = BlockNewCopy("hello", 5);
    EXPECT_EQ(contents(copy), "hello");
    BlockFree(copy);
}

TEST(Block, AllocationFailures) {
    // A failed resize leaves the old block usable.
    BlockHandle h = BlockNewCopy("keep", 4);
    BlockFailAllocationsAfter(0);
    EXPECT_EQ(BlockResize(h, 100), nullptr);
    BlockFailAllocationsAfter(-1);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(contents(h), "keep");

    // A failed append nulls the handle (and releases the old block; the
    // leak checker of the sanitizer build sees it if not).
    BlockFailAllocationsAfter(0);
    EXPECT_EQ(BlockAppend(h, "more", 4), nullptr);
    EXPECT_EQ(BlockNew(1), nullptr);
    BlockFailAllocationsAfter(-1);
    EXPECT_EQ(h, nullptr);
}

}  // namespace
