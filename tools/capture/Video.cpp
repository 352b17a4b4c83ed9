#include "tools/capture/Video.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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
#include "context/EglContext.h"
#include "scene/Animation.h"
#include "tools/common/CommandLine.h"
#include "tools/common/Files.h"

extern char** environ;

namespace {

const char* const kFfmpeg = "ffmpeg";
const char* const kFfprobe = "ffprobe";
const char* const kFfmpegPackage = "ffmpeg";  // the Debian package that installs both
constexpr std::size_t kRowBytes = static_cast<std::size_t>(kWindowWidth) * 3;
constexpr std::size_t kFrameBytes = kRowBytes * kWindowHeight;
// A moment this close to a frame of the grid counts as on it: a --from of 0.1 at 30 frames a
// second is frame 3.0000000000000004.
constexpr double kGridTolerance = 1e-6;
// A container's duration is whole when it is within a frame of frames / fps (containers round
// timestamps to their own time base).
constexpr double kDurationToleranceFrames = 1.0;
constexpr int kExitBadInput = 2;
constexpr int kExitFailed = 1;
constexpr int kSignalExitBase = 128;

enum class Container { Mp4, Webm };

std::optional<Container> containerOf(const std::string& path) {
    if (endsWithIgnoringCase(path, ".mp4")) return Container::Mp4;
    if (endsWithIgnoringCase(path, ".webm")) return Container::Webm;
    return std::nullopt;
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
// SA_RESTART a blocked write returns at once. A SIGHUP ignored at start (nohup) stays ignored.
void catchStopSignals() {
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        if (!stopSignalStaysIgnored(signal)) sigaction(signal, &action, nullptr);
    }
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

// A child process: ffmpeg or ffprobe.
struct Child {
    pid_t pid = -1;
    int input = -1;   // our end of the pipe into its standard input, or -1
    int output = -1;  // our end of the pipe from its standard output, or -1
    int errors = -1;  // an in-memory file that holds its standard error
};

// The encoder, where an exit on the way (Xlib's, when the X server goes away) can end it.
pid_t runningEncoder = -1;

void killEncoderAtExit() {
    if (runningEncoder > 0) kill(runningEncoder, SIGKILL);
}

// Starts a program of the PATH in a process group of its own, so that Ctrl-C in a terminal
// reaches only us and we decide what happens to the file; its standard error goes to memory,
// where its last line can be read, and its standard input and output to pipes where asked.
std::optional<Child> startChild(const std::vector<std::string>& args, bool withInput,
                                bool withOutput) {
    Child child;
    int in[2] = {-1, -1};
    int out[2] = {-1, -1};
    child.errors = memfd_create("child-errors", MFD_CLOEXEC);
    const auto closeAll = [&] {
        for (const int fd : {in[0], in[1], out[0], out[1], child.errors}) {
            if (fd >= 0) close(fd);
        }
    };
    if (child.errors < 0 || (withInput && pipe2(in, O_CLOEXEC) != 0) ||
        (withOutput && pipe2(out, O_CLOEXEC) != 0)) {
        const int error = errno;
        closeAll();
        errno = error;
        return std::nullopt;
    }
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (withInput) posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    if (withOutput) posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, child.errors, STDERR_FILENO);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    const int result =
        posix_spawnp(&child.pid, args[0].c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (in[0] >= 0) close(in[0]);
    if (out[1] >= 0) close(out[1]);
    child.input = in[1];
    child.output = out[0];
    if (result != 0) {
        for (const int fd : {child.input, child.output, child.errors}) {
            if (fd >= 0) close(fd);
        }
        errno = result;
        return std::nullopt;
    }
    return child;
}

// The last line that is not empty of what the child wrote to its standard error.
std::string lastErrorLine(const Child& child) {
    if (child.errors < 0) return "";
    std::string text;
    char buffer[4096];
    ssize_t got = 0;
    off_t at = 0;
    while ((got = pread(child.errors, buffer, sizeof buffer, at)) > 0) {
        text.append(buffer, static_cast<std::size_t>(got));
        at += got;
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    const std::size_t start = text.find_last_of("\r\n");
    return start == std::string::npos ? text : text.substr(start + 1);
}

void closeChild(Child& child) {
    for (int* fd : {&child.input, &child.output, &child.errors}) {
        if (*fd >= 0) close(*fd);
        *fd = -1;
    }
}

// Waits for the child; its exit status, or nothing when a stop signal came first (the child is
// then still there for stopChild).
std::optional<int> waitForChild(Child& child, std::string& why, const char* name) {
    int status = 0;
    while (waitpid(child.pid, &status, 0) < 0) {
        if (errno != EINTR || stopSignal != 0) return std::nullopt;
    }
    child.pid = -1;
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    why = std::string(name) + " was ended by signal " + std::to_string(WTERMSIG(status));
    return -1;
}

// How long a child that was asked to end may take before it is killed.
constexpr auto kChildGrace = std::chrono::milliseconds(500);
constexpr auto kChildPoll = std::chrono::milliseconds(10);

// Ends the child whatever it is doing: asked with SIGTERM (and woken, should it be stopped),
// then killed if it has not ended within kChildGrace.
void stopChild(Child& child) {
    if (child.pid > 0) {
        if (child.input >= 0) close(child.input);
        child.input = -1;
        kill(child.pid, SIGTERM);
        kill(child.pid, SIGCONT);
        const auto deadline = std::chrono::steady_clock::now() + kChildGrace;
        while (waitpid(child.pid, nullptr, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() >= deadline) {
                kill(child.pid, SIGKILL);
                while (waitpid(child.pid, nullptr, 0) < 0 && errno == EINTR) {
                }
                break;
            }
            std::this_thread::sleep_for(kChildPoll);
        }
    }
    closeChild(child);
    child.pid = -1;
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

// Reads the child's standard output to its end; false when a stop signal came.
bool readAll(int fd, std::string& text) {
    char buffer[1024];
    while (true) {
        if (stopSignal != 0) return false;
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got == 0) return true;
        if (got < 0) {
            if (errno == EINTR) continue;
            return true;
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
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
[[noreturn]] void endByStopSignal(Child& child, const std::string& temporary,
                                  const std::string& path) {
    const int signal = stopSignal;
    stopChild(child);
    runningEncoder = -1;
    removeTemporary(temporary);
    std::fprintf(stderr, "\npelk-capture: interrupted; %s not written\n", path.c_str());
    std::signal(signal, SIG_DFL);
    std::raise(signal);
    std::_Exit(kSignalExitBase + signal);
}

// "nb_read_packets=150" and "duration=5.000000" of ffprobe's answer.
std::optional<double> probeField(const std::string& answer, const std::string& name) {
    const std::string key = name + "=";
    std::size_t at = answer.find(key);
    if (at == std::string::npos) return std::nullopt;
    at += key.size();
    const std::size_t end = answer.find('\n', at);
    const std::string value = answer.substr(at, end == std::string::npos ? end : end - at);
    char* stop = nullptr;
    const double number = std::strtod(value.c_str(), &stop);
    if (stop == value.c_str() || !std::isfinite(number)) return std::nullopt;
    return number;
}

// Reads the video back with ffprobe: its video packets counted and the container's duration.
// Nothing when it holds `frames` frames lasting frames / fps; otherwise why not. A stop signal
// ends the process on the way.
std::optional<std::string> videoNotWhole(const std::string& temporary, const std::string& path,
                                         long frames, int fps) {
    std::optional<Child> probe = startChild(
        {kFfprobe, "-v", "error", "-count_packets", "-select_streams", "v:0", "-show_entries",
         "stream=nb_read_packets:format=duration", "-of", "default=nw=1", temporary},
        false, true);
    if (!probe) return std::string("could not start ffprobe: ") + std::strerror(errno);
    std::string answer;
    if (!readAll(probe->output, answer)) endByStopSignal(*probe, temporary, path);
    std::string why;
    const std::optional<int> status = waitForChild(*probe, why, kFfprobe);
    if (!status) endByStopSignal(*probe, temporary, path);
    const std::string complaint = lastErrorLine(*probe);
    closeChild(*probe);
    const std::optional<double> packets = probeField(answer, "nb_read_packets");
    const std::optional<double> duration = probeField(answer, "duration");
    const double expected = static_cast<double>(frames) / fps;
    if (*status == 0 && packets && static_cast<long>(*packets) == frames && duration &&
        std::fabs(*duration - expected) <= kDurationToleranceFrames / fps) {
        return std::nullopt;
    }
    std::string found = "ffprobe reads ";
    if (*status != 0 || !packets) {
        found += "no video in it";
    } else {
        char text[96];
        std::snprintf(text, sizeof text, "%ld frames%s", static_cast<long>(*packets),
                      duration ? "" : " and no duration");
        found += text;
        if (duration) {
            std::snprintf(text, sizeof text, " lasting %.3f s", *duration);
            found += text;
        }
    }
    if (!complaint.empty()) found += " (" + complaint + ")";
    char wanted[96];
    std::snprintf(wanted, sizeof wanted, "; %ld frames lasting %.3f s were sent", frames, expected);
    return "the video is not whole: " + found + wanted;
}

}  // namespace

void addVideoOptions(CommandLine& commandLine, VideoOptions& options) {
    CLI::App& app = commandLine.app();
    CLI::Option* video =
        app.add_option("--video", options.path,
                       "render the timeline's frames 1/N s apart with the demo's frame code and "
                       "have ffmpeg encode them: H.264 into .mp4, VP9 into .webm")
            ->type_name("FILE")
            ->transform(notEmpty("a file ending in .mp4 or .webm"));
    char wantsFps[96];
    std::snprintf(wantsFps, sizeof wantsFps, "a whole number of frames a second from 1 to %d",
                  kMaxVideoFps);
    app.add_option("--fps", options.fps, "frames a second of the video (default 30)")
        ->type_name("N")
        ->transform(wholeNumberFrom(1, kMaxVideoFps, wantsFps))
        ->needs(video);
    app.add_option("--from", options.from, "the video's first moment (default 0)")
        ->type_name("SECONDS")
        ->transform(numberFrom(0.0, kLatestMoment, kSecondsWanted))
        ->needs(video);
    app.add_option("--to", options.to,
                   "the moment the video ends (default 5 s after the timeline's end: its last "
                   "track, the camera's last flight, ends at 64 s; so 69 s)")
        ->type_name("SECONDS")
        ->transform(numberFrom(0.0, kLatestMoment, kSecondsWanted))
        ->needs(video);
}

std::optional<std::string> videoOptionsProblem(const VideoOptions& options) {
    const double from = options.from.value_or(0.0);
    if (options.to && *options.to <= from) {
        char text[128];
        std::snprintf(text, sizeof text, "--to (%g s) must be after --from (%g s)", *options.to,
                      from);
        return std::string(text);
    }
    return std::nullopt;
}

bool videoCanStart(const VideoOptions& options) {
    if (!containerOf(options.path)) {
        std::fprintf(stderr,
                     "pelk-capture: --video wants a file ending in .mp4 (H.264) or .webm (VP9), "
                     "got '%s'\n",
                     options.path.c_str());
        return false;
    }
    for (const char* program : {kFfmpeg, kFfprobe}) {
        if (!onPath(program)) {
            std::fprintf(stderr,
                         "pelk-capture: --video needs %s, which is not on the PATH; install the "
                         "Debian package %s (apt-get install %s)\n",
                         program, kFfmpegPackage, kFfmpegPackage);
            return false;
        }
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
    removeTemporary(probe);
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
    catchStopSignals();
    const std::string temporary = createTemporaryBeside(path);
    if (temporary.empty()) {
        std::fprintf(stderr, "pelk-capture: cannot write into the folder %s: %s\n",
                     folderOf(path).c_str(), std::strerror(errno));
        return kExitBadInput;
    }
    std::optional<Child> encoder =
        startChild(encoderArguments(*containerOf(path), fps, temporary), true, false);
    if (!encoder) {
        std::fprintf(stderr, "pelk-capture: could not start ffmpeg: %s\n", std::strerror(errno));
        removeTemporary(temporary);
        return kExitFailed;
    }
    runningEncoder = encoder->pid;
    static const bool killsAtExit = std::atexit(killEncoderAtExit) == 0;
    (void)killsAtExit;
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

    close(encoder->input);
    encoder->input = -1;
    std::string why;
    const std::optional<int> status = waitForChild(*encoder, why, kFfmpeg);
    if (!status) endByStopSignal(*encoder, temporary, path);
    runningEncoder = -1;
    const std::string complaint = lastErrorLine(*encoder);
    closeChild(*encoder);
    if (*status > 0) why = "ffmpeg ended with exit status " + std::to_string(*status);
    if (*status == 0 && !written) why = "ffmpeg stopped reading the frames";
    // An encoder's exit status is no proof: one that could not write its trailer on a full
    // disk ends with 0 all the same. The video is read back before it counts.
    std::error_code sizeError;
    if (why.empty() && std::filesystem::file_size(temporary, sizeError) == 0) {
        why = "ffmpeg ended with exit status 0 but wrote nothing";
    }
    if (!why.empty()) {
        if (!complaint.empty()) why += ": " + complaint;
    } else if (const std::optional<std::string> notWhole =
                   videoNotWhole(temporary, path, total, fps)) {
        why = *notWhole;
        if (!complaint.empty()) why += "; ffmpeg said: " + complaint;
    }
    if (why.empty() && std::rename(temporary.c_str(), path.c_str()) != 0) {
        why = "could not rename " + temporary + ": " + std::strerror(errno);
    }
    if (!why.empty()) {
        removeTemporary(temporary);
        std::fprintf(stderr, "pelk-capture: %s; %s not written\n", why.c_str(), path.c_str());
        return kExitFailed;
    }
    forgetTemporary(temporary);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
    std::printf("wrote %s: %ld frame%s, %.3f s of video, in %s\n", path.c_str(), total,
                total == 1 ? "" : "s", static_cast<double>(total) / fps,
                clockText(took.count()).c_str());
    return 0;
}
