#pragma once

#include "app/Loop.h"
#include "camera/Camera.h"
#include "core/Platform.h"
#include "scene/Animation.h"
#include "scene/Scene.h"
#include "support/GlFixture.h"
#include "support/PipelineSupport.h"

// A GL test with the programs and targets built, an empty scene and timeline, a still clock
// and a default camera; the test fills the scene with its own objects.
class PipelineTest : public GlTest {
protected:
    void SetUp() override {
        GlTest::SetUp();
        ensurePipeline();
        clearScene();
        loop = LoopState{};
        // Far from the empty timeline's flag windows, which open at clock 0.
        loop.currentTime = 100.0;
        platform().clock = [] { return 100.0; };
        mainCamera = Camera{};
    }
    void TearDown() override {
        clearScene();
        GlTest::TearDown();
    }

private:
    static void clearScene() {
        scene.sceneObjects.clear();
        scene.skyPlanes.clear();
        releaseAnimations();
    }
};
