#pragma once

#include <GL/glew.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

// Base for every test that needs GL: one hidden 1024 x 768 window and compatibility context for
// the whole test binary (llvmpipe under Xvfb), KHR_debug output on, and a failure for any GL
// error reported during a test. Tests that expect an error call expectGlErrors().
class GlTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Accept GL errors in this test (for tests that provoke one on purpose).
    void expectGlErrors() { errorsExpected_ = true; }
    // Messages of type GL_DEBUG_TYPE_ERROR seen since SetUp.
    static const std::vector<std::string>& glErrors();

private:
    bool errorsExpected_ = false;
};
