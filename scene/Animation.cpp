#include "scene/Animation.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <initializer_list>
#include <optional>

#include "camera/Camera.h"
#include "core/FrameState.h"
#include "core/Platform.h"
#include "scene/Scene.h"

Timeline timeline;

namespace {

// The letters fall in this order, one after another.
constexpr std::array<const char*, 9> kLetterOrder = {"T",  "J",  "Z",  "O", "T2",
                                                     "J2", "T3", "Z2", "J3"};
constexpr float kLetterFallSeconds = 3.0f;
constexpr float kLetterFallHeight = 20.0f;
// The water shows from the last letter's start until this long after the last letter lands.
constexpr float kWaterLinger = 5.0f;

// The angle offsets of the camera flight fade out over this window of absolute clock seconds.
constexpr double kAngleOffsetStart = 5.0;
constexpr double kAngleOffsetEnd = 12.0;

struct Slide {
    const char* name;
    glm::vec3 offset;
    float startAfter;  // seconds after U
    float endAfter;
};

// Ground tiles and barrels slide out together; the street lamp rises afterwards.
constexpr std::array<Slide, 9> kSlides = {{
    {"Plane", {-20.0f, 0.0f, 20.0f}, 0.0f, 3.0f},
    {"Plane2", {-20.0f, 0.0f, -20.0f}, 0.0f, 3.0f},
    {"Plane3", {20.0f, 0.0f, 20.0f}, 0.0f, 3.0f},
    {"Plane4", {20.0f, 0.0f, -20.0f}, 0.0f, 3.0f},
    {"Barrel", {-450.0f, 0.0f, 450.0f}, 0.0f, 3.0f},
    {"Barrel2", {450.0f, 0.0f, 450.0f}, 0.0f, 3.0f},
    {"Barrel3", {-450.0f, 0.0f, -450.0f}, 0.0f, 3.0f},
    {"Barrel4", {450.0f, 0.0f, -450.0f}, 0.0f, 3.0f},
    {"Streetlamp", {0.0f, 200.0f, 0.0f}, 5.0f, 15.0f},
}};
constexpr float kSceneTracksLength = 15.0f;

struct FlightLeg {
    float startAfter;  // seconds after S + 4
    float endAfter;
    glm::vec3 to;
};

// Each leg starts where the previous one ended; the first starts at the camera's position.
constexpr std::array<FlightLeg, kFlightLegCount> kFlightLegs = {{
    {1.0f, 5.0f, {50.0f, 0.0f, 0.0f}},
    {5.0f, 25.0f, {30.0f, 40.0f, 30.0f}},
    {25.0f, 29.0f, {30.0f, 10.0f, 10.0f}},
    {29.0f, 31.0f, {40.0f, 10.0f, -50.0f}},
    {50.0f, 60.0f, {40.0f, 36.0f, -50.0f}},
}};
constexpr double kShadowWindow2After = 2.0;
constexpr double kShadowWindow1After = 4.0;
constexpr glm::vec3 kWorldOrigin{0.0f, 0.0f, 0.0f};

PointTrack makePointTrack(double startTime, double endTime, SceneObject* target,
                          PointTrack::Interpolation interpolate) {
    PointTrack track;
    track.startTime = startTime;
    track.endTime = endTime;
    track.target = target;
    track.interpolate = interpolate;
    return track;
}

// Calls `update` on each track in order; a track for which it returns true is removed, keeping
// the order, and the track that moves into its place is still visited in this pass.
template <typename Update>
void visitTracks(std::vector<PointTrack>& tracks, Update&& update) {
    std::size_t i = 0;
    while (i < tracks.size()) {
        if (update(tracks[i])) {
            tracks.erase(tracks.begin() + static_cast<std::ptrdiff_t>(i));
        } else {
            ++i;
        }
    }
}

// Runs `apply(track)` for every track whose window (startTime, endTime] holds the clock, and
// once more for a track that the clock has passed, which is then dropped: the last update
// leaves it at its end value whatever the frame rate. The clock is read afresh for each test.
template <typename Apply>
void advanceTracks(std::vector<PointTrack>& tracks, Apply&& apply) {
    visitTracks(tracks, [&](const PointTrack& track) {
        const double clock = readClock();
        if (track.startTime < clock && clock <= track.endTime) apply(track, false);
        if (readClock() > track.endTime) {
            apply(track, true);
            return true;
        }
        return false;
    });
}

// Moves a track's target to the track's value at `time`; with `reveal` also shows it.
void placeTarget(const PointTrack& track, double time, bool reveal) {
    if (track.target == nullptr || track.startValues.empty()) return;
    track.target->setPosition(evaluate(track, time)[0]);
    if (reveal) track.target->visible = true;
}

void flyCamera(const PointTrack& track, float time, float pitchOffset, float yawOffset) {
    if (track.startValues.empty()) return;
    mainCamera.position = evaluate(track, time)[0];
    // The view aims at the origin from where the camera is in this frame, so that the framing
    // does not depend on how far apart the frames are. The offsets turn this frame's view only:
    // the stored angles stay the aim.
    mainCamera.lookAt(kWorldOrigin);
    const float pitch = mainCamera.pitch;
    const float yaw = mainCamera.yaw;
    mainCamera.setAngles(pitch + pitchOffset, yaw + yawOffset);
    mainCamera.pitch = pitch;
    mainCamera.yaw = yaw;
}

// A leg's last update: the camera reaches the leg's end and looks straight at the origin, as it
// stays until the next leg.
void endFlightLeg(const PointTrack& track, float time, float pitchOffset, float yawOffset) {
    flyCamera(track, time, pitchOffset, yawOffset);
    mainCamera.setAngles(mainCamera.pitch, mainCamera.yaw);
}

// A flag window forces its flag in every frame inside it, and once in a frame that jumped over
// it (the previous step at or before its start, this one at or after its end), so that a
// frame longer than the window does not skip it.
bool windowApplies(double start, double time, std::optional<double> previousTime) {
    const double end = start + kFlagWindowLength;
    const bool inside = start < time && time < end;
    const bool jumped = previousTime && *previousTime <= start && time >= end;
    return inside || jumped;
}

}  // namespace

