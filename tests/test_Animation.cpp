#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <glm/gtc/matrix_transform.hpp>
#include <string>
#include <utility>
#include <vector>

#include "app/Loop.h"
#include "camera/Camera.h"
#include "core/Platform.h"
#include "scene/Animation.h"
#include "scene/Scene.h"

namespace {

void expectVec3Near(glm::vec3 actual, glm::vec3 expected, float tolerance = 1e-4f) {
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
}

void expectMat4Near(const glm::mat4& actual, const glm::mat4& expected, float tolerance = 1e-5f) {
    for (int c = 0; c < 4; ++c) {
        for (int r = 0; r < 4; ++r) EXPECT_NEAR(actual[c][r], expected[c][r], tolerance);
    }
}

glm::mat4 rotationOf(float pitch, float yaw) {
    Camera camera;
    camera.setAngles(pitch, yaw);
    return camera.rotation;
}

// The objects the timeline looks up, at their assembly positions; no meshes, no GL.
const std::vector<std::pair<std::string, glm::vec3>> kAnimatedObjects = {
    {"LICHT", {5, 20, 0}},        {"Barrel", {-25, -4, 16}},
    {"Barrel2", {25, -4, 16}},    {"Barrel3", {-25, -4, -16}},
    {"Barrel4", {25, -4, -16}},   {"J", {0, -1.1f, -4.4f}},
    {"J2", {0, 1.1f, 4.4f}},      {"J3", {0, 4.4f, 1.1f}},
    {"O", {0, -1.1f, 2.2f}},      {"T", {0, 0, 0}},
    {"T2", {0, 1.1f, -2.2f}},     {"T3", {0, 0, 1.1f}},
    {"Z", {0, 0, -3.3f}},         {"Z2", {0, 3.3f, -1.1f}},
    {"Streetlamp", {0, -2, -15}}, {"Plane", {-5, -1.75f, 5}},
    {"Plane2", {-5, -1.75f, -5}}, {"Plane3", {5, -1.75f, 5}},
    {"Plane4", {5, -1.75f, -5}},  {"Water", {0, -2, 0}},
};

class TimelineTest : public ::testing::Test {
protected:
    void SetUp() override {
        scene = Scene{};
        timeline = Timeline{};
        loop = LoopState{};
        mainCamera = Camera{};
        platform().clock = [this] { return clock; };
    }
    void TearDown() override {
        resetPlatform();
        timeline = Timeline{};
        scene = Scene{};
        mainCamera = Camera{};
        loop = LoopState{};
    }

    void buildScene(const std::string& leaveOut = "") {
        for (const auto& [name, position] : kAnimatedObjects) {
            if (name == leaveOut) continue;
            SceneObject object;
            object.name = name;
            object.setPosition(position);
            object.visible = name != "Water";
            scene.sceneObjects.push_back(object);
        }
    }

    // The start-up order: scene, camera, then the timeline with the clock at `setupTime`.
    void setUpAt(double setupTime) {
        buildScene();
        mainCamera.position = glm::vec3(20.5f, 2.2f, 8.0f);
        mainCamera.setAngles(20.5f, 256.0f);
        clock = setupTime;
        setupAnimations();
    }

    // One frame whose window tests all see the frame's own clock value.
    void stepAt(double time) {
        clock = time;
        animationStep(time);
    }

    static glm::vec3 placeOf(const std::string& name) {
        for (const auto& [objectName, position] : kAnimatedObjects) {
            if (objectName == name) return position;
        }
        return glm::vec3(0.0f);
    }

    double clock = 0.0;
};

PointTrack lerpTrack(double start, double end, glm::vec3 from, glm::vec3 to,
                     SceneObject* target = nullptr) {
    PointTrack track;
    track.startTime = start;
    track.endTime = end;
    track.target = target;
    track.interpolate = lerpVec3;
    addPoint(track, from, to);
    return track;
}

}  // namespace

