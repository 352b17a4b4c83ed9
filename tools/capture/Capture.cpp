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
// Where an X display opens, the frames are drawn in the demo's window, hidden; without one (or
// with --context and an EGL choice) in an EGL context without a window, into an off-screen
// framebuffer of the window's size (app/ToolContext.h). After start-up the tool prints the
// renderer, its GL version and where the context came from.
//
// Moments (--at, --time, --from, --to) are 0 to 86400 s, --step 1/240 s to 86400 s, --frames 1
// to 100000, --shadow-mode 0, 1 or 2, --light three numbers from -1000 to 1000. Exit status:
// 0 done; 1 a picture, note or video could not be written (nothing of it is left); 2 bad options
// (nothing is done); 3 start-up gave no pipeline to draw with (no ./src or ./res in the working
// folder, a program that did not link, an incomplete target), so nothing is written.

#include <GL/glew.h>
#include <stb_image_write.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/Loop.h"
#include "app/StartFolder.h"
#include "app/ToolContext.h"
#include "assets/Paths.h"
#include "camera/Camera.h"
#include "core/Platform.h"
#include "render/PipelineCheck.h"
#include "scene/Scene.h"
#include "tools/capture/Files.h"
#include "tools/capture/PassPictures.h"
#include "tools/capture/Video.h"

namespace {

constexpr double kFrameStep = 1.0 / 30.0;  // the default --step
// The finest --step is a frame of the fastest video, so that the timeline played before a late
// moment is bounded as a video's is; the coarsest is the whole range of moments.
constexpr double kFinestStep = 1.0 / kMaxVideoFps;
// --frames renders every frame it times; a hundred thousand is hours on a software rasteriser.
constexpr long kMaxTimedFrames = 100'000;
// A light farther out than this lights nothing that the camera sees (its far plane is 300).
constexpr float kLightReach = 1000.0f;
constexpr int kShadowModes = 3;  // 0 hard, 1 soft, 2 filtered
constexpr int kExitBadInput = 2;
constexpr int kExitFailed = 1;
// Start-up did not give the demo's pipeline (a stage file missing or not linking, an
// incomplete target, no ./src or ./res): the pictures would be blank.
constexpr int kExitNoPipeline = 3;

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

void usage() {
    std::fprintf(stderr,
                 "usage: pelk-capture --at SECONDS [--at SECONDS ...] --out DIR [--passes]\n"
                 "                    [--shadow-mode 0|1|2] [--wireframe] [--light X,Y,Z]\n"
                 "                    [--step SECONDS] [--frames N [--time SECONDS]]\n");
    std::fprintf(stderr, "%s", kVideoUsage);
    std::fprintf(
        stderr,
        "  --context auto|glx|egl|surfaceless|device|gpu  where the GL context comes from:\n"
        "            the hidden window on the X display (glx), or through EGL without\n"
        "            one: a GPU device, else surfaceless, else a software device (egl),\n"
        "            or only that platform; auto (default): glx where a display opens\n");
    std::fprintf(stderr,
                 "  Exit status: 0 done, 1 a write failed, 2 bad options, 3 no pipeline (run from\n"
                 "  another folder than the one with src/ and res/, or a stage file that does not\n"
                 "  build).\n");
}

bool parseStep(const char* text, double& value) {
    char* end = nullptr;
    value = std::strtod(text, &end);
    return end != text && *end == '\0' && value >= kFinestStep && value <= kLatestMoment;
}

bool parseWholeNumber(const char* text, long lowest, long highest, long& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text, &end, 10);
    return end != text && *end == '\0' && errno == 0 && value >= lowest && value <= highest;
}

// X,Y,Z: three finite numbers within kLightReach, nothing else.
bool parseLight(const char* text, glm::vec3& light) {
    const char* at = text;
    for (int axis = 0; axis < 3; ++axis) {
        char* end = nullptr;
        const double value = std::strtod(at, &end);
        if (end == at || !std::isfinite(value) || std::fabs(value) > kLightReach) return false;
        light[axis] = static_cast<float>(value);
        if (*end != (axis < 2 ? ',' : '\0')) return false;
        at = end + 1;
    }
    return true;
}

std::string picturePath(const std::string& dir, double t, const char* extension) {
    char name[64];
    std::snprintf(name, sizeof name, "frame-%06.3f.%s", t, extension);
    return (std::filesystem::path(dir) / name).string();
}

// Says on stderr what is wrong with one option's value.
bool badValue(const std::string& option, const char* wants, const char* value) {
    std::fprintf(stderr, "pelk-capture: %s wants %s, got '%s'\n", option.c_str(), wants, value);
    return false;
}

