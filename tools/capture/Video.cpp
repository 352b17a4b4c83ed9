#include "tools/capture/Video.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/Loop.h"
#include "app/ToolContext.h"
#include "scene/Animation.h"
#include "tools/capture/Files.h"

extern char** environ;

namespace {

const char* const kFfmpeg = "ffmpeg";
const char* const kFfmpegPackage = "ffmpeg";  // the Debian package that installs it
constexpr std::size_t kRowBytes = static_cast<std::size_t>(kWindowWidth) * 3;
constexpr std::size_t kFrameBytes = kRowBytes * kWindowHeight;
// A moment this close to a frame of the grid counts as on it: a --from of 0.1 at 30 frames a
// second is frame 3.0000000000000004.
constexpr double kGridTolerance = 1e-6;
constexpr int kExitBadInput = 2;
constexpr int kExitFailed = 1;
constexpr int kSignalExitBase = 128;

enum class Container { Mp4, Webm };

bool endsWith(const std::string& text, const std::string& suffix) {
    if (text.size() < suffix.size()) return false;
    return std::equal(suffix.rbegin(), suffix.rend(), text.rbegin(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == b;
    });
}

std::optional<Container> containerOf(const std::string& path) {
    if (endsWith(path, ".mp4")) return Container::Mp4;
    if (endsWith(path, ".webm")) return Container::Webm;
    return std::nullopt;
}

bool parseFps(const char* text, int& value) {
    char* end = nullptr;
    errno = 0;
    const long number = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || errno != 0 || number < 1 || number > kMaxVideoFps) {
        return false;
    }
    value = static_cast<int>(number);
    return true;
}

// Whether PATH holds an executable file of this name, as the shell would find it.
bool onPath(const char* program) {
    const char* path = std::getenv("PATH");
    if (path == nullptr) return false;
    std::string list = path;
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t end = list.find(':', start);
        if (end == std::string::npos) end = list.size();
        const std::string dir = end > start ? list.substr(start, end - start) : ".";
        const std::string candidate = dir + "/" + program;
        struct stat info {};
        if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            access(candidate.c_str(), X_OK) == 0) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

// The signal that asked the recording to stop, or 0.
volatile std::sig_atomic_t stopSignal = 0;

void onStopSignal(int signal) { stopSignal = signal; }

// Ctrl-C, SIGTERM, SIGHUP (the terminal went away) and SIGQUIT end the recording at the next
// frame or pipe write, not at once, so that it can remove its unfinished file. Without
// SA_RESTART a blocked write returns at once.
void catchStopSignals() {
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaction(signal, &action, nullptr);
    // A dead encoder shows as a failed write, not as a signal.
    std::signal(SIGPIPE, SIG_IGN);
}

std::vector<std::string> encoderArguments(Container container, int fps, const std::string& output) {
    std::vector<std::string> args = {
        kFfmpeg, "-hide_banner", "-loglevel", "error", "-nostdin",
        // The frames as they come from the window, top row first.
        "-f", "rawvideo", "-pix_fmt", "rgb24", "-video_size",
        std::to_string(kWindowWidth) + "x" + std::to_string(kWindowHeight), "-framerate",
        std::to_string(fps), "-i", "pipe:0", "-an"};
    if (container == Container::Mp4) {
        // One encoder thread and bit-exact muxing: the same frames give the same file.
        args.insert(args.end(),
                    {"-c:v", "libx264", "-preset", "medium", "-crf", "18", "-threads", "1",
                     "-x264-params", "deterministic=1", "-movflags", "+faststart", "-f", "mp4"});
    } else {
        args.insert(args.end(),
                    {"-c:v", "libvpx-vp9", "-crf", "31", "-b:v", "0", "-deadline", "good",
                     "-cpu-used", "4", "-row-mt", "0", "-threads", "1", "-f", "webm"});
    }
    // The RGB to YUV conversion uses the BT.601 matrix; say so, so that players undo that one.
    args.insert(args.end(),
                {"-pix_fmt", "yuv420p", "-colorspace", "smpte170m", "-color_range", "tv", "-fflags",
                 "+bitexact", "-flags:v", "+bitexact", "-map_metadata", "-1", "-y", output});
    return args;
}

