#include "support/GlFixture.h"

#include <GLFW/glfw3.h>

#include <cstdio>
#include <cstdlib>

#include "core/Platform.h"

namespace {

std::vector<std::string> recordedErrors;

void GLAPIENTRY onDebugMessage(GLenum /*source*/, GLenum type, GLuint /*id*/, GLenum severity,
                               GLsizei /*length*/, const GLchar* message, const void* /*user*/) {
    if (type == GL_DEBUG_TYPE_ERROR || severity == GL_DEBUG_SEVERITY_HIGH) {
        recordedErrors.emplace_back(message);
    }
}

// Creates the window once per test binary, on first use, so that listing the tests needs no
// display.
void ensureContext() {
    if (appWindow != nullptr) return;
    if (!glfwInit()) {
        std::fprintf(stderr, "GL tests need a display (run them through scripts/test)\n");
        std::abort();
    }
    glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
    glfwWindowHint(GLFW_OPENGL_DEBUG_CONTEXT, GLFW_TRUE);
    appWindow = glfwCreateWindow(1024, 768, "Pelk tests", nullptr, nullptr);
    if (appWindow == nullptr) {
        std::fprintf(stderr, "could not create a GL window for the tests\n");
        std::abort();
    }
    glfwMakeContextCurrent(appWindow);
    glewExperimental = GL_TRUE;
    if (glewInit() != GLEW_OK) {
        std::fprintf(stderr, "could not initialise GLEW for the tests\n");
        std::abort();
    }
    glGetError();  // GLEW's probing may leave an error behind
    glEnable(GL_DEBUG_OUTPUT);
    glEnable(GL_DEBUG_OUTPUT_SYNCHRONOUS);
    glDebugMessageCallback(onDebugMessage, nullptr);
}

}  // namespace

void GlTest::SetUp() {
    ensureContext();
    resetPlatform();
    recordedErrors.clear();
    errorsExpected_ = false;
}

void GlTest::TearDown() {
    resetPlatform();
    glFinish();
    while (GLenum error = glGetError()) {
        if (error == GL_NO_ERROR) break;
        recordedErrors.push_back("glGetError " + std::to_string(error));
    }
    if (!errorsExpected_) {
        for (const std::string& message : recordedErrors) ADD_FAILURE() << "GL error: " << message;
    }
}

const std::vector<std::string>& GlTest::glErrors() { return recordedErrors; }
