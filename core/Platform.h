#pragma once

#include <functional>

struct GLFWwindow;

// A framebuffer's size in pixels.
struct FramebufferSize {
    int width = 0;
    int height = 0;
};

// The program's window; every GLFW call of the demo uses it. Null until initWindow().
extern GLFWwindow* appWindow;

// Everything that reaches the outside world goes through these seams, so that tests and
// tools can present their own clock, keys and driver.
struct Platform {
    std::function<double()> clock;           // seconds since glfwInit (glfwGetTime)
    std::function<bool(int key)> keyDown;    // GLFW key code -> held in this frame
    std::function<const char*()> glVersion;  // the GL_VERSION string
    // The window's framebuffer (glfwGetFramebufferSize): the window's size, or twice it on a
    // scaled screen; 0 x 0 while minimised. The tools without a window: their pbuffer's size.
    std::function<FramebufferSize()> framebufferSize;
    // Whether a GL context is current on this thread (glfwGetCurrentContext, or EGL's where the
    // tools draw without a window).
    std::function<bool()> glContextCurrent;
};

// The seams in use. Call resetPlatform() to go back to GLFW and GL.
Platform& platform();
void resetPlatform();

// Reads the clock seam.
double readClock();
// Asks the key seam whether a key (GLFW key code) is held.
bool keyDown(int key);
// Asks the framebuffer seam for the window's size in pixels.
FramebufferSize readFramebufferSize();
// Asks the context seam whether GL may be called.
bool glContextCurrent();
// The version test shared by the shader loader and draw(): the first byte of the GL_VERSION
// string is '4' or greater. A missing string fails the test.
bool glVersionAtLeast4();
