#include "tools/common/Files.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "tools/common/ToolName.h"

namespace {

// rw-rw-rw- less the umask: the file as any new file of the user.
constexpr mode_t kNewFileMode = 0666;

constexpr std::array<int, 4> kStopSignals = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// The temporaries that exist now, where a signal handler can read them: fixed buffers, each
// with its line for an interruption already written out.
struct KnownTemporary {
    volatile sig_atomic_t inUse = 0;
    char path[PATH_MAX] = {};
    char notice[PATH_MAX + 96] = {};
    std::size_t noticeLength = 0;
};
constexpr std::size_t kMostTemporaries = 8;
std::array<KnownTemporary, kMostTemporaries> known;

// While a temporary is made or forgotten, the stop signals wait, so that a file is never made
// without being known, nor known after it is gone.
class StopSignalsHeld {
public:
    StopSignalsHeld() {
        sigset_t held;
        sigemptyset(&held);
        for (const int signal : kStopSignals) sigaddset(&held, signal);
        pthread_sigmask(SIG_BLOCK, &held, &before_);
    }
    ~StopSignalsHeld() { pthread_sigmask(SIG_SETMASK, &before_, nullptr); }
    StopSignalsHeld(const StopSignalsHeld&) = delete;
    StopSignalsHeld& operator=(const StopSignalsHeld&) = delete;

private:
    sigset_t before_{};
};

// The beginnings of the lines that say a file was not written: "pelk-capture: interrupted; ".
struct Beginning {
    char text[128] = {};
    std::size_t length = 0;
};
Beginning interrupted;
Beginning endedEarly;

void say(const char* text, std::size_t length) {
    if (write(STDERR_FILENO, text, length) < 0) {
        // Nothing more can be said.
    }
}

void removeKnownTemporaries(const Beginning& beginning) {
    for (KnownTemporary& entry : known) {
        if (entry.inUse == 0) continue;
        unlink(entry.path);
        entry.inUse = 0;
        say(beginning.text, beginning.length);
        say(entry.notice, entry.noticeLength);
    }
}

void onStopSignal(int signal) {
    removeKnownTemporaries(interrupted);
    ::signal(signal, SIG_DFL);
    raise(signal);
}

// An exit on the way (Xlib's, when the X server goes away, or the out-of-memory handler's)
// leaves no temporary either.
void removeAtExit() { removeKnownTemporaries(endedEarly); }

void begin(Beginning& beginning, const char* what) {
    const int length =
        std::snprintf(beginning.text, sizeof beginning.text, "%s: %s; ", toolName(), what);
    beginning.length = std::min(sizeof beginning.text - 1, static_cast<std::size_t>(length));
}

void know(const std::string& temporary, const std::string& target) {
    static const bool registered = [] {
        begin(interrupted, "interrupted");
        begin(endedEarly, "ended before it was finished");
        return std::atexit(removeAtExit) == 0 && std::at_quick_exit(removeAtExit) == 0;
    }();
    (void)registered;
    for (KnownTemporary& entry : known) {
        if (entry.inUse != 0) continue;
        std::snprintf(entry.path, sizeof entry.path, "%s", temporary.c_str());
        const int length =
            std::snprintf(entry.notice, sizeof entry.notice, "%s not written\n", target.c_str());
        entry.noticeLength = std::min(sizeof entry.notice - 1, static_cast<std::size_t>(length));
        entry.inUse = 1;
        return;
    }
}

}  // namespace

std::string folderOf(const std::string& path) {
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    return folder.empty() ? "." : folder.string();
}

bool endsWithIgnoringCase(const std::string& name, const std::string& suffix) {
    if (name.size() < suffix.size()) return false;
    return std::equal(suffix.rbegin(), suffix.rend(), name.rbegin(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) ==
               std::tolower(static_cast<unsigned char>(b));
    });
}

