#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

// Files that the tools write appear whole or not at all: each is written under a hidden
// temporary name beside its own, flushed to the disk, closed, checked, and renamed when it is
// complete, so that a full disk, an error or an interruption leaves no half-written picture,
// note, table or video behind, and the older file as it was. The temporaries are known by
// name until they are renamed or removed: a stop signal (see removeTemporariesOnStopSignals)
// or an exit on the way (Xlib ends the process when its X server goes away) removes them.

// The folder of a path ("." for a bare file name).
std::string folderOf(const std::string& path);

// Whether two names end alike, letters compared without regard to case ("v.MP4", ".mp4").
bool endsWithIgnoringCase(const std::string& name, const std::string& suffix);

// A new, empty file beside `path` with a hidden name (".NAME.XXXXXX"), readable as a finished
// file would be, and known until forgetTemporary() or removeTemporary(). Empty string when the
// folder cannot be written; errno says why.
std::string createTemporaryBeside(const std::string& path);
// The temporary has taken its target's name: it is no longer removed at a stop or an exit.
void forgetTemporary(const std::string& temporary);
// Removes the temporary and forgets it.
void removeTemporary(const std::string& temporary);

// One file to write: its name, and what writes it (false: that failed).
struct FileToWrite {
    std::string path;
    std::function<bool(std::FILE*)> write;
};

// Writes the files through temporaries, then renames them into place, the first last: either
// all of them take their names, or none does and the older files stay as they were. On failure
// `failed` names the file that could not be written, `why` says why, and no temporary is left.
bool writeFilesWhole(const std::vector<FileToWrite>& files, std::string& failed, std::string& why);
// One file alone.
bool writeFileWhole(const std::string& path, const std::function<bool(std::FILE*)>& write,
                    std::string& why);
// A file's bytes (a picture encoded in memory, a JSON text) written whole.
bool writeBytesWhole(const std::string& path, const std::string& bytes, std::string& why);

// Whether the signal was ignored when the program started. The first call, before any handler
// is set, records what was inherited.
bool ignoredAtStart(int signal);
// Whether a stop signal is left ignored: SIGHUP where it was ignored at start, as nohup leaves
// it, so that a recording started with nohup outlives its terminal. (A shell also starts its
// background jobs with Ctrl-C ignored, for the terminal's sake; a SIGINT sent to the process
// itself still stops it.)
bool stopSignalStaysIgnored(int signal);
// Ctrl-C, SIGTERM, SIGHUP and SIGQUIT (but a SIGHUP that stays ignored) remove the temporaries
// known at that moment, say which file was not written, and end the process by that signal.
void removeTemporariesOnStopSignals();
