// The demo's overlay on the fixture's window, driven as the loop drives it: its key, its
// switches (with a pointer that stands in for the mouse), the view keys, the screenshot key, and
// that a hidden overlay leaves the frame exactly as it was.
#include <GL/glew.h>
// GLEW before GLFW's GL header.
#include <GLFW/glfw3.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "app/Overlay.h"
#include "app/Screenshot.h"
#include "camera/Camera.h"
#include "render/PassTimer.h"
#include "render/PassViews.h"
#include "scene/Scene.h"
#include "support/DrawHook.h"
#include "support/PipelineFixture.h"
#include "support/TestSupport.h"

namespace {

// The window's picture, RGB bytes, bottom row first.
std::vector<unsigned char> windowPicture() {
    std::vector<unsigned char> pixels(static_cast<std::size_t>(kWindowWidth) * kWindowHeight * 3);
    glFinish();
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, kWindowWidth, kWindowHeight, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

// Runs `check` before each draw call while alive.
class DrawWatch {
public:
    explicit DrawWatch(std::function<void()> check) { setBeforeDraw(std::move(check)); }
    ~DrawWatch() { setBeforeDraw({}); }
    DrawWatch(const DrawWatch&) = delete;
    DrawWatch& operator=(const DrawWatch&) = delete;
};

class OverlayTest : public PipelineTest {
protected:
    void SetUp() override {
        PipelineTest::SetUp();
        closeOverlay();
        mainCamera.aspectRatio = 4.0f / 3.0f;
        platform().keyDown = [this](int key) { return held.count(key) > 0; };
        scene.sceneObjects.push_back(makeLight(glm::vec3(-3, 8, 2), 0.3f));
        scene.sceneObjects.push_back(
            makeCube("testcube", glm::vec3(0, 1, 0), 0.5f, glm::vec3(0.8f, 0.3f, 0.2f)));
        scene.sceneObjects.push_back(makeFloor("Plane", 8.0f, glm::vec3(0.6f)));
        mainCamera.position = glm::vec3(0, 4, 9);
        mainCamera.setAngles(20.0f, 0.0f);
    }
    void TearDown() override {
        closeOverlay();
        passObserver = nullptr;
        PipelineTest::TearDown();
    }

    // One frame of the demo's loop at the still clock, without presenting it, so that the
    // window's picture can be read.
    void frame() {
        beginOverlayFrame();
        renderFrame(100.0);
        finishOverlayFrame();
    }
    // One frame with `key` held, then one with it let go.
    void tap(int key) {
        held.insert(key);
        frame();
        held.erase(key);
        frame();
    }
    // A click of the pointer at the middle of a rectangle of the overlay: down for a frame, up
    // for the next.
    void click(const OverlayRect& rect) {
        const float x = 0.5f * (rect.left + rect.right);
        const float y = 0.5f * (rect.top + rect.bottom);
        overlay.pointer = OverlayPointer{x, y, true};
        frame();
        overlay.pointer = OverlayPointer{x, y, false};
        frame();
    }
    // The shadow modes that the scene pass's draws of the next frame are made with: the
    // "varShadow" of the program drawing each (the test's objects have no pictures, so the
    // general program draws them, and the uniform picks the mode).
    std::set<int> shadowModesOfNextFrame() {
        std::set<int> used;
        DrawWatch watch([&] {
            GLint framebuffer = 0;
            glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &framebuffer);
            if (static_cast<GLuint>(framebuffer) != targets.sceneTarget.framebuffer) return;
            GLint program = 0;
            glGetIntegerv(GL_CURRENT_PROGRAM, &program);
            const GLint location = glGetUniformLocation(static_cast<GLuint>(program), "varShadow");
            if (location < 0) return;
            GLint mode = -1;
            glGetUniformiv(static_cast<GLuint>(program), location, &mode);
            used.insert(mode);
        });
        frame();
        return used;
    }

    std::set<int> held;
};

}  // namespace

TEST_F(OverlayTest, HiddenItLeavesTheFrameAsItWasWithNoQueryAndNoDrawOfItsOwn) {
    renderFrame(100.0);
    const std::vector<unsigned char> plain = windowPicture();

    int draws = 0;
    bool timed = false;
    {
        DrawWatch watch([&] {
            ++draws;
            GLint query = 0;
            glGetQueryiv(GL_TIME_ELAPSED, GL_CURRENT_QUERY, &query);
            if (query != 0 || passObserver != nullptr) timed = true;
        });
        beginOverlayFrame();
        renderFrame(100.0);
        const int frameDraws = draws;
        finishOverlayFrame();
        EXPECT_EQ(draws, frameDraws) << "the hidden overlay drew";
    }
    EXPECT_FALSE(timed);
    EXPECT_EQ(windowPicture(), plain);

    // Shown, then hidden again: the same frame again, no observer left behind.
    tap(kOverlayKey);
    ASSERT_TRUE(overlay.shown);
    EXPECT_NE(windowPicture(), plain);
    tap(kOverlayKey);
    ASSERT_FALSE(overlay.shown);
    EXPECT_EQ(passObserver, nullptr);
    EXPECT_EQ(windowPicture(), plain);
}

