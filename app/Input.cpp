#include "app/Input.h"

#include <GLFW/glfw3.h>

#include <array>
#include <bitset>
#include <cstddef>
#include <glm/glm.hpp>
#include <iostream>

#include "app/Loop.h"
#include "camera/Camera.h"
#include "core/Platform.h"
#include "scene/Scene.h"

InputState input;

namespace {

constexpr float kCameraSpeed = 20.0f;  // units per second
constexpr float kTurnFactor = 5.0f;    // turning is kCameraSpeed x 5 = 100 degrees per second
constexpr float kLightFactor = 1.2f;   // the light moves at 1.2 times the camera's factors

// Every key the controls use, read once at the top of each frame.
constexpr std::array<int, 18> kControlKeys = {
    GLFW_KEY_W, GLFW_KEY_S, GLFW_KEY_J, GLFW_KEY_L, GLFW_KEY_I,    GLFW_KEY_K,
    GLFW_KEY_A, GLFW_KEY_D, GLFW_KEY_Y, GLFW_KEY_X, GLFW_KEY_C,    GLFW_KEY_V,
    GLFW_KEY_F, GLFW_KEY_Q, GLFW_KEY_O, GLFW_KEY_H, GLFW_KEY_LEFT, GLFW_KEY_RIGHT};

// The keys down in this frame. With sticky keys a tap between two frames reads as down once,
// at its first read; reading every key each frame, whether the chain below gets to it or not,
// uses up a tap made while an earlier key of the chain was held, as a press and release within
// those frames would be, instead of carrying it over to a later frame.
class KeysThisFrame {
public:
    KeysThisFrame() {
        for (int key : kControlKeys) down_.set(static_cast<std::size_t>(key), keyDown(key));
    }
    bool operator()(int key) const { return down_.test(static_cast<std::size_t>(key)); }

private:
    std::bitset<GLFW_KEY_LAST + 1> down_;
};

// The light is element 0 of the scene; before the scene exists there is nothing to move.
void moveLight(glm::vec3 offset) {
    if (scene.sceneObjects.empty()) return;
    SceneObject& light = lightCube();
    light.setPosition(light.position + offset);
}

}  // namespace

void handleInput(float deltaTime) {
    // Every "else if" below lets the first key of a pair win when both are held.
    const glm::vec3 forward = mainCamera.forward();
    const glm::vec3 right = mainCamera.right();
    const float step = deltaTime * kCameraSpeed;
    const KeysThisFrame down;

    if (down(GLFW_KEY_W)) {
        mainCamera.position += forward * step;
    } else if (down(GLFW_KEY_S)) {
        mainCamera.position += -forward * step;
    }

    if (down(GLFW_KEY_J)) {
        moveLight(-((right * kLightFactor) * deltaTime * kCameraSpeed));
    } else if (down(GLFW_KEY_L)) {
        moveLight((right * kLightFactor) * deltaTime * kCameraSpeed);
    }

    if (down(GLFW_KEY_I)) {
        moveLight((forward * kLightFactor) * deltaTime * lightForwardSpeed);
    } else if (down(GLFW_KEY_K)) {
        moveLight(-((forward * kLightFactor) * deltaTime * lightForwardSpeed));
    }

    if (down(GLFW_KEY_A)) {
        mainCamera.position += -right * step;
    } else if (down(GLFW_KEY_D)) {
        mainCamera.position += right * step;
    }

    if (down(GLFW_KEY_Y)) {
        mainCamera.position += glm::vec3(0.0f, -step, 0.0f);
    } else if (down(GLFW_KEY_X)) {
        mainCamera.position += glm::vec3(0.0f, step, 0.0f);
    }

    // Tilting and the three switches share one chain: while a key early in it is down, the
    // later ones are not acted on, and a release meanwhile waits until the chain reaches it.
    if (down(GLFW_KEY_C)) {
        mainCamera.setAngles(mainCamera.pitch + deltaTime * kCameraSpeed * kTurnFactor,
                             mainCamera.yaw + 0.0f);
    } else if (down(GLFW_KEY_V)) {
        mainCamera.setAngles(mainCamera.pitch + deltaTime * (-kCameraSpeed) * kTurnFactor,
                             mainCamera.yaw + 0.0f);
    } else if (down(GLFW_KEY_F)) {
        input.fKeyHeld = true;
    } else if (input.fKeyHeld) {
        input.fKeyHeld = false;
        loop.showFps = !loop.showFps;
    } else if (down(GLFW_KEY_Q)) {
        input.qKeyHeld = true;
    } else if (input.qKeyHeld) {
        input.qKeyHeld = false;
        loop.wireframe = !loop.wireframe;
    } else if (down(GLFW_KEY_O)) {
        input.oKeyHeld = true;
    } else if (input.oKeyHeld) {
        input.oKeyHeld = false;
        // Mode 2 exists only inside the timeline's window; a release leaves it for 1.
        loop.shadowMode = (loop.shadowMode + 1) % 2;
    }

    if (down(GLFW_KEY_LEFT)) {
        mainCamera.setAngles(mainCamera.pitch + 0.0f,
                             mainCamera.yaw + deltaTime * kCameraSpeed * (-kTurnFactor));
    } else if (down(GLFW_KEY_RIGHT)) {
        mainCamera.setAngles(mainCamera.pitch + 0.0f,
                             mainCamera.yaw + deltaTime * kCameraSpeed * kTurnFactor);
    }

    if (down(GLFW_KEY_H)) {
        const glm::vec3& p = mainCamera.position;
        std::cout << p.x << "," << p.y << "," << p.z << std::endl;
        std::cout << mainCamera.pitch << " " << mainCamera.yaw << std::endl;
    }
}
