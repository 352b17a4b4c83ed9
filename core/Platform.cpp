#include "core/Platform.h"

#include <GL/glew.h>
#include <GLFW/glfw3.h>

#include "core/FrameState.h"

GLFWwindow* appWindow = nullptr;

namespace {

Platform makeDefaultPlatform() {
    Platform p;
    p.clock = [] { return glfwGetTime(); };
    p.keyDown = [](int key) { return appWindow && glfwGetKey(appWindow, key) == GLFW_PRESS; };
    p.glVersion = [] { return reinterpret_cast<const char*>(glGetString(GL_VERSION)); };
    p.framebufferSize = [] {
        FramebufferSize size{kWindowWidth, kWindowHeight};
        if (appWindow != nullptr) glfwGetFramebufferSize(appWindow, &size.width, &size.height);
        return size;
    };
    p.glContextCurrent = [] { return glfwGetCurrentContext() != nullptr; };
    return p;
}

Platform currentPlatform = makeDefaultPlatform();

}  // namespace

Platform& platform() { return currentPlatform; }

void resetPlatform() { currentPlatform = makeDefaultPlatform(); }

double readClock() { return currentPlatform.clock(); }

bool keyDown(int key) { return currentPlatform.keyDown(key); }

FramebufferSize readFramebufferSize() { return currentPlatform.framebufferSize(); }

bool glContextCurrent() { return currentPlatform.glContextCurrent(); }

bool glVersionAtLeast4() {
    const char* version = currentPlatform.glVersion();
    return version != nullptr && static_cast<unsigned char>(version[0]) >= '4';
}
