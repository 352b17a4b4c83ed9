#pragma once

#include <functional>
#include <optional>
#include <string>

class CommandLine;

// Records the timeline as a video: the window's picture, rendered at fixed steps of 1/fps
// seconds with the demo's own frame code, goes as raw RGB frames through a pipe to ffmpeg,
// which encodes H.264 into an .mp4 file or VP9 into a .webm file. The video takes its name
// only once ffmpeg has ended well and ffprobe reads it back whole: every frame, and the
// duration they make.

inline constexpr int kDefaultVideoFps = 30;
inline constexpr int kMaxVideoFps = 240;
// Without --to a video goes on this long after the timeline's end.
inline constexpr double kVideoTailSeconds = 5.0;
// Moments past a day are typing errors, and would overflow the frame counts.
inline constexpr double kLatestMoment = 24.0 * 3600.0;
// What the moment options want, in the words of their refusals.
inline constexpr const char* kSecondsWanted = "seconds from 0 to 86400";

struct VideoOptions {
    std::string path;            // empty: no video asked for
    std::optional<int> fps;      // frames a second; kDefaultVideoFps when not given
    std::optional<double> from;  // seconds after the timeline's set-up; 0 when not given
    std::optional<double> to;    // timelineEnd() + kVideoTailSeconds when not given
};

// What the recording asks of the caller's frame code; both set the clock to t first.
struct VideoFrameCode {
    std::function<void(double t)> render;        // renders the frame at t, not yet presented
    std::function<void(double t)> playTimeline;  // advances the timeline alone to t
};

// --video, --fps, --from and --to, the last three needing the first.
void addVideoOptions(CommandLine& commandLine, VideoOptions& options);
// Once the command line is read: what does not fit (--to not after --from), or nothing.
std::optional<std::string> videoOptionsProblem(const VideoOptions& options);

// Before the window opens, so that bad input costs no start-up: the file's kind, ffmpeg and
// ffprobe on the PATH, a folder that can be written. Says what is wrong on stderr and returns
// false.
bool videoCanStart(const VideoOptions& options);
// After startUp(), before the first frame: records the video into a temporary file beside the
// target, reads it back, and renames it at the end. Returns the exit status: 0, 2 when the time
// range holds no frame, 1 when ffmpeg fails or its video is not whole (one line says why, with
// ffmpeg's own last error where it gave one; the target is left as it was, and no temporary).
// SIGINT, SIGTERM, SIGHUP (unless ignored at start) or SIGQUIT ends the encoder (killed if
// it has not ended half a second after it was asked), removes the unfinished file and ends the
// process by that signal, within a second whatever the encoder does.
int recordVideo(const VideoOptions& options, const VideoFrameCode& frameCode);