TEST(Track, EvaluateHoldsItsEndValuesOutsideTheWindow) {
    const PointTrack track = lerpTrack(2.0, 4.0, {0, 0, 0}, {10, -20, 40});
    expectVec3Near(evaluate(track, 1.999)[0], {0, 0, 0});
    expectVec3Near(evaluate(track, -100.0)[0], {0, 0, 0});
    expectVec3Near(evaluate(track, 2.0)[0], {0, 0, 0});  // s = 0
    expectVec3Near(evaluate(track, 3.0)[0], {5, -10, 20});
    EXPECT_EQ(evaluate(track, 4.0)[0], glm::vec3(10, -20, 40));  // s = 1
    EXPECT_EQ(evaluate(track, 4.001)[0], glm::vec3(10, -20, 40));
    EXPECT_EQ(evaluate(track, 1e9)[0], glm::vec3(10, -20, 40));
}

TEST(Track, HermiteWithTangentsEqualToThePoints) {
    const glm::vec3 from(50, 0, 0);
    const glm::vec3 to(30, 40, 30);
    expectVec3Near(hermiteVec3(from, to, from, to, 0.5f), {42.5f, 15.0f, 11.25f}, 1e-5f);
    expectVec3Near(hermiteVec3(from, to, from, to, 0.0f), from, 1e-5f);
    expectVec3Near(hermiteVec3(from, to, from, to, 1.0f), to, 1e-4f);
    // Linear interpolation ignores the tangents.
    expectVec3Near(lerpVec3(from, to, {1e6f, 0, 0}, {0, 1e6f, 0}, 0.5f), {40, 20, 15}, 1e-5f);
}

TEST_F(TimelineTest, SetUpReadsTheClockOnceForThePreviousTime) {
    loop.wireframe = true;
    int reads = 0;
    platform().clock = [&reads] {
        ++reads;
        return 1.0;
    };
    buildScene();
    setupAnimations();
    EXPECT_EQ(reads, 1);
    EXPECT_EQ(loop.previousTime, 1.0);
    EXPECT_FALSE(loop.wireframe);
    EXPECT_EQ(timeline.revealTracks.size(), 10u);
    EXPECT_EQ(timeline.moveTracks.size(), 9u);
    EXPECT_EQ(timeline.cameraTracks.size(), 5u);
    // Letters from 5 s after set-up, 3 s each; the water from the last letter's start to 37 s.
    EXPECT_EQ(timeline.revealTracks[0].target, findObject("T"));
    EXPECT_EQ(timeline.revealTracks[0].startTime, 6.0);
    EXPECT_EQ(timeline.revealTracks[8].target, findObject("J3"));
    EXPECT_EQ(timeline.revealTracks[8].endTime, 33.0);
    EXPECT_EQ(timeline.revealTracks[9].startTime, 30.0);
    EXPECT_EQ(timeline.revealTracks[9].endTime, 38.0);
    EXPECT_EQ(timeline.moveTracks[8].startTime, 43.0);
    EXPECT_EQ(timeline.moveTracks[8].endTime, 53.0);
    EXPECT_EQ(timeline.animationEnd, 53.0);
    EXPECT_EQ(timeline.shadowWindow2Start, 3.0);
    EXPECT_EQ(timeline.shadowWindow1Start, 5.0);
    EXPECT_EQ(timeline.cameraTracks[0].startTime, 6.0);
    EXPECT_EQ(timeline.cameraTracks[4].endTime, 65.0);
    for (const char* letter : {"T", "J", "Z", "O", "T2", "J2", "T3", "Z2", "J3", "Water"}) {
        EXPECT_FALSE(findObject(letter)->visible) << letter;
    }
}

TEST_F(TimelineTest, YawOffsetIsMinusFifteenAtEightAndAHalfSeconds) {
    setUpAt(1.0);
    const std::vector<float> offsets = evaluate(timeline.angleOffsetTrack, 8.5);
    ASSERT_EQ(offsets.size(), 2u);
    EXPECT_FLOAT_EQ(offsets[0], 10.25f);
    EXPECT_FLOAT_EQ(offsets[1], -15.0f);
}

