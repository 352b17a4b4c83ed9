// pelk-capture: runs the demo's start-up and frame code against a set clock and writes the
// window's picture at chosen moments of the run, as PNG. It can also time frames.
//
//   pelk-capture --at 3.0 [--at 20.0 ...] --out DIR [--shadow-mode N] [--wireframe]
//                [--light X,Y,Z] [--step SECONDS] [--frames N [--time T]]
//   pelk-capture --video FILE.mp4|FILE.webm [--fps N] [--from T] [--to T]    (Video.h)
//
// Times are seconds from the animation set-up. The timeline plays in frames --step seconds
// apart (default 1/30), at multiples of the step from the set-up on, as a machine that draws a
// frame every step would run it; each picture is preceded by the frame a viewer would have
// seen one step earlier, so the motion blur is the one of a running demo. A picture does not
// depend on the other moments of the run, as long as they are a step or more apart. --frames N
// renders N frames a step apart from --time (default: the last --at, else 20) and prints the
// median frame time. Next to each picture, frame-SS.SSS.txt notes the flags, the light and the
// camera's view-projection matrix of that frame.

#include <GL/glew.h>
#include <GLFW/glfw3.h>
#include <stb_image_write.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/Loop.h"
#include "core/Platform.h"
#include "camera/Camera.h"
#include "scene/Scene.h"
#include "tools/capture/Video.h"

namespace {

constexpr double kFrameStep = 1.0 / 30.0;  // the default --step

struct Options {
    std::vector<double> times;
    std::string outDir;
    std::optional<int> shadowMode;
    bool wireframe = false;
    std::optional<glm::vec3> light;
    int frames = 0;
    std::optional<double> timingStart;
    double step = kFrameStep;
    VideoOptions video;
};

void usage() {
    std::fprintf(stderr,
                 "usage: pelk-capture --at SECONDS [--at SECONDS ...] --out DIR\n"
                 "                    [--shadow-mode 0|1|2] [--wireframe] [--light X,Y,Z]\n"
                 "                    [--step SECONDS] [--frames N [--time SECONDS]]\n");
    std::fprintf(stderr, "%s", kVideoUsage);
}

bool parseDouble(const char* text, double& value) {
    char* end = nullptr;
    value = std::strtod(text, &end);
    return end != text && *end == '\0';
}

std::optional<Options> parseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        double number = 0.0;
        if (arg == "--wireframe") {
            options.wireframe = true;
        } else if (!hasValue) {
            std::fprintf(stderr, "pelk-capture: %s needs a value\n", arg.c_str());
            return std::nullopt;
        } else if (isVideoOption(arg)) {
            if (!parseVideoOption(arg, argv[++i], options.video)) return std::nullopt;
        } else if (arg == "--out") {
            options.outDir = argv[++i];
        } else if (arg == "--light") {
            glm::vec3 p;
            if (std::sscanf(argv[++i], "%f,%f,%f", &p.x, &p.y, &p.z) != 3) {
                std::fprintf(stderr, "pelk-capture: --light wants X,Y,Z, got '%s'\n", argv[i]);
                return std::nullopt;
            }
            options.light = p;
        } else if (!parseDouble(argv[++i], number)) {
            std::fprintf(stderr, "pelk-capture: %s wants a number, got '%s'\n", arg.c_str(),
                         argv[i]);
            return std::nullopt;
        } else if (arg == "--at" && number >= 0.0) {
            options.times.push_back(number);
        } else if (arg == "--time" && number >= 0.0) {
            options.timingStart = number;
        } else if (arg == "--shadow-mode" && number >= 0.0 && number <= 2.0) {
            options.shadowMode = static_cast<int>(number);
        } else if (arg == "--step" && number > 0.0) {
            options.step = number;
        } else if (arg == "--frames" && number >= 1.0) {
            options.frames = static_cast<int>(number);
        } else {
            std::fprintf(stderr, "pelk-capture: bad option or value: %s %s\n", arg.c_str(),
                         argv[i]);
            return std::nullopt;
        }
    }
    if (!checkVideoOptions(options.video)) return std::nullopt;
    const bool video = !options.video.path.empty();
    if (video && (!options.times.empty() || options.frames > 0)) {
        std::fprintf(stderr, "pelk-capture: --video goes without --at and --frames\n");
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
    std::sort(options.times.begin(), options.times.end());
    return options;
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

// The back buffer of the frame just rendered (before the swap), top row first.
bool writeWindowPicture(const std::string& path) {
    std::vector<unsigned char> pixels(static_cast<std::size_t>(kWindowWidth) * kWindowHeight * 3);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, kWindowWidth, kWindowHeight, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    stbi_flip_vertically_on_write(1);
    return stbi_write_png(path.c_str(), kWindowWidth, kWindowHeight, 3, pixels.data(),
                          kWindowWidth * 3) != 0;
}

std::string picturePath(const std::string& dir, double t, const char* extension) {
    char name[64];
    std::snprintf(name, sizeof name, "frame-%06.3f.%s", t, extension);
    return (std::filesystem::path(dir) / name).string();
}

// What the picture shows, for anyone who wants to find things in it: the moment, the flags, the
// light and the camera that the scene pass drew with (its matrix column by column).
bool writePictureNotes(const std::string& path, double t) {
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) return false;
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
    std::fprintf(file, "\n");
    return std::fclose(file) == 0;
}

int capturePictures(const Options& options, double& lastTime) {
    std::error_code error;
    std::filesystem::create_directories(options.outDir, error);
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
        if (!writeWindowPicture(path) ||
            !writePictureNotes(picturePath(options.outDir, t, "txt"), t)) {
            std::printf("pelk-capture: could not write %s\n", path.c_str());
            return 1;
        }
        presentFrame();
        lastTime = t;
        std::printf("wrote %s\n", path.c_str());
    }
    return 0;
}

void timeFrames(const Options& options, double start, double lastTime) {
    playTimeline(lastTime, start, options.step);
    std::vector<double> milliseconds;
    for (int i = 0; i < options.frames; ++i) {
        const auto begin = std::chrono::steady_clock::now();
        renderAt(start + i * options.step);
        glFinish();
        const auto end = std::chrono::steady_clock::now();
        presentFrame();
        milliseconds.push_back(std::chrono::duration<double, std::milli>(end - begin).count());
    }
    std::sort(milliseconds.begin(), milliseconds.end());
    const std::size_t n = milliseconds.size();
    const double median =
        n % 2 == 1 ? milliseconds[n / 2] : 0.5 * (milliseconds[n / 2 - 1] + milliseconds[n / 2]);
    std::printf("median frame time over %d frames from %.3f s: %.1f ms\n", options.frames, start,
                median);
}

}  // namespace

int main(int argc, char** argv) {
    const std::optional<Options> options = parseOptions(argc, argv);
    if (!options) {
        usage();
        return 2;
    }
    if (!options->video.path.empty() && !videoCanStart(options->video)) return 2;
    // A hidden window: the back buffer is still ours to read.
    glfwInit();
    glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
    platform().clock = [] { return frameClock; };
    platform().keyDown = [](int) { return false; };

    initWindow();
    startUp();  // the timeline starts at clock 0
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