bool parseOption(const std::string& arg, const char* value, Options& options) {
    double seconds = 0.0;
    long number = 0;
    char wantsSeconds[64];
    std::snprintf(wantsSeconds, sizeof wantsSeconds, "seconds from 0 to %.0f", kLatestMoment);
    if (arg == "--out") {
        if (*value == '\0') return badValue(arg, "a folder", value);
        options.outDir = value;
    } else if (arg == "--light") {
        glm::vec3 light;
        char wants[96];
        std::snprintf(wants, sizeof wants, "X,Y,Z, three numbers from %.0f to %.0f", -kLightReach,
                      kLightReach);
        if (!parseLight(value, light)) return badValue(arg, wants, value);
        options.light = light;
    } else if (arg == "--at" || arg == "--time") {
        if (!parseSeconds(value, seconds)) return badValue(arg, wantsSeconds, value);
        if (arg == "--at") {
            options.times.push_back(seconds);
        } else {
            options.timingStart = seconds;
        }
    } else if (arg == "--shadow-mode") {
        if (!parseWholeNumber(value, 0, kShadowModes - 1, number)) {
            return badValue(arg, "0 (hard), 1 (soft) or 2 (filtered)", value);
        }
        options.shadowMode = static_cast<int>(number);
    } else if (arg == "--step") {
        char wants[96];
        std::snprintf(wants, sizeof wants, "seconds from 1/%d to %.0f", kMaxVideoFps,
                      kLatestMoment);
        if (!parseStep(value, options.step)) return badValue(arg, wants, value);
    } else if (arg == "--context") {
        const std::optional<ContextRequest> request = parseContextRequest(value);
        if (!request) return badValue(arg, kContextChoices, value);
        options.context = *request;
    } else if (arg == "--frames") {
        char wants[96];
        std::snprintf(wants, sizeof wants, "a whole number of frames from 1 to %ld",
                      kMaxTimedFrames);
        if (!parseWholeNumber(value, 1, kMaxTimedFrames, number)) {
            return badValue(arg, wants, value);
        }
        options.frames = number;
    } else {
        std::fprintf(stderr, "pelk-capture: unknown option %s\n", arg.c_str());
        return false;
    }
    return true;
}

// Two moments whose pictures would have the same name: the second would overwrite the first.
bool picturesHaveNames(const Options& options) {
    for (std::size_t i = 1; i < options.times.size(); ++i) {
        const std::string name = picturePath("", options.times[i], "png");
        if (name == picturePath("", options.times[i - 1], "png")) {
            std::fprintf(stderr,
                         "pelk-capture: --at %g and --at %g would both be %s (names keep "
                         "milliseconds)\n",
                         options.times[i - 1], options.times[i], name.c_str());
            return false;
        }
    }
    return true;
}

std::optional<Options> parseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--wireframe") {
            options.wireframe = true;
        } else if (arg == "--passes") {
            options.passes = true;
        } else if (arg.rfind("--", 0) != 0) {
            std::fprintf(stderr, "pelk-capture: unexpected argument '%s'\n", arg.c_str());
            return std::nullopt;
        } else if (i + 1 >= argc) {
            std::fprintf(stderr, "pelk-capture: %s needs a value\n", arg.c_str());
            return std::nullopt;
        } else if (isVideoOption(arg)) {
            if (!parseVideoOption(arg, argv[++i], options.video)) return std::nullopt;
        } else if (!parseOption(arg, argv[++i], options)) {
            return std::nullopt;
        }
    }
    if (!checkVideoOptions(options.video)) return std::nullopt;
    const bool video = !options.video.path.empty();
    if (video && (!options.times.empty() || options.frames > 0)) {
        std::fprintf(stderr, "pelk-capture: --video goes without --at and --frames\n");
        return std::nullopt;
    }
    if (options.passes && options.times.empty()) {
        std::fprintf(stderr, "pelk-capture: --passes goes with --at\n");
        return std::nullopt;
    }
    if (options.times.empty() && options.frames == 0 && !video) {
        std::fprintf(stderr, "pelk-capture: nothing to do (no --at, no --frames)\n");
        return std::nullopt;
    }
    if (!options.times.empty() && options.outDir.empty()) {
        std::fprintf(stderr, "pelk-capture: --at needs --out DIR\n");
        return std::nullopt;
    }
    if (options.timingStart && options.frames == 0) {
        std::fprintf(stderr, "pelk-capture: --time goes with --frames N\n");
        return std::nullopt;
    }
    std::sort(options.times.begin(), options.times.end());
    if (!picturesHaveNames(options)) return std::nullopt;
    // The timed frames stay within the range of moments too.
    const double timingStart =
        options.timingStart.value_or(options.times.empty() ? 20.0 : options.times.back());
    const double lastTimed =
        std::max(timingStart, options.times.empty() ? 0.0 : options.times.back() + options.step) +
        static_cast<double>(options.frames - 1) * options.step;
    if (options.frames > 0 && lastTimed > kLatestMoment) {
        std::fprintf(stderr, "pelk-capture: %ld frames %g s apart from %.3f s run past %.0f s\n",
                     options.frames, options.step, timingStart, kLatestMoment);
        return std::nullopt;
    }
    return options;
}