struct Encoder {
    pid_t pid = -1;
    int input = -1;  // our end of the pipe into its standard input
};

// Starts ffmpeg in a process group of its own, so that Ctrl-C in a terminal reaches only us
// and we decide what happens to the file.
std::optional<Encoder> startEncoder(const std::vector<std::string>& args) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return std::nullopt;
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[0], STDIN_FILENO);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    Encoder encoder;
    const int result =
        posix_spawnp(&encoder.pid, kFfmpeg, &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[0]);
    if (result != 0) {
        close(fds[1]);
        errno = result;
        return std::nullopt;
    }
    encoder.input = fds[1];
    return encoder;
}

// Ends the input and waits for ffmpeg; true when it finished well. A stop signal ends the wait
// (the encoder is then still there for stopEncoder).
bool finishEncoder(Encoder& encoder, std::string& why) {
    close(encoder.input);
    encoder.input = -1;
    int status = 0;
    while (waitpid(encoder.pid, &status, 0) < 0) {
        if (errno != EINTR || stopSignal != 0) return false;
    }
    encoder = Encoder{};
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
    why = WIFEXITED(status) ? "ffmpeg ended with exit status " + std::to_string(WEXITSTATUS(status))
                            : "ffmpeg was ended by signal " + std::to_string(WTERMSIG(status));
    return false;
}

// How long an encoder that was asked to end may take before it is killed.
constexpr auto kEncoderGrace = std::chrono::milliseconds(500);
constexpr auto kEncoderPoll = std::chrono::milliseconds(10);

// Ends the encoder whatever it is doing: asked with SIGTERM (and woken, should it be stopped),
// then killed if it has not ended within kEncoderGrace.
void stopEncoder(Encoder& encoder) {
    if (encoder.pid < 0) return;
    if (encoder.input >= 0) close(encoder.input);
    kill(encoder.pid, SIGTERM);
    kill(encoder.pid, SIGCONT);
    const auto deadline = std::chrono::steady_clock::now() + kEncoderGrace;
    while (waitpid(encoder.pid, nullptr, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            kill(encoder.pid, SIGKILL);
            while (waitpid(encoder.pid, nullptr, 0) < 0 && errno == EINTR) {
            }
            break;
        }
        std::this_thread::sleep_for(kEncoderPoll);
    }
    encoder = Encoder{};
}

// Writes the whole frame; false when ffmpeg no longer reads or a stop signal came. A signal
// interrupts a blocked write, which then returns what it had written so far (or fails with
// EINTR), so the stop flag is looked at before every write, not only after a failed one.
bool writeAll(int fd, const unsigned char* data, std::size_t size) {
    while (size > 0) {
        if (stopSignal != 0) return false;
        const ssize_t written = write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

// The window's picture of the frame just rendered (before it is presented), top row first.
void readTopDown(std::vector<unsigned char>& topDown) {
    const std::vector<unsigned char> bottomUp = readWindowPicture();
    for (int row = 0; row < kWindowHeight; ++row) {
        std::memcpy(topDown.data() + static_cast<std::size_t>(row) * kRowBytes,
                    bottomUp.data() + static_cast<std::size_t>(kWindowHeight - 1 - row) * kRowBytes,
                    kRowBytes);
    }
}

std::string clockText(double seconds) {
    const long total = std::lround(seconds);
    char text[32];
    if (total >= 3600) {
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60,
                      total % 60);
    } else {
        std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
    }
    return text;
}

// One line on stderr, rewritten after each frame.
void showProgress(long done, long total, double elapsedSeconds) {
    const double rate = elapsedSeconds > 0.0 ? done / elapsedSeconds : 0.0;
    const std::string left = rate > 0.0 ? clockText((total - done) / rate) : "?";
    std::fprintf(stderr, "\rpelk-capture: frame %ld of %ld, %.1f frames/s, %s left   ", done, total,
                 rate, left.c_str());
    std::fflush(stderr);
}

// The first frame of the grid k / fps at or after t.
long gridIndexFrom(double t, int fps) {
    return static_cast<long>(std::ceil(t * fps - kGridTolerance));
}

double gridTime(long index, int fps) { return static_cast<double>(index) / fps; }

// Removes the unfinished file and ends the process by the signal that asked for it.
[[noreturn]] void endByStopSignal(Encoder& encoder, const std::string& temporary,
                                  const std::string& path) {
    const int signal = stopSignal;
    stopEncoder(encoder);
    std::remove(temporary.c_str());
    std::fprintf(stderr, "\npelk-capture: interrupted; %s not written\n", path.c_str());
    std::signal(signal, SIG_DFL);
    std::raise(signal);
    std::_Exit(kSignalExitBase + signal);
}

}  // namespace