std::string createTemporaryBeside(const std::string& path) {
    std::string name = folderOf(path);
    name += "/.";
    name += std::filesystem::path(path).filename().string();
    name += ".XXXXXX";
    const StopSignalsHeld held;
    const int fd = mkstemp(name.data());
    if (fd < 0) return "";
    know(name, path);
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, kNewFileMode & ~mask);
    close(fd);
    return name;
}

void forgetTemporary(const std::string& temporary) {
    const StopSignalsHeld held;
    for (KnownTemporary& entry : known) {
        if (entry.inUse != 0 && temporary == entry.path) entry.inUse = 0;
    }
}

void removeTemporary(const std::string& temporary) {
    const StopSignalsHeld held;
    std::remove(temporary.c_str());
    for (KnownTemporary& entry : known) {
        if (entry.inUse != 0 && temporary == entry.path) entry.inUse = 0;
    }
}

bool writeFilesWhole(const std::vector<FileToWrite>& files, std::string& failed, std::string& why) {
    std::vector<std::string> temporaries;
    const auto fail = [&](const std::string& path, int error) {
        failed = path;
        why = error != 0 ? std::strerror(error) : "the data could not be written";
        for (const std::string& temporary : temporaries) removeTemporary(temporary);
        return false;
    };
    for (const FileToWrite& file : files) {
        const std::string temporary = createTemporaryBeside(file.path);
        if (temporary.empty()) {
            const int error = errno;
            failed = file.path;
            why = "cannot make a file in " + folderOf(file.path) + ": " + std::strerror(error);
            for (const std::string& made : temporaries) removeTemporary(made);
            return false;
        }
        temporaries.push_back(temporary);
        std::FILE* stream = std::fopen(temporary.c_str(), "wb");
        if (stream == nullptr) return fail(file.path, errno);
        // The data on the disk before the rename, so that an error the kernel meets only when
        // it writes back (a full disk on some file systems) is seen here rather than lost.
        errno = 0;
        bool written = file.write(stream) && std::fflush(stream) == 0 && fsync(fileno(stream)) == 0;
        int error = written ? 0 : errno;
        if (std::fclose(stream) != 0 && written) {
            written = false;
            error = errno;
        }
        if (!written) return fail(file.path, error);
    }
    // A folder in the place of a file would refuse the rename; seen before anything is renamed,
    // so that a picture is not replaced when its notes cannot be.
    for (const FileToWrite& file : files) {
        std::error_code error;
        if (std::filesystem::is_directory(file.path, error)) return fail(file.path, EISDIR);
    }
    for (std::size_t i = files.size(); i-- > 0;) {
        if (std::rename(temporaries[i].c_str(), files[i].path.c_str()) != 0) {
            const int error = errno;
            temporaries.resize(i + 1);
            return fail(files[i].path, error);
        }
        forgetTemporary(temporaries[i]);
    }
    return true;
}

bool writeFileWhole(const std::string& path, const std::function<bool(std::FILE*)>& write,
                    std::string& why) {
    std::string failed;
    return writeFilesWhole({{path, write}}, failed, why);
}

bool writeBytesWhole(const std::string& path, const std::string& bytes, std::string& why) {
    return writeFileWhole(
        path,
        [&bytes](std::FILE* file) {
            return std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
        },
        why);
}

bool ignoredAtStart(int signal) {
    static const auto inherited = [] {
        std::array<bool, NSIG> ignored{};
        for (int s = 1; s < NSIG; ++s) {
            struct sigaction action {};
            ignored[static_cast<std::size_t>(s)] =
                sigaction(s, nullptr, &action) == 0 && action.sa_handler == SIG_IGN;
        }
        return ignored;
    }();
    return signal > 0 && signal < NSIG && inherited[static_cast<std::size_t>(signal)];
}

bool stopSignalStaysIgnored(int signal) { return signal == SIGHUP && ignoredAtStart(SIGHUP); }

void removeTemporariesOnStopSignals() {
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : kStopSignals) sigaddset(&action.sa_mask, signal);
    for (const int signal : kStopSignals) {
        if (!stopSignalStaysIgnored(signal)) sigaction(signal, &action, nullptr);
    }
}
