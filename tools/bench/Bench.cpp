// pelk-bench: runs the demo's start-up and frame code against a set clock and times frames at
// fixed moments of the timeline.
//
//   pelk-bench [--at SECONDS ...] [--frames N] [--warmup N] [--json FILE]
//              [--floor-stages DIR] [--count-instructions]
//              [--context auto|glx|egl|surfaceless|device|gpu]
//
// After the start-up the tool presents the demo's first frame, then, for each moment (default
// 3, 20, 45 and 60 s after the animation set-up), plays the timeline up to it and renders the
// warm-up frames and N measured frames, 1/30 s apart, the first measured one at the moment.
// For each moment it reports the CPU wall time per frame (renderFrame up to the return of
// presentFrame; median and p95) and the GPU time of the four passes and of the mipmap rebuilds
// (GL_TIME_ELAPSED queries; "scene" excludes the mipmap rebuilds that lie inside it); for the
// whole run the renderer, where its context came from, the time from process start to the first
// presented frame and the peak resident memory. Where an X display answers and gives a window,
// the window is the demo's, with the swap interval set to 0 so that a display's refresh does
// not cap the figures; otherwise (or with --context and an EGL choice) the frames are drawn
// through EGL without a window, into an off-screen framebuffer of the window's size
// (context/EglContext.h), on a GPU device where there is one.
//
// With --floor-stages DIR the tool also builds the programs from DIR/src (the same stage files
// with every fragment stage writing a constant colour: the pipeline's floor) and alternates the
// two frame by frame (real, floor, floor, real, ...), so that both see the same moments and the
// same state of a shared machine; it reports the floor beside each figure and the ratio of the
// medians.

#include <GL/glew.h>
#include <GLFW/glfw3.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#ifdef PELK_HAVE_CALLGRIND
#include <valgrind/callgrind.h>
#endif

#include "app/Loop.h"
#include "app/ToolContext.h"
#include "core/Platform.h"
#include "render/GpuPassTimer.h"
#include "render/PassTimer.h"
#include "render/Programs.h"
#include "tools/bench/BenchReport.h"
#include "tools/bench/Stats.h"
#include "tools/common/CommandLine.h"
#include "tools/common/Files.h"
#include "tools/common/ToolStart.h"

