// The long run (scripts/longrun; disabled in the normal suite): the demo's real start-up and
// frames, 1/30 s apart on a set clock, through the whole timeline and beyond. No GL error may
// be reported (the fixture fails on any), and resident memory must stay flat once the first
// frames have built what the driver caches.
//
//   PELK_LONGRUN_FRAMES   frames to render (default 2000, 66.7 s of clock)
//   PELK_LONGRUN_SETTLE   frames before the memory baseline (default 120)

#include <GL/glew.h>
#include <GLFW/glfw3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "app/Loop.h"
#include "camera/Camera.h"
#include "core/Platform.h"
#include "support/GlFixture.h"
#include "support/TestSupport.h"

namespace {

long residentKilobytes() {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            long kilobytes = 0;
            status >> kilobytes;
            return kilobytes;
        }
        status.ignore(1 << 16, '\n');
    }
    return -1;
}

int fromEnvironment(const char* name, int fallback) {
    const char* text = std::getenv(name);
    const int value = text != nullptr ? std::atoi(text) : 0;
    return value > 0 ? value : fallback;
}

TEST_F(GlTest, DISABLED_LongRunHasNoGlErrorAndFlatMemory) {
    const int frames = fromEnvironment("PELK_LONGRUN_FRAMES", 2000);
    const int settle = std::min(fromEnvironment("PELK_LONGRUN_SETTLE", 120), frames - 1);
    constexpr double kStep = 1.0 / 30.0;
    constexpr long kAllowedGrowthKilobytes = 1024;

    double clock = 0.0;
    loop = LoopState{};
    mainCamera = Camera{};
    platform().clock = [&clock] { return clock; };
    platform().keyDown = [](int) { return false; };
    captureStdout([] { startUp(); });

    long baseline = 0;
    long peak = 0;
    const auto begin = std::chrono::steady_clock::now();
    for (int i = 0; i < frames; ++i) {
        clock = i * kStep;
        renderFrame(clock);
        presentFrame();
        if (i == settle) baseline = residentKilobytes();
        if (i >= settle) peak = std::max(peak, residentKilobytes());
        if (i % 100 == 0) {
            std::printf("frame %d (clock %.2f s): %ld kB resident, %zu GL errors\n", i, clock,
                        residentKilobytes(), glErrors().size());
            std::fflush(stdout);
        }
    }
    glFinish();
    const long last = residentKilobytes();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    std::printf(
        "%d frames to clock %.2f s in %.0f s (%.1f ms a frame); resident after frame %d: "
        "%ld kB, peak after it %ld kB, at the end %ld kB (growth %ld kB); GL errors %zu\n",
        frames, (frames - 1) * kStep, seconds, 1000.0 * seconds / frames, settle, baseline, peak,
        last, peak - baseline, glErrors().size());
    RecordProperty("residentGrowthKilobytes", static_cast<int>(peak - baseline));
    EXPECT_LT(peak - baseline, kAllowedGrowthKilobytes);
    EXPECT_TRUE(glErrors().empty());
}

}  // namespace
