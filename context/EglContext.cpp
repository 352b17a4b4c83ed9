#include "context/EglContext.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/glew.h>

#include <cstdio>
#include <string>
#include <utility>

#include "core/FrameState.h"

namespace {

// Everything the tools' EGL context holds, in one place.
struct EglState {
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLContext context = EGL_NO_CONTEXT;
    EGLSurface pbuffer = EGL_NO_SURFACE;  // stands for the window
};

EglState state;

// Whether a space-separated extension list holds this name as a whole word.
bool hasExtension(const char* list, const std::string& name) {
    if (list == nullptr) return false;
    const std::string text = std::string(" ") + list + " ";
    return text.find(" " + name + " ") != std::string::npos;
}

std::string eglErrorText() {
    char text[32];
    std::snprintf(text, sizeof text, "EGL error 0x%04X", static_cast<unsigned>(eglGetError()));
    return text;
}

template <typename Function>
Function eglFunction(const char* name) {
    return reinterpret_cast<Function>(eglGetProcAddress(name));
}

// The devices that EGL_EXT_device_enumeration lists, as handles and as what they are.
struct EglDevices {
    std::vector<EGLDeviceEXT> handles;
    std::vector<EglDeviceInfo> info;
};

EglDevices enumerateDevices() {
    EglDevices devices;
    const char* client = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    if (!hasExtension(client, "EGL_EXT_device_enumeration") ||
        !hasExtension(client, "EGL_EXT_platform_device")) {
        return devices;
    }
    const auto queryDevices = eglFunction<PFNEGLQUERYDEVICESEXTPROC>("eglQueryDevicesEXT");
    const auto queryString = eglFunction<PFNEGLQUERYDEVICESTRINGEXTPROC>("eglQueryDeviceStringEXT");
    EGLint count = 0;
    if (queryDevices == nullptr || queryString == nullptr ||
        queryDevices(0, nullptr, &count) != EGL_TRUE || count <= 0) {
        return devices;
    }
    devices.handles.resize(static_cast<std::size_t>(count));
    if (queryDevices(count, devices.handles.data(), &count) != EGL_TRUE) return {};
    devices.handles.resize(static_cast<std::size_t>(count));
    for (EGLDeviceEXT device : devices.handles) {
        EglDeviceInfo& info = devices.info.emplace_back();
        const char* extensions = queryString(device, EGL_EXTENSIONS);
        info.software = hasExtension(extensions, "EGL_MESA_device_software");
        const char* file = nullptr;
        if (hasExtension(extensions, "EGL_EXT_device_drm_render_node")) {
            file = queryString(device, EGL_DRM_RENDER_NODE_FILE_EXT);
        }
        if (file == nullptr && hasExtension(extensions, "EGL_EXT_device_drm")) {
            file = queryString(device, EGL_DRM_DEVICE_FILE_EXT);
        }
        if (file != nullptr) info.file = file;
        eglGetError();  // a string the device does not have is no failure
    }
    return devices;
}

std::string describeDevice(const EglDevices& devices, int index) {
    const EglDeviceInfo& info = devices.info[static_cast<std::size_t>(index)];
    std::string text = "device " + std::to_string(index + 1) + " of " +
                       std::to_string(devices.info.size()) + ": " +
                       (info.software ? "software renderer" : "GPU");
    if (!info.file.empty()) text += ", " + info.file;
    return text;
}

// Initialises the display and makes a context current on it, with a pbuffer of the window's
// size and buffers (8-bit colour and alpha, 24-bit depth, 8-bit stencil, as GLFW asks of a
// window). Returns what went wrong, or nothing; on failure the display is left terminated.
std::optional<std::string> makeContextCurrent(EGLDisplay display, std::string& version) {
    if (display == EGL_NO_DISPLAY) return "no display (" + eglErrorText() + ")";
    EGLint major = 0;
    EGLint minor = 0;
    if (eglInitialize(display, &major, &minor) != EGL_TRUE) {
        return "eglInitialize failed (" + eglErrorText() + ")";
    }
    const auto fail = [display](std::string why) {
        eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        eglTerminate(display);
        return std::optional<std::string>(std::move(why));
    };
    if (eglBindAPI(EGL_OPENGL_API) != EGL_TRUE) return fail("no OpenGL (" + eglErrorText() + ")");
    const EGLint wanted[] = {EGL_RENDERABLE_TYPE,
                             EGL_OPENGL_BIT,
                             EGL_SURFACE_TYPE,
                             EGL_PBUFFER_BIT,
                             EGL_RED_SIZE,
                             8,
                             EGL_GREEN_SIZE,
                             8,
                             EGL_BLUE_SIZE,
                             8,
                             EGL_ALPHA_SIZE,
                             8,
                             EGL_DEPTH_SIZE,
                             24,
                             EGL_STENCIL_SIZE,
                             8,
                             EGL_NONE};
    EGLConfig config = nullptr;
    EGLint found = 0;
    if (eglChooseConfig(display, wanted, &config, 1, &found) != EGL_TRUE || found < 1) {
        return fail(
            "no pbuffer configuration for OpenGL with 8-bit RGBA, 24-bit depth and 8-bit "
            "stencil");
    }
    const EGLint size[] = {EGL_WIDTH, kWindowWidth, EGL_HEIGHT, kWindowHeight, EGL_NONE};
    const EGLSurface pbuffer = eglCreatePbufferSurface(display, config, size);
    if (pbuffer == EGL_NO_SURFACE) {
        return fail("no pbuffer of " + std::to_string(kWindowWidth) + " x " +
                    std::to_string(kWindowHeight) + " (" + eglErrorText() + ")");
    }
    // No version asked for, as the demo's window asks for none: the driver's newest
    // compatibility-profile context.
    const EGLint attributes[] = {EGL_NONE};
    const EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, attributes);
    if (context == EGL_NO_CONTEXT) return fail("no OpenGL context (" + eglErrorText() + ")");
    if (eglMakeCurrent(display, pbuffer, pbuffer, context) != EGL_TRUE) {
        return fail("the context cannot be made current (" + eglErrorText() + ")");
    }
    state.display = display;
    state.context = context;
    state.pbuffer = pbuffer;
    const char* vendor = eglQueryString(display, EGL_VENDOR);
    version = "EGL " + std::to_string(major) + "." + std::to_string(minor) + " from " +
              (vendor != nullptr ? vendor : "an unnamed vendor");
    return std::nullopt;
}

}  // namespace

