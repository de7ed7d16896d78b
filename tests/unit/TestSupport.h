// Shared by the unit tests: a fresh world for each test, and byte strings
// shown escaped in failures so that a wrong byte is visible.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "ByteText.h"
#include "FakeWin32.h"
#include "UTypes.h"

// Compares byte for byte and prints both sides escaped.
#define EXPECT_BYTES(expected, actual) \
    EXPECT_EQ(Escaped(std::string(expected)), Escaped(std::string(actual)))

class WorldTest : public ::testing::Test {
protected:
    void SetUp() override { fake::ResetWorld(); }
    fake::World& world = fake::TheWorld();
};
