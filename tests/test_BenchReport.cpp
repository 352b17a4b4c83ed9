// The benchmark's JSON, read back as a reader of it would: the fields in their order, the
// context, times rounded to microseconds, null GPU times without timer queries, the floor.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/bench/BenchReport.h"

namespace {

using Json = nlohmann::json;

RunResult twoMoments(bool gpuTimes, bool withFloor) {
    RunResult r;
    r.renderer = "llvmpipe \"quoted\"";
    r.version = "4.5";
    r.context = {ContextOrigin::EglDevice, "device 1 of 1: software renderer"};
    r.cpu = "a CPU";
    r.cores = 2;
    r.frames = 2;
    r.warmup = 1;
    r.firstFrameSeconds = 0.61234;
    r.peakMiB = 249.5;
    r.gpuTimes = gpuTimes;
    r.withFloor = withFloor;
    for (double moment : {3.0, 20.0}) {
        MomentResult& m = r.moments.emplace_back();
        m.moment = moment;
        m.real.cpuMs = {100.00049, 120.0};
        m.floor.cpuMs = {50.0, 60.0};
        for (std::size_t p = 0; p < kPassCount; ++p) {
            m.real.gpuMs[p] = {static_cast<double>(p) + 1.0, static_cast<double>(p) + 2.0};
            m.floor.gpuMs[p] = {0.5, 0.5};
        }
    }
    return r;
}

}  // namespace

TEST(BenchReport, TheJsonReadsBackWithItsFieldsInOrder) {
    const Json json = Json::parse(benchJson(twoMoments(true, false)).dump(2));
    // Read back, the keys are sorted; the written text keeps their order.
    const std::string text = benchJson(twoMoments(true, false)).dump();
    const std::vector<std::string> order = {"renderer",
                                            "glVersion",
                                            "contextOrigin",
                                            "contextDetail",
                                            "cpu",
                                            "cores",
                                            "lpNumThreads",
                                            "frames",
                                            "warmupFrames",
                                            "framesPerSecondOfClock",
                                            "startupToFirstFrameSeconds",
                                            "startupMeasuredFrom",
                                            "peakResidentMiB",
                                            "gpuTimes",
                                            "floorAlternated",
                                            "moments"};
    std::size_t at = 0;
    for (const std::string& key : order) {
        const std::size_t found = text.find("\"" + key + "\":", at);
        ASSERT_NE(found, std::string::npos) << key << " missing or out of order in " << text;
        at = found;
    }
    EXPECT_EQ(json["renderer"], "llvmpipe \"quoted\"");
    EXPECT_EQ(json["contextOrigin"], "EGL device");
    EXPECT_EQ(json["contextDetail"], "device 1 of 1: software renderer");
    EXPECT_TRUE(json["lpNumThreads"].is_null());
    EXPECT_EQ(json["startupToFirstFrameSeconds"], 0.612);
    EXPECT_EQ(json["moments"].size(), 2u);
    const Json& first = json["moments"][0];
    EXPECT_EQ(first["seconds"], 3.0);
    EXPECT_EQ(first["cpuFrameMs"]["median"], 110.0);
    EXPECT_EQ(first["cpuFrameMs"]["samples"], Json::array({100.0, 120.0}));
    EXPECT_EQ(first["gpuMs"]["shadow"]["median"], 1.5);
    EXPECT_EQ(first["gpuMs"]["mipmaps"]["p95"], 6.0);
    EXPECT_FALSE(first.contains("floor"));
    EXPECT_FALSE(first.contains("ratio"));
}

TEST(BenchReport, WithoutTimerQueriesGpuTimesAreNullAndTheFloorHasItsRatio) {
    const Json json = Json::parse(benchJson(twoMoments(false, true)).dump());
    EXPECT_FALSE(json["gpuTimes"].get<bool>());
    EXPECT_TRUE(json["floorAlternated"].get<bool>());
    const Json& moment = json["moments"][1];
    for (const char* pass : {"shadow", "reflection", "scene", "post", "mipmaps"}) {
        EXPECT_TRUE(moment["gpuMs"][pass].is_null()) << pass;
        EXPECT_TRUE(moment["floor"]["gpuMs"][pass].is_null()) << pass;
    }
    EXPECT_EQ(moment["floor"]["cpuFrameMs"]["median"], 55.0);
    EXPECT_EQ(moment["ratio"], 2.0);
}
