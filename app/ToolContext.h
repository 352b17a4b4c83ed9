#pragma once

#include <optional>
#include <string>
#include <vector>

// The GL context of the tools (pelk-capture and pelk-bench). Where an X display opens they use
// the demo's own window, hidden; without one, or when asked, they make a context through EGL
// and no window at all: on a device of EGL_EXT_platform_device (a GPU where one is present) or
// on Mesa's surfaceless platform. There the window's picture goes to an off-screen surface of
// the window's size and buffers (an EGL pbuffer) instead: it is the context's default
// framebuffer, so the demo's frame code, the post pass included, runs unchanged. (A framebuffer
// object would do too, but Mesa draws into a window's or a pbuffer's framebuffer upside down
// internally and into a framebuffer object the right way up, and the post pass's full-screen
// quad then interpolates its inputs differently in the last bit: a few pixels of every picture
// would differ by one.)

// Where the context came from.
enum class ContextOrigin { GlxWindow, EglSurfaceless, EglDevice };
// "GLX window", "EGL surfaceless" or "EGL device": the words of the tools' console and JSON.
const char* contextOriginName(ContextOrigin origin);

// What the tools' --context option asks for.
enum class ContextRequest {
    Auto,         // a hidden window where an X display opens, else Egl
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

// One EGL device as the enumeration reports it.
struct EglDeviceInfo {
    bool software = false;  // a software renderer (EGL_MESA_device_software)
    std::string file;       // its DRM render node or device file, where it names one
};

// One way to make an EGL context: a platform, and for a device its index in the enumeration.
struct EglAttempt {
    ContextOrigin origin = ContextOrigin::EglSurfaceless;
    int device = -1;
};
// The platforms an EGL request tries, in order, until one gives a context: GPUs (devices that
// are no software renderer) in the enumeration's order, then surfaceless where the EGL library
// offers it, then the software renderers' devices; each request takes its part of that list.
// Empty for Auto and Glx.
std::vector<EglAttempt> planEglAttempts(ContextRequest request,
                                        const std::vector<EglDeviceInfo>& devices,
                                        bool surfacelessOffered);

// The context in use.
struct ContextInfo {
    ContextOrigin origin = ContextOrigin::GlxWindow;
    // Which display or device: "DISPLAY :99", "EGL 1.5 from Mesa Project", "device 1 of 2:
    // GPU, /dev/dri/renderD128; EGL 1.5 from NVIDIA".
    std::string detail;
};
// The context that openToolContext() made.
const ContextInfo& toolContext();
// The origin and its detail for the console: "EGL device (device 1 of 1: software renderer;
// EGL 1.5 from Mesa Project)".
std::string contextDescription(const ContextInfo& info);

// Start-up step 1 of the tools, in place of initWindow(): the context asked for, GLEW (whose
// "no GLX display" is expected without a window), the first start-up line and the check of what
// the driver offers. Ends the process as initWindow() does: -10 when no context can be made
// (without a window, after one line that says what each platform tried answered), GLEW's error
// code, or kExitGlLacksFeatures.
void openToolContext(ContextRequest request, bool hiddenWindow);

// Frame step 10 without a window: the frame is sent to the driver, and the program waits until
// the frame before it is done, as a window's swap chain would let it run one frame ahead.
void presentOffscreenFrame();
// The picture of the frame just drawn, before it is presented, from the buffer that the post
// pass drew into (the window's back buffer, or the pbuffer's): 1024 x 768 RGB bytes, bottom row
// first.
std::vector<unsigned char> readWindowPicture();
// At shutdown, after the last GL call: the EGL context and its pbuffer go, where there are any.
void closeToolContext();