std::optional<std::string> openEglContext(ContextRequest request, ContextInfo& info) {
    const char* client = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    const bool surfaceless = hasExtension(client, "EGL_MESA_platform_surfaceless");
    const EglDevices devices = enumerateDevices();
    const auto getPlatformDisplay =
        eglFunction<PFNEGLGETPLATFORMDISPLAYEXTPROC>("eglGetPlatformDisplayEXT");

    std::vector<std::string> failures;
    if (client == nullptr) {
        failures.emplace_back("no EGL library answers (" + eglErrorText() + ")");
    } else if (getPlatformDisplay == nullptr) {
        failures.emplace_back("EGL has no eglGetPlatformDisplayEXT (EGL_EXT_platform_base)");
    }
    const bool wantsDevice = request != ContextRequest::Surfaceless;
    const bool wantsSurfaceless =
        request == ContextRequest::Surfaceless || request == ContextRequest::Egl;
    if (client != nullptr && wantsDevice && devices.info.empty()) {
        failures.emplace_back("EGL lists no devices (EGL_EXT_platform_device)");
    }
    if (client != nullptr && wantsSurfaceless && !surfaceless) {
        failures.emplace_back("EGL has no surfaceless platform (EGL_MESA_platform_surfaceless)");
    }
    if (request == ContextRequest::Gpu && !devices.info.empty()) {
        bool anyGpu = false;
        std::string listed;
        for (std::size_t i = 0; i < devices.info.size(); ++i) {
            anyGpu = anyGpu || !devices.info[i].software;
            listed += i == 0 ? "" : ", ";
            listed += describeDevice(devices, static_cast<int>(i));
        }
        if (!anyGpu) failures.emplace_back("no EGL device is a GPU (" + listed + ")");
    }

    if (getPlatformDisplay != nullptr) {
        for (const EglAttempt& attempt : planEglAttempts(request, devices.info, surfaceless)) {
            const bool device = attempt.origin == ContextOrigin::EglDevice;
            const EGLDisplay display =
                device ? getPlatformDisplay(
                             EGL_PLATFORM_DEVICE_EXT,
                             devices.handles[static_cast<std::size_t>(attempt.device)], nullptr)
                       : getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA,
                                            reinterpret_cast<void*>(EGL_DEFAULT_DISPLAY), nullptr);
            const std::string name =
                device ? describeDevice(devices, attempt.device) : std::string("surfaceless");
            std::string version;
            if (const std::optional<std::string> why = makeContextCurrent(display, version)) {
                failures.push_back(name + ": " + *why);
                continue;
            }
            info.origin = attempt.origin;
            info.detail = device ? name + "; " : std::string();
            info.detail += version;
            return std::nullopt;
        }
    }
    std::string why;
    for (std::size_t i = 0; i < failures.size(); ++i) {
        why += i == 0 ? "" : "; ";
        why += failures[i];
    }
    if (why.empty()) why = "no platform to try";
    return why;
}

