#pragma once
// Every database a test produces goes through the inspector's structural
// check: EXPECT_TRUE(validMovieDatabase(bytes)).
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

testing::AssertionResult validMovieDatabase(const std::vector<uint8_t>& bytes);
