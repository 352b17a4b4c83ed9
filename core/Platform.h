#pragma once

#include <functional>

struct GLFWwindow;

// The program's window; every GLFW call of the demo uses it. Null until initWindow().
extern GLFWwindow* appWindow;

// Everything that reaches the outside world goes through these seams, so that tests and
// tools can present their own clock, keys and driver.
struct Platform {
    std::function<double()> clock;           // seconds since glfwInit (glfwGetTime)
    std::function<bool(int key)> keyDown;    // GLFW key code -> held in this frame
    std::function<const char*()> glVersion;  // the GL_VERSION string
};

// The seams in use. Call resetPlatform() to go back to GLFW and GL.
Platform& platform();
void resetPlatform();

// Reads the clock seam.
double readClock();
// Asks the key seam whether a key (GLFW key code) is held.
bool keyDown(int key);
// The version test shared by the shader loader and draw(): the first byte of the GL_VERSION
// string is '4' or greater. A missing string fails the test.
bool glVersionAtLeast4();
