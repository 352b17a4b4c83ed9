// pelk-capture: runs the demo's start-up and frame code against a set clock and writes the
// window's picture at chosen moments of the run, as PNG. It can also time frames.
//
//   pelk-capture --at 3.0 [--at 20.0 ...] --out DIR [--passes] [--shadow-mode N] [--wireframe]
//                [--light X,Y,Z] [--step SECONDS] [--frames N [--time T]]
//   pelk-capture --video FILE.mp4|FILE.webm [--fps N] [--from T] [--to T]    (Video.h)
//   either with [--context auto|glx|egl|surfaceless|device|gpu]
//
// Times are seconds from the animation set-up. The timeline plays in frames --step seconds
// apart (default 1/30), at multiples of the step from the set-up on, as a machine that draws a
// frame every step would run it; each picture is preceded by the frame a viewer would have
// seen one step earlier, so the motion blur is the one of a running demo. A picture does not
// depend on the other moments of the run, as long as they are a step or more apart. --frames N
// renders N frames a step apart from --time (default: the last --at, else 20) and prints the
// median frame time. Next to each picture, frame-SS.SSS.txt notes the flags, the light and the
// camera's view-projection matrix of that frame. With --passes, frame-SS.SSS-NAME.png beside it
// shows each pass's images as the demo's views do (tools/capture/PassPictures.h). Pictures and
// notes appear whole or not at all.
//
// Where an X display answers and gives a window, the frames are drawn in the demo's window,
// hidden; otherwise (or with --context and an EGL choice) in an EGL context without a window,
// into an off-screen framebuffer of the window's size (context/EglContext.h). After start-up
// the tool prints the renderer, its GL version and where the context came from.
//
// Moments (--at, --time, --from, --to) are 0 to 86400 s, --step 1/240 s to 86400 s, --frames 1
// to 100000, --shadow-mode 0, 1 or 2, --light three numbers from -1000 to 1000. Exit status:
// 0 done; 1 a picture, note or video could not be written (nothing of it is left, and an older
// file of that name stays as it was); 2 bad options (nothing is done); 3 start-up gave no
// pipeline to draw with (no ./src or ./res in the working folder, or none of the scene's meshes
// in it, a program that did not link, an incomplete target), so nothing is written; -13 out of
// memory.

#include <GL/glew.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/Loop.h"
#include "app/Screenshot.h"
#include "camera/Camera.h"
#include "context/EglContext.h"
#include "core/Platform.h"
#include "scene/Scene.h"
#include "tools/capture/PassPictures.h"
#include "tools/capture/Video.h"
#include "tools/common/CommandLine.h"
#include "tools/common/Files.h"
#include "tools/common/ToolStart.h"

