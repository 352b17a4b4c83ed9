#pragma once

#include <optional>
#include <string>
#include <vector>

#include "context/ContextChoice.h"
#include "core/Platform.h"

// The tools' GL context without a window: through EGL, on a device of EGL_EXT_platform_device
// (a GPU where one is present) or on Mesa's surfaceless platform. There the window's picture
// goes to an off-screen surface of the window's size and buffers (an EGL pbuffer) instead: it is
// the context's default framebuffer, so the demo's frame code, the post pass included, runs
// unchanged. (A framebuffer object would do too, but Mesa draws into a window's or a pbuffer's
// framebuffer upside down internally and into a framebuffer object the right way up, and the
// post pass's full-screen quad then interpolates its inputs differently in the last bit: a few
// pixels of every picture would differ by one.)

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

// Tries the platforms that the request allows, in order, until one gives a context with a
// pbuffer of the window's size, and makes it current; `info` then says which. Otherwise what
// each platform answered, joined by "; ", and nothing is left open.
std::optional<std::string> openEglContext(ContextRequest request, ContextInfo& info);
// The pbuffer's size: the framebuffer seam's answer while the EGL context is in use.
FramebufferSize eglSurfaceSize();
// Whether an EGL context is current on this thread.
bool eglContextCurrent();

// Frame step 10 without a window: the frame is sent to the driver, and the program waits until
// the frame before it is done, as a window's swap chain would let it run one frame ahead.
void presentOffscreenFrame();
// The picture of the frame just drawn, before it is presented, from the buffer that the post
// pass drew into (the window's back buffer, or the pbuffer's): 1024 x 768 RGB bytes, bottom row
// first.
std::vector<unsigned char> readWindowPicture();
// At shutdown, after the last GL call: the EGL context and its pbuffer go, where there are any.
void closeEglContext();