bool parseSeconds(const char* text, double& value) {
    char* end = nullptr;
    value = std::strtod(text, &end);
    if (end == text || *end != '\0' || !std::isfinite(value) || value < 0.0 ||
        value > kLatestMoment) {
        return false;
    }
    value += 0.0;  // -0 is 0, in names too
    return true;
}

const char* const kVideoUsage =
    "       pelk-capture --video FILE.mp4|FILE.webm [--fps N] [--from SECONDS] [--to SECONDS]\n"
    "  --video renders the timeline's frames 1/N s apart (default 30 a second) with the demo's\n"
    "  frame code and has ffmpeg encode them: H.264 into .mp4, VP9 into .webm. It records from\n"
    "  --from (default 0) to --to (default 5 s after the timeline's end: its last track, the\n"
    "  camera's last flight, ends at 64 s, after the wireframe window opens at 52 s; so 69 s).\n";

bool isVideoOption(const std::string& name) {
    return name == "--video" || name == "--fps" || name == "--from" || name == "--to";
}

bool parseVideoOption(const std::string& name, const char* value, VideoOptions& options) {
    if (name == "--video") {
        options.path = value;
        return true;
    }
    if (name == "--fps") {
        int fps = 0;
        if (!parseFps(value, fps)) {
            std::fprintf(stderr,
                         "pelk-capture: --fps wants a whole number of frames a second from 1 to "
                         "%d, got '%s'\n",
                         kMaxVideoFps, value);
            return false;
        }
        options.fps = fps;
        return true;
    }
    double seconds = 0.0;
    if (!parseSeconds(value, seconds)) {
        std::fprintf(stderr, "pelk-capture: %s wants seconds from 0 to %.0f, got '%s'\n",
                     name.c_str(), kLatestMoment, value);
        return false;
    }
    (name == "--from" ? options.from : options.to) = seconds;
    return true;
}

bool checkVideoOptions(const VideoOptions& options) {
    if (options.path.empty()) {
        if (options.fps || options.from || options.to) {
            std::fprintf(stderr, "pelk-capture: --fps, --from and --to go with --video FILE\n");
            return false;
        }
        return true;
    }
    const double from = options.from.value_or(0.0);
    if (options.to && *options.to <= from) {
        std::fprintf(stderr, "pelk-capture: --to (%g s) must be after --from (%g s)\n", *options.to,
                     from);
        return false;
    }
    return true;
}

bool videoCanStart(const VideoOptions& options) {
    if (!containerOf(options.path)) {
        std::fprintf(stderr,
                     "pelk-capture: --video wants a file ending in .mp4 (H.264) or .webm (VP9), "
                     "got '%s'\n",
                     options.path.c_str());
        return false;
    }
    if (!onPath(kFfmpeg)) {
        std::fprintf(stderr,
                     "pelk-capture: --video needs ffmpeg, which is not on the PATH; install the "
                     "Debian package %s (apt-get install %s)\n",
                     kFfmpegPackage, kFfmpegPackage);
        return false;
    }
    std::error_code error;
    if (std::filesystem::is_directory(options.path, error)) {
        std::fprintf(stderr, "pelk-capture: %s is a folder, not a video file\n",
                     options.path.c_str());
        return false;
    }
    // The real check: make a file there, as the recording will.
    const std::string probe = createTemporaryBeside(options.path);
    if (probe.empty()) {
        std::fprintf(stderr, "pelk-capture: cannot write into the folder %s: %s\n",
                     folderOf(options.path).c_str(), std::strerror(errno));
        return false;
    }
    std::remove(probe.c_str());
    return true;
}

