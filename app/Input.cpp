#include "app/Input.h"

#include <GLFW/glfw3.h>

#include <glm/glm.hpp>
#include <iostream>

#include "app/Loop.h"
#include "app/Platform.h"
#include "camera/Camera.h"
#include "scene/Scene.h"

InputState input;

namespace {

constexpr float kCameraSpeed = 20.0f;  // units per second
constexpr float kTurnFactor = 5.0f;    // turning is kCameraSpeed x 5 = 100 degrees per second
constexpr float kLightFactor = 1.2f;   // the light moves at 1.2 times the camera's factors

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

    if (keyDown(GLFW_KEY_W)) {
        mainCamera.position += forward * step;
    } else if (keyDown(GLFW_KEY_S)) {
        mainCamera.position += -forward * step;
    }

    if (keyDown(GLFW_KEY_J)) {
        moveLight(-((right * kLightFactor) * deltaTime * kCameraSpeed));
    } else if (keyDown(GLFW_KEY_L)) {
        moveLight((right * kLightFactor) * deltaTime * kCameraSpeed);
    }

    if (keyDown(GLFW_KEY_I)) {
        moveLight((forward * kLightFactor) * deltaTime * lightForwardSpeed);
    } else if (keyDown(GLFW_KEY_K)) {
        moveLight(-((forward * kLightFactor) * deltaTime * lightForwardSpeed));
    }

    if (keyDown(GLFW_KEY_A)) {
        mainCamera.position += -right * step;
    } else if (keyDown(GLFW_KEY_D)) {
        mainCamera.position += right * step;
    }

    if (keyDown(GLFW_KEY_Y)) {
        mainCamera.position += glm::vec3(0.0f, -step, 0.0f);
    } else if (keyDown(GLFW_KEY_X)) {
        mainCamera.position += glm::vec3(0.0f, step, 0.0f);
    }

    // Tilting and the three switches share one chain: while a key early in it is down, the
    // later ones are not looked at, and a release meanwhile waits until the chain reaches it.
    if (keyDown(GLFW_KEY_C)) {
        mainCamera.setAngles(mainCamera.pitch + deltaTime * kCameraSpeed * kTurnFactor,
                             mainCamera.yaw + 0.0f);
    } else if (keyDown(GLFW_KEY_V)) {
        mainCamera.setAngles(mainCamera.pitch + deltaTime * (-kCameraSpeed) * kTurnFactor,
                             mainCamera.yaw + 0.0f);
    } else if (keyDown(GLFW_KEY_F)) {
        input.fKeyHeld = true;
    } else if (input.fKeyHeld) {
        input.fKeyHeld = false;
        loop.showFps = !loop.showFps;
    } else if (keyDown(GLFW_KEY_Q)) {
        input.qKeyHeld = true;
    } else if (input.qKeyHeld) {
        input.qKeyHeld = false;
        loop.wireframe = !loop.wireframe;
    } else if (keyDown(GLFW_KEY_O)) {
        input.oKeyHeld = true;
    } else if (input.oKeyHeld) {
        input.oKeyHeld = false;
        // Mode 2 exists only inside the timeline's window; a release leaves it for 1.
        loop.shadowMode = (loop.shadowMode + 1) % 2;
    }

    if (keyDown(GLFW_KEY_LEFT)) {
        mainCamera.setAngles(mainCamera.pitch + 0.0f,
                             mainCamera.yaw + deltaTime * kCameraSpeed * (-kTurnFactor));
    } else if (keyDown(GLFW_KEY_RIGHT)) {
        mainCamera.setAngles(mainCamera.pitch + 0.0f,
                             mainCamera.yaw + deltaTime * kCameraSpeed * kTurnFactor);
    }

    if (keyDown(GLFW_KEY_H)) {
        const glm::vec3& p = mainCamera.position;
        std::cout << p.x << "," << p.y << "," << p.z << std::endl;
        std::cout << mainCamera.pitch << " " << mainCamera.yaw << std::endl;
    }
}