namespace {

constexpr double kFrameStep = 1.0 / 30.0;
// Moments past a day are typing errors ("inf" would play the timeline for good).
constexpr double kLatestMoment = 24.0 * 3600.0;
constexpr int kMostFrames = 10'000;
constexpr int kExitFailed = 1;

struct Options {
    std::vector<double> moments;  // empty: kDefaultMoments
    int frames = 20;
    int warmup = 3;
    std::string jsonPath;
    std::string floorStages;         // a folder whose src/ holds the floor's stage files
    bool countInstructions = false;  // under callgrind: count the measured frames only
    ContextRequest context = ContextRequest::Auto;
};
const std::vector<double> kDefaultMoments{3.0, 20.0, 45.0, 60.0};

// Reads the command line: nothing when the tool goes on, else the exit status to end with.
std::optional<int> readCommandLine(int argc, char** argv, Options& options) {
    CommandLine commandLine("pelk-bench",
                            "Runs the demo's start-up and frame code against a set clock and "
                            "times frames at fixed moments of the timeline: CPU time per frame, "
                            "GPU time per pass, time to the first frame, peak memory.");
    CLI::App& app = commandLine.app();
    commandLine
        .addRepeatable("--at", options.moments,
                       "a moment of the timeline to measure (repeatable; default 3 20 45 60)")
        ->type_name("SECONDS")
        ->transform(numberFrom(0.0, kLatestMoment, "seconds from 0 to 86400"));
    app.add_option("--frames", options.frames, "measured frames per moment (default 20)")
        ->type_name("N")
        ->transform(wholeNumberFrom(1, kMostFrames, "a whole number of frames from 1 to 10000"));
    app.add_option("--warmup", options.warmup,
                   "frames rendered before each moment and not counted (default 3)")
        ->type_name("N")
        ->transform(wholeNumberFrom(0, kMostFrames, "a whole number of frames from 0 to 10000"));
    app.add_option("--json", options.jsonPath, "also write the results as JSON to FILE")
        ->type_name("FILE")
        ->transform(notEmpty("a file"));
    CLI::Option* floor =
        app.add_option("--floor-stages", options.floorStages,
                       "alternate every frame with the programs built from DIR/src (constant "
                       "fragment stages: scripts/bench --floor makes it) and report the floor "
                       "and the ratio to it")
            ->type_name("DIR")
            ->transform(notEmpty("a folder"));
    app.add_flag("--count-instructions", options.countInstructions,
                 "under valgrind's callgrind, count the instructions of the measured frames "
                 "only, one dump per moment (scripts/bench --instructions runs it and reads the "
                 "dumps)")
        ->excludes(floor);
    addContextOption(commandLine, options.context);
    app.footer(
        "Exit status: 0 done, 1 the JSON could not be written (nothing of it is left), 2 bad "
        "options, 3 no pipeline (run from another folder than the one with src/ and res/ and "
        "the meshes, or a stage file that does not build), -13 (243) out of memory; -10 (246) "
        "no GL context, -11 (245) a driver without OpenGL 4.5, -12 (244) no renderable colour "
        "format.");
    if (const std::optional<int> end = commandLine.parse(argc, argv)) return end;
    if (options.moments.empty()) options.moments = kDefaultMoments;
    for (double& moment : options.moments) moment += 0.0;  // -0 is 0
    std::sort(options.moments.begin(), options.moments.end());
    options.moments.erase(std::unique(options.moments.begin(), options.moments.end()),
                          options.moments.end());
    return std::nullopt;
}

// Seconds since the process started (from the kernel's record of its start, in clock ticks),
// or nothing where that is not available.
std::optional<double> secondsSinceProcessStart() {
    std::ifstream stat("/proc/self/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // The command name is in parentheses and may contain spaces; the fields after it count
    // from 3 (state), and the start time is field 22.
    const std::size_t close = text.rfind(')');
    if (close == std::string::npos) return std::nullopt;
    std::istringstream fields(text.substr(close + 1));
    std::string field;
    for (int index = 3; index <= 22 && (fields >> field); ++index) {
        if (index != 22) continue;
        const long ticksPerSecond = sysconf(_SC_CLK_TCK);
        timespec now{};
        if (ticksPerSecond <= 0 || clock_gettime(CLOCK_BOOTTIME, &now) != 0) return std::nullopt;
        const double started = std::strtod(field.c_str(), nullptr) / ticksPerSecond;
        return static_cast<double>(now.tv_sec) + now.tv_nsec * 1e-9 - started;
    }
    return std::nullopt;
}

double peakResidentMiB() {
    rusage usage{};
    if (getrusage(RUSAGE_SELF, &usage) != 0) return 0.0;
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // ru_maxrss is in KiB on Linux
}

// The processor's model name, as the kernel reports it.
std::string cpuModel() {
    std::ifstream info("/proc/cpuinfo");
    std::string line;
    while (std::getline(info, line)) {
        if (line.rfind("model name", 0) != 0) continue;
        const std::size_t colon = line.find(':');
        if (colon != std::string::npos)
            return line.substr(line.find_first_not_of(" \t", colon + 1));
    }
    return "(unknown)";
}

// The clock the frame code reads: whatever the tool says it is.
double frameClock = 0.0;

// Plays the timeline alone over the frames that are not rendered, 30 a second, as a running
// demo would have (the camera flight turns the camera from one frame to the next).
void playTimeline(double from, double to) {
    advanceTimeline(from, to, kFrameStep, [](double t) { frameClock = t; });
}

class Bench {
public:
    explicit Bench(const Options& options)
        : options_(options),
          timer_([this](std::uint64_t frame, const PassTimes& times) { store(frame, times); }) {}

    // The programs of the floor, to alternate with the demo's own.
    void setFloorPrograms(const Programs& floor) {
        real_ = programs;
        floor_ = floor;
    }

    // Renders and presents one frame at clock t; returns its CPU wall time in milliseconds.
    double frame(double t, std::uint64_t id) {
        frameClock = t;
        timer_.beginFrame(id);
        const auto begin = std::chrono::steady_clock::now();
        renderFrame(t);
        presentFrame();
        const auto end = std::chrono::steady_clock::now();
        timer_.endFrame();
        timer_.collect(1);  // the frame before this one, finished by now
        lastTime_ = t;
        return std::chrono::duration<double, std::milli>(end - begin).count();
    }

    void run(RunResult& result) {
        result.gpuTimes = timer_.supported();
        passObserver = &timer_;
        std::uint64_t id = 0;
        for (double moment : options_.moments) {
            const double start =
                std::max(moment - options_.warmup * kFrameStep, lastTime_ + kFrameStep);
            playTimeline(lastTime_, start);
            MomentResult& out = result.moments.emplace_back();
            out.moment = moment;
            // With the floor, half the frames are the floor's, in the order real, floor, floor,
            // real, so that a machine that speeds up or slows down meanwhile favours neither;
            // both kinds get the warm-up frames and the measured frames that they would alone.
            const int kinds = floor_ ? 2 : 1;
            const int total = (options_.warmup + options_.frames) * kinds;
            for (int i = 0; i < total; ++i) {
                const bool isFloor = floor_ && (i % 4 == 1 || i % 4 == 2);
                if (floor_) programs = isFloor ? *floor_ : real_;
                const bool measured = i / kinds >= options_.warmup;
                if (measured) startCounting();
                const double ms = frame(start + i * kFrameStep, ++id);
                if (measured) stopCounting();
                if (!measured) continue;
                (isFloor ? out.floor : out.real).cpuMs.push_back(ms);
                measured_[id] = isFloor;
            }
            if (floor_) programs = real_;
            dumpCounts(moment);
            timer_.collect(0);
            for (const auto& [frameId, times] : gpu_) {
                FrameTimes& kind = measured_[frameId] ? out.floor : out.real;
                for (std::size_t p = 0; p < kPassCount; ++p) kind.gpuMs[p].push_back(times[p]);
            }
            gpu_.clear();
            measured_.clear();
        }
        passObserver = nullptr;
    }

    void setLastTime(double t) { lastTime_ = t; }

private:
    // Instruction counting: callgrind counts from the start of a measured frame until all of
    // its rendering is done, and writes one dump per moment, named after it.
    void startCounting() const {
#ifdef PELK_HAVE_CALLGRIND
        if (options_.countInstructions) CALLGRIND_START_INSTRUMENTATION;
#endif
    }
    void stopCounting() const {
#ifdef PELK_HAVE_CALLGRIND
        if (!options_.countInstructions) return;
        glFinish();
        CALLGRIND_STOP_INSTRUMENTATION;
#endif
    }
    void dumpCounts([[maybe_unused]] double moment) const {
#ifdef PELK_HAVE_CALLGRIND
        if (!options_.countInstructions) return;
        char name[64];
        std::snprintf(name, sizeof name, "moment %.3f", moment);
        CALLGRIND_DUMP_STATS_AT(name);
#endif
    }

    void store(std::uint64_t frame, const PassTimes& times) {
        if (measured_.count(frame) != 0) gpu_[frame] = times;
    }

    const Options& options_;
    GpuPassTimer timer_;
    double lastTime_ = 0.0;
    std::map<std::uint64_t, bool> measured_;  // the frames of this moment that count: floor?
    std::map<std::uint64_t, PassTimes> gpu_;
    Programs real_;
    std::optional<Programs> floor_;
};

void printTable(const RunResult& r, const Options& options) {
    std::printf("renderer: %s\nGL version: %s\ncontext: %s\n", r.renderer.c_str(),
                r.version.c_str(), contextDescription(r.context).c_str());
    std::printf("machine: %s, %u cores, LP_NUM_THREADS %s\n", r.cpu.c_str(), r.cores,
                r.rasterThreads.empty() ? "not set" : r.rasterThreads.c_str());
    std::printf("%d frames per moment, 1/30 s apart, after %d warm-up frames\n", options.frames,
                options.warmup);
    std::printf("start-up to first presented frame: %.3f s%s\n", r.firstFrameSeconds,
                r.firstFrameFromProcessStart ? "" : " (from main)");
    std::printf("peak resident memory: %.1f MiB\n\n", r.peakMiB);
    if (r.withFloor) {
        std::printf("every other frame drawn with constant fragment stages (the floor)\n\n");
        std::printf("%8s | %9s %9s %9s %9s | %s\n", "moment", "CPU frame", "ms", "floor", "ratio",
                    "GPU ms per frame (median), floor in brackets");
        std::printf("%8s | %9s %9s %9s %9s |", "s", "median", "p95", "median", "");
    } else {
        std::printf("%8s | %9s %9s | %s\n", "moment", "CPU frame", "ms",
                    "GPU ms per frame (median)");
        std::printf("%8s | %9s %9s |", "s", "median", "p95");
    }
    const char* columnFormat = r.withFloor ? " %17s" : " %10s";
    for (PassId pass : kColumns) std::printf(columnFormat, passName(pass));
    std::printf(columnFormat, "sum");
    std::printf("\n");
    for (const MomentResult& m : r.moments) {
        std::printf("%8.2f | %9.1f %9.1f", m.moment, median(m.real.cpuMs),
                    percentile(m.real.cpuMs, 95));
        if (r.withFloor) std::printf(" %9.1f %9.2f", median(m.floor.cpuMs), floorRatio(m));
        std::printf(" |");
        double sum = 0.0;
        double floorSum = 0.0;
        for (PassId pass : kColumns) {
            const double value = median(m.real.gpuMs[static_cast<std::size_t>(pass)]);
            const double floorValue = median(m.floor.gpuMs[static_cast<std::size_t>(pass)]);
            sum += value;
            floorSum += floorValue;
            if (!r.gpuTimes) {
                std::printf(columnFormat, "n/a");
            } else if (r.withFloor) {
                std::printf(" %9.1f (%5.1f)", value, floorValue);
            } else {
                std::printf(" %10.1f", value);
            }
        }
        if (!r.gpuTimes) {
            std::printf(columnFormat, "n/a");
        } else if (r.withFloor) {
            std::printf(" %9.1f (%5.1f)", sum, floorSum);
        } else {
            std::printf(" %10.1f", sum);
        }
        std::printf("\n");
    }
    std::fflush(stdout);
}

// Builds the floor's programs from DIR/src, as the start-up builds the demo's from ./src, and
// hands both sets to the benchmark; the demo's stay in use.
bool buildFloorPrograms(const std::string& dir, Bench& bench) {
    std::error_code error;
    const std::filesystem::path here = std::filesystem::current_path(error);
    if (!std::filesystem::is_directory(std::filesystem::path(dir) / "src", error)) {
        std::fprintf(stderr, "pelk-bench: --floor-stages wants a folder with a src/ in it: %s\n",
                     dir.c_str());
        return false;
    }
    const Programs own = programs;
    std::filesystem::current_path(dir, error);
    createPrograms();
    lookUpUniforms();
    setConstantUniforms();
    std::filesystem::current_path(here, error);
    Programs floor = programs;
    // The floor keeps the demo's shadow program: its fragment stage only stores the moments
    // that the soft shadows' mipmaps are built from. With it, both kinds of frame write the same
    // moments, so both rebuild the mipmaps of the same faces (those whose casters moved)
    // instead of all of them at every change of program, as a frame of the demo alone does.
    floor.shadowProgram = own.shadowProgram;
    programs = own;
    bench.setFloorPrograms(floor);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const auto mainEntered = std::chrono::steady_clock::now();
    beginTool("pelk-bench");
    Options options;
    if (const std::optional<int> end = readCommandLine(argc, argv, options)) return *end;
    // Without ./src, ./res and the meshes (run from another folder) the figures would be those
    // of blank frames.
    if (!resourcesHere()) return kExitNoPipeline;
    if (options.countInstructions) {
#ifdef PELK_HAVE_CALLGRIND
        if (!RUNNING_ON_VALGRIND) {
            std::fprintf(stderr,
                         "pelk-bench: --count-instructions counts under callgrind only; "
                         "scripts/bench --instructions runs it so\n");
            return kExitBadOptions;
        }
#else
        std::fprintf(stderr,
                     "pelk-bench: --count-instructions needs a build with valgrind's headers "
                     "(scripts/bench --instructions makes one)\n");
        return kExitBadOptions;
#endif
    }
    // An interrupted JSON leaves no temporary behind.
    removeTemporariesOnStopSignals();
    platform().clock = [] { return frameClock; };
    platform().keyDown = [](int) { return false; };

    if (const std::optional<int> end =
            startPipeline(options.context, false, false, "nothing measured")) {
        return *end;
    }
    if (toolContext().origin == ContextOrigin::GlxWindow) glfwSwapInterval(0);

    RunResult result;
    result.renderer = glString(GL_RENDERER);
    result.version = glString(GL_VERSION);
    result.context = toolContext();
    result.cpu = cpuModel();
    result.cores = std::thread::hardware_concurrency();
    if (const char* threads = std::getenv("LP_NUM_THREADS")) result.rasterThreads = threads;
    result.frames = options.frames;
    result.warmup = options.warmup;
    result.clockFramesPerSecond = static_cast<int>(1.0 / kFrameStep + 0.5);

    Bench bench(options);
    if (!options.floorStages.empty()) {
        if (!buildFloorPrograms(options.floorStages, bench)) {
            shutDown();
            return kExitBadOptions;
        }
        result.withFloor = true;
    }
    // The demo's first frame, one frame step after the start-up.
    frameClock = kFrameStep;
    renderFrame(kFrameStep);
    presentFrame();
    bench.setLastTime(kFrameStep);
    if (const std::optional<double> sinceStart = secondsSinceProcessStart()) {
        result.firstFrameSeconds = *sinceStart;
    } else {
        result.firstFrameFromProcessStart = false;
        result.firstFrameSeconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - mainEntered).count();
    }

    bench.run(result);
    result.peakMiB = peakResidentMiB();
    printTable(result, options);
    int status = 0;
    if (!options.jsonPath.empty()) {
        std::string why;
        if (writeBytesWhole(options.jsonPath, benchJson(result).dump(2) + "\n", why)) {
            std::printf("wrote %s\n", options.jsonPath.c_str());
        } else {
            std::fprintf(stderr, "pelk-bench: could not write %s: %s\n", options.jsonPath.c_str(),
                         why.c_str());
            status = kExitFailed;
        }
    }
    std::fflush(stdout);
    shutDown();
    return status;
}