glm::vec3 lerpVec3(glm::vec3 start, glm::vec3 end, glm::vec3, glm::vec3, float s) {
    return start + (end - start) * s;
}

glm::vec3 hermiteVec3(glm::vec3 start, glm::vec3 end, glm::vec3 startTangent, glm::vec3 endTangent,
                      float s) {
    const glm::vec3& p0 = start;
    const glm::vec3& p1 = end;
    const glm::vec3& m0 = startTangent;
    const glm::vec3& m1 = endTangent;
    const float s2 = s * s;
    const float s3 = s2 * s;
    return p0 + m0 * s + (-3.0f * p0 + 3.0f * p1 - 2.0f * m0 - m1) * s2 +
           (2.0f * p0 - 2.0f * p1 + m0 + m1) * s3;
}

float lerpScalar(float start, float end, float, float, float s) {
    return start + (end - start) * s;
}

int addPoint(PointTrack& track, glm::vec3 start, glm::vec3 end) {
    track.startValues.push_back(start);
    track.startTangents.push_back(start);
    track.endValues.push_back(end);
    track.endTangents.push_back(end);
    return static_cast<int>(track.startValues.size()) - 1;
}

int addScalar(ScalarTrack& track, float start, float end, float startTangent, float endTangent) {
    track.startValues.push_back(start);
    track.endValues.push_back(end);
    track.startTangents.push_back(startTangent);
    track.endTangents.push_back(endTangent);
    return static_cast<int>(track.startValues.size()) - 1;
}

float setupLetterTracks(float T) {
    float windowStart = T;
    for (const char* name : kLetterOrder) {
        const float windowEnd = windowStart + kLetterFallSeconds;
        // A letter missing from the scene simply gets no track.
        if (SceneObject* letter = findObject(name)) {
            letter->visible = false;
            const glm::vec3 p = letter->position;
            PointTrack track = makePointTrack(windowStart, windowEnd, letter, lerpVec3);
            addPoint(track, p + glm::vec3(0.0f, kLetterFallHeight, 0.0f), p);
            timeline.revealTracks.push_back(track);
        }
        windowStart = windowEnd;
    }
    // The water only appears: from the last letter's start until a while after it has landed.
    const float waterStart = windowStart - kLetterFallSeconds;
    const float waterEnd = windowStart + kWaterLinger;
    if (SceneObject* water = findObject("Water")) {
        const glm::vec3 p = water->position;
        PointTrack track = makePointTrack(waterStart, waterEnd, water, lerpVec3);
        addPoint(track, p, p);
        timeline.revealTracks.push_back(track);
    }
    return waterEnd;
}