TEST_F(TimelineTest, AngleOffsetsStopAtFifteenSeconds) {
    // A flight track that keeps the camera in place, and offsets that would never fade.
    timeline.cameraTracks.push_back(lerpTrack(10.0, 20.0, {0, 0, 50}, {0, 0, 50}));
    timeline.cameraTracks[0].interpolate = hermiteVec3;
    timeline.angleOffsetTrack.startTime = 0.0;
    timeline.angleOffsetTrack.endTime = 100.0;
    timeline.angleOffsetTrack.interpolate = lerpScalar;
    addScalar(timeline.angleOffsetTrack, 7, 7, 0, 0);
    addScalar(timeline.angleOffsetTrack, 7, 7, 0, 0);

    // From (0, 0, 50) the aim at the origin is pitch 0, yaw 0.
    stepAt(14.9);
    expectMat4Near(mainCamera.rotation, rotationOf(7.0f, 7.0f));
    stepAt(15.0);
    expectMat4Near(mainCamera.rotation, rotationOf(0.0f, 0.0f));
}

TEST_F(TimelineTest, LetterAppearsOnlyOnceItsWindowOpens) {
    setUpAt(1.0);  // "T" falls from 6 to 9
    SceneObject* letter = findObject("T");
    stepAt(6.0);
    EXPECT_FALSE(letter->visible);
    EXPECT_EQ(letter->position, placeOf("T"));

    stepAt(7.5);
    EXPECT_TRUE(letter->visible);
    expectVec3Near(letter->position, placeOf("T") + glm::vec3(0, 10, 0));
    expectMat4Near(letter->translationMatrix,
                   glm::translate(glm::mat4(1.0f), placeOf("T") + glm::vec3(0, 10, 0)));
    EXPECT_FALSE(findObject("J")->visible);
}

// The second track moves into the place the first leaves and is still finished in that pass.
TEST_F(TimelineTest, TwoTracksClosingInOneFrameAreBothFinished) {
    buildScene();
    SceneObject* first = findObject("T");
    SceneObject* second = findObject("J");
    first->visible = second->visible = false;
    timeline.revealTracks.push_back(lerpTrack(0.0, 1.0, {0, 0, 0}, {1, 1, 1}, first));
    timeline.revealTracks.push_back(lerpTrack(0.5, 1.0, {0, 0, 0}, {2, 2, 2}, second));
    stepAt(1.5);
    EXPECT_TRUE(timeline.revealTracks.empty());
    EXPECT_TRUE(first->visible);
    EXPECT_TRUE(second->visible);
    EXPECT_EQ(first->position, glm::vec3(1, 1, 1));
    EXPECT_EQ(second->position, glm::vec3(2, 2, 2));
}

TEST_F(TimelineTest, WindowTestsReadTheClockButValuesUseTheFrameTime) {
    setUpAt(1.0);
    // The frame began at 8.4 but the clock has passed the end of "T"'s window (9) by the time
    // the track is tested: it gets its last update at 8.4 and is dropped.
    clock = 9.1;
    animationStep(8.4);
    EXPECT_TRUE(findObject("T")->visible);
    expectVec3Near(findObject("T")->position, placeOf("T") + glm::vec3(0, 4, 0));
    EXPECT_NE(timeline.revealTracks[0].target, findObject("T"));
}

TEST_F(TimelineTest, MoveTracksEndAtTheirEndValueWhateverTheFrameRate) {
    buildScene();
    SceneObject* tile = findObject("Plane");
    tile->visible = false;
    timeline.moveTracks.push_back(lerpTrack(0.0, 2.0, {0, 0, 0}, {20, 0, 0}, tile));
    stepAt(1.0);
    expectVec3Near(tile->position, {10, 0, 0});
    // The next frame comes long after the window: the slide still ends where it should.
    stepAt(3.0);
    EXPECT_TRUE(timeline.moveTracks.empty());
    EXPECT_EQ(tile->position, glm::vec3(20, 0, 0));
    EXPECT_EQ(tile->translationMatrix, glm::translate(glm::mat4(1.0f), glm::vec3(20, 0, 0)));
    EXPECT_FALSE(tile->visible);  // moving never shows an object
}

