// Running out of memory ends the program with one line that says so and exit code -13, not
// with the abort of an uncaught std::bad_alloc.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/OutOfMemory.h"
#include "support/TestSupport.h"

namespace {

// A size no allocation can get, hidden from the compiler's own checks.
volatile std::size_t impossible = std::size_t{1} << 62;

constexpr int kExitCodeAsSeen = kExitOutOfMemory & 0xFF;  // 243

// AddressSanitizer's allocator reports an impossible size itself, before any handler.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitizedAllocator = true;
#else
constexpr bool kSanitizedAllocator = false;
#endif

}  // namespace

TEST(OutOfMemory, ARefusedAllocationEndsWithOneLineAndItsExitCode) {
    if (kSanitizedAllocator) GTEST_SKIP() << "the sanitizer's allocator refuses it itself";
    const ChildEnd child = runInChild([] {
        endOnOutOfMemory("pelk-test");
        std::vector<unsigned char> pixels(impossible);
        std::exit(pixels.empty() ? 1 : 2);  // not reached
    });
    EXPECT_TRUE(child.exited);
    EXPECT_EQ(child.code, kExitCodeAsSeen);
    EXPECT_EQ(child.errors, "pelk-test: out of memory\n");
}

TEST(OutOfMemory, WhatRanOutIsNamedAfterTheProgram) {
    const ChildEnd child = runInChild([] {
        endOnOutOfMemory("Pelk");
        endOutOfMemory("the GL driver has no memory for the shadow cube's images");
    });
    EXPECT_TRUE(child.exited);
    EXPECT_EQ(child.code, kExitCodeAsSeen);
    EXPECT_EQ(child.errors,
              "Pelk: out of memory: the GL driver has no memory for the shadow cube's images\n");
}
