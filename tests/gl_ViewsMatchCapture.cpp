// The demo's views, chosen with its number keys, show what pelk-capture --passes writes for
// the same moment: the capture tool runs as its own process, and the test plays the demo's
// start-up and frames as the tool does (the timeline a step at a time, the frame a step before,
// then the moment), then presses each key and compares the window's picture with the file.
#include <GL/glew.h>
// GLEW before GLFW's GL header.
#include <GLFW/glfw3.h>
#include <stb_image.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "app/Loop.h"
#include "app/Overlay.h"
#include "camera/Camera.h"
#include "core/Platform.h"
#include "render/PassViews.h"
#include "support/GlFixture.h"
#include "support/TestSupport.h"

#ifndef PELK_CAPTURE_PATH
#error "the build names the capture tool in PELK_CAPTURE_PATH"
#endif

namespace {

constexpr double kMoment = 20.0;
constexpr double kStep = 1.0 / 30.0;  // the capture's default step

// RGB bytes, bottom row first.
std::vector<unsigned char> windowPicture() {
    std::vector<unsigned char> pixels(static_cast<std::size_t>(kWindowWidth) * kWindowHeight * 3);
    glFinish();
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, kWindowWidth, kWindowHeight, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

// A PNG as RGB bytes, bottom row first; empty when it cannot be read or is not window-sized.
std::vector<unsigned char> pictureFile(const std::string& path) {
    int width = 0;
    int height = 0;
    int channels = 0;
    unsigned char* data = stbi_load(path.c_str(), &width, &height, &channels, 3);
    std::vector<unsigned char> pixels;
    if (data != nullptr && width == kWindowWidth && height == kWindowHeight) {
        const std::size_t row = static_cast<std::size_t>(width) * 3;
        for (int y = height - 1; y >= 0; --y) {
            pixels.insert(pixels.end(), data + static_cast<std::size_t>(y) * row,
                          data + static_cast<std::size_t>(y + 1) * row);
        }
    }
    stbi_image_free(data);
    return pixels;
}

std::size_t differingPixels(const std::vector<unsigned char>& a,
                            const std::vector<unsigned char>& b) {
    if (a.size() != b.size()) return a.size() / 3 + b.size() / 3;
    std::size_t count = 0;
    for (std::size_t i = 0; i < a.size(); i += 3) {
        if (a[i] != b[i] || a[i + 1] != b[i + 1] || a[i + 2] != b[i + 2]) ++count;
    }
    return count;
}

double frameClock = 0.0;
std::set<int> held;

class ViewsMatchCaptureTest : public GlTest {
protected:
    void SetUp() override {
        GlTest::SetUp();
        closeOverlay();
        loop = LoopState{};
        mainCamera = Camera{};
        held.clear();
        platform().clock = [] { return frameClock; };
        platform().keyDown = [](int key) { return held.count(key) > 0; };
    }
    void TearDown() override {
        closeOverlay();
        GlTest::TearDown();
    }
};

}  // namespace

TEST_F(ViewsMatchCaptureTest, EachViewKeyShowsThePassPictureThatTheCaptureWritesAtThatMoment) {
    TempDir dir;
    const std::string log = (dir.path() / "capture.log").string();
    const std::string command = std::string(PELK_CAPTURE_PATH) +
                                " --context glx --at 20 --passes --out " + dir.path().string() +
                                " >" + log + " 2>&1";
    if (std::system(command.c_str()) != 0) {
        std::ifstream in(log);
        FAIL() << "pelk-capture failed: " << std::string(std::istreambuf_iterator<char>(in), {});
    }
    const std::string stem = (dir.path() / "frame-20.000").string();

    frameClock = 0.0;
    captureStdout([] { startUp(); });
    advanceTimeline(0.0, kMoment - kStep, kStep, [](double t) { frameClock = t; });
    frameClock = kMoment - kStep;
    renderFrame(frameClock);
    presentFrame();
    frameClock = kMoment;
    beginOverlayFrame();
    renderFrame(kMoment);
    finishOverlayFrame();

    const std::vector<unsigned char> picture = pictureFile(stem + ".png");
    ASSERT_FALSE(picture.empty());
    EXPECT_EQ(differingPixels(windowPicture(), picture), 0u)
        << "the demo's frame at 20 s is not the capture's";

    for (std::size_t n = 1; n < kPassViews.size(); ++n) {
        const PassView view = kPassViews[n];
        SCOPED_TRACE(passViewName(view));
        // The key held at the top of the loop, the view drawn at its end: the frame's images
        // are those of 20 s still.
        held = {kFirstViewKey + static_cast<int>(n)};
        beginOverlayFrame();
        finishOverlayFrame();
        held.clear();
        ASSERT_EQ(overlay.view, view);
        const std::vector<unsigned char> written =
            pictureFile(stem + "-" + passViewName(view) + ".png");
        ASSERT_FALSE(written.empty()) << "no picture of this pass from the capture";
        EXPECT_EQ(differingPixels(windowPicture(), written), 0u);
    }
}
