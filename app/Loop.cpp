#include "app/Loop.h"

#include <GL/glew.h>
#include <GLFW/glfw3.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/Input.h"
#include "app/Overlay.h"
#include "camera/Camera.h"
#include "context/EglContext.h"
#include "core/Platform.h"
#include "render/PassTimer.h"
#include "render/PostProcessPass.h"
#include "render/Programs.h"
#include "render/ReflectionPass.h"
#include "render/ScenePass.h"
#include "render/ShadowPass.h"
#include "render/Targets.h"
#include "scene/Animation.h"
#include "scene/Assembly.h"
#include "scene/Scene.h"

void startUp() {
    createPrograms();
    assembleScene();
    mainCamera.aspectRatio = 4.0f / 3.0f;
    lookUpUniforms();
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    mainCamera.aspectRatio = 4.0f / 3.0f;
    // With no colour format that the driver renders into, nothing could be drawn.
    if (!createTargets()) endStartUp(kExitNoRenderableFormat);
    setConstantUniforms();
    loop.oldViewProjection = glm::mat4(1.0f);
    mainCamera.position = glm::vec3(20.5f, 2.2f, 8.0f);
    mainCamera.setAngles(20.5f, 256.0f);
    setupAnimations();
}

std::optional<std::string> frameRateTitle(double currentTime) {
    if (!loop.showFps) return appTitle;
    if (!(loop.lastTitleTime + 0.3 < currentTime || currentTime < 0.3)) return std::nullopt;
    // Two titles at the same clock value (a coarse clock below 0.3 s) have no elapsed time to
    // divide by; they show a rate of 0 rather than "inf" or "nan".
    const double elapsed = currentTime - loop.lastTitleTime;
    const double rate = elapsed > 0.0 ? loop.frameCount / elapsed : 0.0;
    char title[256];
    std::snprintf(title, sizeof title, "%s FPS: %f", appTitle.c_str(), rate);
    loop.lastTitleTime = currentTime;
    loop.frameCount = 0;
    return std::string(title);
}

void renderFrame(double currentTime) {
    loop.currentTime = currentTime;
    // Without a window (the tools on EGL) the title is kept in the books all the same.
    const std::optional<std::string> title = frameRateTitle(currentTime);
    if (title && appWindow != nullptr) glfwSetWindowTitle(appWindow, title->c_str());

    // Input: the camera, the light and the switches move by the time since the last frame.
    loop.deltaTime = static_cast<float>(static_cast<float>(currentTime) - loop.previousTime);
    handleInput(loop.deltaTime);
    loop.previousTime = currentTime;

    // The light's cubes: bound and cleared around the light as the input left it; then the
    // timeline moves the objects and the camera; then the objects are drawn as it left them.
    beginPass(PassId::Shadow);
    beginShadowPass();
    animationStep(currentTime);
    drawShadowCasters();
    endPass(PassId::Shadow);

    beginPass(PassId::Reflection);
    renderReflectionPass();
    endPass(PassId::Reflection);

    // Taken after the animation step has flown the camera: the matrix the scene pass draws
    // with, so that the flare and the blur of the post pass match the picture (and the next
    // frame blurs against it).
    loop.viewProjection = mainCamera.viewProjectionMatrix();

    // The wireframe switch is for the scene image only: the other passes fill their polygons.
    glPolygonMode(GL_FRONT_AND_BACK, loop.wireframe ? GL_LINE : GL_FILL);
    beginPass(PassId::Scene);
    renderScenePass();
    endPass(PassId::Scene);

    beginPass(PassId::Post);
    runPostProcessPass(loop.viewProjection, loop.oldViewProjection, loop.deltaTime);
    endPass(PassId::Post);
    loop.oldViewProjection = loop.viewProjection;
}

void advanceTimeline(double from, double to, double step,
                     const std::function<void(double)>& setClock) {
    if (!(step > 0.0)) return;
    double k = std::max(0.0, std::floor(from / step));
    while (k * step <= from + kSameMoment) k += 1.0;
    // Each moment is formed from k, not summed, so that rounding does not pile up.
    while (k * step < to - kSameMoment) {
        playTimelineFrame(k * step, setClock);
        k += 1.0;
    }
}

void playTimelineFrame(double moment, const std::function<void(double)>& setClock) {
    setClock(moment);
    animationStep(moment);
    loop.previousTime = moment;
}

void presentFrame() {
    if (appWindow != nullptr) {
        glfwSwapBuffers(appWindow);
        glfwPollEvents();
    } else {
        presentOffscreenFrame();
    }
    loop.frameCount += 1;
}

bool frameLoopShouldEnd() {
    if (keyDown(GLFW_KEY_ESCAPE)) return true;
    return glfwWindowShouldClose(appWindow) != 0;
}

bool windowMinimised() {
    return appWindow != nullptr && glfwGetWindowAttrib(appWindow, GLFW_ICONIFIED) != 0;
}

void runFrameLoop() {
    do {
        // Frames that nobody sees are not drawn: a minimised demo waits for the events that
        // restore or close its window.
        if (windowMinimised()) {
            glfwWaitEventsTimeout(kMinimisedWaitSeconds);
            continue;
        }
        // The overlay and the views come after the post pass, on the window only.
        beginOverlayFrame();
        renderFrame(readClock());
        finishOverlayFrame();
        presentFrame();
    } while (!frameLoopShouldEnd());
}

void shutDown() {
    glDeleteBuffers(1, &targets.quadBuffer);
    closeOverlay();
    closeEglContext();
    glfwTerminate();
    releaseAnimations();
}
