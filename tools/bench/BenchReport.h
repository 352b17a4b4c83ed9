#pragma once

#include <array>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "context/ContextChoice.h"
#include "render/PassTimer.h"

// What a benchmark run measured, and its JSON.

inline constexpr std::size_t kPassCount = static_cast<std::size_t>(PassId::Count);
// The order of the table's columns and the JSON's GPU times: the passes in frame order, then
// the mipmap rebuilds.
inline constexpr PassId kColumns[] = {PassId::Shadow, PassId::Reflection, PassId::Scene,
                                      PassId::Post, PassId::Mipmaps};

struct FrameTimes {
    std::vector<double> cpuMs;
    std::array<std::vector<double>, kPassCount> gpuMs;
};

// One moment's frames with the stage files, and with the floor's where it is measured.
struct MomentResult {
    double moment = 0.0;
    FrameTimes real;
    FrameTimes floor;
};

struct RunResult {
    std::string renderer;
    std::string version;
    ContextInfo context;
    std::string cpu;
    unsigned cores = 0;
    std::string rasterThreads;  // LP_NUM_THREADS, where set
    int frames = 0;             // measured frames per moment
    int warmup = 0;             // frames before each moment's measured ones
    int clockFramesPerSecond = 30;
    double firstFrameSeconds = 0.0;
    bool firstFrameFromProcessStart = true;
    double peakMiB = 0.0;
    bool gpuTimes = false;
    bool withFloor = false;
    std::vector<MomentResult> moments;
};

// The median frame time against the floor's; 0 without floor frames.
double floorRatio(const MomentResult& moment);

// The run as JSON, its fields in a fixed order: the renderer, "glVersion", "contextOrigin" and
// "contextDetail", the machine, the frame counts, start-up time and peak memory, then per moment
// "seconds", "cpuFrameMs" and "gpuMs" ({"median", "p95", "samples"} each; GPU times null where
// the driver has no timer queries), and with the floor "floor" and "ratio". Times in
// milliseconds, rounded to microseconds.
nlohmann::ordered_json benchJson(const RunResult& result);