std::vector<EglAttempt> planEglAttempts(ContextRequest request,
                                        const std::vector<EglDeviceInfo>& devices,
                                        bool surfacelessOffered) {
    std::vector<EglAttempt> attempts;
    const bool gpus = request == ContextRequest::Egl || request == ContextRequest::Device ||
                      request == ContextRequest::Gpu;
    const bool surfaceless = surfacelessOffered && (request == ContextRequest::Egl ||
                                                    request == ContextRequest::Surfaceless);
    const bool softwareDevices =
        request == ContextRequest::Egl || request == ContextRequest::Device;
    const auto addDevices = [&](bool software) {
        for (std::size_t i = 0; i < devices.size(); ++i) {
            if (devices[i].software == software) {
                attempts.push_back({ContextOrigin::EglDevice, static_cast<int>(i)});
            }
        }
    };
    if (gpus) addDevices(false);
    if (surfaceless) attempts.push_back({ContextOrigin::EglSurfaceless, -1});
    if (softwareDevices) addDevices(true);
    return attempts;
}

FramebufferSize eglSurfaceSize() {
    EGLint width = 0;
    EGLint height = 0;
    eglQuerySurface(state.display, state.pbuffer, EGL_WIDTH, &width);
    eglQuerySurface(state.display, state.pbuffer, EGL_HEIGHT, &height);
    return FramebufferSize{width, height};
}

bool eglContextCurrent() { return eglGetCurrentContext() != EGL_NO_CONTEXT; }

void presentOffscreenFrame() {
    // Each frame is finished before the next one begins, as a window's swap does on a software
    // rasteriser: a pbuffer's swap does nothing, and a frame left running would overlap the
    // next, so that the time measured for a frame would be partly its neighbour's.
    glFinish();
}

std::vector<unsigned char> readWindowPicture() {
    std::vector<unsigned char> pixels(static_cast<std::size_t>(kWindowWidth) * kWindowHeight * 3);
    // The buffer the post pass drew into: the window's back buffer, or the pbuffer's.
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    GLint drawn = GL_BACK;
    glGetIntegerv(GL_DRAW_BUFFER, &drawn);
    glReadBuffer(static_cast<GLenum>(drawn));
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, kWindowWidth, kWindowHeight, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

void closeEglContext() {
    if (state.context == EGL_NO_CONTEXT) return;
    eglMakeCurrent(state.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglDestroySurface(state.display, state.pbuffer);
    eglDestroyContext(state.display, state.context);
    eglTerminate(state.display);
    eglReleaseThread();
    state = EglState{};
}