float setupSceneTracks(float U) {
    for (const Slide& slide : kSlides) {
        SceneObject* object = findObject(slide.name);
        if (object == nullptr) continue;
        const glm::vec3 p = object->position;
        PointTrack track =
            makePointTrack(U + slide.startAfter, U + slide.endAfter, object, lerpVec3);
        addPoint(track, p, p + slide.offset);
        timeline.moveTracks.push_back(track);
    }
    return U + kSceneTracksLength;
}

void setupCameraTracks(float S) {
    timeline.shadowWindow2Start = S + kShadowWindow2After;
    timeline.shadowWindow1Start = S + kShadowWindow1After;
    const float flightStart = static_cast<float>(S + kShadowWindow1After);
    glm::vec3 from = mainCamera.position;
    for (const FlightLeg& leg : kFlightLegs) {
        PointTrack track = makePointTrack(flightStart + leg.startAfter, flightStart + leg.endAfter,
                                          nullptr, nullptr);
        addPoint(track, from, leg.to);
        track.interpolate = hermiteVec3;
        timeline.cameraTracks.push_back(track);
        from = leg.to;
    }
}

void setupAnimations() {
    timeline = Timeline{};
    ScalarTrack& offsets = timeline.angleOffsetTrack;
    offsets.startTime = kAngleOffsetStart;
    offsets.endTime = kAngleOffsetEnd;
    offsets.interpolate = lerpScalar;
    addScalar(offsets, 20.5f, 0.0f, 20.5f, 0.0f);    // pitch offset
    addScalar(offsets, -30.0f, 0.0f, -30.0f, 0.0f);  // yaw offset

    const double setupTime = readClock();
    loop.previousTime = setupTime;
    timeline.previousStepTime = setupTime;
    loop.wireframe = false;

    const float lettersStart = static_cast<float>(setupTime + 5.0);
    const float scenesStart = setupLetterTracks(lettersStart);
    const float scenesEnd = setupSceneTracks(scenesStart);
    setupCameraTracks(static_cast<float>(setupTime));
    timeline.animationEnd = scenesEnd;
}

void updateCameraFlight(float time, float pitchOffset, float yawOffset) {
    advanceTracks(timeline.cameraTracks, [&](const PointTrack& track, bool last) {
        if (last) {
            endFlightLeg(track, time, pitchOffset, yawOffset);
        } else {
            flyCamera(track, time, pitchOffset, yawOffset);
        }
    });
}

void animationStep(double currentTime) {
    float pitchOffset = 0.0f;
    float yawOffset = 0.0f;
    if (currentTime < kAngleOffsetsEnd) {
        const std::vector<float> offsets = evaluate(timeline.angleOffsetTrack, currentTime);
        if (offsets.size() >= 2) {
            pitchOffset = offsets[0];
            yawOffset = offsets[1];
        }
    }
    updateCameraFlight(static_cast<float>(currentTime), pitchOffset, yawOffset);

    // The window tests read the clock afresh, the values are always taken at currentTime.
    advanceTracks(timeline.revealTracks,
                  [&](const PointTrack& track, bool) { placeTarget(track, currentTime, true); });
    advanceTracks(timeline.moveTracks,
                  [&](const PointTrack& track, bool) { placeTarget(track, currentTime, false); });

    // The flags are forced over the controls, window by window in the order they open, so that
    // a frame that jumps over two of them leaves the later one's value.
    const std::optional<double> previousTime = timeline.previousStepTime;
    if (windowApplies(timeline.shadowWindow2Start, currentTime, previousTime)) {
        loop.shadowMode = 2;
    }
    if (windowApplies(timeline.shadowWindow1Start, currentTime, previousTime)) {
        loop.shadowMode = 1;
    }
    if (windowApplies(timeline.animationEnd, currentTime, previousTime)) loop.wireframe = true;
    timeline.previousStepTime = currentTime;
}

double timelineEnd() {
    double end = timeline.animationEnd;
    for (const auto* tracks :
         {&timeline.revealTracks, &timeline.moveTracks, &timeline.cameraTracks}) {
        for (const PointTrack& track : *tracks) end = std::max(end, track.endTime);
    }
    return end;
}

void releaseAnimations() { timeline = Timeline{}; }
