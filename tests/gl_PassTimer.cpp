#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "render/GpuPassTimer.h"
#include "render/PassTimer.h"
#include "support/GlFixture.h"

namespace {

class PassTimerTest : public GlTest {
protected:
    void TearDown() override {
        passObserver = nullptr;
        GlTest::TearDown();
    }

    // One frame's marks as the frame code makes them, the mipmap rebuilds inside the scene.
    static void markFrame() {
        for (PassId pass : {PassId::Shadow, PassId::Reflection}) {
            beginPass(pass);
            glClear(GL_COLOR_BUFFER_BIT);
            endPass(pass);
        }
        beginPass(PassId::Scene);
        glClear(GL_COLOR_BUFFER_BIT);
        beginPass(PassId::Mipmaps);
        glFlush();
        endPass(PassId::Mipmaps);
        glClear(GL_DEPTH_BUFFER_BIT);
        endPass(PassId::Scene);
        beginPass(PassId::Post);
        glClear(GL_COLOR_BUFFER_BIT);
        endPass(PassId::Post);
    }
};

}  // namespace

TEST_F(PassTimerTest, EveryFrameArrivesOnceInOrderWithoutGlErrors) {
    std::vector<std::pair<std::uint64_t, PassTimes>> seen;
    GpuPassTimer timer(
        [&](std::uint64_t frame, const PassTimes& t) { seen.emplace_back(frame, t); });
    ASSERT_TRUE(timer.supported());
    passObserver = &timer;

    // Marks outside a frame start no query (and so raise no error).
    markFrame();
    // Read one frame behind for a while, then not at all for longer than the ring, so that
    // the ring itself has to hand over results before it reuses a query set.
    for (std::uint64_t frame = 1; frame <= 4; ++frame) {
        timer.beginFrame(frame);
        markFrame();
        timer.endFrame();
        timer.collect(1);
    }
    EXPECT_EQ(seen.size(), 3u);
    for (std::uint64_t frame = 5; frame <= 11; ++frame) {
        timer.beginFrame(frame);
        markFrame();
        timer.endFrame();
    }
    timer.collect(0);

    ASSERT_EQ(seen.size(), 11u);
    for (std::size_t i = 0; i < seen.size(); ++i) {
        EXPECT_EQ(seen[i].first, i + 1);
        for (double ms : seen[i].second) EXPECT_GE(ms, 0.0);
    }
    timer.collect(0);  // nothing left to hand over twice
    EXPECT_EQ(seen.size(), 11u);
}
