#pragma once

#include <functional>
#include <optional>
#include <string>

#include "app/Window.h"
#include "core/FrameState.h"

// Start-up steps 2 to 11, after initWindow(): programs, scene, uniforms, targets, camera,
// timeline. Ends the process with kExitNoRenderableFormat when no target can be made complete.
void startUp();

// The title for this frame, or nothing when it stays as it is. Updates frameCount's window
// (lastTitleTime, frameCount) when a new rate is shown.
std::optional<std::string> frameRateTitle(double currentTime);

// One frame up to the moment before presenting, at the given clock value, in this order: the
// title, the input, the shadow pass (its set-up, the timeline's animation step, its draws), the
// reflection pass, the wireframe switch, the scene pass, the post pass. presentFrame() follows.
void renderFrame(double currentTime);
// Plays the timeline alone, drawing nothing, at the moments k * step (k = 1, 2, ...) after
// `from` and before `to`: the frames that a machine drawing one frame every `step` seconds runs
// between two frames that a tool renders. Each moment is k times step, not a running sum, so
// the moments do not depend on `from`; one within kSameMoment of `from` or `to` is left out, as
// that frame is the tool's own. `setClock` gets each moment before its step, and
// loop.previousTime follows, as after a rendered frame.
void advanceTimeline(double from, double to, double step,
                     const std::function<void(double)>& setClock);
// One of those frames: sets the clock, advances the timeline, and keeps the moment as
// loop.previousTime.
void playTimelineFrame(double moment, const std::function<void(double)>& setClock);
// Moments closer than this are one frame.
inline constexpr double kSameMoment = 1e-6;

// Frame step 10: swap, poll events, count the frame. Without a window (the tools on EGL), the
// frame goes to the driver instead (presentOffscreenFrame()).
void presentFrame();
// Frame step 11: Escape held, or a close request.
bool frameLoopShouldEnd();
// Whether the window is minimised (iconified); nothing is drawn then.
bool windowMinimised();
// How long the loop waits for events between two looks at a minimised window.
inline constexpr double kMinimisedWaitSeconds = 0.1;
// Reads the clock, renders and presents frames until frameLoopShouldEnd(), with the overlay's
// keys, views and interface around each frame (app/Overlay.h); while the window is minimised it
// draws nothing and waits for events instead.
void runFrameLoop();
// Deletes the quad buffer, closes the overlay and the tools' EGL context where there are any,
// ends GLFW and releases the timeline.
void shutDown();