TEST_F(TimelineTest, MissingObjectSkipsItsTrackOnly) {
    buildScene("Z");
    mainCamera.setAngles(20.5f, 256.0f);
    clock = 1.0;
    setupAnimations();
    ASSERT_EQ(timeline.revealTracks.size(), 9u);
    // The letters after the missing one keep their windows.
    EXPECT_EQ(timeline.revealTracks[2].target, findObject("O"));
    EXPECT_EQ(timeline.revealTracks[2].startTime, 15.0);
    stepAt(13.0);  // where "Z" would fall
    stepAt(16.0);
    EXPECT_TRUE(findObject("O")->visible);
}

TEST_F(TimelineTest, FlagWindowsOverrideTheControls) {
    setUpAt(1.0);  // shadowMode 2 from 3 to 5, 1 from 5 to 7, wireframe from 53 to 55
    stepAt(3.0);
    EXPECT_EQ(loop.shadowMode, 1);  // the window is open only after its start
    stepAt(3.5);
    EXPECT_EQ(loop.shadowMode, 2);
    // An O release in the window: the controls make 1, the timeline sets 2 again.
    loop.shadowMode = (loop.shadowMode + 1) % 2;
    stepAt(3.6);
    EXPECT_EQ(loop.shadowMode, 2);
    stepAt(5.5);
    EXPECT_EQ(loop.shadowMode, 1);
    loop.shadowMode = 0;
    stepAt(7.0);  // closed: the flag keeps what the controls gave it
    EXPECT_EQ(loop.shadowMode, 0);

    EXPECT_FALSE(loop.wireframe);
    stepAt(54.0);
    EXPECT_TRUE(loop.wireframe);
    loop.wireframe = false;
    stepAt(54.9);
    EXPECT_TRUE(loop.wireframe);
    loop.wireframe = false;
    stepAt(55.0);
    EXPECT_FALSE(loop.wireframe);
}

TEST_F(TimelineTest, AFrameThatJumpsOverAWindowStillAppliesItsSwitchInWindowOrder) {
    setUpAt(1.0);  // shadowMode 2 from 3 to 5, 1 from 5 to 7, wireframe from 53 to 55
    loop.shadowMode = 0;
    stepAt(2.5);
    stepAt(7.5);  // over both shadow windows: 2, then 1
    EXPECT_EQ(loop.shadowMode, 1);

    // One window at a time, and each only once.
    timeline.shadowWindow2Start = 10.0;
    timeline.shadowWindow1Start = 20.0;
    stepAt(9.0);
    stepAt(12.0);
    EXPECT_EQ(loop.shadowMode, 2);
    loop.shadowMode = 0;
    stepAt(19.5);
    EXPECT_EQ(loop.shadowMode, 0);
    stepAt(22.0);
    EXPECT_EQ(loop.shadowMode, 1);

    stepAt(52.0);
    stepAt(56.0);
    EXPECT_TRUE(loop.wireframe);
    loop.wireframe = false;  // Q afterwards
    stepAt(60.0);
    EXPECT_FALSE(loop.wireframe);
}

TEST_F(TimelineTest, CameraFlightAimsFromWhereTheCameraIsInThisFrame) {
    setUpAt(20.0);  // offsets are 0 from 15 s; flight leg 1 runs from 25 to 29
    const glm::vec3 from = mainCamera.position;
    const glm::vec3 to(50, 0, 0);
    stepAt(26.0);
    expectVec3Near(mainCamera.position, hermiteVec3(from, to, from, to, 0.25f), 1e-5f);
    Camera looking;
    looking.position = mainCamera.position;
    looking.lookAt(glm::vec3(0.0f));
    EXPECT_FLOAT_EQ(mainCamera.pitch, looking.pitch);
    EXPECT_FLOAT_EQ(mainCamera.yaw, looking.yaw);
    expectMat4Near(mainCamera.rotation, rotationOf(looking.pitch, looking.yaw));
}

