#pragma once

#include <optional>
#include <string>

// The demo's window and the GL start-up on it, which the tools' contexts share.

extern const std::string appTitle;  // "Pelk"

// Exit codes of start-up failures besides GLFW's (-10) and GLEW's (its error code).
inline constexpr int kExitGlLacksFeatures = -11;     // the driver lacks what the demo needs
inline constexpr int kExitNoRenderableFormat = -12;  // no float colour format can be drawn into

// Start-up step 1: GLFW, the 1024 x 768 window, GLEW, then what the driver offers. Ends the
// process on failure: -10 without a window, GLEW's error code, or kExitGlLacksFeatures after
// one line naming the renderer, its version and what it lacks.
void initWindow();
// The first part of it: GLFW and the window (shown or not), its context made current. What
// went wrong otherwise (GLFW's own words, "X11: Failed to open display :5"), GLFW then ended.
std::optional<std::string> openWindow(bool visible);
// What GLEW is initialised on: a GLX window's context, or one made without GLX (through EGL),
// where GLEW loads GL's entry points and then reports that it finds no GLX display.
enum class GlewContext { GlxWindow, WithoutGlx };
// The rest of start-up step 1, once a context is current: GLEW, the "GL_MAX_VERTEX_ATTRIBS:"
// line, then what the driver offers. Ends the process as initWindow() does. Without GLX, GLEW's
// GLEW_ERROR_NO_GLX_DISPLAY is no failure; any other GLEW error is.
void initGl(GlewContext context);

// Ends the process at start-up, what went wrong having been said: flushes the output, closes
// a context that was not made through GLFW (see onStartUpEnd), then GLFW.
[[noreturn]] void endStartUp(int exitCode);
// What endStartUp() runs before GLFW is terminated: the tools' EGL context registers its own
// closing here. Nothing by default.
void onStartUpEnd(void (*close)());
