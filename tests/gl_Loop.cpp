#include <GL/glew.h>
// GLEW before any other GL header.
#include <GLFW/glfw3.h>

#include <filesystem>
#include <glm/gtc/type_ptr.hpp>

#include "app/Loop.h"
#include "assets/Paths.h"
#include "camera/Camera.h"
#include "core/Platform.h"
#include "render/Programs.h"
#include "scene/Scene.h"
#include "support/GlFixture.h"
#include "support/TestSupport.h"
#include "support/WindowManager.h"

namespace {

// Drives the demo's own start-up and frames on the fixture's window, with a clock and keys that
// the test sets. Start-up runs in a folder that holds the real shader stages but no meshes or
// pictures: the loop still takes every step of a frame, at a fraction of the software rasteriser's
// cost.
class FrameLoopTest : public GlTest {
protected:
    void SetUp() override {
        GlTest::SetUp();
        // The loop and camera as a fresh process has them, also when tests share one.
        loop = LoopState{};
        mainCamera = Camera{};
        platform().clock = [this] { return clock; };
        platform().keyDown = [this](int key) { return key == GLFW_KEY_ESCAPE && escapeHeld; };
    }
    void TearDown() override {
        glfwSetWindowShouldClose(appWindow, GLFW_FALSE);
        GlTest::TearDown();
    }

    void startUpAt(double time) {
        std::filesystem::create_directory_symlink(std::filesystem::absolute(srcDir),
                                                  runDir.path() / "src");
        ScopedWorkingDir inRunDir(runDir.path());
        clock = time;
        startUp();
    }
    void frameAt(double time) {
        clock = time;
        renderFrame(time);
        presentFrame();
    }
    // A matrix uniform as the program was last given it.
    static glm::mat4 uniformMatrix(const ShaderProgram& program, GLint location) {
        glm::mat4 value(0.0f);
        glGetUniformfv(program.program, location, glm::value_ptr(value));
        return value;
    }
    // What the post program was last given as the previous frame's view-projection.
    glm::mat4 oldViewProjUniform() const {
        return uniformMatrix(programs.postProgram, programs.postProgram["oldViewProj"]);
    }

    TempDir runDir;
    double clock = 0.0;
    bool escapeHeld = false;
};

}  // namespace

TEST_F(FrameLoopTest, DeltaTimeUsesTheSingleClockAndTheSetUpTime) {
    startUpAt(10.0);
    EXPECT_EQ(loop.previousTime, 10.0);

    // The first frame's step runs from the animation set-up, not from program start.
    frameAt(10.1);
    const float firstStep = static_cast<float>(static_cast<double>(10.1f) - 10.0);
    EXPECT_EQ(loop.deltaTime, firstStep);
    EXPECT_NE(loop.deltaTime, 0.1f);     // the clock value is rounded to float first
    EXPECT_EQ(loop.previousTime, 10.1);  // kept in double
    EXPECT_EQ(loop.currentTime, 10.1);

    frameAt(10.2);
    EXPECT_EQ(loop.deltaTime, static_cast<float>(static_cast<double>(10.2f) - 10.1));
    EXPECT_EQ(loop.previousTime, 10.2);
}

TEST_F(FrameLoopTest, PostPassGetsTheCameraTheSceneWasDrawnWithAndKeepsItForTheNextFrame) {
    startUpAt(0.0);  // the camera's first flight leg runs from 5 to 9 s
    ASSERT_NE(programs.postProgram["oldViewProj"], -1) << "the post program has no \"oldViewProj\"";
    EXPECT_EQ(loop.oldViewProjection, glm::mat4(1.0f));

    frameAt(0.05);
    const glm::mat4 first = mainCamera.viewProjectionMatrix();
    EXPECT_EQ(uniformMatrix(programs.postProgram, programs.postProgram["ViewProj"]), first);
    EXPECT_EQ(oldViewProjUniform(), glm::mat4(1.0f));  // the first frame blurs against identity
    EXPECT_EQ(loop.oldViewProjection, first);

    // Inside a leg the frame's animation step moves the camera: the scene pass draws with the
    // moved camera, and so must the flare and the blur.
    frameAt(6.0);
    const glm::mat4 drawn = mainCamera.viewProjectionMatrix();
    ASSERT_NE(drawn, first) << "the camera did not fly";
    // The build of the scene program that drew the last object holds what it was given.
    const SceneObject& last = scene.sceneObjects.back();
    const SceneBuild& scenePass = sceneProgramFor(last.kind, loop.shadowMode, last.texture != 0);
    EXPECT_EQ(uniformMatrix(scenePass, scenePass["proj_mat"]) *
                  uniformMatrix(scenePass, scenePass["ViewMatrix"]),
              drawn);
    EXPECT_EQ(loop.viewProjection, drawn);
    EXPECT_EQ(uniformMatrix(programs.postProgram, programs.postProgram["ViewProj"]), drawn);
    EXPECT_EQ(oldViewProjUniform(), first);
    EXPECT_EQ(loop.oldViewProjection, drawn);

    frameAt(6.5);
    EXPECT_EQ(oldViewProjUniform(), drawn);
}

TEST_F(FrameLoopTest, PresentingCountsFramesAndEscapeEndsAfterItsFrame) {
    startUpAt(5.0);
    // Each presented frame is counted; the title resets the count when it shows a rate.
    frameAt(5.01);  // lastTitleTime 0: a rate title, count back to 0, then this frame counted
    EXPECT_EQ(loop.frameCount, 1);
    frameAt(5.02);
    frameAt(5.03);
    EXPECT_EQ(loop.frameCount, 3);
    EXPECT_EQ(loop.lastTitleTime, 5.01);

    // Escape seen: the loop still renders, presents and counts that frame, then ends.
    escapeHeld = true;
    clock = 5.04;
    runFrameLoop();
    EXPECT_EQ(loop.frameCount, 4);
    EXPECT_EQ(loop.currentTime, 5.04);

    // A close request ends it the same way, tested after Escape.
    escapeHeld = false;
    glfwSetWindowShouldClose(appWindow, GLFW_TRUE);
    clock = 5.05;
    runFrameLoop();
    EXPECT_EQ(loop.frameCount, 5);
    EXPECT_TRUE(frameLoopShouldEnd());
    glfwSetWindowShouldClose(appWindow, GLFW_FALSE);
    EXPECT_FALSE(frameLoopShouldEnd());
}

TEST_F(FrameLoopTest, AMinimisedWindowGetsNoFramesUntilItIsRestored) {
    startUpAt(1.0);
    clock = 1.5;
    int escapeLooks = 0;
    // Escape on the fourth look: the loop goes round four times, whatever it does in each.
    platform().keyDown = [&](int key) { return key == GLFW_KEY_ESCAPE && ++escapeLooks == 4; };

    setMinimisedAsAWindowManagerWould(appWindow, true);
    ASSERT_TRUE(windowMinimised());
    runFrameLoop();
    EXPECT_EQ(escapeLooks, 4);
    EXPECT_EQ(loop.frameCount, 0) << "frames were presented while minimised";
    EXPECT_EQ(loop.currentTime, 0.0) << "a frame was rendered while minimised";

    setMinimisedAsAWindowManagerWould(appWindow, false);
    ASSERT_FALSE(windowMinimised());
    escapeLooks = 0;
    runFrameLoop();
    EXPECT_EQ(loop.frameCount, 4);
    EXPECT_EQ(loop.currentTime, 1.5);
}
