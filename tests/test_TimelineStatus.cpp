#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "camera/Camera.h"
#include "core/FrameState.h"
#include "core/Platform.h"
#include "scene/Animation.h"
#include "scene/Scene.h"
#include "scene/TimelineStatus.h"

namespace {

// The objects that the timeline's tracks move, by name; where they stand does not matter here.
const std::vector<std::string> kAnimatedNames = {
    "LICHT",  "T",      "J",       "Z",       "O",       "T2",        "J2",
    "T3",     "Z2",     "J3",      "Water",   "Plane",   "Plane2",    "Plane3",
    "Plane4", "Barrel", "Barrel2", "Barrel3", "Barrel4", "Streetlamp"};

using Lines = std::vector<std::string>;

class TimelineStatusTest : public ::testing::Test {
protected:
    void SetUp() override {
        scene = Scene{};
        timeline = Timeline{};
        loop = LoopState{};
        mainCamera = Camera{};
        for (const std::string& name : kAnimatedNames) {
            SceneObject object;
            object.name = name;
            scene.sceneObjects.push_back(object);
        }
        platform().clock = [this] { return clock; };
        clock = 0.0;
        setupAnimations();
    }
    void TearDown() override {
        resetPlatform();
        timeline = Timeline{};
        scene = Scene{};
    }

    // The animation step of a frame at `t`, then what the overlay would say.
    Lines linesAt(double t) {
        clock = t;
        animationStep(t);
        return describeTimeline(timelineStatus(t));
    }

    double clock = 0.0;
};

}  // namespace

// Set up at 0 s: the shadow windows 2 to 4 s and 4 to 6 s, the letters falling 3 s each from
// 5 s, the water from the last letter's start to 37 s, the tiles and barrels sliding 37 to 40 s,
// the lamp rising 42 to 52 s, the wireframe window 52 to 54 s; the flight's legs 5 to 9, 9 to 29,
// 29 to 33, 33 to 35 and 54 to 64 s.
TEST_F(TimelineStatusTest, SaysWhichLegFliesWhatFallsAndMovesAndWhatIsForced) {
    EXPECT_EQ(linesAt(3.0), (Lines{"camera resting, 5 of 5 legs to come",
                                   "forced: filtered shadows until 4.0 s"}));
    EXPECT_EQ(linesAt(5.5), (Lines{"flight leg 1 of 5, 5.0 to 9.0 s", "falling: T",
                                   "forced: soft shadows until 6.0 s"}));
    EXPECT_EQ(linesAt(10.0), (Lines{"flight leg 2 of 5, 9.0 to 29.0 s", "falling: J"}));
    EXPECT_EQ(linesAt(30.0), (Lines{"flight leg 3 of 5, 29.0 to 33.0 s", "falling: J3, Water"}));
    EXPECT_EQ(linesAt(38.0),
              (Lines{"camera resting, 1 of 5 legs to come",
                     "moving: Plane, Plane2, Plane3, Plane4, Barrel, Barrel2, Barrel3, Barrel4"}));
    EXPECT_EQ(linesAt(45.0), (Lines{"camera resting, 1 of 5 legs to come", "moving: Streetlamp"}));
    EXPECT_EQ(linesAt(53.0),
              (Lines{"camera resting, 1 of 5 legs to come", "forced: wireframe on until 54.0 s"}));
    // The finished legs are gone from the timeline; the last one is still the fifth.
    EXPECT_EQ(linesAt(60.0), (Lines{"flight leg 5 of 5, 54.0 to 64.0 s"}));
    EXPECT_EQ(linesAt(70.0), (Lines{"nothing scripted"}));
}

TEST_F(TimelineStatusTest, AWindowsEdgesAndATracksStartAreOutsideItLikeTheStepSeesThem) {
    // A track holds (start, end]; a flag window (start, start + 2) open at both ends.
    TimelineStatus status;
    clock = 2.0;
    animationStep(2.0);
    status = timelineStatus(2.0);
    EXPECT_EQ(status.forcedShadowMode, -1);
    clock = 4.0;
    animationStep(4.0);
    status = timelineStatus(4.0);
    EXPECT_EQ(status.forcedShadowMode, -1);  // the first window closed, the second not yet open
    clock = 5.0;
    animationStep(5.0);
    status = timelineStatus(5.0);
    EXPECT_EQ(status.forcedShadowMode, 1);
    EXPECT_EQ(status.flightLeg, 0);  // leg 1 opens after 5 s
    EXPECT_TRUE(status.falling.empty());
    clock = 9.0;
    animationStep(9.0);
    status = timelineStatus(9.0);
    EXPECT_EQ(status.flightLeg, 1);  // and holds 9 s itself
    EXPECT_EQ(status.legsLeft, 5);
}
