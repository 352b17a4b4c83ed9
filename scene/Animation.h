#pragma once

#include <cstddef>
#include <glm/glm.hpp>
#include <limits>
#include <optional>
#include <vector>

#include "scene/SceneObject.h"

// A keyframe track: maps the clock window (startTime, endTime] onto one interpolated value per
// channel. V is glm::vec3 for point tracks and float for the scalar track.
template <typename V>
struct Track {
    using Interpolation = V (*)(V start, V end, V startTangent, V endTangent, float s);

    double startTime = 0.0;
    double endTime = 0.0;
    SceneObject* target = nullptr;  // the object a point track moves; null for camera tracks
    Interpolation interpolate = nullptr;
    std::vector<V> startValues;
    std::vector<V> startTangents;
    std::vector<V> endValues;
    std::vector<V> endTangents;
};

using PointTrack = Track<glm::vec3>;
using ScalarTrack = Track<float>;

// Interpolation functions, all in single precision; s runs from 0 to 1.
glm::vec3 lerpVec3(glm::vec3 start, glm::vec3 end, glm::vec3 startTangent, glm::vec3 endTangent,
                   float s);
glm::vec3 hermiteVec3(glm::vec3 start, glm::vec3 end, glm::vec3 startTangent, glm::vec3 endTangent,
                      float s);
float lerpScalar(float start, float end, float startTangent, float endTangent, float s);

// Appends a channel whose tangents equal its values; returns the channel's index.
int addPoint(PointTrack& track, glm::vec3 start, glm::vec3 end);
// Appends a scalar channel; returns the channel's index.
int addScalar(ScalarTrack& track, float start, float end, float startTangent, float endTangent);

// The track's value per channel at clock t: the start values before the window, the end values
// after it, the interpolation inside (s = 1 at t = endTime). A track without an interpolation
// function holds its start values.
template <typename V>
std::vector<V> evaluate(const Track<V>& track, double t) {
    if (t < track.startTime) return track.startValues;
    if (t > track.endTime) return track.endValues;
    if (track.interpolate == nullptr) return track.startValues;
    const float s = static_cast<float>((t - track.startTime) / (track.endTime - track.startTime));
    std::vector<V> result;
    result.reserve(track.startValues.size());
    for (std::size_t i = 0; i < track.startValues.size(); ++i) {
        result.push_back(track.interpolate(track.startValues[i], track.endValues[i],
                                           track.startTangents[i], track.endTangents[i], s));
    }
    return result;
}

inline constexpr double kNoWindow = -std::numeric_limits<double>::infinity();

// The scripted timeline: its tracks and the moments at which the flag windows open.
struct Timeline {
    std::vector<PointTrack> revealTracks;  // move their target and make it visible
    std::vector<PointTrack> moveTracks;    // only move their target
    std::vector<PointTrack> cameraTracks;  // fly mainCamera
    ScalarTrack angleOffsetTrack;          // channel 0 pitch offset, channel 1 yaw offset
    // Until the timeline is set up no flag window ever opens.
    double animationEnd = kNoWindow;        // wireframe forced on for 2 s after this
    double shadowWindow2Start = kNoWindow;  // shadowMode forced to 2 for 2 s after this
    double shadowWindow1Start = kNoWindow;  // shadowMode forced to 1 for 2 s after this
    // The clock value of the last animation step (the set-up's before the first), so that a
    // step can tell which flag windows it jumped over; none before the set-up.
    std::optional<double> previousStepTime;
};

extern Timeline timeline;

// The camera flight's legs, flown one after another.
inline constexpr std::size_t kFlightLegCount = 5;

// Each flag window lasts this long, in seconds.
inline constexpr double kFlagWindowLength = 2.0;
// From this absolute clock value on, the camera flight's angle offsets are 0.
inline constexpr double kAngleOffsetsEnd = 15.0;

// Builds the whole timeline; call once at start-up after assembleScene() and after the camera
// is placed. Reads the clock once: that value becomes loop.previousTime, and wireframe is
// switched off.
void setupAnimations();
// The nine falling letters and the water, from T on; returns the moment the water's track ends.
float setupLetterTracks(float T);
// Ground tiles and barrels sliding out, the street lamp rising, from U on; returns U + 15.
float setupSceneTracks(float U);
// The two shadow-mode windows and the five camera flight tracks, relative to S.
void setupCameraTracks(float S);

// Advances the timeline to the frame's clock value; once per frame, inside the shadow pass after
// its target is cleared and before anything is drawn.
void animationStep(double currentTime);
// Moves mainCamera along the active camera tracks and turns it toward the world origin.
void updateCameraFlight(float time, float pitchOffset, float yawOffset);

// The moment the script is over: the last track's end or the opening of the wireframe window,
// whichever is later. Call after setupAnimations() and before the first animationStep(), which
// drops the tracks it has finished.
double timelineEnd();

// Drops every track; call at shutdown.
void releaseAnimations();
