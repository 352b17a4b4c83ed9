#include "tools/bench/BenchReport.h"

#include <cmath>

#include "tools/bench/Stats.h"

namespace {

using Json = nlohmann::ordered_json;

// Milliseconds to three decimals, as the table's readers need them.
double rounded(double value) { return std::round(value * 1000.0) / 1000.0; }

Json summary(const std::vector<double>& values) {
    Json samples = Json::array();
    for (double value : values) samples.push_back(rounded(value));
    return Json{{"median", rounded(median(values))},
                {"p95", rounded(percentile(values, 95))},
                {"samples", samples}};
}

// "cpuFrameMs" and "gpuMs" into `out`.
void addTimes(Json& out, const FrameTimes& times, bool gpuTimes) {
    out["cpuFrameMs"] = summary(times.cpuMs);
    Json gpu = Json::object();
    for (PassId pass : kColumns) {
        gpu[passName(pass)] =
            gpuTimes ? summary(times.gpuMs[static_cast<std::size_t>(pass)]) : Json(nullptr);
    }
    out["gpuMs"] = gpu;
}

}  // namespace

double floorRatio(const MomentResult& moment) {
    const double floor = median(moment.floor.cpuMs);
    return floor > 0.0 ? median(moment.real.cpuMs) / floor : 0.0;
}

nlohmann::ordered_json benchJson(const RunResult& r) {
    Json json;
    json["renderer"] = r.renderer;
    json["glVersion"] = r.version;
    json["contextOrigin"] = contextOriginName(r.context.origin);
    json["contextDetail"] = r.context.detail;
    json["cpu"] = r.cpu;
    json["cores"] = r.cores;
    json["lpNumThreads"] = r.rasterThreads.empty() ? Json(nullptr) : Json(r.rasterThreads);
    json["frames"] = r.frames;
    json["warmupFrames"] = r.warmup;
    json["framesPerSecondOfClock"] = r.clockFramesPerSecond;
    json["startupToFirstFrameSeconds"] = rounded(r.firstFrameSeconds);
    json["startupMeasuredFrom"] = r.firstFrameFromProcessStart ? "process start" : "main";
    json["peakResidentMiB"] = rounded(r.peakMiB);
    json["gpuTimes"] = r.gpuTimes;
    json["floorAlternated"] = r.withFloor;
    Json moments = Json::array();
    for (const MomentResult& m : r.moments) {
        Json moment;
        moment["seconds"] = rounded(m.moment);
        addTimes(moment, m.real, r.gpuTimes);
        if (r.withFloor) {
            Json floor;
            addTimes(floor, m.floor, r.gpuTimes);
            moment["floor"] = floor;
            moment["ratio"] = rounded(floorRatio(m));
        }
        moments.push_back(moment);
    }
    json["moments"] = moments;
    return json;
}