namespace {

constexpr double kFrameStep = 1.0 / 30.0;  // the default --step
// The finest --step is a frame of the fastest video, so that the timeline played before a late
// moment is bounded as a video's is; the coarsest is the whole range of moments.
constexpr double kFinestStep = 1.0 / kMaxVideoFps;
// --frames renders every frame it times; a hundred thousand is hours on a software rasteriser.
constexpr long kMaxTimedFrames = 100'000;
// A light farther out than this lights nothing that the camera sees (its far plane is 300).
constexpr double kLightReach = 1000.0;
constexpr int kShadowModes = 3;  // 0 hard, 1 soft, 2 filtered
constexpr int kExitFailed = 1;

struct Options {
    std::vector<double> times;
    std::string outDir;
    std::optional<int> shadowMode;
    bool wireframe = false;
    bool passes = false;
    std::optional<glm::vec3> light;
    long frames = 0;
    std::optional<double> timingStart;
    double step = kFrameStep;
    ContextRequest context = ContextRequest::Auto;
    VideoOptions video;
};

std::string picturePath(const std::string& dir, double t, const char* extension) {
    char name[64];
    std::snprintf(name, sizeof name, "frame-%06.3f.%s", t, extension);
    return (std::filesystem::path(dir) / name).string();
}

// Two moments whose pictures would have the same name: the second would overwrite the first.
std::optional<std::string> picturesWithoutNames(const Options& options) {
    for (std::size_t i = 1; i < options.times.size(); ++i) {
        const std::string name = picturePath("", options.times[i], "png");
        if (name == picturePath("", options.times[i - 1], "png")) {
            char text[160];
            std::snprintf(text, sizeof text,
                          "--at %g and --at %g would both be %s (names keep milliseconds)",
                          options.times[i - 1], options.times[i], name.c_str());
            return std::string(text);
        }
    }
    return std::nullopt;
}

// Reads the command line: nothing when the tool goes on, else the exit status to end with.
std::optional<int> readCommandLine(int argc, char** argv, Options& options) {
    CommandLine commandLine("pelk-capture",
                            "Runs the demo's start-up and frame code against a set clock and "
                            "writes the window's picture at chosen moments as PNG (with notes "
                            "beside each), times frames, or records the timeline as a video.");
    CLI::App& app = commandLine.app();
    char wants[128];
    CLI::Option* at = commandLine.addRepeatable("--at", options.times,
                                                "a moment to capture, seconds after the "
                                                "animation set-up (repeatable)");
    at->type_name("SECONDS")->transform(numberFrom(0.0, kLatestMoment, kSecondsWanted));
    CLI::Option* out = app.add_option("--out", options.outDir, "the folder for the pictures")
                           ->type_name("DIR")
                           ->transform(notEmpty("a folder"));
    at->needs(out);
    app.add_option("--shadow-mode", options.shadowMode,
                   "force the shadow mode: 0 hard, 1 soft, 2 filtered")
        ->type_name("N")
        ->transform(wholeNumberFrom(0, kShadowModes - 1, "0 (hard), 1 (soft) or 2 (filtered)"));
    app.add_flag("--wireframe", options.wireframe, "force the wireframe on");
    app.add_flag("--passes", options.passes,
                 "beside each picture, write each pass's images (frame-SS.SSS-NAME.png)")
        ->needs(at);
    std::snprintf(wants, sizeof wants, "X,Y,Z, three numbers from %.0f to %.0f", -kLightReach,
                  kLightReach);
    std::string light;
    app.add_option("--light", light, "place the light")
        ->type_name("X,Y,Z")
        ->transform(numberListFrom(3, -kLightReach, kLightReach, wants));
    std::snprintf(wants, sizeof wants, "seconds from 1/%d to %.0f", kMaxVideoFps, kLatestMoment);
    app.add_option("--step", options.step,
                   "the frames played before each moment lie this far apart (default 1/30)")
        ->type_name("SECONDS")
        ->transform(numberFrom(kFinestStep, kLatestMoment, wants));
    std::snprintf(wants, sizeof wants, "a whole number of frames from 1 to %ld", kMaxTimedFrames);
    CLI::Option* frames =
        app.add_option("--frames", options.frames,
                       "render N frames a step apart and print the median frame time")
            ->type_name("N")
            ->transform(wholeNumberFrom(1, kMaxTimedFrames, wants));
    app.add_option("--time", options.timingStart,
                   "where the timed frames begin (default: the last --at, else 20)")
        ->type_name("SECONDS")
        ->transform(numberFrom(0.0, kLatestMoment, kSecondsWanted))
        ->needs(frames);
    addVideoOptions(commandLine, options.video);
    app.get_option("--video")->excludes(at)->excludes(frames);
    addContextOption(commandLine, options.context);
    app.footer(
        "Exit status: 0 done, 1 a write failed (nothing of it is left), 2 bad options, 3 no "
        "pipeline (run from another folder than the one with src/ and res/ and the meshes, or "
        "a stage file that does not build), -13 (243) out of memory; -10 (246) no GL context, "
        "-11 (245) a driver without OpenGL 4.5, -12 (244) no renderable colour format.");
    if (const std::optional<int> end = commandLine.parse(argc, argv)) return end;

    if (!light.empty()) {
        const std::vector<double> xyz = readNumberList(light);
        options.light = glm::vec3(static_cast<float>(xyz[0]), static_cast<float>(xyz[1]),
                                  static_cast<float>(xyz[2]));
    }
    for (double& t : options.times) t += 0.0;  // -0 is 0, in names too
    if (const std::optional<std::string> problem = videoOptionsProblem(options.video)) {
        return commandLine.refuse(*problem);
    }
    const bool video = !options.video.path.empty();
    if (options.times.empty() && options.frames == 0 && !video) {
        return commandLine.refuse("nothing to do (no --at, no --frames, no --video)");
    }
    std::sort(options.times.begin(), options.times.end());
    if (const std::optional<std::string> problem = picturesWithoutNames(options)) {
        return commandLine.refuse(*problem);
    }
    // The timed frames stay within the range of moments too.
    const double timingStart =
        options.timingStart.value_or(options.times.empty() ? 20.0 : options.times.back());
    const double lastTimed =
        std::max(timingStart, options.times.empty() ? 0.0 : options.times.back() + options.step) +
        static_cast<double>(options.frames - 1) * options.step;
    if (options.frames > 0 && lastTimed > kLatestMoment) {
        char text[160];
        std::snprintf(text, sizeof text, "%ld frames %g s apart from %.3f s run past %.0f s",
                      options.frames, options.step, timingStart, kLatestMoment);
        return commandLine.refuse(text);
    }
    return std::nullopt;
}

// The clock the frame code reads: whatever the tool says it is.
double frameClock = 0.0;

// Flags asked for on the command line, applied before every rendered frame as a user's key
// presses would be; the timeline's flag windows still win inside their windows.
std::optional<int> forcedShadowMode;
bool forcedWireframe = false;

void renderAt(double t) {
    frameClock = t;
    if (forcedShadowMode) loop.shadowMode = *forcedShadowMode;
    if (forcedWireframe) loop.wireframe = true;
    renderFrame(t);
}

// Plays the timeline alone over the frames that are not rendered: the camera flight turns the
// camera from one frame to the next, so skipping them would leave it looking elsewhere than a
// viewer's camera.
void playTimeline(double from, double to, double step) {
    advanceTimeline(from, to, step, [](double t) { frameClock = t; });
}

// The window's picture of the frame just rendered (before it is presented) as PNG, top row
// first.
bool writeWindowPicture(std::FILE* file) {
    return writePng(file, readWindowPicture(), kWindowWidth, kWindowHeight);
}

// What the picture shows, for anyone who wants to find things in it: the moment, the flags, the
// light and the camera that the scene pass drew with (its matrix column by column).
bool writePictureNotes(std::FILE* file, double t) {
    const glm::vec3 light = lightCube().position;
    const glm::vec3 eye = mainCamera.position;
    const glm::vec3 forward = mainCamera.forward();
    std::fprintf(file, "time %.3f\nshadowMode %d\nwireframe %d\n", t, loop.shadowMode,
                 loop.wireframe ? 1 : 0);
    std::fprintf(file, "light %.6g %.6g %.6g\n", light.x, light.y, light.z);
    std::fprintf(file, "camera %.6g %.6g %.6g\n", eye.x, eye.y, eye.z);
    std::fprintf(file, "forward %.6g %.6g %.6g\n", forward.x, forward.y, forward.z);
    std::fprintf(file, "viewProjection");
    const glm::mat4 viewProjection = mainCamera.viewProjectionMatrix();
    for (int column = 0; column < 4; ++column) {
        for (int row = 0; row < 4; ++row) std::fprintf(file, " %.9g", viewProjection[column][row]);
    }
    return std::fprintf(file, "\n") > 0 && std::ferror(file) == 0;
}

int capturePictures(const Options& options, double& lastTime) {
    for (double t : options.times) {
        const double before = t - options.step;
        if (before > lastTime) {
            playTimeline(lastTime, before, options.step);
            renderAt(before);
            presentFrame();
        }
        renderAt(t);
        glFinish();
        const std::string path = picturePath(options.outDir, t, "png");
        // A picture without its notes is not a capture: both take their names, or neither.
        const std::string notes = picturePath(options.outDir, t, "txt");
        std::string failed;
        std::string why;
        if (!writeFilesWhole({{path, writeWindowPicture},
                              {notes, [t](std::FILE* file) { return writePictureNotes(file, t); }}},
                             failed, why)) {
            std::fprintf(stderr, "pelk-capture: could not write %s: %s\n", failed.c_str(),
                         why.c_str());
            return kExitFailed;
        }
        // The pass pictures belong to the capture too: without them, neither is left.
        if (options.passes && !writePassPictures(path, why)) {
            std::remove(path.c_str());
            std::remove(notes.c_str());
            std::fprintf(stderr, "pelk-capture: could not write %s\n", why.c_str());
            return kExitFailed;
        }
        presentFrame();
        lastTime = t;
        std::printf("wrote %s\n", path.c_str());
        if (options.passes) {
            for (const std::string& pass : passPicturePaths(path)) {
                std::printf("wrote %s\n", pass.c_str());
            }
        }
    }
    return 0;
}

void timeFrames(const Options& options, double start, double lastTime) {
    playTimeline(lastTime, start, options.step);
    std::vector<double> milliseconds;
    for (long i = 0; i < options.frames; ++i) {
        const auto begin = std::chrono::steady_clock::now();
        renderAt(start + static_cast<double>(i) * options.step);
        glFinish();
        const auto end = std::chrono::steady_clock::now();
        presentFrame();
        milliseconds.push_back(std::chrono::duration<double, std::milli>(end - begin).count());
    }
    std::sort(milliseconds.begin(), milliseconds.end());
    const std::size_t n = milliseconds.size();
    const double median =
        n % 2 == 1 ? milliseconds[n / 2] : 0.5 * (milliseconds[n / 2 - 1] + milliseconds[n / 2]);
    std::printf("median frame time over %ld frames from %.3f s: %.1f ms\n", options.frames, start,
                median);
}

bool makeFolder(const std::string& dir) {
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    if (!error && std::filesystem::is_directory(dir, error)) return true;
    std::fprintf(stderr, "pelk-capture: cannot make the folder %s: %s\n", dir.c_str(),
                 error ? error.message().c_str() : "a file of that name is in the way");
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    beginTool("pelk-capture");
    Options options;
    if (const std::optional<int> end = readCommandLine(argc, argv, options)) return *end;
    if (!resourcesHere()) return kExitNoPipeline;
    if (!options.outDir.empty() && !makeFolder(options.outDir)) return kExitBadOptions;
    if (!options.video.path.empty() && !videoCanStart(options.video)) return kExitBadOptions;
    // An interrupted picture leaves no temporary behind; a recording catches the signals itself.
    removeTemporariesOnStopSignals();
    platform().clock = [] { return frameClock; };
    platform().keyDown = [](int) { return false; };

    // A hidden window (its back buffer is still ours to read), or no window at all.
    if (const std::optional<int> end =
            startPipeline(options.context, true, true, "nothing written")) {
        return *end;
    }
    forcedShadowMode = options.shadowMode;
    forcedWireframe = options.wireframe;
    if (options.light) lightCube().setPosition(*options.light);

    double lastTime = 0.0;
    int status = 0;
    if (!options.video.path.empty()) {
        status = recordVideo(
            options.video,
            {renderAt, [](double t) { playTimelineFrame(t, [](double c) { frameClock = c; }); }});
    }
    if (!options.times.empty()) status = capturePictures(options, lastTime);
    if (status == 0 && options.frames > 0) {
        const double start =
            options.timingStart.value_or(options.times.empty() ? 20.0 : options.times.back());
        timeFrames(options, std::max(start, lastTime + options.step), lastTime);
    }
    std::fflush(stdout);
    shutDown();
    return status;
}
