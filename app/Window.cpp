#include "app/Window.h"

#include <GL/glew.h>
#include <GLFW/glfw3.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "core/FrameState.h"
#include "core/Platform.h"
#include "render/Capabilities.h"

const std::string appTitle = "Pelk";

namespace {

std::string glString(GLenum name) {
    const auto* text = reinterpret_cast<const char*>(glGetString(name));
    return text != nullptr ? text : "unknown";
}

void (*closeAtStartUpEnd)() = nullptr;

// GLFW's last complaint, to say why a window was not made.
std::string glfwComplaint;

void keepComplaint(int, const char* description) {
    glfwComplaint = description != nullptr ? description : "";
}

}  // namespace

void onStartUpEnd(void (*close)()) { closeAtStartUpEnd = close; }

void endStartUp(int exitCode) {
    std::fflush(stdout);
    if (closeAtStartUpEnd != nullptr) closeAtStartUpEnd();
    glfwTerminate();
    std::exit(exitCode);
}

std::optional<std::string> openWindow(bool visible) {
    glfwSetErrorCallback(keepComplaint);
    glfwComplaint.clear();
    glfwInit();
    if (!visible) glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
    appWindow = glfwCreateWindow(kWindowWidth, kWindowHeight, appTitle.c_str(), nullptr, nullptr);
    if (appWindow == nullptr) {
        glfwTerminate();
        return glfwComplaint.empty() ? "GLFW made no window" : glfwComplaint;
    }
    glfwMakeContextCurrent(appWindow);
    // Keys are read once a frame; sticky keys keep a tap shorter than a frame until it is read,
    // so that a quick press of F, Q or O is not lost when frames are slow.
    glfwSetInputMode(appWindow, GLFW_STICKY_KEYS, GLFW_TRUE);
    return std::nullopt;
}

void initWindow() {
    if (openWindow(true)) {
        std::printf("Could not initialize GLFW-Context");
        std::fflush(stdout);
        std::exit(-10);
    }
    initGl(GlewContext::GlxWindow);
}

void initGl(GlewContext context) {
    const GLenum result = glewInit();
    // GLEW looks for GLX after loading GL's entry points; a context made through EGL has none.
    const bool expected = context == GlewContext::WithoutGlx && result == GLEW_ERROR_NO_GLX_DISPLAY;
    if (result != GLEW_OK && !expected) {
        std::cerr << reinterpret_cast<const char*>(glewGetErrorString(result));
        std::printf("Could not initialize GLEW-Context.");
        std::fflush(stdout);
        std::exit(static_cast<int>(result));
    }
    GLint maxVertexAttribs = 0;
    glGetIntegerv(GL_MAX_VERTEX_ATTRIBS, &maxVertexAttribs);
    std::printf("GL_MAX_VERTEX_ATTRIBS:%d\n", maxVertexAttribs);
    // A driver without what the stage files and passes use would only show a white window.
    const std::vector<std::string> missing = missingCapabilities(queryGlCapabilities());
    if (!missing.empty()) {
        std::printf(
            "%s\n",
            capabilityRefusal(glString(GL_RENDERER), glString(GL_VERSION), missing).c_str());
        endStartUp(kExitGlLacksFeatures);
    }
}
