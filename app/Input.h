#pragma once

// The release switches remember that their key was down in an earlier frame, so that each flips
// its flag once, when the key is let go.
struct InputState {
    bool fKeyHeld = false;
    bool qKeyHeld = false;
    bool oKeyHeld = false;
};

extern InputState input;

// Speed factor of the light along the view direction (scaled by 1.2 like the sideways moves).
inline constexpr float lightForwardSpeed = 10.0f;

// Polls the keyboard once per frame, between the title update and the rendering: moves the
// camera and the light by deltaTime seconds' worth, switches the loop's flags on key release
// and prints the camera while H is down.
void handleInput(float deltaTime);