int recordVideo(const VideoOptions& options, const VideoFrameCode& frameCode) {
    const int fps = options.fps.value_or(kDefaultVideoFps);
    const double from = options.from.value_or(0.0);
    const double to = options.to.value_or(timelineEnd() + kVideoTailSeconds);
    const long first = gridIndexFrom(from, fps);
    const long end = gridIndexFrom(to, fps);  // the first frame not recorded
    if (end <= first) {
        std::fprintf(stderr,
                     "pelk-capture: no frame to record from %.3f s to %.3f s at %d frames a "
                     "second\n",
                     from, to, fps);
        return kExitBadInput;
    }
    const long total = end - first;

    const std::string& path = options.path;
    const std::string temporary = createTemporaryBeside(path);
    if (temporary.empty()) {
        std::fprintf(stderr, "pelk-capture: cannot write into the folder %s: %s\n",
                     folderOf(path).c_str(), std::strerror(errno));
        return kExitBadInput;
    }
    std::optional<Encoder> encoder =
        startEncoder(encoderArguments(*containerOf(path), fps, temporary));
    if (!encoder) {
        std::fprintf(stderr, "pelk-capture: could not start ffmpeg: %s\n", std::strerror(errno));
        std::remove(temporary.c_str());
        return kExitFailed;
    }
    catchStopSignals();
    std::printf("recording %ld frame%s, %.3f s to %.3f s at %d frames a second, into %s\n", total,
                total == 1 ? "" : "s", gridTime(first, fps), gridTime(end, fps), fps, path.c_str());
    std::fflush(stdout);

    // Before the first recorded frame the timeline plays on the same grid without pictures,
    // and the frame just before it is rendered, so that its motion blur and everything else are
    // those of a recording from the start.
    for (long k = 0; k + 1 < first && stopSignal == 0; ++k)
        frameCode.playTimeline(gridTime(k, fps));
    if (first > 0 && stopSignal == 0) {
        frameCode.render(gridTime(first - 1, fps));
        presentFrame();
    }

    std::vector<unsigned char> topDown(kFrameBytes);
    const auto started = std::chrono::steady_clock::now();
    bool written = true;
    for (long k = first; k < end && written && stopSignal == 0; ++k) {
        frameCode.render(gridTime(k, fps));
        readTopDown(topDown);
        presentFrame();
        written = writeAll(encoder->input, topDown.data(), topDown.size());
        if (written) {
            const std::chrono::duration<double> elapsed =
                std::chrono::steady_clock::now() - started;
            showProgress(k - first + 1, total, elapsed.count());
        }
    }
    if (stopSignal != 0) endByStopSignal(*encoder, temporary, path);
    std::fprintf(stderr, "\n");

    std::string why = "ffmpeg stopped reading the frames";
    bool encoded = finishEncoder(*encoder, why) && written;
    if (stopSignal != 0) endByStopSignal(*encoder, temporary, path);
    // An encoder that says it succeeded but wrote nothing has not made a video.
    std::error_code sizeError;
    if (encoded && std::filesystem::file_size(temporary, sizeError) == 0) {
        encoded = false;
        why = "ffmpeg ended with exit status 0 but wrote nothing";
    }
    if (!encoded || std::rename(temporary.c_str(), path.c_str()) != 0) {
        if (encoded) why = "could not rename " + temporary + ": " + std::strerror(errno);
        std::remove(temporary.c_str());
        std::fprintf(stderr, "pelk-capture: %s; %s not written\n", why.c_str(), path.c_str());
        return kExitFailed;
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
    std::printf("wrote %s: %ld frame%s, %.3f s of video, in %s\n", path.c_str(), total,
                total == 1 ? "" : "s", static_cast<double>(total) / fps,
                clockText(took.count()).c_str());
    return 0;
}