TEST_F(OverlayTest, ItsKeyShowsItOverThePictureAndOnlyWhereItsWindowIs) {
    renderFrame(100.0);
    const std::vector<unsigned char> plain = windowPicture();

    // Held over several frames, the key shows it once.
    held.insert(kOverlayKey);
    for (int i = 0; i < 3; ++i) frame();
    held.erase(kOverlayKey);
    frame();
    ASSERT_TRUE(overlay.shown);
    const std::vector<unsigned char> shown = windowPicture();

    const OverlayRect& box = overlay.window;
    ASSERT_GT(box.right - box.left, 100.0f);
    ASSERT_GT(box.bottom - box.top, 100.0f);
    std::size_t inside = 0;
    std::size_t changedInside = 0;
    std::size_t changedOutside = 0;
    for (int y = 0; y < kWindowHeight; ++y) {
        for (int x = 0; x < kWindowWidth; ++x) {
            const std::size_t i = (static_cast<std::size_t>(y) * kWindowWidth + x) * 3;
            const bool changed = shown[i] != plain[i] || shown[i + 1] != plain[i + 1] ||
                                 shown[i + 2] != plain[i + 2];
            // The overlay's rectangle counts from the top; the picture's rows from the bottom.
            const float top = static_cast<float>(kWindowHeight - 1 - y);
            const bool within =
                x >= box.left && x < box.right && top >= box.top && top < box.bottom;
            inside += within ? 1 : 0;
            (within ? changedInside : changedOutside) += changed ? 1 : 0;
        }
    }
    EXPECT_EQ(changedOutside, 0u);
    EXPECT_GT(changedInside, inside / 2) << "the overlay's window is mostly see-through";

    // While shown, the passes are timed (where the driver has timer queries).
    if (GLEW_VERSION_3_3 || GLEW_ARB_timer_query) {
        for (int i = 0; i < 4; ++i) frame();
        bool timed = false;
        for (const OverlaySample& sample : overlay.history) timed = timed || sample.gpuKnown;
        EXPECT_TRUE(timed);
    }
}

TEST_F(OverlayTest, TheShadowModeSetThereIsTheModeOfTheNextFrame) {
    tap(kOverlayKey);
    ASSERT_TRUE(overlay.shown);
    ASSERT_EQ(loop.shadowMode, 1);
    EXPECT_EQ(shadowModesOfNextFrame(), std::set<int>{1});

    click(overlay.shadowModeChoices[0]);
    EXPECT_EQ(loop.shadowMode, 0) << "the click on \"hard\" was not taken";
    EXPECT_EQ(shadowModesOfNextFrame(), std::set<int>{0});

    click(overlay.shadowModeChoices[2]);
    EXPECT_EQ(loop.shadowMode, 2);
    EXPECT_EQ(shadowModesOfNextFrame(), std::set<int>{2});

    // A click level with "soft" but beside the overlay changes nothing.
    const OverlayRect& soft = overlay.shadowModeChoices[1];
    const float beside = overlay.window.right + 20.0f;
    click({beside, soft.top, beside + 2.0f, soft.bottom});
    EXPECT_EQ(loop.shadowMode, 2);

    // The O key still switches as before, from 2 to 1.
    tap(GLFW_KEY_O);
    frame();
    EXPECT_EQ(loop.shadowMode, 1);
}

TEST_F(OverlayTest, NumberKeysChooseTheViewsAndZeroGoesBackToThePicture) {
    renderFrame(100.0);
    const std::vector<unsigned char> plain = windowPicture();
    for (std::size_t n = 1; n < kPassViews.size(); ++n) {
        SCOPED_TRACE(passViewName(kPassViews[n]));
        held.insert(kFirstViewKey + static_cast<int>(n));
        frame();
        held.clear();
        EXPECT_EQ(overlay.view, kPassViews[n]);
        const std::vector<unsigned char> shown = windowPicture();
        EXPECT_NE(shown, plain);
        // What the loop drew is that pass's view, with the range measured this frame.
        drawPassView(kPassViews[n], viewRange(kPassViews[n]));
        EXPECT_EQ(windowPicture(), shown);
    }
    held.insert(kFirstViewKey);
    frame();
    held.clear();
    EXPECT_EQ(overlay.view, PassView::Picture);
    EXPECT_EQ(windowPicture(), plain);
}

TEST_F(OverlayTest, TheScreenshotKeySavesTheWindowAsNumberedPicturesAndSaysSo) {
    TempDir dir;
    overlay.screenshotFolder = dir.path().string();
    held.insert(kFirstViewKey + 3);  // the reflection cube's view, to tell it from the picture
    const std::string console = captureStdout([&] {
        tap(kScreenshotKey);
        held.erase(kFirstViewKey + 3);
    });
    const std::string folder = dir.path().string() + "/";
    EXPECT_EQ(console, "Saved the window's picture as " + folder + "pelk-0001.png\n");
    const std::vector<unsigned char> seen = windowPicture();

    // The file holds what the window showed, encoded as the key encodes it (the encoder's
    // rows, top first, are the unit tests' to check).
    std::FILE* encoded = std::tmpfile();
    ASSERT_NE(encoded, nullptr);
    ASSERT_TRUE(writePng(encoded, seen, kWindowWidth, kWindowHeight));
    std::rewind(encoded);
    std::string expected;
    for (int c = std::fgetc(encoded); c != EOF; c = std::fgetc(encoded)) {
        expected.push_back(static_cast<char>(c));
    }
    std::fclose(encoded);
    std::ifstream file(dir.path() / "pelk-0001.png", std::ios::binary);
    const std::string saved{std::istreambuf_iterator<char>(file), {}};
    EXPECT_GT(saved.size(), 1000u);
    EXPECT_TRUE(saved == expected) << "the saved picture is not the window's";

    // Held, the key saves once; the next press takes the next number.
    const std::string again = captureStdout([&] {
        held.insert(kScreenshotKey);
        frame();
        frame();
        held.erase(kScreenshotKey);
        frame();
        tap(kScreenshotKey);
    });
    EXPECT_EQ(again, "Saved the window's picture as " + folder + "pelk-0002.png\n" +
                         "Saved the window's picture as " + folder + "pelk-0003.png\n");
}
