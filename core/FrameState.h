#pragma once

#include <glm/glm.hpp>

// What the frame loop carries from one frame to the next: the feature flags that the controls
// and the timeline switch, the clock values and the title counter. Every layer reads it here;
// the loop, the controls and the timeline write it.
struct LoopState {
    bool showFps = true;
    bool wireframe = false;
    int shadowMode = 1;
    int frameCount = 0;          // frames presented since the last frame-rate title
    double lastTitleTime = 0.0;  // clock value of the last frame-rate title
    double currentTime = 0.0;
    double previousTime = 0.0;
    float deltaTime = 0.0f;
    glm::mat4 viewProjection{1.0f};     // the camera the scene pass draws with this frame
    glm::mat4 oldViewProjection{1.0f};  // identity before the first frame
};

extern LoopState loop;

// Window size; the off-screen targets have their own.
inline constexpr int kWindowWidth = 1024;
inline constexpr int kWindowHeight = 768;
