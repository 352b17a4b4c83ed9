#pragma once

#include <GL/glew.h>
// GLEW before GLFW, which includes GL's own header.
#include <GLFW/glfw3.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "render/GpuPassTimer.h"
#include "render/PassViews.h"

// The demo's overlay: how the frame is made, on top of the picture. Hidden at start; while it
// is hidden and the finished picture is the view, the frame is drawn as without it (no timer
// queries, no draws of its own). Only the demo's loop uses it; the tools never show it.
//
//   F1       shows or hides the overlay
//   0 to 5   views: the picture, the shadow cube's depth and moments, the reflection cube, the
//            scene's colour and depth (see render/PassViews.h)
//   F12      saves the window's picture as pelk-NNNN.png in the working folder

inline constexpr int kOverlayKey = GLFW_KEY_F1;
inline constexpr int kScreenshotKey = GLFW_KEY_F12;
// View n is chosen by the key GLFW_KEY_0 + n.
inline constexpr int kFirstViewKey = GLFW_KEY_0;

// How far back the overlay's graphs reach, in seconds of the frame clock.
inline constexpr double kOverlayHistorySeconds = 5.0;

// One frame as the overlay keeps it.
struct OverlaySample {
    std::uint64_t frame = 0;
    double clock = 0.0;    // the frame's clock value
    float frameMs = 0.0f;  // time since the frame before
    PassTimes gpuMs{};     // per pass, once the timer queries' results are in
    bool gpuKnown = false;
};

// A rectangle of the window in its coordinates (pixels from the top left), as the overlay's
// interface laid it out.
struct OverlayRect {
    float left = 0.0f;
    float top = 0.0f;
    float right = 0.0f;
    float bottom = 0.0f;
};

// A pointer that stands in for the window's cursor and left mouse button.
struct OverlayPointer {
    float x = 0.0f;
    float y = 0.0f;
    bool down = false;
};

struct OverlayState {
    bool shown = false;
    PassView view = PassView::Picture;
    ViewRange range;  // what the view was mapped with, this frame
    std::uint64_t frame = 0;
    // Oldest first. A vector, which allocates nothing until the overlay is first shown: the
    // demo's heap stays as it was without the overlay.
    std::vector<OverlaySample> history;
    // The keys as they were in the last frame: a key acts when it goes down.
    bool overlayKeyWasDown = false;
    bool screenshotKeyWasDown = false;
    bool screenshotAsked = false;
    bool timing = false;  // this frame's passes are being timed
    // Where the shadow-mode choices (hard, soft, filtered) were drawn, last time.
    std::array<OverlayRect, 3> shadowModeChoices{};
    // Where the whole overlay was drawn, last time.
    OverlayRect window;
    // Replaces the window's cursor and button when set (a test's seam).
    std::optional<OverlayPointer> pointer;
    // Where F12 saves the window's picture: the working folder.
    std::string screenshotFolder = ".";
};

extern OverlayState overlay;

// Each frame of the demo's loop, before renderFrame(): reads the overlay's keys (F1, the view
// keys, F12) and, while the overlay is shown, starts timing the frame's passes.
void beginOverlayFrame();
// Each frame of the demo's loop, after renderFrame() and before presentFrame(): stops the
// timing, draws the chosen view over the picture and the overlay over both, and saves the
// window's picture where F12 asked for it.
void finishOverlayFrame();
// At shutdown, before GLFW ends: the interface's GL objects and state go (where it was ever
// shown). The overlay's state starts afresh.
void closeOverlay();
