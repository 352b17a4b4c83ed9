#pragma once

#include <functional>
#include <optional>
#include <string>

// Where the tools (pelk-capture and pelk-bench) get their GL context: the demo's own window,
// hidden, where an X display gives one, or an EGL context without any window (EglContext.h).
// The demo itself always opens its window.

// Where the context came from.
enum class ContextOrigin { GlxWindow, EglSurfaceless, EglDevice };
// "GLX window", "EGL surfaceless" or "EGL device": the words of the tools' console and JSON.
const char* contextOriginName(ContextOrigin origin);

// What the tools' --context option asks for.
enum class ContextRequest {
    Auto,         // a hidden window where an X display answers and gives one, else Egl
    Glx,          // a hidden window on the X display
    Egl,          // a GPU device, else surfaceless, else a software device
    Surfaceless,  // Mesa's surfaceless platform
    Device,       // a device: a GPU first, else a software renderer's
    Gpu,          // a device that is not a software renderer
};
// Reads "auto", "glx", "egl", "surfaceless", "device" or "gpu"; nothing for anything else.
std::optional<ContextRequest> parseContextRequest(const std::string& text);
// The choices, for usage texts and refusals.
inline constexpr const char* kContextChoices = "auto, glx, egl, surfaceless, device or gpu";

// The context in use.
struct ContextInfo {
    ContextOrigin origin = ContextOrigin::GlxWindow;
    // Which display or device: "DISPLAY :99", "EGL 1.5 from Mesa Project", "device 1 of 2:
    // GPU, /dev/dri/renderD128; EGL 1.5 from NVIDIA".
    std::string detail;
};
// The origin and its detail for the console: "EGL device (device 1 of 1: software renderer;
// EGL 1.5 from Mesa Project)".
std::string contextDescription(const ContextInfo& info);

// How long a tool waits for the X server of DISPLAY to answer before it counts as gone: a
// server that is stopped, or hangs, would otherwise hold the tool for good in its first
// request. A working server answers within milliseconds, a remote one within a second or two.
inline constexpr double kXServerPatienceSeconds = 5.0;

// What the X server of DISPLAY answered when a connection was tried.
struct XServerAnswer {
    enum class Kind {
        NoDisplay,  // DISPLAY is not set: nothing was tried
        Answers,
        Refuses,  // no connection, or GLFW could not start on it
        Silent,   // no answer within the patience
    } kind = Kind::NoDisplay;
    std::string why;  // for Refuses and Silent: what went wrong, in words
};
// Connects to the X server of DISPLAY in a child process (GLFW's own start-up), so that a
// server that never answers costs `patienceSeconds` at most and leaves this process untouched.
XServerAnswer askXServer(double patienceSeconds);

// The steps a choice is made of; the tools pass the real ones, the tests their own.
struct ContextSteps {
    std::function<XServerAnswer()> askXServer;
    // Opens the hidden window and makes its context current; what went wrong otherwise.
    std::function<std::optional<std::string>()> openWindow;
    // Makes an EGL context current for the request; what each platform answered otherwise.
    std::function<std::optional<std::string>(ContextRequest)> openEgl;
};

// What the choice came to.
struct ContextChoice {
    bool made = false;  // a context is current
    bool window = false;
    // Why the window was not used under Auto with an X display ("the X server of DISPLAY :5
    // does not answer ..."), for one line on the console; empty otherwise.
    std::string instead;
    // Without a context: the one line that says why (no newline).
    std::string failure;
};

// Makes the context that the request asks for:
//   Glx: the window, once the X server answers; no fallback.
//   Auto: the window where the X server answers and gives one; else, and without DISPLAY,
//         EGL as for Egl (`instead` says why the window was not used).
//   the others: EGL on the platforms that the request allows.
ContextChoice chooseContext(ContextRequest request, const ContextSteps& steps);