std::string glString(GLenum name) {
    const auto* text = reinterpret_cast<const char*>(glGetString(name));
    return text != nullptr ? text : "(unknown)";
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
    const std::vector<unsigned char> pixels = readWindowPicture();
    stbi_flip_vertically_on_write(1);
    // stb's own file writer does not look at what fwrite says; this one does.
    struct Sink {
        std::FILE* file;
        bool failed = false;
    } sink{file};
    const auto put = [](void* context, void* data, int size) {
        auto* to = static_cast<Sink*>(context);
        const auto bytes = static_cast<std::size_t>(size);
        if (!to->failed && std::fwrite(data, 1, bytes, to->file) != bytes) to->failed = true;
    };
    return stbi_write_png_to_func(put, &sink, kWindowWidth, kWindowHeight, 3, pixels.data(),
                                  kWindowWidth * 3) != 0 &&
           !sink.failed;
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
        const std::string notes = picturePath(options.outDir, t, "txt");
        std::string why;
        if (!writeFileWhole(path, writeWindowPicture, why) ||
            !writeFileWhole(
                notes, [t](std::FILE* file) { return writePictureNotes(file, t); }, why)) {
            std::remove(path.c_str());  // a picture without its notes is not a capture
            std::printf("pelk-capture: could not write %s: %s\n", path.c_str(), why.c_str());
            return kExitFailed;
        }
        if (options.passes && !writePassPictures(path, why)) {
            std::remove(path.c_str());
            std::remove(notes.c_str());
            std::printf("pelk-capture: could not write %s\n", why.c_str());
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

// Run from another folder, the stage files, meshes and pictures are missing and every picture
// would be blank; says so instead.
bool resourceFoldersHere() {
    std::error_code error;
    const std::string here = std::filesystem::current_path(error).string();
    const ResourceFolderCheck check = checkResourceFolders(here, "");
    if (check.message.empty()) return true;
    std::fprintf(stderr, "pelk-capture: %s\n", check.message.c_str());
    return false;
}

bool makeFolder(const std::string& dir) {
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    if (!error && std::filesystem::is_directory(dir, error)) return true;
    std::fprintf(stderr, "pelk-capture: cannot make the folder %s: %s\n", dir.c_str(),
                 error ? error.message().c_str() : "a file of that name is in the way");
    return false;
}

// After start-up: a program that did not link or an incomplete target would give blank frames.
bool pipelineWhole() {
    const std::vector<std::string> problems = pipelineProblems();
    for (const std::string& problem : problems) {
        std::fprintf(stderr, "pelk-capture: %s\n", problem.c_str());
    }
    if (problems.empty()) return true;
    std::fprintf(stderr, "pelk-capture: nothing written, as the frames would not show the scene\n");
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    lineBufferedOutput();
    const std::optional<Options> options = parseOptions(argc, argv);
    if (!options) {
        usage();
        return kExitBadInput;
    }
    if (!resourceFoldersHere()) return kExitNoPipeline;
    if (!options->outDir.empty() && !makeFolder(options->outDir)) return kExitBadInput;
    if (!options->video.path.empty() && !videoCanStart(options->video)) return kExitBadInput;
    platform().clock = [] { return frameClock; };
    platform().keyDown = [](int) { return false; };

    // A hidden window (its back buffer is still ours to read), or no window at all.
    openToolContext(options->context, true);
    startUp();  // the timeline starts at clock 0
    if (!pipelineWhole()) {
        shutDown();
        return kExitNoPipeline;
    }
    std::printf("renderer: %s\nGL version: %s\ncontext: %s\n", glString(GL_RENDERER).c_str(),
                glString(GL_VERSION).c_str(), contextDescription(toolContext()).c_str());
    forcedShadowMode = options->shadowMode;
    forcedWireframe = options->wireframe;
    if (options->light) lightCube().setPosition(*options->light);

    double lastTime = 0.0;
    int status = 0;
    if (!options->video.path.empty()) {
        status = recordVideo(
            options->video,
            {renderAt, [](double t) { playTimelineFrame(t, [](double c) { frameClock = c; }); }});
    }
    if (!options->times.empty()) status = capturePictures(*options, lastTime);
    if (status == 0 && options->frames > 0) {
        const double start =
            options->timingStart.value_or(options->times.empty() ? 20.0 : options->times.back());
        timeFrames(*options, std::max(start, lastTime + options->step), lastTime);
    }
    std::fflush(stdout);
    shutDown();
    return status;
}
