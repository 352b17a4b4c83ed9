#include "app/Loop.h"

#include <GL/glew.h>
#include <GLFW/glfw3.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "app/Platform.h"
#include "camera/Camera.h"

LoopState loop;
const std::string appTitle = "Pelk";

void initWindow() {
    glfwInit();
    appWindow = glfwCreateWindow(kWindowWidth, kWindowHeight, appTitle.c_str(), nullptr, nullptr);
    if (appWindow == nullptr) {
        glfwTerminate();
        std::printf("Could not initialize GLFW-Context");
        std::fflush(stdout);
        std::exit(-10);
    }
    glfwMakeContextCurrent(appWindow);
    const GLenum result = glewInit();
    if (result != GLEW_OK) {
        std::cerr << reinterpret_cast<const char*>(glewGetErrorString(result));
        std::printf("Could not initialize GLEW-Context.");
        std::fflush(stdout);
        std::exit(static_cast<int>(result));
    }
    GLint maxVertexAttribs = 0;
    glGetIntegerv(GL_MAX_VERTEX_ATTRIBS, &maxVertexAttribs);
    std::printf("GL_MAX_VERTEX_ATTRIBS:%d\n", maxVertexAttribs);
}

void startUp() {
    mainCamera.aspectRatio = 4.0f / 3.0f;
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    mainCamera.aspectRatio = 4.0f / 3.0f;
    loop.oldViewProjection = glm::mat4(1.0f);
    mainCamera.position = glm::vec3(20.5f, 2.2f, 8.0f);
    mainCamera.setAngles(20.5f, 256.0f);
    loop.previousTime = readClock();
    loop.wireframe = false;
}

std::optional<std::string> frameRateTitle(double currentTime) {
    if (!loop.showFps) return appTitle;
    if (!(loop.lastTitleTime + 0.3 < currentTime || currentTime < 0.3)) return std::nullopt;
    char title[256];
    std::snprintf(title, sizeof title, "%s FPS: %f", appTitle.c_str(),
                  loop.frameCount / (currentTime - loop.lastTitleTime));
    loop.lastTitleTime = currentTime;
    loop.frameCount = 0;
    return std::string(title);
}

void renderFrame(double currentTime) {
    loop.currentTime = currentTime;
    if (auto title = frameRateTitle(currentTime)) glfwSetWindowTitle(appWindow, title->c_str());

    loop.deltaTime = static_cast<float>(static_cast<float>(currentTime) - loop.previousTime);
    loop.previousTime = currentTime;

    loop.viewProjection = mainCamera.viewProjectionMatrix();

    if (loop.wireframe) glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);

    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glViewport(0, 0, kWindowWidth, kWindowHeight);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    loop.oldViewProjection = loop.viewProjection;
}

void presentFrame() {
    glfwSwapBuffers(appWindow);
    glfwPollEvents();
    loop.frameCount += 1;
}

bool frameLoopShouldEnd() {
    if (keyDown(GLFW_KEY_ESCAPE)) return true;
    return glfwWindowShouldClose(appWindow) != 0;
}

void runFrameLoop() {
    do {
        renderFrame(readClock());
        presentFrame();
    } while (!frameLoopShouldEnd());
}

void shutDown() { glfwTerminate(); }