// On a slow machine the sculpture stays in its shot: at 20 s, frames 1.9 s apart aim where
// frames 1/30 s apart do.
TEST_F(TimelineTest, TheFlightsAimDoesNotDependOnTheFrameStep) {
    const auto forwardAt20 = [this](double step) {
        TearDown();
        SetUp();
        setUpAt(0.0);
        for (int k = 1; k * step < 20.0 - 1e-6; ++k) stepAt(k * step);
        stepAt(20.0);
        return mainCamera.forward();
    };
    const glm::vec3 fast = forwardAt20(1.0 / 30.0);
    const glm::vec3 slow = forwardAt20(1.9);
    EXPECT_LT(glm::degrees(std::acos(std::min(1.0f, glm::dot(fast, slow)))), 0.5f);
}

TEST_F(TimelineTest, AfterALegTheViewLooksAtTheOriginFromWhereTheLegEnded) {
    setUpAt(0.0);  // leg 4 ends at 35 s, leg 5 starts at 54 s and ends at 64 s
    const auto lookingFrom = [](glm::vec3 eye) {
        Camera camera;
        camera.position = eye;
        camera.lookAt(glm::vec3(0.0f));
        return rotationOf(camera.pitch, camera.yaw);
    };
    // Slow frames: the last frame inside a leg is far from its end point.
    stepAt(34.0);
    stepAt(36.5);
    EXPECT_TRUE(mainCamera.position == glm::vec3(40, 10, -50));
    expectMat4Near(mainCamera.rotation, lookingFrom({40, 10, -50}));
    stepAt(45.0);
    expectMat4Near(mainCamera.rotation, lookingFrom({40, 10, -50}));

    stepAt(62.0);
    stepAt(66.0);
    expectMat4Near(mainCamera.rotation, lookingFrom({40, 36, -50}));
}

