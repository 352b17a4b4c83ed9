#include "app/ToolContext.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/Window.h"
#include "context/EglContext.h"
#include "core/Platform.h"

namespace {

// Exit code when no context can be made: the same as for a window that cannot be opened.
constexpr int kExitNoContext = -10;

ContextInfo info;

}  // namespace

const ContextInfo& toolContext() { return info; }

void openToolContext(ContextRequest request, bool hiddenWindow, const char* program) {
    ContextSteps steps;
    steps.askXServer = [] { return askXServer(kXServerPatienceSeconds); };
    steps.openWindow = [hiddenWindow] { return openWindow(!hiddenWindow); };
    steps.openEgl = [](ContextRequest eglRequest) { return openEglContext(eglRequest, info); };
    const ContextChoice choice = chooseContext(request, steps);
    if (!choice.made) {
        std::fprintf(stderr, "%s\n", choice.failure.c_str());
        endStartUp(kExitNoContext);
    }
    if (!choice.instead.empty()) {
        std::fprintf(stderr, "%s: no window (%s); drawing through EGL instead\n", program,
                     choice.instead.c_str());
    }
    if (choice.window) {
        const char* display = std::getenv("DISPLAY");
        info = {ContextOrigin::GlxWindow,
                std::string("DISPLAY ") + (display != nullptr ? display : "")};
        initGl(GlewContext::GlxWindow);
        return;
    }
    onStartUpEnd(closeEglContext);
    platform().glContextCurrent = eglContextCurrent;
    platform().framebufferSize = eglSurfaceSize;
    initGl(GlewContext::WithoutGlx);
}