TEST_F(TimelineTest, SlowFramesPlayTheScriptToItsOutcome) {
    // The script as it is written down, not as the code's tables hold it: with the set-up at
    // 0 s the letters fall from 5 s, 3 s each, in this order; tiles and barrels slide from 37
    // to 40 s; the lamp rises from 42 to 52 s; the camera's legs end at these moments.
    const std::vector<std::string> fallOrder = {"T", "J", "Z", "O", "T2", "J2", "T3", "Z2", "J3"};
    const std::vector<std::pair<std::string, glm::vec3>> slides = {
        {"Plane", {-20, 0, 20}},      {"Plane2", {-20, 0, -20}},   {"Plane3", {20, 0, 20}},
        {"Plane4", {20, 0, -20}},     {"Barrel", {-450, 0, 450}},  {"Barrel2", {450, 0, 450}},
        {"Barrel3", {-450, 0, -450}}, {"Barrel4", {450, 0, -450}}, {"Streetlamp", {0, 200, 0}}};
    const std::vector<std::pair<double, glm::vec3>> legEnds = {{9.0, {50, 0, 0}},
                                                               {29.0, {30, 40, 30}},
                                                               {33.0, {30, 10, 10}},
                                                               {35.0, {40, 10, -50}},
                                                               {64.0, {40, 36, -50}}};
    setUpAt(0.0);

    // Frames 1.9 s apart, as on a slow machine, and a frame at each moment that is checked.
    std::vector<double> frames;
    for (int k = 1; k * 1.9 < 70.0; ++k) frames.push_back(k * 1.9);
    for (std::size_t k = 0; k < fallOrder.size(); ++k) frames.push_back(6.5 + 3.0 * k);
    for (const auto& [end, point] : legEnds) frames.push_back(end);
    std::sort(frames.begin(), frames.end());

    bool sawShadowMode2 = false;
    for (double t : frames) {
        stepAt(t);
        sawShadowMode2 = sawShadowMode2 || loop.shadowMode == 2;
        for (std::size_t k = 0; k < fallOrder.size(); ++k) {
            if (t != 6.5 + 3.0 * k) continue;
            // Half-way down its fall, the next letter still hidden.
            const SceneObject* letter = findObject(fallOrder[k]);
            EXPECT_TRUE(letter->visible) << fallOrder[k];
            expectVec3Near(letter->position, placeOf(fallOrder[k]) + glm::vec3(0, 10, 0));
            if (k + 1 < fallOrder.size()) {
                EXPECT_FALSE(findObject(fallOrder[k + 1])->visible) << fallOrder[k + 1];
            }
        }
        for (const auto& [end, point] : legEnds) {
            if (t != end) continue;
            SCOPED_TRACE("the leg ending at " + std::to_string(end));
            expectVec3Near(mainCamera.position, point);
        }
    }
    EXPECT_TRUE(timeline.revealTracks.empty());
    EXPECT_TRUE(timeline.moveTracks.empty());
    EXPECT_TRUE(timeline.cameraTracks.empty());
    EXPECT_TRUE(sawShadowMode2);
    EXPECT_EQ(loop.shadowMode, 1);
    EXPECT_TRUE(loop.wireframe);  // switched on at 52 s, on until Q

    for (const std::string& letter : fallOrder) {
        EXPECT_TRUE(findObject(letter)->visible) << letter;
        expectVec3Near(findObject(letter)->position, placeOf(letter));
    }
    EXPECT_TRUE(findObject("Water")->visible);
    EXPECT_EQ(findObject("Water")->position, placeOf("Water"));
    for (const auto& [name, offset] : slides) {
        const SceneObject* object = findObject(name);
        expectVec3Near(object->position, placeOf(name) + offset);
        expectMat4Near(object->translationMatrix,
                       glm::translate(glm::mat4(1.0f), placeOf(name) + offset));
    }
    // The flight ends at its last point, looking at the origin.
    Camera looking;
    looking.position = glm::vec3(40, 36, -50);
    looking.lookAt(glm::vec3(0.0f));
    EXPECT_EQ(mainCamera.position, looking.position);
    expectMat4Near(mainCamera.rotation, rotationOf(looking.pitch, looking.yaw));
    // The light is no part of the script.
    EXPECT_EQ(findObject("LICHT")->position, placeOf("LICHT"));
}

// The last camera leg ends 64 s after set-up, well after the wireframe window opens at 52 s:
// up to that moment a track is still running, just after it none is.
TEST_F(TimelineTest, TimelineEndsWithItsLastTrack) {
    setUpAt(2.0);
    const double end = timelineEnd();
    EXPECT_DOUBLE_EQ(end, 66.0);
    for (int frame = 1; 2.0 + frame / 8.0 <= end; ++frame) stepAt(2.0 + frame / 8.0);
    EXPECT_FALSE(timeline.cameraTracks.empty());
    stepAt(end + 0.001);
    EXPECT_TRUE(timeline.cameraTracks.empty());
    EXPECT_TRUE(timeline.moveTracks.empty());
    EXPECT_TRUE(timeline.revealTracks.empty());
}

TEST_F(TimelineTest, ReleasedTimelineNoLongerTouchesAnything) {
    setUpAt(0.0);
    releaseAnimations();
    loop.shadowMode = 0;
    const glm::vec3 cameraPosition = mainCamera.position;
    stepAt(3.0);   // inside the first shadow-mode window of the released script
    stepAt(53.0);  // inside its wireframe window
    EXPECT_EQ(loop.shadowMode, 0);
    EXPECT_FALSE(loop.wireframe);
    EXPECT_EQ(mainCamera.position, cameraPosition);
    EXPECT_FALSE(findObject("T")->visible);
}
